#include "core/protocol/wire_protocol.h"
#include "support/json_members.h"
#include "widgets/controls/status_bar.h"
#include "widgets/domain_list/pending_list.h"
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

// The service's answer, or with an undefined member left out.
QJsonObject UpdateAnswer(const QJsonValue& version, const QJsonValue& sid, const QJsonValue& must)
{
    return JsonObject(
        {{wire::kResult, 1},
         {wire::kMessage, QString()},
         {wire::kInfo, JsonObject({{wire::kVersion, version}, {wire::kSid, sid}, {wire::kMust, must}})}});
}

QByteArray UpdateReply(const QJsonValue& version, const QJsonValue& sid, const QJsonValue& must)
{
    return wire::ReplyBody(UpdateAnswer(version, sid, must));
}

QString Text(const QJsonObject& reply)
{
    return QString::fromUtf8(wire::ReplyBody(reply));
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
    QTest::newRow("refused, number 0") << Text(wire::Refusal(u"停用"_s)) << u"refused: 停用"_s;
    QTest::newRow("refused, text 0") << Text(JsonObject({{wire::kResult, u"0"_s}, {wire::kMessage, u"x"_s}}))
                                     << u"refused: x"_s;
    QTest::newRow("current") << Text(UpdateAnswer(wire::kCheckedVersion.toString(), u"5"_s, u"0"_s))
                             << u"current"_s;
    QTest::newRow("trailing space is another version")
        << Text(UpdateAnswer(wire::kCheckedVersion.toString() + u' ', u"5"_s, u"0"_s))
        << u"offer %1  sid 5 optional"_s.arg(wire::kCheckedVersion.toString());
    QTest::newRow("older is offered too")
        << Text(UpdateAnswer(u"0.9.0"_s, 12, 1)) << u"offer 0.9.0 sid 12 compulsory"_s;
    QTest::newRow("must as the number 0")
        << Text(UpdateAnswer(u"2.0"_s, 1, 0)) << u"offer 2.0 sid 1 optional"_s;
    QTest::newRow("must other text") << Text(UpdateAnswer(u"2.0"_s, 1, u"yes"_s))
                                     << u"offer 2.0 sid 1 compulsory"_s;
    QTest::newRow("not JSON") << u"<html>502</html>"_s << u"no answer"_s;
    QJsonObject noResult = UpdateAnswer(wire::kCheckedVersion.toString(), 1, 0);
    noResult.remove(wire::kResult);
    QTest::newRow("no result") << Text(noResult) << u"no answer"_s;
    QTest::newRow("refused without message") << Text(JsonObject({{wire::kResult, 0}})) << u"no answer"_s;
    QTest::newRow("no info") << Text(JsonObject({{wire::kResult, 1}})) << u"no answer"_s;
    QTest::newRow("no must") << Text(UpdateAnswer(wire::kCheckedVersion.toString(), 1, QJsonValue::Undefined))
                             << u"no answer"_s;
    QTest::newRow("version is an object") << Text(UpdateAnswer(QJsonObject(), 1, 0)) << u"no answer"_s;
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
        << 200 << UpdateReply(wire::kCheckedVersion.toString(), u"5"_s, u"0"_s) << QList<bool>{} << QString()
        << false << QString();
    QTest::newRow("refusal with the service's message")
        << 200 << wire::ReplyBody(wire::Refusal(u"软件已停用"_s)) << QList<bool>{} << u"软件已停用"_s << true
        << QString();
    QTest::newRow("empty reply") << 200 << QByteArray() << QList<bool>{} << noNetwork << true << QString();
    QTest::newRow("unreadable reply is no answer")
        << 502 << QByteArray("<html>Bad Gateway</html>") << QList<bool>{} << noNetwork << true << QString();
    QTest::newRow("compulsory offer declined")
        << 200 << UpdateReply(u"1.1.0"_s, u"5"_s, 1) << QList<bool>{false}
        << u"发现最新版本1.1.0，是否现在更新?"_s << true << QString();
    QTest::newRow("optional offer declined, must text 0")
        << 200 << UpdateReply(u"1.1.0"_s, u"5"_s, u"0"_s) << QList<bool>{false}
        << u"发现最新版本1.1.0，是否现在更新?"_s << false << QString();
    QTest::newRow("optional offer declined, must number 0")
        << 200 << UpdateReply(u"0.9.0"_s, u"5"_s, 0) << QList<bool>{false}
        << u"发现最新版本0.9.0，是否现在更新?"_s << false << QString();
    QTest::newRow("offer accepted opens the works page and ends")
        << 200 << UpdateReply(u"1.1.0"_s, 77, u"0"_s) << QList<bool>{true}
        << u"发现最新版本1.1.0，是否现在更新?"_s << true
        << u"https://maker.example/index.php/Works/detail/sid/77"_s;
    QTest::newRow("compulsory offer accepted")
        << 200 << UpdateReply(u"1.1.0"_s, u"8"_s, u"1"_s) << QList<bool>{true}
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
    QCOMPARE(requests[0].target, QByteArray(wire::kVersionPath));
    QCOMPARE(requests[0].body, wire::VersionForm().toUtf8());
    QCOMPARE(requests[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
}

void TestVersionCheck::runsOnceEvenWhileABoxIsOpen()
{
    WindowFixture fixture;
    fixture.server.respondWith({200, wire::ReplyBody(wire::Refusal(u"m"_s))});
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
