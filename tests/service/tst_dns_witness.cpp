// DNS as a second witness: reading NS replies, asking a resolver on loopback, and
// keeping verdicts for their time.
#include "service/dns/dns_witness.h"
#include "service/engine/delegation_check.h"
#include "support/dns_message.h"
#include "support/fake_dns_server.h"
#include "support/manual_clock.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeDnsServer::Reply;

Q_DECLARE_METATYPE(Delegation)
Q_DECLARE_METATYPE(FakeDnsServer::Reply)

class TestDnsWitness final : public QObject {
    Q_OBJECT
private slots:
    void readsReplies_data();
    void readsReplies();
    void asksAResolver_data();
    void asksAResolver();
    void keepsVerdictsForTheirTime();
};

void TestDnsWitness::readsReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Delegation>("delegation");
    QTest::addColumn<QString>("nameServers");
    QTest::addColumn<int>("ttl");
    const QString name = u"example.com"_s;
    QTest::newRow("NS at the name, lower-cased and sorted, shortest TTL")
        << DnsReply(1, 0, name,
                    {NsRecord(u"Example.COM"_s, u"NS2.example.net"_s, 600),
                     NsRecord(name, u"ns1.example.net"_s, 300)})
        << Delegation::Delegated << u"ns1.example.net,ns2.example.net"_s << 300;
    // "ns1" then a pointer back to the question's name.
    QTest::newRow("compressed name server")
        << DnsReply(1, 0, name, {{name, 2, 60, QByteArray("\x03ns1\xc0\x0c", 6)}}) << Delegation::Delegated
        << u"ns1.example.com"_s << 60;
    QTest::newRow("referral from the parent's server")
        << DnsReply(1, 0, name, {}, {NsRecord(name, u"ns1.example.net"_s)}) << Delegation::Delegated
        << u"ns1.example.net"_s << 3600;
    QTest::newRow("the parent's own NS only")
        << DnsReply(1, 0, name, {}, {NsRecord(u"com"_s, u"a.gtld-servers.net"_s)}) << Delegation::NotDelegated
        << QString() << 0;
    QTest::newRow("NS of another name (an alias's target)")
        << DnsReply(1, 0, name, {NsRecord(u"other.com"_s, u"ns1.other.com"_s)}) << Delegation::NotDelegated
        << QString() << 0;
    QTest::newRow("no such name: the SOA's smaller TTL")
        << DnsReply(1, 3, name, {}, {SoaRecord(u"com"_s, 900, 300)}) << Delegation::NotDelegated << QString()
        << 300;
    QTest::newRow("no NS at the name") << DnsReply(1, 0, name, {}, {SoaRecord(u"com"_s, 120, 900)})
                                       << Delegation::NotDelegated << QString() << 120;
    QTest::newRow("server failure") << DnsReply(1, 2, name, {}) << Delegation::Unknown << QString() << 0;
    QTest::newRow("refused") << DnsReply(1, 5, name, {}) << Delegation::Unknown << QString() << 0;
    QTest::newRow("cut short") << DnsReply(1, 0, name, {NsRecord(name, u"ns1.example.net"_s)}).chopped(3)
                               << Delegation::Unknown << QString() << 0;
    QByteArray query = DnsReply(1, 0, name, {});
    query[2] = 0x01;
    QTest::newRow("a question, not a reply") << query << Delegation::Unknown << QString() << 0;
}

void TestDnsWitness::readsReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(Delegation, delegation);
    QFETCH(QString, nameServers);
    QFETCH(int, ttl);
    const DnsVerdict verdict = ReadNsAnswer(reply, u"example.com"_s);
    QCOMPARE(verdict.delegation, delegation);
    QCOMPARE(verdict.nameServers.join(u','), nameServers);
    QCOMPARE(verdict.ttl.count(), ttl);
}

void TestDnsWitness::asksAResolver_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<Delegation>("delegation");
    QTest::newRow("delegated") << Reply::Delegated << Delegation::Delegated;
    QTest::newRow("no such name") << Reply::NameError << Delegation::NotDelegated;
    QTest::newRow("no NS") << Reply::NoNameServers << Delegation::NotDelegated;
    QTest::newRow("server failure") << Reply::ServerFailure << Delegation::Unknown;
    QTest::newRow("refused") << Reply::Refused << Delegation::Unknown;
    QTest::newRow("no answer in time") << Reply::Silent << Delegation::Unknown;
}

void TestDnsWitness::asksAResolver()
{
    QFETCH(Reply, reply);
    QFETCH(Delegation, delegation);
    FakeDnsServer resolver;
    resolver.answer(u"example.com"_s, reply, {u"ns1.example.net"_s});
    DnsWitness witness({resolver.address()}, 300ms);
    QVERIFY(witness.error().isEmpty());
    std::optional<DnsVerdict> heard;
    witness.askNs(u"example.com"_s, [&](DnsVerdict verdict) { heard = verdict; });
    QTRY_VERIFY_WITH_TIMEOUT(heard.has_value(), 5000);
    QCOMPARE(heard->delegation, delegation);
    QCOMPARE(heard->nameServers,
             reply == Reply::Delegated ? QStringList{u"ns1.example.net"_s} : QStringList());
}

void TestDnsWitness::keepsVerdictsForTheirTime()
{
    FakeDnsServer resolver;
    resolver.answer(u"taken.com"_s, Reply::Delegated, {u"ns1.taken.com"_s});
    DnsWitness witness({resolver.address()}, 1000ms);
    ManualClock clock;
    QObject context;
    DelegationCheck check(&witness, clock, &context, 10);
    QList<LookupResult> results;
    const auto keep = [&](LookupResult result) { results.append(result); };

    // Found needs no witness; the rest wait on one question a name.
    check.apply(u"found.com"_s, LookupResult::found({}, u"whois.example"_s), keep);
    QCOMPARE(results.size(), 1);
    check.apply(u"taken.com"_s, LookupResult::failed(LookupStatus::NotRegistered, u"whois.example"_s), keep);
    check.apply(u"taken.com"_s, LookupResult::failed(LookupStatus::RateLimited, u"whois.example"_s), keep);
    check.apply(u"free.com"_s, LookupResult::failed(LookupStatus::NotRegistered, u"whois.example"_s), keep);
    QTRY_COMPARE(results.size(), 4);
    QCOMPARE(resolver.questions(u"found.com"_s), 0);
    QCOMPARE(resolver.questions(u"taken.com"_s), 1);
    QCOMPARE(results[1].source, LookupSource::Dns);
    QCOMPARE(
        results[1].record.columns(),
        (WhoisRecord{{}, {}, {}, {}, {}, {}, u"whois.example"_s, u"ns1.taken.com"_s, u"已注册"_s}.columns()));
    QCOMPARE(results[2].status, LookupStatus::Found);
    QCOMPARE(results[3].status, LookupStatus::NotRegistered);

    // Within the fake's TTL (7200 s, held to an hour) the verdict is kept; after, asked again.
    clock.advance(59min);
    check.apply(u"taken.com"_s, LookupResult::failed(LookupStatus::UpstreamFailed, u"whois.example"_s), keep);
    QCOMPARE(results.size(), 5);
    QCOMPARE(resolver.questions(u"taken.com"_s), 1);
    // The "no such name" verdict is gone by now, swept.
    QCOMPARE(check.cachedVerdicts(), 1);
    clock.advance(2min);
    QCOMPARE(check.cachedVerdicts(), 0);
    check.apply(u"taken.com"_s, LookupResult::failed(LookupStatus::NotRegistered, u"whois.example"_s), keep);
    QTRY_COMPARE(results.size(), 6);
    QCOMPARE(resolver.questions(u"taken.com"_s), 2);
}

QTEST_GUILESS_MAIN(TestDnsWitness)
#include "tst_dns_witness.moc"
