#include "widgets/batch/result_table.h"
#include "widgets/domain_list/add_domain_dialog.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/main_window/qt_translations.h"
#include "widgets/platform/real_platform.h"
#include "widgets/controls/status_bar.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

QRect Twips(int left, int top, int width, int height)
{
    return {left / 15, top / 15, width / 15, height / 15};
}

QStringList FocusChain(QWidget* window, QWidget* first, int count)
{
    QStringList names;
    QWidget* widget = first;
    for (int i = 0; i < count; ++i) {
        names.append(widget->objectName());
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || !window->isAncestorOf(widget))
            widget = widget->nextInFocusChain();
    }
    return names;
}

void VerifyFixedWithCloseBoxOnly(QWidget& window)
{
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
}

// Nothing drawn in the fixed boxes may be cut off.
void VerifyTextsFit(QWidget& window)
{
    for (const QPushButton* button : window.findChildren<QPushButton*>())
        QVERIFY2(button->sizeHint().width() <= button->width(), qPrintable(button->objectName()));
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(needed <= label->contentsRect().width(), qPrintable(label->objectName()));
        QVERIFY2(label->fontMetrics().height() <= label->height(), qPrintable(label->objectName()));
    }
    for (const QCheckBox* box : window.findChildren<QCheckBox*>())
        QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->objectName()));
}

// The product's face where it is installed, else the CJK face that stands in for it;
// either way the one face named is the face that draws, so no fall-back search runs.
void VerifyProductFace(const QFont& font, const QString& face, qreal pointSize)
{
    const QString named = font.families().value(0);
    QCOMPARE(font.families().size(), 1);
    if (QFontDatabase::hasFamily(face)) {
        QVERIFY2(QFontInfo(font).family() == QFontInfo(QFont(face)).family(), qPrintable(named));
    } else {
        QVERIFY2(named == u"WenQuanYi Micro Hei"_s || named == u"Noto Sans CJK SC"_s, qPrintable(named));
        QCOMPARE(QFontInfo(font).family(), named);
    }
    QCOMPARE(font.pointSizeF(), pointSize);
    QCOMPARE(font.weight(), QFont::Normal);
}

} // namespace

class TestMainWindow final : public QObject {
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void initialState();
    void fontsAndTexts();
    void tabOrders();
    void exitAsksFirst();
    void exitThroughARealMessageBox();
    void webSiteButtons();
    void skinPathFollowsTheProgramFolder();
};

void TestMainWindow::geometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("List1") << QStringLiteral("List1") << Twips(120, 240, 2655, 7560);
    QTest::newRow("Listview1") << QStringLiteral("Listview1") << Twips(2880, 240, 15135, 8175);
    QTest::newRow("Command1") << QStringLiteral("Command1") << Twips(120, 7920, 1215, 615);
    QTest::newRow("Command6") << QStringLiteral("Command6") << Twips(1440, 7920, 1215, 615);
    QTest::newRow("Command2") << QStringLiteral("Command2") << Twips(120, 8640, 2535, 615);
    QTest::newRow("Label1") << QStringLiteral("Label1") << Twips(3000, 8760, 840, 300);
    QTest::newRow("Slider1") << QStringLiteral("Slider1") << Twips(3960, 8760, 3375, 375);
    QTest::newRow("Label2") << QStringLiteral("Label2") << Twips(7440, 8760, 630, 300);
    QTest::newRow("Command3") << QStringLiteral("Command3") << Twips(13800, 8760, 1335, 495);
    QTest::newRow("Command4") << QStringLiteral("Command4") << Twips(15240, 8760, 1335, 495);
    QTest::newRow("Command5") << QStringLiteral("Command5") << Twips(16680, 8760, 1335, 495);
    QTest::newRow("s1") << QStringLiteral("s1") << Twips(0, 9570, 18135, 615);
}

void TestMainWindow::geometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    WindowFixture fixture;
    fixture.window->load();
    QCOMPARE(fixture.window->size(), QSize(1209, 679));
    QCOMPARE(fixture.status().geometry().top(), 638);
    const QWidget* widget = fixture.window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), rect);
}

void TestMainWindow::initialState()
{
    WindowFixture fixture;
    QCOMPARE(fixture.status().panelText(StatusPanel::Version), QString());
    fixture.window->load();
    QVERIFY(fixture.window->isVisible());
    VerifyFixedWithCloseBoxOnly(*fixture.window);
    QVERIFY(fixture.window->windowIcon().isNull() ||
            fixture.window->windowIcon().cacheKey() == QApplication::windowIcon().cacheKey());

    QVERIFY(!fixture.button("Command2").isEnabled());
    QVERIFY(!fixture.timer("Timer1").isActive());
    QVERIFY(fixture.timer("Timer2").isActive());
    QCOMPARE(fixture.timer("Timer2").interval(), 1000);
    QCOMPARE(fixture.list().count(), 0);
    QCOMPARE(fixture.table().rowCount(), 0);
    QCOMPARE(fixture.table().editTriggers(), QAbstractItemView::NoEditTriggers);

    const struct {
        StatusPanel panel;
        QString text;
    } panels[]{{StatusPanel::Hint, QStringLiteral("运行提示：")},
               {StatusPanel::Message, QStringLiteral("正在检测程序最新版本..")},
               {StatusPanel::Version, QStringLiteral("V1.0.0")},
               {StatusPanel::Maker, QStringLiteral("Norvane出品")}};
    for (const auto& [panel, text] : panels) {
        QCOMPARE(fixture.status().panelText(panel), text);
        QCOMPARE(fixture.status().panel(panel)->frameShadow(), QFrame::Sunken);
        QVERIFY(fixture.status().panel(panel)->width() >= 96);
    }
    QCOMPARE(fixture.status().panel(StatusPanel::Hint)->width(), 96);
    QCOMPARE(fixture.status().panel(StatusPanel::Version)->width(), 96);
    QCOMPARE(fixture.status().panel(StatusPanel::Maker)->width(), 96);
    QVERIFY(fixture.status().panel(StatusPanel::Message)->width() > 96 * 9);
    QVERIFY(fixture.status().panel(StatusPanel::Version)->alignment() & Qt::AlignHCenter);
    QVERIFY(fixture.status().panel(StatusPanel::Maker)->alignment() & Qt::AlignHCenter);

    const QSlider& slider = fixture.slider();
    QCOMPARE(slider.minimum(), 3);
    QCOMPARE(slider.maximum(), 10);
    QCOMPARE(slider.value(), 3);
    QCOMPARE(slider.singleStep(), 1);
    QCOMPARE(slider.pageStep(), 5);
    QCOMPARE(slider.tickPosition(), QSlider::TicksBelow);
    QCOMPARE(fixture.label("Label2").text(), QStringLiteral("3秒/次"));

    // Nine columns, all headers visible without scrolling: 13500 twips = 900 pixels.
    const QHeaderView* header = fixture.table().horizontalHeader();
    QCOMPARE(header->count(), 9);
    int sum = 0;
    for (int i = 0; i < header->count(); ++i)
        sum += header->sectionSize(i);
    QCOMPARE(sum, 900);
    QCOMPARE(header->sectionSize(0), 133);
    QCOMPARE(header->sectionSize(1), 167);
    QVERIFY(sum < fixture.table().viewport()->width());
}

void TestMainWindow::fontsAndTexts()
{
    WindowFixture fixture;
    fixture.window->load();
    QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Norvane域名Whois批量查询器"));
    const QStringList captions{QStringLiteral("导入域名"),   QStringLiteral("批量查询"),
                               QStringLiteral("工作室官网"), QStringLiteral("Valtrin公司官网"),
                               QStringLiteral("退出程序"),   QStringLiteral("添加域名")};
    const char* buttons[] = {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6"};
    for (int i = 0; i < 6; ++i)
        QCOMPARE(fixture.button(buttons[i]).text(), captions[i]);
    QCOMPARE(fixture.label("Label1").text(), QStringLiteral("查询速度"));
    const QStringList headers{
        QStringLiteral("域名"),   QStringLiteral("注册商"),   QStringLiteral("邮件"),
        QStringLiteral("电话"),   QStringLiteral("注册时间"), QStringLiteral("到期时间"),
        QStringLiteral("服务器"), QStringLiteral("DNS"),      QStringLiteral("状态")};
    for (int i = 0; i < 9; ++i)
        QCOMPARE(fixture.table().model()->headerData(i, Qt::Horizontal).toString(), headers[i]);

    for (const char* name : {"List1", "Label1", "Label2"})
        VerifyProductFace(fixture.window->findChild<QWidget*>(QString::fromLatin1(name))->font(),
                          u"微软雅黑"_s, 10.5);
    VerifyProductFace(fixture.table().font(), u"微软雅黑"_s, 8.25);
    VerifyProductFace(fixture.window->font(), u"宋体"_s, 9);
    // The captions are in the table's face, however late the table got it.
    QCOMPARE(fixture.table().horizontalHeader()->font(), fixture.table().font());
    QCOMPARE(fixture.list().cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(fixture.slider().cursor().shape(), Qt::PointingHandCursor);
    // Chinese must be drawable with the fonts the set-up installs.
    QVERIFY(QFontMetrics(fixture.list().font()).inFontUcs4(0x57DF));
    VerifyTextsFit(*fixture.window);
}

void TestMainWindow::tabOrders()
{
    WindowFixture fixture;
    fixture.window->load();
    QCOMPARE(FocusChain(fixture.window.get(), &fixture.button("Command1"), 9),
             (QStringList{u"Command1"_s, u"Listview1"_s, u"List1"_s, u"Command2"_s, u"Slider1"_s,
                          u"Command3"_s, u"Command4"_s, u"Command5"_s, u"Command6"_s}));

    AddDomainDialog dialog(fixture.list(), fixture.platform, [] {});
    QCOMPARE(dialog.size(), QSize(346, 193));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("添加域名"));
    VerifyFixedWithCloseBoxOnly(dialog);
    struct {
        QGroupBox* Frame1;
        QLabel* Label1;
        QLineEdit* Text1;
        QCheckBox* Check1;
        QPushButton* Command1;
    } ui{dialog.findChild<QGroupBox*>(QStringLiteral("Frame1")),
         dialog.findChild<QLabel*>(QStringLiteral("Label1")),
         dialog.findChild<QLineEdit*>(QStringLiteral("Text1")),
         dialog.findChild<QCheckBox*>(QStringLiteral("Check1")),
         dialog.findChild<QPushButton*>(QStringLiteral("Command1"))};
    QCOMPARE(ui.Frame1->geometry(), Twips(240, 240, 4695, 1335));
    QCOMPARE(ui.Label1->geometry(), Twips(240, 240, 2100, 300));
    QCOMPARE(ui.Label1->parentWidget(), ui.Frame1);
    QCOMPARE(ui.Text1->geometry(), Twips(240, 720, 4335, 345));
    QCOMPARE(ui.Text1->parentWidget(), ui.Frame1);
    QCOMPARE(ui.Check1->geometry(), Twips(240, 1680, 2175, 255));
    QCOMPARE(ui.Command1->geometry(), Twips(240, 2160, 4695, 495));
    QCOMPARE(ui.Label1->text(), QStringLiteral("请输入要添加的域名："));
    QCOMPARE(ui.Check1->text(), QStringLiteral("添加后立刻查询"));
    QCOMPARE(ui.Command1->text(), QStringLiteral("添加"));
    QVERIFY(ui.Command1->isDefault());
    QVERIFY(!ui.Check1->isChecked());
    QVERIFY(ui.Text1->text().isEmpty());
    QCOMPARE(ui.Check1->cursor().shape(), Qt::PointingHandCursor);
    for (QWidget* widget : {static_cast<QWidget*>(ui.Label1), static_cast<QWidget*>(ui.Text1),
                            static_cast<QWidget*>(ui.Check1)}) {
        VerifyProductFace(widget->font(), u"微软雅黑"_s, 10.5);
    }
    QCOMPARE(FocusChain(&dialog, ui.Command1, 3), (QStringList{u"Command1"_s, u"Text1"_s, u"Check1"_s}));
    VerifyTextsFit(dialog);
}

void TestMainWindow::exitAsksFirst()
{
    WindowFixture fixture;
    fixture.window->load();
    fixture.list().append(QStringList{QStringLiteral("a.com"), QStringLiteral("b.com")});

    // The exit button and the close box ask the same question; No keeps everything.
    QTest::mouseClick(&fixture.button("Command5"), Qt::LeftButton);
    fixture.window->close();
    QCOMPARE(fixture.platform.boxes.size(), 2);
    for (const auto& box : fixture.platform.boxes) {
        QVERIFY(box.yesNo);
        QCOMPARE(box.title, QStringLiteral("提示"));
        QCOMPARE(box.text, QStringLiteral("确定退出软件吗?"));
    }
    QCOMPARE(fixture.platform.endCount, 0);
    QVERIFY(fixture.window->isVisible());
    QCOMPARE(fixture.list().count(), 2);

    fixture.platform.yesNoAnswers.enqueue(true);
    fixture.window->close();
    QCOMPARE(fixture.platform.endCount, 1);
}

void TestMainWindow::exitThroughARealMessageBox()
{
    // Qt's own texts in Chinese, as the program loads them at start.
    QVERIFY(InstallQtChineseTranslations(*QCoreApplication::instance()));
    TestHttpsServer::trustTestAuthority();
    TestHttpsServer server;
    server.setHandler(&WindowFixture::DefaultAnswer);
    RealPlatform platform;
    QNetworkAccessManager network;
    MainWindow window(Endpoints{server.baseUrl(), server.baseUrl(), {}, {}, {}}, platform, network);
    window.load();

    QString seenText;
    QString seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    bool hadYesAndNo = false;
    QTimer answerer;
    answerer.setInterval(20);
    connect(&answerer, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answerer.stop();
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        hadYesAndNo = box->button(QMessageBox::Yes) && box->button(QMessageBox::No) &&
                      box->button(QMessageBox::Yes)->text().startsWith(u"是"_s) &&
                      box->button(QMessageBox::No)->text().startsWith(u"否"_s);
        box->button(QMessageBox::No)->click();
    });
    answerer.start();
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Command5")), Qt::LeftButton);

    QCOMPARE(seenText, QStringLiteral("确定退出软件吗?"));
    QCOMPARE(seenTitle, QStringLiteral("提示"));
    QCOMPARE(seenIcon, QMessageBox::Information);
    QVERIFY(hadYesAndNo);
    QVERIFY(window.isVisible());
}

void TestMainWindow::webSiteButtons()
{
    WindowFixture fixture;
    fixture.window->load();
    QTest::mouseClick(&fixture.button("Command3"), Qt::LeftButton);
    QTest::mouseClick(&fixture.button("Command4"), Qt::LeftButton);
    QCOMPARE(fixture.platform.openedUrls, (QList<QUrl>{QUrl(QStringLiteral("http://studio.example")),
                                                       QUrl(QStringLiteral("http://company.example"))}));
    QVERIFY(fixture.platform.boxes.isEmpty());
}

void TestMainWindow::skinPathFollowsTheProgramFolder()
{
    QCOMPARE(MainWindow::skinPath(), QCoreApplication::applicationDirPath() + QStringLiteral("/skinh.she"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
