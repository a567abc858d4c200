// whoisd, the real binary, against clients that misbehave: idle and half-open
// connections, pipelined and oversized requests, names made to forge log lines,
// lookups dropped while their registry hangs.
#include "core/protocol/wire_protocol.h"
#include "service/log/request_log.h"
#include "support/whoisd_process.h"
#include "support/fake_whois_server.h"
#include "support/hostile_clients.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>
#include <QTest>

#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // freed memory sits in quarantine: sizes say nothing
#else
constexpr bool kSanitized = false;
#endif

QByteArray Get(const QString& name, const QString& token, const QByteArray& extra = {})
{
    return "GET " + wire::LookupTarget(name, token).toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
           "\r\n";
}

QByteArray Lookup(const QString& name, const QByteArray& extra = {})
{
    return Get(name, wire::LookupToken(name), extra);
}

const QByteArray kRegistrar = "Hong Kong Domain Name Registration Company Limited";

// A port-43 registry for the TLD "slow" that takes its time.
struct SlowRegistry {
    SlowRegistry()
    {
        const QByteArray found = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt"));
        registry.answer("name.slow", found);
        registry.answer("fresh.slow", found);
        registry.setDelay(400);
    }
    FakeWhoisServer registry;
};

// The service as it runs, asking the slow registry (a base, so it is up first).
struct Daemon : SlowRegistry, WhoisdProcess {
    explicit Daemon(const QStringList& extra = {})
        : WhoisdProcess(QStringList{u"--bootstrap-url"_s, QString(), u"--min-spacing"_s, u"0"_s,
                                    u"--whois-server"_s, u"slow=whois.slow"_s, u"--whois-address"_s,
                                    u"whois.slow="_s + registry.address()} +
                        extra)
    {
    }

    long rssKb() const
    {
        QFile status(u"/proc/%1/status"_s.arg(process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmRSS:");
        return text.mid(at + 6, text.indexOf('\n', at) - at - 6).trimmed().split(' ').value(0).toLong();
    }

    // Sends bytes over one TLS connection (`later` once the registry has been asked);
    // everything received until the service closes it, or until `until` has been seen.
    QByteArray exchange(const QByteArray& bytes, const QByteArray& until = {}, int ms = 5000,
                        const QByteArray& later = {}) const
    {
        QSslSocket socket;
        socket.connectToHostEncrypted(u"127.0.0.1"_s, port);
        if (!socket.waitForEncrypted(ms))
            return "no handshake: " + socket.errorString().toUtf8();
        socket.write(bytes);
        if (!later.isEmpty() && QTest::qWaitFor([this] { return !registry.queries().isEmpty(); }, ms))
            socket.write(later);
        QByteArray received;
        QDeadlineTimer deadline(ms);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired() &&
               (until.isEmpty() || !received.contains(until))) {
            socket.waitForReadyRead(int(deadline.remainingTime()));
            received += socket.readAll();
        }
        return received + socket.readAll();
    }

    // A request any client might make, answered.
    bool serves() const
    {
        return exchange(Get(u"a.com"_s, u"0"_s, "Connection: close\r\n"), {}, 2000)
            .contains(wire::ReplyBody(wire::Refusal(wire::kBadToken.toString())));
    }
};

// Lookups of new names while the registry hangs, each on a connection of its own.
hostile::Sockets<QSslSocket> AskWhileHanging(const Daemon& daemon, int count, const QString& prefix)
{
    auto clients = hostile::Open<QSslSocket>(count, daemon.port);
    if (!hostile::AllOf(clients, hostile::Encrypted))
        return {};
    for (int i = 0; i < count; ++i)
        clients[std::size_t(i)]->write(Lookup(prefix + QString::number(i) + u".slow"_s));
    return clients;
}

} // namespace

class TestHostile final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void logEscaping_data();
    void logEscaping();
    void idleAndAbortedConnectionsCannotWedgeIt();
    void timeoutsAndTheCapFreeConnections();
    void pipelinedAnswersKeepRequestOrder();
    void oversizedRequests_data();
    void oversizedRequests();
    void logLinesCannotBeForged();
    void droppedLookupsFreeTheirSlots();
    void droppedLookupsNeverReachARecoveredRegistry();
};

void TestHostile::initTestCase()
{
    TestHttpsServer::trustTestAuthority();
    // Thousands of sockets on each side.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
}

void TestHostile::logEscaping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain and Unicode") << u"例子.com"_s << u"例子.com"_s;
    QTest::newRow("line breaks") << u"a\nb\r\n"_s << u"a\\nb\\r\\n"_s;
    QTest::newRow("field separators") << u"a b\tc"_s << u"a\\x20b\\tc"_s;
    QTest::newRow("escape character itself") << u"a\\nb"_s << u"a\\\\nb"_s;
    QTest::newRow("other controls") << u"\x1b[2J\x7f"_s << u"\\x1b[2J\\x7f"_s;
    QTest::newRow("invisible and direction marks") << u"a\u202Eb\u200Bc"_s << u"a\\u{202e}b\\u{200b}c"_s;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << u"\\u{d800}"_s;
}

void TestHostile::logEscaping()
{
    QFETCH(QString, text);
    QFETCH(QString, escaped);
    QCOMPARE(EscapeForLog(text), escaped);
}

void TestHostile::idleAndAbortedConnectionsCannotWedgeIt()
{
    using namespace hostile;
    // Scaled down from the benchmark's run so that it ends quickly under sanitizers.
    const int idleTcp = 1000;
    const int idleTls = kSanitized ? 100 : 300;
    const int givenUp = kSanitized ? 100 : 300;
    Daemon daemon;
    QVERIFY(daemon.serves());
    const long before = daemon.rssKb();
    {
        // Connections that never start TLS, or finish it and stay silent, hold up no one.
        auto tcp = Open<QTcpSocket>(idleTcp, daemon.port);
        QVERIFY(AllOf(tcp, Connected));
        QVERIFY(daemon.serves());
        auto tls = Open<QSslSocket>(idleTls, daemon.port);
        QVERIFY(AllOf(tls, Encrypted));
        QVERIFY(daemon.serves());
    }
    const QByteArray hello = ClientHello();
    QVERIFY(hello.size() > 100);
    for (Stage stage : {Stage::Connected, Stage::HalfHello, Stage::ServerAnswered, Stage::Handshaken})
        QVERIFY(GiveUp(daemon.port, stage, givenUp, hello));
    QVERIFY(daemon.serves());
    if (!kSanitized)
        QTRY_VERIFY2_WITH_TIMEOUT(daemon.rssKb() < before + 5 * 1024,
                                  qPrintable(u"%1 kB, was %2 kB"_s.arg(daemon.rssKb()).arg(before)), 10000);
}

void TestHostile::timeoutsAndTheCapFreeConnections()
{
    using namespace hostile;
    Daemon daemon(
        {u"--handshake-timeout"_s, u"300"_s, u"--idle-timeout"_s, u"300"_s, u"--max-connections"_s, u"20"_s});
    // Beyond the cap the connections idle longest make room.
    auto tcp = Open<QTcpSocket>(30, daemon.port);
    QTRY_VERIFY(Count(tcp, Closed) >= 10);
    QVERIFY(daemon.serves());
    // Silent connections are closed, before and after the handshake.
    QVERIFY(AllOf(tcp, Closed, 5000));
    QSslSocket quiet;
    quiet.connectToHostEncrypted(u"127.0.0.1"_s, daemon.port);
    QVERIFY(quiet.waitForEncrypted(5000));
    QTRY_COMPARE(quiet.state(), QAbstractSocket::UnconnectedState);
}

void TestHostile::pipelinedAnswersKeepRequestOrder()
{
    // A slow lookup first, then two answered at once: the answers come in that order,
    // whether the two arrive with the first or while it waits.
    const QByteArray slow = Lookup(u"name.slow"_s);
    const QByteArray quick = Get(u"a.com"_s, u"0"_s) + Lookup(u"a..com"_s, "Connection: close\r\n");
    for (const bool whileWaiting : {false, true}) {
        Daemon daemon;
        const QByteArray replies =
            whileWaiting ? daemon.exchange(slow, {}, 5000, quick) : daemon.exchange(slow + quick);
        QStringList order;
        for (qsizetype at = replies.indexOf("Content-Length: "); at >= 0;
             at = replies.indexOf("Content-Length: ", at + 1)) {
            const qsizetype length = replies.mid(at + 16, replies.indexOf('\r', at) - at - 16).toLongLong();
            const QJsonObject body =
                QJsonDocument::fromJson(replies.mid(replies.indexOf("\r\n\r\n", at) + 4, length)).object();
            const QString message = body.value(wire::kMessage).toString();
            order << (message.isEmpty() ? body[wire::kInfo][wire::kWeb][wire::kRowMembers[0]].toString()
                                        : message);
        }
        QCOMPARE(order, (QStringList{u"name.slow"_s, wire::kBadToken.toString(), u"a..com"_s}));
    }
}

void TestHostile::oversizedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QByteArray manyHeaders;
    for (int i = 0; i < 10000; ++i)
        manyHeaders += "X-" + QByteArray::number(i) + ": 1\r\n";
    QTest::newRow("sane") << Get(u"a.com"_s, u"0"_s, "X-A: 1\r\nConnection: close\r\n") << QByteArray("200");
    QTest::newRow("10,000 headers") << Get(u"a.com"_s, u"0"_s, manyHeaders) << QByteArray("431");
    QTest::newRow("200 small headers")
        << Get(u"a.com"_s, u"0"_s, manyHeaders.left(200 * 9)) << QByteArray("431");
    QTest::newRow("1 MB header") << Get(u"a.com"_s, u"0"_s, "X-Big: " + QByteArray(1 << 20, 'x') + "\r\n")
                                 << QByteArray("431");
    QTest::newRow("100 kB URL") << Get(QString(100000, u'a') + u".com"_s, u"0"_s) << QByteArray("414");
    QTest::newRow("10 MB body announced")
        << QByteArray("POST ") + wire::kVersionPath +
               " HTTP/1.1\r\nHost: x\r\nContent-Length: 10000000\r\n\r\n" + wire::VersionForm().toLatin1()
        << QByteArray("413");
}

void TestHostile::oversizedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    static Daemon daemon; // one for all rows
    // Answered, and the connection closed by the service.
    const QByteArray reply = daemon.exchange(request);
    QVERIFY2(reply.startsWith("HTTP/1.1 " + status), reply.left(200).constData());
    QVERIFY(reply.contains("onnection: close"));
}

void TestHostile::logLinesCannotBeForged()
{
    const QString forged = u"x.test\n2099-01-01T00:00:00.000Z 6.6.6.6 forged.test found upstream=- 0.1ms"_s;
    for (const QString& format : {u"text"_s, u"json"_s}) {
        Daemon daemon({u"--log-format"_s, format});
        QVERIFY(daemon.exchange(Lookup(forged, "Connection: close\r\n")).startsWith("HTTP/1.1 200"));
        QTRY_VERIFY(daemon.readLog().contains("invalid"));
        QVERIFY2(!daemon.log.contains("\n2099"), daemon.log.constData());
        const QList<QByteArray> lines = daemon.log.split('\n');
        const QByteArray line =
            *std::find_if(lines.begin(), lines.end(), [](auto& l) { return l.contains("invalid"); });
        if (format == u"json") {
            // Every line a JSON object, the service's own notices included.
            for (const QByteArray& any : lines)
                QVERIFY2(any.isEmpty() || QJsonDocument::fromJson(any).isObject(), any.constData());
            const QJsonObject entry = QJsonDocument::fromJson(line).object();
            QCOMPARE(entry.value(u"name"_s).toString(), forged);
            QCOMPARE(entry.value(u"outcome"_s).toString(), u"invalid"_s);
            QCOMPARE(entry.value(u"client"_s).toString(), u"127.0.0.1"_s);
        } else {
            QVERIFY2(line.contains(" x.test\\n2099-01-01T00:00:00.000Z\\x206.6.6.6\\x20forged.test"),
                     line.constData());
        }
    }
}

void TestHostile::droppedLookupsFreeTheirSlots()
{
    const int cap = 20;
    Daemon daemon({u"--max-connections"_s, QString::number(cap), u"--max-in-flight"_s, QString::number(cap)});
    const QByteArray cached = Lookup(u"name.slow"_s, "Connection: close\r\n");
    QVERIFY(daemon.exchange(cached).contains(kRegistrar));
    daemon.registry.hang(60000);
    auto clients = AskWhileHanging(daemon, cap, u"held"_s);
    QCOMPARE(int(clients.size()), cap);
    // Every slot holds a lookup the registry has taken: a newcomer is turned away.
    QTRY_COMPARE(int(daemon.registry.queries().size()), 1 + cap);
    QVERIFY(!daemon.serves());
    for (auto& client : clients)
        client->abort();
    // The slots are free at once, not when the registry gives up.
    QTRY_VERIFY_WITH_TIMEOUT(daemon.exchange(cached, {}, 1000).contains(kRegistrar), 1000);
}

void TestHostile::droppedLookupsNeverReachARecoveredRegistry()
{
    const int dropped = kSanitized ? 30 : 60;
    const int inFlight = 4;
    Daemon daemon({u"--timeout"_s, u"1000"_s, u"--min-spacing"_s, u"100"_s, u"--max-in-flight"_s,
                   QString::number(inFlight)});
    daemon.registry.setDelay(0);
    daemon.registry.hang(4000);
    auto clients = AskWhileHanging(daemon, dropped, u"gone"_s);
    QCOMPARE(int(clients.size()), dropped);
    // The registry holds as many as it may; the rest wait their turn, and are dropped.
    QTRY_COMPARE(int(daemon.registry.queries().size()), inFlight);
    for (auto& client : clients)
        client->abort();
    QVERIFY(QTest::qWaitFor([&] { return !daemon.registry.hanging(); }, 10000));
    const qsizetype asked = daemon.registry.queries().size();

    // The first lookup after the registry has recovered is answered normally, and at once.
    QElapsedTimer answered;
    answered.start();
    QVERIFY(daemon.exchange(Lookup(u"fresh.slow"_s, "Connection: close\r\n"), {}, 2000).contains(kRegistrar));
    QVERIFY2(answered.elapsed() < 1000, qPrintable(u"%1 ms"_s.arg(answered.elapsed())));
    // Nothing for the clients who left reaches it, however long it is given.
    QTest::qWait(1000);
    const QList<QByteArray> after = daemon.registry.queries().mid(asked);
    QVERIFY2(after == QList<QByteArray>{"fresh.slow"}, after.join(' ').constData());
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
