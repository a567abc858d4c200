#include "widgets/domain_list/pending_list.h"
#include "widgets/controls/status_bar.h"
#include "support/window_fixture.h"
#include "core/update/version_reply.h"

#include <QPushButton>
#include <QTimer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(VersionDecision)

namespace {

QString Describe(const VersionDecision& decision)
{
    if (std::holds_alternative<VersionNoAnswer>(decision))
        return u"no answer"_s;
    if (const auto* refused = std::get_if<VersionRefused>(&decision))
        return u"refused: "_s + refused->message;
    if (std::holds_alternative<VersionCurrent>(decision))
        return u"current"_s;
    const auto& offer = std::get<VersionOffer>(decision);
    return u"offer %1 sid %2 %3"_s.arg(offer.version, offer.sid,
                                       offer.compulsory ? u"compulsory"_s : u"optional"_s);
}

QByteArray UpdateReply(const QByteArray& version, const QByteArray& sid, const QByteArray& must)
{
    return R"({"result":1,"message":"","info":{"version":)" + version + R"(,"sid":)" + sid +
           R"(,"must":)" + must + "}}";
}

} // namespace

class TestVersionCheck final : public QObject {
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void branches_data();
    void branches();
    void requestOnTheWire();
    void runsOnceEvenWhileABoxIsOpen();
};

void TestVersionCheck::decide_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("decision");
    QTest::newRow("empty") << QString() << u"no answer"_s;
    QTest::newRow("refused, number 0") << uR"({"result":0,"message":"停用"})"_s << u"refused: 停用"_s;
    QTest::newRow("refused, text 0") << uR"({"result":"0","message":"x"})"_s << u"refused: x"_s;
    QTest::newRow("current") << QString::fromUtf8(UpdateReply("\"1.0.0\"", "\"5\"", "\"0\""))
                             << u"current"_s;
    QTest::newRow("trailing space is another version")
        << QString::fromUtf8(UpdateReply("\"1.0.0 \"", "\"5\"", "\"0\"")) << u"offer 1.0.0  sid 5 optional"_s;
    QTest::newRow("older is offered too") << QString::fromUtf8(UpdateReply("\"0.9.0\"", "12", "1"))
                                          << u"offer 0.9.0 sid 12 compulsory"_s;
    QTest::newRow("must as the number 0") << QString::fromUtf8(UpdateReply("\"2.0\"", "1", "0"))
                                          << u"offer 2.0 sid 1 optional"_s;
    QTest::newRow("must other text") << QString::fromUtf8(UpdateReply("\"2.0\"", "1", "\"yes\""))
                                     << u"offer 2.0 sid 1 compulsory"_s;
    QTest::newRow("not JSON") << u"<html>502</html>"_s << u"no answer"_s;
    QTest::newRow("no result") << uR"({"info":{"version":"1.0.0","sid":1,"must":0}})"_s << u"no answer"_s;
    QTest::newRow("refused without message") << uR"({"result":0})"_s << u"no answer"_s;
    QTest::newRow("no info") << uR"({"result":1})"_s << u"no answer"_s;
    QTest::newRow("no must") << uR"({"result":1,"info":{"version":"1.0.0","sid":1}})"_s << u"no answer"_s;
    QTest::newRow("version is an object")
        << uR"({"result":1,"info":{"version":{},"sid":1,"must":0}})"_s << u"no answer"_s;
}

void TestVersionCheck::decide()
{
    QFETCH(QString, reply);
    QFETCH(QString, decision);
    QCOMPARE(Describe(DecideVersion(reply)), decision);
}

void TestVersionCheck::branches_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("expectedBoxes"); // texts joined by "|"
    QTest::addColumn<bool>("ends");
    QTest::addColumn<QString>("openedUrl");

    const QString noNetwork = u"抱歉，软件需要联网使用，请检查您的网络后重启软件"_s;
    QTest::newRow("current version: no box, opens for work")
        << 200 << UpdateReply("\"1.0.0\"", "\"5\"", "\"0\"") << QList<bool>{} << QString() << false
        << QString();
    QTest::newRow("refusal with the service's message")
        << 200 << QByteArray(R"({"result":0,"message":"软件已停用"})") << QList<bool>{}
        << u"软件已停用"_s << true << QString();
    QTest::newRow("empty reply") << 200 << QByteArray() << QList<bool>{} << noNetwork << true
                                 << QString();
    QTest::newRow("unreadable reply is no answer")
        << 502 << QByteArray("<html>Bad Gateway</html>") << QList<bool>{} << noNetwork << true
        << QString();
    QTest::newRow("compulsory offer declined")
        << 200 << UpdateReply("\"1.1.0\"", "\"5\"", "1") << QList<bool>{false}
        << u"发现最新版本1.1.0，是否现在更新?"_s << true << QString();
    QTest::newRow("optional offer declined, must text 0")
        << 200 << UpdateReply("\"1.1.0\"", "\"5\"", "\"0\"") << QList<bool>{false}
        << u"发现最新版本1.1.0，是否现在更新?"_s << false << QString();
    QTest::newRow("optional offer declined, must number 0")
        << 200 << UpdateReply("\"0.9.0\"", "\"5\"", "0") << QList<bool>{false}
        << u"发现最新版本0.9.0，是否现在更新?"_s << false << QString();
    QTest::newRow("offer accepted opens the works page and ends")
        << 200 << UpdateReply("\"1.1.0\"", "77", "\"0\"") << QList<bool>{true}
        << u"发现最新版本1.1.0，是否现在更新?"_s << true
        << u"https://maker.example/index.php/Works/detail/sid/77"_s;
    QTest::newRow("compulsory offer accepted")
        << 200 << UpdateReply("\"1.1.0\"", "\"8\"", "\"1\"") << QList<bool>{true}
        << u"发现最新版本1.1.0，是否现在更新?"_s << true
        << u"https://maker.example/index.php/Works/detail/sid/8"_s;
}

void TestVersionCheck::branches()
{
    QFETCH(int, status);
    QFETCH(QByteArray, reply);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, expectedBoxes);
    QFETCH(bool, ends);
    QFETCH(QString, openedUrl);

    WindowFixture fixture;
    fixture.server.respondWith({status, reply});
    for (const bool answer : answers)
        fixture.platform.yesNoAnswers.enqueue(answer);
    fixture.window->load();
    QVERIFY(!fixture.button("Command2").isEnabled());
    fixture.openForWork();

    QStringList texts;
    for (const auto& box : fixture.platform.boxes) {
        QCOMPARE(box.title, u"提示"_s);
        texts.append(box.text);
    }
    QCOMPARE(texts.join(u'|'), expectedBoxes);
    QCOMPARE(fixture.platform.endCount, ends ? 1 : 0);
    QCOMPARE(fixture.platform.openedUrls.value(0).toString(), openedUrl);
    if (!openedUrl.isEmpty())
        QCOMPARE(fixture.platform.events.mid(fixture.platform.events.size() - 2),
                 (QList<QString>{u"url"_s, u"end"_s}));
    // Only a run that goes on opens the window for work, with init's own text.
    QCOMPARE(fixture.button("Command2").isEnabled(), !ends);
    QCOMPARE(fixture.status().message(),
             ends ? u"正在检测程序最新版本.."_s : u"当前为最新版本,欢迎使用Norvane软件.."_s);
    QCOMPARE(fixture.timer("Timer2").isActive(), ends);
}

void TestVersionCheck::requestOnTheWire()
{
    WindowFixture fixture;
    fixture.openForWork();
    const auto requests = fixture.server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[0].target, QByteArray("/index.php/Index/soft_version"));
    QCOMPARE(requests[0].body, QByteArray("sn=whois"));
    QCOMPARE(requests[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
}

void TestVersionCheck::runsOnceEvenWhileABoxIsOpen()
{
    WindowFixture fixture;
    fixture.server.respondWith({200, R"({"result":0,"message":"m"})"});
    int nestedTicks = 0;
    fixture.platform.duringBox = [&](const ScriptedPlatform::Box&) {
        // Timer2 keeps ticking while the box is open.
        ++nestedTicks;
        fixture.openForWork();
    };
    fixture.window->load();
    // The timer's own first tick, one second after creation.
    QTRY_COMPARE_WITH_TIMEOUT(fixture.platform.endCount, 1, 5000);
    fixture.openForWork();
    QCOMPARE(nestedTicks, 1);
    QCOMPARE(fixture.server.requests().size(), 1);
    QCOMPARE(fixture.platform.boxes.size(), 1);
}

QTEST_MAIN(TestVersionCheck)
#include "tst_version_check.moc"
