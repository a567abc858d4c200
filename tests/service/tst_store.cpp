// The shared store against a real redis-server on a Unix socket: the client's states
// (up, wrong password, slow, stopped, full), answers, claims and pacing shared between
// instances, whoisd instances sharing answers, and what whoisd tells systemd.
#include "service/config/store_address.h"
#include "service/status/health.h"
#include "service/status/status_listener.h"
#include "service/store/shared_cache.h"
#include "service/store/shared_limits.h"
#include "service/store/store_client.h"
#include "core/net/http_get_text.h"
#include "support/fake_whois_server.h"
#include "support/redis_server.h"
#include "support/test_files.h"
#include "support/test_https_server.h"
#include "support/whoisd_process.h"
#include "service_rows.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

StoreReply Run(StoreClient& client, const QList<QByteArray>& command)
{
    StoreReply reply;
    bool done = false;
    client.command(command, [&](StoreReply r) {
        reply = std::move(r);
        done = true;
    });
    [[maybe_unused]] const bool answered = QTest::qWaitFor([&] { return done; }, 5000);
    return reply;
}

SharedAnswers::Look Look(SharedAnswers& cache, const QString& ace)
{
    std::optional<SharedAnswers::Look> look;
    cache.look(ace, std::chrono::seconds(5), [&](SharedAnswers::Look l) { look = std::move(l); });
    [[maybe_unused]] const bool answered = QTest::qWaitFor([&] { return look.has_value(); }, 5000);
    return look.value_or(SharedAnswers::Look{});
}

StoreClient::Options Options(const RedisServer& redis, const QByteArray& password = {})
{
    return {*ParseStoreAddress(redis.storeAddress()), password, std::chrono::milliseconds(200),
            LogFormat::Text};
}

} // namespace

class TestStore final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void addresses_data();
    void addresses();
    void clientRidesOutASlowAndAStoppedStore();
    void passwords();
    void storedAnswers();
    void oneAskerPerName();
    void limitsHoldAcrossInstances();
    void fullStoreKeepsNothingNew();
    void health();
    void instancesShareAnswers();
    void tellsSystemd();
};

void TestStore::initTestCase()
{
    if (!RedisServer::installed())
        QFAIL("redis-server is not installed (scripts/deps installs it)");
}

void TestStore::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read"); // empty: refused
    QTest::newRow("defaults") << u"redis://cache.example"_s << u"redis://cache.example:6379/0"_s;
    QTest::newRow("port and database") << u"redis://10.0.0.5:6380/3"_s << u"redis://10.0.0.5:6380/3"_s;
    QTest::newRow("IPv6") << u"redis://[::1]:7000/1"_s << u"redis://[::1]:7000/1"_s;
    QTest::newRow("socket") << u"unix:/run/redis/redis.sock"_s << u"unix:/run/redis/redis.sock"_s;
    QTest::newRow("relative socket") << u"unix:redis.sock"_s << QString();
    QTest::newRow("password in the address") << u"redis://:secret@host:6379/0"_s << QString();
    QTest::newRow("other scheme") << u"http://host:6379"_s << QString();
    QTest::newRow("database not a number") << u"redis://host/x"_s << QString();
    QTest::newRow("signed database") << u"redis://host/+1"_s << QString();
    QTest::newRow("port out of range") << u"redis://host:70000/0"_s << QString();
}

void TestStore::addresses()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    const std::optional<StoreAddress> address = ParseStoreAddress(text);
    QCOMPARE(address ? address->display() : QString(), read);
}

void TestStore::clientRidesOutASlowAndAStoppedStore()
{
    RedisServer redis;
    SystemClock clock;
    StoreClient client(Options(redis), clock);
    client.start();
    QTRY_COMPARE(client.state(), StoreState::Up);
    QCOMPARE(Run(client, {"SET", "k", "v"}).text, "OK");
    QCOMPARE(Run(client, {"GET", "k"}).text, "v");

    // A store that stops answering costs each command its time-out, then is left alone.
    redis.pause();
    QElapsedTimer took;
    took.start();
    QCOMPARE(Run(client, {"GET", "k"}).kind, StoreReply::Kind::TimedOut);
    QVERIFY(took.elapsed() < 1000);
    Run(client, {"GET", "k"});
    Run(client, {"GET", "k"});
    QCOMPARE(client.state(), StoreState::Down);
    QVERIFY2(client.problem().contains(u"no answer within 200 ms"_s), qPrintable(client.problem()));
    took.restart();
    QCOMPARE(Run(client, {"GET", "k"}).kind, StoreReply::Kind::Unavailable);
    QVERIFY(took.elapsed() < 50);
    redis.resume();
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), StoreState::Up, 10000);
    QCOMPARE(Run(client, {"GET", "k"}).text, "v");

    // Stopped and started again (empty, as nothing is saved).
    redis.stop();
    QTRY_COMPARE(client.state(), StoreState::Down);
    QCOMPARE(Run(client, {"GET", "k"}).kind, StoreReply::Kind::Unavailable);
    QVERIFY(redis.start());
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), StoreState::Up, 15000);
    QCOMPARE(Run(client, {"GET", "k"}).kind, StoreReply::Kind::Nil);
}

void TestStore::passwords()
{
    RedisServer redis({u"--requirepass"_s, u"right horse"_s});
    SystemClock clock;
    StoreClient wrong(Options(redis, "wrong"), clock);
    StoreClient none(Options(redis), clock);
    StoreClient right(Options(redis, "right horse"), clock);
    for (StoreClient* client : {&wrong, &none, &right})
        client->start();
    QTRY_COMPARE(right.state(), StoreState::Up);
    QTRY_COMPARE(wrong.state(), StoreState::Down);
    QTRY_COMPARE(none.state(), StoreState::Down);
    QVERIFY2(wrong.problem().startsWith(u"the store refused the password (WRONGPASS"_s),
             qPrintable(wrong.problem()));
    QVERIFY2(none.problem().contains(u"wants a password (--store-password-file)"_s),
             qPrintable(none.problem()));
    QCOMPARE(Run(wrong, {"PING"}).kind, StoreReply::Kind::Unavailable);
    QCOMPARE(Run(right, {"PING"}).text, "PONG");
}

void TestStore::storedAnswers()
{
    // Both verdicts come back whole, texts beyond ASCII included.
    WhoisRecord record;
    record.registrar = u"阿里云计算有限公司"_s;
    record.email = u"dns@example.cn"_s;
    record.phone = u"+86.95187"_s;
    record.created = u"2003-03-17"_s;
    record.expires = u"2030-03-17"_s;
    record.whoisServer = u"whois.cnnic.cn"_s;
    record.nameServers = u"ns1.example.cn,ns2.example.cn"_s;
    record.statuses = u"clientTransferProhibited"_s;
    LookupResult found = LookupResult::found(record, u"whois.cnnic.cn"_s);
    found.source = LookupSource::Whois;
    const std::optional<LookupResult> back = AnswerFromStore(StoredAnswer(found));
    QVERIFY(back);
    QCOMPARE(back->status, LookupStatus::Found);
    QCOMPARE(back->source, LookupSource::Whois);
    QCOMPARE(back->upstream, found.upstream);
    QCOMPARE(back->record.registrar, record.registrar);
    QCOMPARE(back->record.nameServers, record.nameServers);
    QCOMPARE(back->record.statuses, record.statuses);
    const LookupResult missing = LookupResult::failed(LookupStatus::NotRegistered, u"rdap.example"_s);
    QCOMPARE(AnswerFromStore(StoredAnswer(missing))->status, LookupStatus::NotRegistered);

    // Anything else in the store is no answer: cut short, trailing bytes, another
    // layout, an unknown verdict, nothing.
    const QByteArray value = StoredAnswer(found);
    QByteArray unknownVerdict = value;
    unknownVerdict[1] = 9;
    for (const QByteArray& damaged :
         {value.left(value.size() - 1), value + 'x', '\x07' + value.mid(1), unknownVerdict, QByteArray(),
          QByteArray(R"({"v":1,"status":"found"})")})
        QVERIFY(!AnswerFromStore(damaged));
}

void TestStore::oneAskerPerName()
{
    RedisServer redis;
    SystemClock clock;
    StoreClient store(Options(redis), clock);
    store.start();
    QTRY_VERIFY(store.isUp());
    SharedCache one(store, "t:", "one");
    SharedCache two(store, "t:", "two");
    using Next = SharedAnswers::Look::Next;
    QCOMPARE(Look(one, u"a.com"_s).next, Next::Ask);
    QCOMPARE(Look(two, u"a.com"_s).next, Next::Wait);
    QCOMPARE(Look(one, u"a.com"_s).next, Next::Wait); // a second lookup here waits too

    // Another's claim is left alone; a failure ends the claim without an answer.
    two.keep(u"a.com"_s, LookupResult::failed(LookupStatus::UpstreamFailed), std::chrono::seconds(0));
    QCOMPARE(Look(two, u"a.com"_s).next, Next::Wait);
    one.keep(u"a.com"_s, LookupResult::failed(LookupStatus::UpstreamFailed), std::chrono::seconds(0));
    QCOMPARE(Look(two, u"a.com"_s).next, Next::Ask);
    two.keep(u"a.com"_s, LookupResult::failed(LookupStatus::NotRegistered), std::chrono::seconds(30));
    const SharedAnswers::Look answer = Look(one, u"a.com"_s);
    QCOMPARE(answer.next, Next::Use);
    QCOMPARE(answer.hit->result.status, LookupStatus::NotRegistered);

    // A damaged answer in the store is asked again.
    QCOMPARE(Run(store, {"SET", "t:answer:c.com", "\x02\x01"}).kind, StoreReply::Kind::Status);
    QCOMPARE(Look(one, u"c.com"_s).next, Next::Ask);

    // Without a store everyone asks.
    redis.stop();
    QTRY_VERIFY(!store.isUp());
    QCOMPARE(Look(two, u"b.com"_s).next, Next::Ask);
}

void TestStore::limitsHoldAcrossInstances()
{
    RedisServer redis;
    SystemClock clock;
    StoreClient store(Options(redis), clock);
    store.start();
    QTRY_VERIFY(store.isUp());
    std::vector<std::unique_ptr<SharedLimits>> instances;
    for (const char* name : {"a", "b", "c"})
        instances.push_back(
            std::make_unique<SharedLimits>(store, "t:", name, clock, std::chrono::seconds(20)));
    const auto acquire = [](SharedLimits& limits, const ServerLimit& limit, const QString& server = u"r"_s) {
        std::optional<SharedLimits::Grant> grant;
        limits.acquire(server, limit, [&](SharedLimits::Grant g) { grant = std::move(g); });
        [[maybe_unused]] const bool answered = QTest::qWaitFor([&] { return grant.has_value(); }, 5000);
        return grant.value_or(SharedLimits::Grant{});
    };
    using Kind = SharedLimits::Grant::Kind;

    // 5 a second with a burst of 2, three instances asking in turns as fast as they may:
    // over 1.2 s, never more than the burst and the rate allow.
    QElapsedTimer elapsed;
    elapsed.start();
    QList<qint64> sent;
    for (int turn = 0; elapsed.elapsed() < 1200; ++turn) {
        const SharedLimits::Grant grant = acquire(*instances[turn % 3], ServerLimit{5, 2, 0, 0});
        if (grant.kind == Kind::Go)
            sent.append(elapsed.elapsed());
        else
            QTest::qWait(int(std::min<qint64>(grant.wait.count(), 50)));
    }
    QVERIFY2(sent.size() >= 7 && sent.size() <= 2 + 6 + 1, qPrintable(QString::number(sent.size())));
    for (qsizetype i = 0; i + 3 < sent.size(); ++i)
        QVERIFY2(sent[i + 3] - sent[i] >= 390, "four queries within 0.4 s");

    // In-flight places are leases; a daily cap counts every instance's queries.
    const ServerLimit one{1000, 10, 1, 3};
    const SharedLimits::Grant first = acquire(*instances[0], one, u"s"_s);
    QCOMPARE(first.kind, Kind::Go);
    QCOMPARE(acquire(*instances[1], one, u"s"_s).kind, Kind::Wait);
    instances[0]->release(u"s"_s, first.lease);
    const SharedLimits::Grant second = acquire(*instances[1], one, u"s"_s);
    QCOMPARE(second.kind, Kind::Go);
    instances[1]->release(u"s"_s, second.lease);
    instances[2]->release(u"s"_s, acquire(*instances[2], one, u"s"_s).lease);
    QCOMPARE(acquire(*instances[0], one, u"s"_s).kind, Kind::DailySpent);

    // One instance's cool-down holds back all.
    instances[0]->coolDown(u"t"_s, std::chrono::seconds(30));
    const SharedLimits::Grant cooling = acquire(*instances[2], ServerLimit{}, u"t"_s);
    QCOMPARE(cooling.kind, Kind::Wait);
    QVERIFY(cooling.wait > std::chrono::seconds(29));

    // Each knows how many there are; without the store, each paces itself.
    for (auto it = instances.rbegin(); it != instances.rend(); ++it) // the first hears of all
        (*it)->startAnnouncing();
    QTRY_COMPARE(instances[0]->instancesLastSeen(), 3);
    redis.stop();
    QTRY_VERIFY(!store.isUp());
    QCOMPARE(acquire(*instances[0], ServerLimit{}).kind, Kind::NoStore);
    QCOMPARE(instances[0]->instancesLastSeen(), 3);
}

void TestStore::fullStoreKeepsNothingNew()
{
    RedisServer redis({u"--maxmemory-policy"_s, u"noeviction"_s});
    SystemClock clock;
    StoreClient client(Options(redis), clock);
    client.start();
    QTRY_COMPARE(client.state(), StoreState::Up);
    SharedCache cache(client, "t:", "one");
    LookupResult found =
        LookupResult::found(WhoisRecord{{}, u"Registrar"_s, {}, {}, {}, {}, {}, {}, {}}, u"whois.x"_s);
    cache.keep(u"kept.com"_s, found, std::chrono::seconds(60));
    QCOMPARE(Look(cache, u"kept.com"_s).next, SharedAnswers::Look::Next::Use);
    QCOMPARE(redis.command({u"CONFIG"_s, u"SET"_s, u"maxmemory"_s, u"1"_s}), "OK");
    cache.keep(u"new.com"_s, found, std::chrono::seconds(60));
    QTRY_COMPARE(client.state(), StoreState::Full);
    QVERIFY(client.problem().contains(u"maxmemory"_s));

    // Still read; new answers and claims are refused, so the lookup asks itself.
    SharedAnswers::Look kept = Look(cache, u"kept.com"_s);
    QCOMPARE(kept.next, SharedAnswers::Look::Next::Use);
    QCOMPARE(kept.hit->result.record.registrar, u"Registrar"_s);
    QVERIFY(kept.hit->left > std::chrono::seconds(50) && kept.hit->left <= std::chrono::seconds(60));
    QCOMPARE(Look(cache, u"new.com"_s).next, SharedAnswers::Look::Next::Ask);
    QCOMPARE(Look(cache, u"new.com"_s).next, SharedAnswers::Look::Next::Ask);

    // Room again: the next answer kept brings the state back.
    redis.command({u"CONFIG"_s, u"SET"_s, u"maxmemory"_s, u"0"_s});
    cache.keep(u"new.com"_s, found, std::chrono::seconds(60));
    QTRY_COMPARE(client.state(), StoreState::Up);
    QCOMPARE(Look(cache, u"new.com"_s).next, SharedAnswers::Look::Next::Use);
}

void TestStore::health()
{
    QCOMPARE(JudgeHealth(std::nullopt, 0).text(), "ok\n");
    QCOMPARE(JudgeHealth(StoreView{StoreState::Up, {}}, kUnreachableBeforeFailing - 1).text(), "ok\n");
    const Health down = JudgeHealth(StoreView{StoreState::Down, u"connection lost"_s}, 0);
    QCOMPARE(down.text(), "degraded: store down: connection lost\n");
    QCOMPARE(down.httpStatus(), 200);
    const Health failing = JudgeHealth(StoreView{StoreState::Up, {}}, kUnreachableBeforeFailing);
    QCOMPARE(failing.httpStatus(), 503);

    const auto reply = [](const QByteArray& head) {
        return StatusReply(head, {}, [] { return QByteArray("m 1\n"); });
    };
    QVERIFY(reply("GET /healthz HTTP/1.1\r\nHost: x").startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(reply("GET /metrics?x HTTP/1.0").endsWith("\r\n\r\nm 1\n"));
    QVERIFY(reply("HEAD /metrics HTTP/1.1").endsWith("\r\n\r\n"));
    QVERIFY(reply("POST /healthz HTTP/1.1").startsWith("HTTP/1.1 405 "));
    QVERIFY(reply("GET /other HTTP/1.1").startsWith("HTTP/1.1 404 "));
    QVERIFY(reply("garbage").startsWith("HTTP/1.1 400 "));
}

void TestStore::instancesShareAnswers()
{
    RedisServer redis;
    FakeWhoisServer registry;
    const QByteArray record = ReadTestFile(QStringLiteral(WHOIS_SERVICE_FIXTURES "/whois_hk.txt"));
    for (const char* name : {"first.hk", "second.hk", "third.hk"})
        registry.answer(name, record);
    const QStringList arguments{u"--bootstrap-url"_s, QString(),
                                u"--whois-address"_s, u"whois.hkirc.hk="_s + registry.address(),
                                u"--store"_s,         redis.storeAddress(),
                                u"--store-prefix"_s,  u"test:"_s};
    WhoisdProcess one(arguments);
    WhoisdProcess two(arguments);
    QVERIFY(!one.baseUrl.isEmpty() && !two.baseUrl.isEmpty());
    TestHttpsServer::trustTestAuthority();
    QNetworkAccessManager network;
    const auto lookUp = [&](WhoisdProcess& whoisd, const QString& name) {
        return Row(MapLookupReply(HttpGetText(network, LookupUrl(whoisd.baseUrl, name))));
    };
    const auto status = [&](WhoisdProcess& whoisd, const char* path) {
        return HttpGetText(network, whoisd.statusUrl + QLatin1StringView(path));
    };
    QTRY_COMPARE(status(two, "/healthz"), u"ok\n"_s);

    // One asks the registry, the other finds the answer in the store.
    const QString row = lookUp(one, u"first.hk"_s);
    QVERIFY2(row.startsWith(u"first.hk|"_s), qPrintable(row));
    QCOMPARE(lookUp(two, u"first.hk"_s), row);
    QCOMPARE(registry.queries().count("first.hk"), 1);
    QVERIFY(redis.command({u"KEYS"_s, u"test:answer:*"_s}).contains("test:answer:first.hk"));
    const QString metrics = status(two, "/metrics");
    QVERIFY(metrics.contains(u"whoisd_cache_requests_total{cache=\"shared\",result=\"hit\"} 1\n"_s));
    QVERIFY(metrics.contains(u"whoisd_store_state{state=\"up\"} 1\n"_s));

    // Without the store both go on answering, and say they are degraded; once it is
    // back they share again.
    redis.stop();
    QCOMPARE(lookUp(two, u"second.hk"_s).section(u'|', 0, 0), u"second.hk"_s);
    QTRY_VERIFY(status(one, "/healthz").startsWith(u"degraded: store down"_s));
    QCOMPARE(one.readLog().count("store down"), 1);
    QVERIFY(redis.start());
    QTRY_COMPARE_WITH_TIMEOUT(status(one, "/healthz"), u"ok\n"_s, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(status(two, "/healthz"), u"ok\n"_s, 15000);
    lookUp(one, u"third.hk"_s);
    lookUp(two, u"third.hk"_s);
    QCOMPARE(registry.queries().count("third.hk"), 1);
    QCOMPARE(one.readLog().count("store up"), 2);

    // Many clients at once, the same names through both: the registry hears each once.
    registry.setDelay(300);
    QList<QNetworkReply*> replies;
    for (int client = 0; client < 6; ++client)
        for (int i = 0; i < 10; ++i) {
            const QString name = u"busy%1.hk"_s.arg(i);
            registry.answer(name.toLatin1(), record);
            WhoisdProcess& whoisd = client % 2 ? one : two;
            replies.append(network.get(QNetworkRequest(QUrl(LookupUrl(whoisd.baseUrl, name)))));
        }
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(replies.begin(), replies.end(), [](QNetworkReply* r) { return r->isFinished(); }), 20000);
    for (QNetworkReply* reply : replies) {
        const QString row = Row(MapLookupReply(QString::fromUtf8(reply->readAll())));
        QVERIFY2(row.startsWith(u"busy"_s) && row.contains(u"Hong Kong"_s), qPrintable(row));
        reply->deleteLater();
    }
    for (int i = 0; i < 10; ++i)
        QCOMPARE(registry.queries().count(u"busy%1.hk"_s.arg(i).toLatin1()), 1);
}

void TestStore::tellsSystemd()
{
    // systemd's notification socket, played by a datagram socket in a temporary folder.
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(u"notify"_s).toLocal8Bit();
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QCOMPARE(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QByteArray heard;
    const auto listen = [&] {
        char buffer[256];
        for (ssize_t got; (got = ::recv(socket, buffer, sizeof buffer, 0)) > 0;)
            heard += QByteArray(buffer, got) + '|';
        return heard;
    };
    qputenv("NOTIFY_SOCKET", path);
    qputenv("WATCHDOG_USEC", "200000");
    WhoisdProcess whoisd({u"--bootstrap-url"_s, QString()});
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");
    QVERIFY(!whoisd.baseUrl.isEmpty());
    QTRY_VERIFY(listen().startsWith("READY=1|WATCHDOG=1|WATCHDOG=1|"));
    whoisd.process.terminate();
    QVERIFY(whoisd.process.waitForFinished(5000));
    QVERIFY(listen().endsWith("STOPPING=1|"));
    ::close(socket);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
