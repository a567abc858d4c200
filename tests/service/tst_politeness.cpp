#include "service/config/server_limits.h"
#include "service/engine/upstream_gate.h"
#include "service/readers/rdap_parse.h"
#include "support/limited_rdap.h"
#include "support/manual_clock.h"
#include "whoisd_stack.h"

#include "service/engine/domain_name.h"

#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using Gate = UpstreamGate;

namespace {

// Asks a gate on a hand-moved clock and notes when each request went out and why any
// was refused. Requests end as `outcome` says, at once, unless `hold` keeps them open.
struct GateRig {
    explicit GateRig(LimitsTable limits, int maxQueue = 5000, const QString& stateDir = {},
                     SharedPace* shared = nullptr)
        : gate(std::move(limits), maxQueue, stateDir, clock, shared)
    {
    }

    void ask(const QString& id, const QString& client = u"a"_s, std::chrono::milliseconds within = 25s)
    {
        ask(id, LookupCaller{client, clock.now() + within});
    }
    void ask(const QString& id, const LookupCaller& caller)
    {
        gate.ask(
            u"s"_s, std::make_shared<Askers>(caller),
            [this, id](Gate::Finish finish) {
            sent.append({id, std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - start)});
            if (hold)
                held.append(finish);
            else
                finish(outcome, retryAfter);
            },
            [this, id](Gate::Refusal why) { refused.insert(id, why); });
    }
    QStringList sentIds() const
    {
        QStringList ids;
        for (const auto& [id, at] : sent)
            ids.append(id);
        return ids;
    }
    int busiestSecond() const
    {
        int busiest = 0;
        for (const auto& [id, at] : sent) {
            busiest =
                std::max(busiest, int(std::count_if(sent.cbegin(), sent.cend(), [at = at](const auto& other) {
                             return other.second >= at && other.second < at + 1s;
                         })));
        }
        return busiest;
    }

    ManualClock clock;
    const Clock::TimePoint start = clock.now();
    Gate gate;
    Gate::Outcome outcome = Gate::Outcome::Answered;
    std::chrono::seconds retryAfter{0};
    bool hold = false;
    QList<Gate::Finish> held;
    QList<std::pair<QString, std::chrono::milliseconds>> sent;
    QHash<QString, Gate::Refusal> refused;
};

// The other instances' pace as a script: each acquire takes the next grant (the last
// one repeats) and is noted, with every lease given back and every cool-down.
struct ScriptedPace final : SharedPace {
    void acquire(const QString&, const ServerLimit& limit, std::function<void(Grant)> done) override
    {
        asked.append(limit);
        done(grants.size() > 1 ? grants.takeFirst() : grants.value(0));
    }
    void release(const QString&, const QByteArray& lease) override { released.append(lease); }
    void coolDown(const QString&, std::chrono::milliseconds duration) override { coolDowns.append(duration); }
    int instancesLastSeen() const override { return instances; }

    QList<Grant> grants;
    QList<ServerLimit> asked;
    QByteArrayList released;
    QList<std::chrono::milliseconds> coolDowns;
    int instances = 1;
};

LimitsTable Table(ServerLimit limit)
{
    LimitsTable table;
    table.rows.insert(u"s"_s, limit);
    return table;
}

} // namespace

// The pace kept per upstream server, and the queue in front of it.
class TestPoliteness final : public QObject {
    Q_OBJECT
private slots:
    void limitsTable();
    void limitSignals_data();
    void limitSignals();
    void rateAndBurst();
    void coolDownRequeuesUntilTheDeadline();
    void dailyCapSurvivesARestart();
    void turnsBetweenClientsAndBound();
    void goneAndExpiredNeverSent();
    void sameNameAskedOnce();
    void hundredNamesAtTheRegistrysPace();
    void limitedNamesWaitAgain();
    void sharedPace();
};

void TestPoliteness::limitsTable()
{
    QStringList problems;
    const LimitsTable table = ParseLimitsTable("# server rate burst concurrency daily\n"
                                               "*              2   3 2 0\n"
                                               "WHOIS.nic.uk   4.5 1 2 1000  # Nominet\n"
                                               "rdap.example:8443 0.5 1 1 0\n"
                                               "broken.example 5 1\n"
                                               "zero.example   0 1 1 0\n",
                                               &problems);
    QCOMPARE(table.limitFor(u"whois.nic.uk"_s), (ServerLimit{4.5, 1, 2, 1000}));
    QCOMPARE(table.limitFor(u"rdap.example:8443"_s), (ServerLimit{0.5, 1, 1, 0}));
    QCOMPARE(table.limitFor(u"unlisted.example"_s), (ServerLimit{2, 3, 2, 0}));
    QCOMPARE(problems.size(), 2);
    QVERIFY(problems.first().startsWith(u"line 5"_s));

    // The shipped table reads whole, with every server the busy TLDs are asked at.
    QFile shipped(QStringLiteral(WHOIS_SERVICE_DATA "/registry-limits.txt"));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    problems.clear();
    const LimitsTable rows = ParseLimitsTable(shipped.readAll(), &problems);
    QCOMPARE(problems, QStringList());
    for (const char* server :
         {"whois.verisign-grs.com", "rdap.verisign.com", "whois.pir.org", "rdap.publicinterestregistry.org",
          "whois.cnnic.cn", "whois.denic.de", "whois.nic.uk", "rdap.nominet.uk", "whois.jprs.jp",
          "rdap.identitydigital.services", "whois.opensrs.net", "whois.tucows.com", "whois.iedr.ie"})
        QVERIFY2(rows.rows.contains(QString::fromLatin1(server)), server);
    QCOMPARE(rows.limitFor(u"whois.nic.uk"_s).daily, 1000);
    QCOMPARE(rows.limitFor(u"whois.tucows.com"_s).concurrency, 1);
}

void TestPoliteness::limitSignals_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("limited");
    QTest::newRow("429 whatever it says") << 429 << QByteArray("{}") << true;
    QTest::newRow("403 allowed queries")
        << 403 << QByteArray(R"({"description":["Number of allowed queries exceeded"]})") << true;
    QTest::newRow("422 too fast") << 422 << QByteArray(R"({"title":"Your access is too fast"})") << true;
    QTest::newRow("403 rate limit") << 403 << QByteArray("Rate limit reached, slow down") << true;
    QTest::newRow("403 quota") << 403 << QByteArray("daily QUOTA used up") << true;
    QTest::newRow("403 plain refusal")
        << 403 << QByteArray(R"({"errorCode":403,"title":"Forbidden"})") << false;
    QTest::newRow("404 mentioning limits") << 404 << QByteArray("too many requests") << false;
    QTest::newRow("200 record") << 200 << QByteArray(R"({"ldhName":"quota.example"})") << false;
}

void TestPoliteness::limitSignals()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, limited);
    QCOMPARE(IsRdapLimitSignal(status, body), limited);
}

void TestPoliteness::rateAndBurst()
{
    GateRig rig(Table({5, 3, 10, 0}));
    for (int i = 0; i < 20; ++i)
        rig.ask(QString::number(i));
    rig.clock.advance(10s);
    QCOMPARE(rig.sent.size(), 20);
    // Three at once, then one every 200 ms: never more than rate + burst - 1 a second,
    // and no slower than that either.
    QCOMPARE(rig.sent[2].second, 0ms);
    QCOMPARE(rig.sent[3].second, 200ms);
    QCOMPARE(rig.sent[19].second, 3400ms);
    QCOMPARE(rig.busiestSecond(), 7);

    // In flight at once: the concurrency, whatever the rate allows.
    GateRig narrow(Table({1000, 10, 2, 0}));
    narrow.hold = true;
    for (int i = 0; i < 5; ++i)
        narrow.ask(QString::number(i));
    narrow.clock.advance(1s);
    QCOMPARE(narrow.sent.size(), 2);
    // Another server is not held up by this one.
    bool otherSent = false;
    narrow.gate.ask(
        u"other"_s, std::make_shared<Askers>(LookupCaller{u"a"_s, narrow.clock.now() + 1s}),
        [&otherSent](const Gate::Finish&) { otherSent = true; }, [](Gate::Refusal) {});
    QVERIFY(otherSent);
    narrow.held.takeFirst()(Gate::Outcome::Failed, 0s);
    QCOMPARE(narrow.sent.size(), 3);

    // The registry counts arrivals: a request still on its way may arrive late and
    // together with the next ones, so a second's allowance (rate + burst) on from an
    // unanswered request nothing starts, and after its answer only a second later.
    GateRig slow(Table({2, 1, 10, 0}));
    slow.hold = true;
    for (int i = 0; i < 5; ++i)
        slow.ask(QString::number(i));
    slow.clock.advance(3s);
    QCOMPARE(slow.sent.size(), 3);
    slow.held.takeFirst()(Gate::Outcome::Answered, 0s);
    slow.clock.advance(999ms);
    QCOMPARE(slow.sent.size(), 3);
    slow.clock.advance(1ms);
    QCOMPARE(slow.sent.size(), 4);
}

void TestPoliteness::coolDownRequeuesUntilTheDeadline()
{
    GateRig rig(Table({100, 1, 4, 0}));
    rig.outcome = Gate::Outcome::Limited;
    rig.ask(u"n"_s, u"a"_s, 20s);
    // Limited: asked again after 2 s, then 4 s, 8 s; a 16 s wait would pass the deadline.
    rig.clock.advance(1999ms);
    QCOMPARE(rig.sent.size(), 1);
    QVERIFY(rig.gate.isCooling(u"s"_s));
    rig.clock.advance(1ms);
    QCOMPARE(rig.sent.size(), 2);
    rig.clock.advance(12s);
    QCOMPARE(rig.sent.last().second, 14000ms);
    QCOMPARE(rig.refused.value(u"n"_s), Gate::Refusal::CoolingDown);

    // A lookup that cannot outwait the cool-down is answered at once; one that can waits.
    rig.ask(u"short"_s, u"a"_s, 5s);
    QCOMPARE(rig.refused.value(u"short"_s), Gate::Refusal::CoolingDown);
    rig.outcome = Gate::Outcome::Answered;
    rig.ask(u"long"_s, u"b"_s, 60s);
    rig.clock.advance(15999ms);
    QVERIFY(!rig.sentIds().contains(u"long"_s));
    rig.clock.advance(1ms);
    QVERIFY(rig.sentIds().contains(u"long"_s));

    // Retry-After is the wait when the server names one; answers ease the back-off.
    GateRig told(Table({100, 1, 4, 0}));
    told.outcome = Gate::Outcome::Limited;
    told.retryAfter = 7s;
    told.ask(u"n"_s, u"a"_s, 60s);
    told.outcome = Gate::Outcome::Answered;
    told.clock.advance(6999ms);
    QCOMPARE(told.sent.size(), 1);
    told.clock.advance(1ms);
    QCOMPARE(told.sent.size(), 2);
    QVERIFY(!told.refused.contains(u"n"_s));
}

void TestPoliteness::dailyCapSurvivesARestart()
{
    QTemporaryDir state;
    QVERIFY(state.isValid());
    {
        GateRig rig(Table({1, 1, 4, 3}), 5000, state.path());
        for (int i = 0; i < 6; ++i)
            rig.ask(QString::number(i));
        QCOMPARE(rig.sent.size(), 1);
        // Once the cap is spent, the names still queued are answered at once.
        rig.clock.advance(2s);
        QCOMPARE(rig.sentIds(), (QStringList{u"0"_s, u"1"_s, u"2"_s}));
        QCOMPARE(rig.refused.size(), 3);
        QCOMPARE(rig.refused.value(u"5"_s), Gate::Refusal::DailyCapSpent);
    }
    GateRig restarted(Table({1, 1, 4, 3}), 5000, state.path());
    restarted.ask(u"again"_s);
    QCOMPARE(restarted.refused.value(u"again"_s), Gate::Refusal::DailyCapSpent);
    // A new UTC day, a new count.
    restarted.clock.advance(24h);
    restarted.ask(u"tomorrow"_s);
    QCOMPARE(restarted.sentIds(), QStringList{u"tomorrow"_s});
}

void TestPoliteness::turnsBetweenClientsAndBound()
{
    GateRig rig(Table({1, 1, 4, 0}), 5);
    for (int i = 0; i < 4; ++i)
        rig.ask(u"busy"_s + QString::number(i), u"busy"_s);
    rig.ask(u"other0"_s, u"other"_s);
    rig.ask(u"other1"_s, u"other"_s);
    // Beyond the bound: answered at once.
    rig.ask(u"late"_s, u"third"_s);
    QCOMPARE(rig.refused.value(u"late"_s), Gate::Refusal::QueueFull);
    rig.clock.advance(10s);
    // The first went at once; after that the two clients take turns.
    QCOMPARE(rig.sentIds(),
             (QStringList{u"busy0"_s, u"busy1"_s, u"other0"_s, u"busy2"_s, u"other1"_s, u"busy3"_s}));
}

void TestPoliteness::goneAndExpiredNeverSent()
{
    GateRig rig(Table({100, 1, 1, 0}));
    rig.hold = true;
    rig.ask(u"first"_s);
    LookupCaller leaving{u"b"_s, rig.clock.now() + 25s};
    rig.ask(u"gone"_s, leaving);
    rig.ask(u"expires"_s, u"c"_s, 500ms);
    rig.ask(u"waits"_s, u"d"_s);
    leaving.gone->store(true);
    // The sweep takes them out while the server is still busy with the first.
    rig.clock.advance(1s);
    QCOMPARE(rig.refused.value(u"gone"_s), Gate::Refusal::NobodyWaits);
    QCOMPARE(rig.refused.value(u"expires"_s), Gate::Refusal::NobodyWaits);
    rig.held.takeFirst()(Gate::Outcome::Answered, 0s);
    QCOMPARE(rig.sentIds(), (QStringList{u"first"_s, u"waits"_s}));

    // Gone just before its turn: checked at the head of the queue too.
    LookupCaller quick{u"e"_s, rig.clock.now() + 25s};
    rig.ask(u"quick"_s, quick);
    quick.gone->store(true);
    rig.held.takeFirst()(Gate::Outcome::Answered, 0s);
    QCOMPARE(rig.refused.value(u"quick"_s), Gate::Refusal::NobodyWaits);
    QCOMPARE(rig.sent.size(), 2);
}

void TestPoliteness::sameNameAskedOnce()
{
    Stack stack;
    stack.registry.setDelay(300);
    stack.start();
    const DomainName name = *DomainName::parse(u"example.hk"_s);
    QStringList answers;
    for (const QString& client : {u"a"_s, u"b"_s, u"c"_s}) {
        stack.service->lookup(name, LookupCaller{client, stack.clock.now() + 5s},
                              [&answers](const LookupResult& result) {
            answers.append(result.record.registrar);
        });
    }
    QCOMPARE(stack.service->lookupsUnderWay(), 1);
    QTRY_COMPARE(answers.size(), 3);
    QCOMPARE(answers.count(answers.first()), 3);
    QVERIFY(!answers.first().isEmpty());
    QCOMPARE(stack.registry.queries(), QList<QByteArray>{"example.hk"});
}

// 100 names of one TLD asked of whoisd at once, the registry answering its quota text
// beyond 50 a second: every name is found, and the registry never sees more.
void TestPoliteness::hundredNamesAtTheRegistrysPace()
{
    FakeWhoisServer registry;
    registry.limitTo(50, "Quota exceeded: too many queries from your address.\r\n");
    Stack stack;
    stack.settings.whoisServers.insert(u"uk"_s, u"whois.nic.uk"_s);
    stack.settings.whoisAddresses.insert(u"whois.nic.uk"_s, registry.address());
    stack.settings.limits.insert(u"whois.nic.uk"_s, ServerLimit{40, 5, 4, 0});
    QStringList names;
    for (int i = 0; i < 100; ++i) {
        names.append(u"name%1.co.uk"_s.arg(i));
        registry.answer(names.last().toLatin1(), Fixture("whois_cn.txt"));
    }
    stack.start();
    // Each client connection takes a few requests at once: 100 lookups reach whoisd together.
    std::vector<std::unique_ptr<QNetworkAccessManager>> clients(20);
    QHash<QString, QString> rows;
    for (int i = 0; i < names.size(); ++i) {
        auto& client = clients[i % clients.size()];
        if (!client)
            client = std::make_unique<QNetworkAccessManager>();
        QNetworkReply* reply = client->get(QNetworkRequest(QUrl(LookupUrl(stack.baseUrl, names[i]))));
        connect(reply, &QNetworkReply::finished, this, [reply, &rows, name = names[i]] {
            rows.insert(name, Row(MapLookupReply(QString::fromUtf8(reply->readAll()))));
            reply->deleteLater();
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(rows.size(), 100, 30000);
    for (const QString& name : names)
        QVERIFY2(rows.value(name).startsWith(name + u"|阿里云"_s), qPrintable(rows.value(name)));
    QCOMPARE(registry.arrivals().refused(), 0);
    QVERIFY(registry.arrivals().busiestSecond() <= 50);
    QCOMPARE(registry.arrivals().count(), 100);
}

// Told a faster pace than the RDAP registry allows, the engine meets its 429s: the
// names wait out the Retry-After and are found, none answered "too many".
void TestPoliteness::limitedNamesWaitAgain()
{
    TestHttpsServer registry;
    auto arrivals = std::make_shared<WindowCounter>();
    const QByteArray record = Fixture("rdap_thick.json");
    registry.setHandler(RateLimited(
        [record](const TestHttpsServer::Request&) {
        return TestHttpsServer::Response{200, record, "application/rdap+json"};
        },
        10, arrivals));
    Stack stack;
    stack.settings.rdapOverrides.insert(u"info"_s, registry.baseUrl() + u"/rdap/"_s);
    stack.settings.limits.insert(u"127.0.0.1:%1"_s.arg(registry.port()), ServerLimit{100, 20, 4, 0});
    stack.start();
    int found = 0, answered = 0;
    for (int i = 0; i < 25; ++i) {
        stack.service->lookup(*DomainName::parse(u"name%1.info"_s.arg(i)), [&](const LookupResult& result) {
            ++answered;
            found += result.status == LookupStatus::Found ? 1 : 0;
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(answered, 25, 10000);
    QCOMPARE(found, 25);
    QVERIFY(arrivals->refused() > 0);
    QVERIFY(arrivals->count() < 25 + 2 * arrivals->refused());
}

void TestPoliteness::sharedPace()
{
    using Grant = SharedPace::Grant;
    ScriptedPace pace;
    GateRig rig(Table({10, 2, 4, 0}), 5000, {}, &pace);
    QSignalSpy sharing(&rig.gate, &Gate::sharingChanged);

    // Told to wait, the request asks again then; its lease goes back with the answer.
    pace.grants = {Grant{Grant::Kind::Wait, 300ms, {}}, Grant{Grant::Kind::Go, 0ms, "lease"}};
    rig.ask(u"paced"_s);
    rig.clock.advance(299ms);
    QVERIFY(rig.sent.isEmpty());
    rig.clock.advance(1ms);
    QCOMPARE(rig.sentIds(), QStringList{u"paced"_s});
    QCOMPARE(pace.released, QByteArrayList{"lease"});
    QCOMPARE(pace.asked.last(), (ServerLimit{10, 2, 4, 0}));

    // A limit signal pauses every instance; a wait past the deadline is not waited out,
    // nor one whose caller leaves meanwhile.
    rig.outcome = Gate::Outcome::Limited;
    rig.ask(u"limited"_s, u"a"_s, 1s);
    QCOMPARE(pace.coolDowns, QList<std::chrono::milliseconds>{2000ms});
    rig.outcome = Gate::Outcome::Answered;
    rig.clock.advance(2s);
    pace.grants = {Grant{Grant::Kind::Wait, 30s, {}}};
    rig.ask(u"late"_s, u"b"_s, 20s);
    QCOMPARE(rig.refused.value(u"late"_s), Gate::Refusal::CoolingDown);
    pace.grants = {Grant{Grant::Kind::Wait, 5s, {}}};
    LookupCaller leaving{u"c"_s, rig.clock.now() + 25s};
    rig.ask(u"left"_s, leaving);
    leaving.gone->store(true);
    rig.clock.advance(1s);
    QCOMPARE(rig.refused.value(u"left"_s), Gate::Refusal::NobodyWaits);
    QVERIFY(sharing.isEmpty());

    // Nobody can say: this instance keeps to its third of the limit, and says so once.
    rig.clock.advance(1min);
    rig.sent.clear();
    pace.grants = {Grant{}};
    pace.instances = 3;
    for (int i = 0; i < 20; ++i)
        rig.ask(u"n%1"_s.arg(i), u"c%1"_s.arg(i));
    rig.clock.advance(3s);
    QCOMPARE(rig.sent.size(), 10); // one each 300 ms, the first too: others may just have sent
    QVERIFY(rig.busiestSecond() <= 4);
    QCOMPARE(sharing.size(), 1);
    QCOMPARE(sharing.first(), (QVariantList{false, 3}));
    pace.grants = {Grant{Grant::Kind::Go, 0ms, {}}};
    rig.clock.advance(1s);
    QCOMPARE(sharing.size(), 2);
}

QTEST_GUILESS_MAIN(TestPoliteness)
#include "tst_politeness.moc"
