// Three whoisd instances sharing one real redis-server in front of one loopback registry
// that allows 5 queries a second: together they keep to it and ask each name once, and
// with the store stopped mid-run each keeps to its share and every client is answered.
#include "core/net/http_get_text.h"
#include "support/fake_whois_server.h"
#include "support/redis_server.h"
#include "support/test_https_server.h"
#include "support/whoisd_process.h"
#include "service_rows.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// The registry answers 5 a second, plus the one query at once a burst of 1 allows.
constexpr int kRegistryAllows = 5 + 1;

struct Cluster {
    Cluster()
    {
        registry.limitTo(kRegistryAllows, "Quota exceeded: too many queries from your address.\r\n");
        const QStringList arguments{u"--bootstrap-url"_s, QString(),
                                    u"--whois-address"_s, u"whois.hkirc.hk="_s + registry.address(),
                                    u"--limit"_s,         u"whois.hkirc.hk=5,burst=1"_s,
                                    u"--store"_s,         redis.storeAddress(),
                                    u"--store-prefix"_s,  u"test:"_s};
        for (int i = 0; i < 3; ++i)
            instances.push_back(std::make_unique<WhoisdProcess>(arguments));
        TestHttpsServer::trustTestAuthority();
    }
    QStringList names(const QString& stem, int count)
    {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names.append(u"%1%2.hk"_s.arg(stem).arg(i));
            registry.answer(names.last().toLatin1(), Fixture("whois_hk.txt"));
        }
        return names;
    }
    QString status(int instance, const char* path)
    {
        return HttpGetText(network, instances[instance]->statusUrl + QLatin1StringView(path));
    }
    // Each client asks every name, the names spread over the instances; every row that
    // is not the registry's answer is returned.
    QStringList askAll(const QStringList& names, int clients)
    {
        std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
        QList<QNetworkReply*> replies;
        for (int client = 0; client < clients; ++client) {
            managers.push_back(std::make_unique<QNetworkAccessManager>());
            for (int i = 0; i < names.size(); ++i) {
                const int at = (client * 7 + i) % int(names.size()); // clients start at different names
                const QString url = LookupUrl(instances[size_t((client + i) % 3)]->baseUrl, names[at]);
                replies.append(managers.back()->get(QNetworkRequest(QUrl(url))));
            }
        }
        [[maybe_unused]] const bool done = QTest::qWaitFor(
            [&] {
            return std::all_of(replies.begin(), replies.end(), [](auto* r) { return r->isFinished(); });
            },
            60000);
        QStringList wrong;
        for (QNetworkReply* reply : replies) {
            const QString row = Row(MapLookupReply(QString::fromUtf8(reply->readAll())));
            if (!row.contains(u"Hong Kong"_s))
                wrong.append(row);
            delete reply;
        }
        return wrong;
    }

    RedisServer redis;
    FakeWhoisServer registry;
    std::vector<std::unique_ptr<WhoisdProcess>> instances;
    QNetworkAccessManager network;
};

} // namespace

class TestInstances final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void togetherWithinTheRegistrysLimit();
    void storeStoppedMidRun();
};

void TestInstances::initTestCase()
{
    if (!RedisServer::installed())
        QFAIL("redis-server is not installed (scripts/deps installs it)");
}

void TestInstances::togetherWithinTheRegistrysLimit()
{
    Cluster cluster;
    const QStringList names = cluster.names(u"same"_s, 100);
    const QStringList wrong = cluster.askAll(names, 30);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.value(0)));
    QCOMPARE(cluster.registry.arrivals().refused(), 0);
    QVERIFY(cluster.registry.arrivals().busiestSecond() <= kRegistryAllows);
    QCOMPARE(cluster.registry.queries().size(), 100); // each name once
}

void TestInstances::storeStoppedMidRun()
{
    Cluster cluster;
    // Each must know how many share the limits before the store goes.
    for (int i = 0; i < 3; ++i)
        QTRY_VERIFY_WITH_TIMEOUT(cluster.status(i, "/metrics").contains(u"whoisd_store_instances 3\n"_s),
                                 15000);
    const QStringList names = cluster.names(u"mid"_s, 45);
    QTimer::singleShot(2000, [&] { cluster.redis.stop(); });
    const QStringList wrong = cluster.askAll(names, 1);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    QCOMPARE(cluster.registry.arrivals().refused(), 0);
    QVERIFY(cluster.registry.arrivals().busiestSecond() <= kRegistryAllows);
    for (auto& instance : cluster.instances)
        QCOMPARE(instance->readLog().count("limits cannot be shared: each server held to 1/3 of its limit"),
                 1);

    // Back: the limits are shared again, which each says once.
    QVERIFY(cluster.redis.start());
    for (int i = 0; i < 3; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(cluster.status(i, "/healthz"), u"ok\n"_s, 20000);
    QVERIFY(cluster.askAll(cluster.names(u"after"_s, 6), 1).isEmpty());
    for (auto& instance : cluster.instances)
        QCOMPARE(instance->readLog().count("limits shared again through the store"), 1);
}

QTEST_GUILESS_MAIN(TestInstances)
#include "tst_instances.moc"
