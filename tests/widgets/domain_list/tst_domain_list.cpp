#include "widgets/batch/result_table.h"
#include "widgets/domain_list/add_domain_dialog.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/controls/status_bar.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}

const QString kFormatMessage =
    u"请按照如下格式：\r\n\r\n域名前不要加http://与www\r\n一行一个域名，例如：example.com"_s;

QPoint RowCenter(PendingList& list, int row)
{
    return list.visualRect(list.model()->index(row, 0)).center();
}

} // namespace

class TestDomainList final : public QObject {
    Q_OBJECT
private slots:
    void importReplacesAndCleans_data();
    void importReplacesAndCleans();
    void importCancelledChangesNothing();
    void importOfNothingSelectsNothing();
    void importCountsPast32767();
    void importDialogRemembersTheFolder();
    void droppedFileImports();

    void dialogRejectsWithTheFirstBrokenRule();
    void dialogAppendsAsTyped();
    void dialogEnterPressesAdd();
    void dialogCloseBoxAddsNothing();
    void dialogOpensFreshAndLooksUpAtOnce();

    void doubleClickRemovesTheSelectedName();
    void pressOnTheEmptyListImports_data();
    void pressOnTheEmptyListImports();

private:
    QTemporaryDir m_dir;
};

void TestDomainList::importReplacesAndCleans_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("CR LF with cleaning")
        << QByteArray("http://www.a.com\r\n\r\nwww.b.net\r\n http://c.org\r\nhttp://\r\n")
        << QStringList{u"a.com"_s, u"b.net"_s, u" c.org"_s, u""_s};
    QTest::newRow("lone CR") << QByteArray("a.com\rb.com\r") << QStringList{u"a.com"_s, u"b.com"_s};
    QTest::newRow("lone LF") << QByteArray("a.com\n\nb.com") << QStringList{u"a.com"_s, u"b.com"_s};
    QTest::newRow("code page 936 names")
        << QByteArray(QStringEncoder("GBK").encode(u"中文.com\r\n例子.cn\r\n"_s))
        << QStringList{u"中文.com"_s, u"例子.cn"_s};
    QTest::newRow("UTF-8 without mark")
        << u"中文.com\n例子.cn"_s.toUtf8() << QStringList{u"中文.com"_s, u"例子.cn"_s};
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBFwww.a.com\nb.com")
                                     << QStringList{u"a.com"_s, u"b.com"_s};
}

void TestDomainList::importReplacesAndCleans()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    WindowFixture fixture;
    fixture.list().append(QStringList{u"old.com"_s});
    fixture.platform.fileChoices.enqueue(WriteFile(m_dir, u"list.txt"_s, bytes));

    QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);

    QCOMPARE(fixture.platform.events, (QList<QString>{u"box"_s, u"file"_s}));
    QCOMPARE(fixture.platform.boxes[0].title, u"提示"_s);
    QCOMPARE(fixture.platform.boxes[0].text, kFormatMessage);
    QCOMPARE(fixture.platform.fileDialogs[0].title, u"请选择要加载的文件"_s);
    QCOMPARE(fixture.platform.fileDialogs[0].filter, u"文本文件|*.txt"_s);
    QCOMPARE(fixture.list().items(), names);
    QCOMPARE(fixture.list().selectedIndex(), names.size() - 1);
    QCOMPARE(fixture.list().toolTip(), u"双击列表删除:"_s + names.last());
    QCOMPARE(fixture.status().message(), u"列表加载成功!共%1个域名"_s.arg(names.size()));
    // Outside a batch the selection only refreshes the tooltip.
    QVERIFY(fixture.lookedUp().isEmpty());
}

void TestDomainList::droppedFileImports()
{
    WindowFixture fixture;
    fixture.list().append(QStringList{u"old.com"_s});
    const QString path = WriteFile(m_dir, u"dropped.txt"_s, "http://www.a.com\r\n\r\nb.net\n");
    const auto drop = [&fixture](const QList<QUrl>& urls, Qt::DropActions actions) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = fixture.list().viewport()->rect().center();
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(fixture.list().viewport(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(at, actions, &data, Qt::LeftButton, {});
        QApplication::sendEvent(fixture.list().viewport(), &dropped);
        // A file is only ever copied: a move would let its source delete it.
        return dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
    };

    QVERIFY(!drop({QUrl(u"https://example.com/list.txt"_s)}, Qt::CopyAction));
    QVERIFY(!drop({QUrl::fromLocalFile(path)}, Qt::MoveAction));
    QCOMPARE(fixture.list().items(), QStringList{u"old.com"_s});

    QVERIFY(drop({QUrl::fromLocalFile(path)}, Qt::CopyAction | Qt::MoveAction));
    // As the import button, without its message and dialog.
    QCOMPARE(fixture.list().items(), (QStringList{u"a.com"_s, u"b.net"_s}));
    QCOMPARE(fixture.list().selectedIndex(), 1);
    QCOMPARE(fixture.status().message(), u"列表加载成功!共2个域名"_s);
    QVERIFY(fixture.platform.events.isEmpty());
}

void TestDomainList::importCancelledChangesNothing()
{
    WindowFixture fixture;
    fixture.list().append(QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s});
    fixture.list().select(1);
    fixture.status().showMessage(u"before"_s);
    QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);
    QCOMPARE(fixture.platform.fileDialogs.size(), 1);
    QCOMPARE(fixture.list().items(), (QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s}));
    QCOMPARE(fixture.list().selectedIndex(), 1);
    QCOMPARE(fixture.status().message(), u"before"_s);
}

void TestDomainList::importOfNothingSelectsNothing()
{
    WindowFixture fixture;
    for (const QString& path :
         {WriteFile(m_dir, u"blank.txt"_s, "\r\n\r\n\n"), m_dir.filePath(u"does-not-exist.txt"_s)}) {
        fixture.list().append(QStringList{u"a.com"_s});
        fixture.list().select(0);
        fixture.status().showMessage(u"before"_s);
        fixture.platform.fileChoices.enqueue(path);
        QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);
        QCOMPARE(fixture.list().count(), 0);
        QCOMPARE(fixture.list().selectedIndex(), -1);
        QCOMPARE(fixture.status().message(), u"before"_s);
    }
    QCOMPARE(fixture.platform.boxes.size(), 2); // the format messages only
}

void TestDomainList::importCountsPast32767()
{
    WindowFixture fixture;
    QByteArray bytes;
    for (int i = 0; i < 40000; ++i)
        bytes += "http://www.name" + QByteArray::number(i) + ".com\r\n\r\n";
    fixture.platform.fileChoices.enqueue(WriteFile(m_dir, u"many.txt"_s, bytes));
    QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);
    QCOMPARE(fixture.list().count(), 40000);
    QCOMPARE(fixture.list().selectedIndex(), 39999);
    QCOMPARE(fixture.list().itemText(39999), u"name39999.com"_s);
    QCOMPARE(fixture.list().itemText(32768), u"name32768.com"_s);
    QCOMPARE(fixture.status().message(), u"列表加载成功!共40000个域名"_s);
}

void TestDomainList::importDialogRemembersTheFolder()
{
    WindowFixture fixture;
    QTemporaryDir other;
    fixture.platform.fileChoices.enqueue(WriteFile(other, u"x.txt"_s, "a.com"));
    QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);
    QTest::mouseClick(&fixture.button("Command1"), Qt::LeftButton);
    QCOMPARE(fixture.platform.fileDialogs[0].startFolder, QCoreApplication::applicationDirPath());
    QCOMPARE(fixture.platform.fileDialogs[1].startFolder, QFileInfo(other.path()).absoluteFilePath());
}

void TestDomainList::dialogRejectsWithTheFirstBrokenRule()
{
    WindowFixture fixture;
    int lookups = 0;
    AddDomainDialog dialog(fixture.list(), fixture.platform, [&] { ++lookups; });
    auto* text = dialog.findChild<QLineEdit*>(u"Text1"_s);
    const QStringList typed{QString(), u" "_s, u"http://example.xyz"_s, u"http://a.com"_s, u"www.a.com"_s};
    for (const QString& input : typed) {
        text->setText(input);
        dialog.Command1_Click();
        QCOMPARE(text->text(), input);
    }
    QStringList messages;
    for (const auto& box : fixture.platform.boxes) {
        QCOMPARE(box.title, u"Norvane系列软件"_s);
        messages.append(box.text);
    }
    QCOMPARE(messages, (QStringList{u"请输入域名.."_s, u"域名不正确,您请检查.."_s, u"域名不正确,您请检查.."_s,
                                    u"域名不需要加http://.."_s, u"域名不需要加www.."_s}));
    QCOMPARE(fixture.list().count(), 0);
    QCOMPARE(lookups, 0);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestDomainList::dialogAppendsAsTyped()
{
    WindowFixture fixture;
    fixture.list().append(QStringList{u"a.com"_s});
    int lookups = 0;
    for (const QString& name : {u"WWW.a.com "_s, u"a.com"_s}) {
        AddDomainDialog dialog(fixture.list(), fixture.platform, [&] { ++lookups; });
        dialog.findChild<QLineEdit*>(u"Text1"_s)->setText(name);
        dialog.Command1_Click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(fixture.list().items(), (QStringList{u"a.com"_s, u"WWW.a.com "_s, u"a.com"_s}));
    QCOMPARE(fixture.platform.boxes.size(), 2);
    QCOMPARE(fixture.platform.boxes[1].text, u"域名添加成功.."_s);
    QCOMPARE(lookups, 0);
}

void TestDomainList::dialogEnterPressesAdd()
{
    WindowFixture fixture;
    AddDomainDialog dialog(fixture.list(), fixture.platform, [] {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(QApplication::focusWidget(), dialog.findChild<QPushButton*>(u"Command1"_s));
    auto* text = dialog.findChild<QLineEdit*>(u"Text1"_s);
    text->setFocus();
    QTest::keyClicks(text, u"b.cn"_s);
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(fixture.list().items(), QStringList{u"b.cn"_s});
    QVERIFY(!dialog.isVisible());
}

void TestDomainList::dialogCloseBoxAddsNothing()
{
    WindowFixture fixture;
    AddDomainDialog dialog(fixture.list(), fixture.platform, [] {});
    dialog.show();
    dialog.findChild<QLineEdit*>(u"Text1"_s)->setText(u"a.com"_s);
    dialog.close();
    QCOMPARE(fixture.list().count(), 0);
    QVERIFY(fixture.platform.boxes.isEmpty());
}

void TestDomainList::dialogOpensFreshAndLooksUpAtOnce()
{
    WindowFixture fixture;
    fixture.window->load();
    fixture.list().append(QStringList{u"first.com"_s});
    bool dialogVisibleDuringLookup = true;
    bool sawFreshDialog = false;
    int round = 0;
    QTimer typer;
    typer.setInterval(10);
    connect(&typer, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<AddDomainDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        typer.stop();
        auto* text = dialog->findChild<QLineEdit*>(u"Text1"_s);
        auto* check = dialog->findChild<QCheckBox*>(u"Check1"_s);
        sawFreshDialog = text->text().isEmpty() && !check->isChecked();
        text->setText(u"new.org"_s);
        check->setChecked(round == 0);
        dialog->findChild<QPushButton*>(u"Command1"_s)->click();
    });
    fixture.table().appendRow(ResultRow{{u"kept"_s}});
    connect(&fixture.list(), &PendingList::selectionSet, this,
            [&] { dialogVisibleDuringLookup = QApplication::activeModalWidget() != nullptr; });

    typer.start();
    QTest::mouseClick(&fixture.button("Command6"), Qt::LeftButton);
    QVERIFY(sawFreshDialog);
    QCOMPARE(fixture.lookedUp(), QStringList{u"new.org"_s});
    QVERIFY(!dialogVisibleDuringLookup);
    QCOMPARE(fixture.table().rowCount(), 2); // appended below what was there
    QCOMPARE(fixture.table().row(1).fields[0], u"new.org"_s);
    // Afterwards a click on a name only selects it.
    QTest::mouseClick(fixture.list().viewport(), Qt::LeftButton, {}, RowCenter(fixture.list(), 0));
    QCOMPARE(fixture.lookedUp().size(), 1);
    QCOMPARE(fixture.status().message(), u"new.org查询完毕 | 共：2个域名 | 剩余查询：0个"_s);

    // Opened again: fresh controls, and without the check box nothing is looked up.
    round = 1;
    sawFreshDialog = false;
    typer.start();
    QTest::mouseClick(&fixture.button("Command6"), Qt::LeftButton);
    QVERIFY(sawFreshDialog);
    QCOMPARE(fixture.list().count(), 3);
    QCOMPARE(fixture.lookedUp().size(), 1);
}

void TestDomainList::doubleClickRemovesTheSelectedName()
{
    WindowFixture fixture;
    fixture.window->load();
    PendingList& list = fixture.list();
    list.append(QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s});
    fixture.status().showMessage(u"before"_s);

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, RowCenter(list, 1));
    QCOMPARE(list.selectedIndex(), 1);
    QCOMPARE(list.toolTip(), u"双击列表删除:b.com"_s);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, RowCenter(list, 1));
    QCOMPARE(list.items(), (QStringList{u"a.com"_s, u"c.com"_s}));
    QCOMPARE(list.selectedIndex(), -1);

    // Nothing selected: a double click removes nothing.
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 5));
    QCOMPARE(list.count(), 2);
    QVERIFY(fixture.platform.boxes.isEmpty());
    QCOMPARE(fixture.status().message(), u"before"_s);
    QVERIFY(fixture.lookedUp().isEmpty());
}

void TestDomainList::pressOnTheEmptyListImports_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestDomainList::pressOnTheEmptyListImports()
{
    QFETCH(Qt::MouseButton, button);
    WindowFixture fixture;
    fixture.window->load();
    PendingList& list = fixture.list();
    fixture.platform.fileChoices.enqueue(WriteFile(m_dir, u"one.txt"_s, "only.com"));
    QTest::mousePress(list.viewport(), button, {}, QPoint(10, 10));
    QTest::mouseRelease(list.viewport(), button, {}, QPoint(10, 10));
    QCOMPARE(fixture.platform.events, (QList<QString>{u"box"_s, u"file"_s}));
    QCOMPARE(fixture.platform.boxes[0].text, kFormatMessage);
    QCOMPARE(list.items(), QStringList{u"only.com"_s});

    // A list that holds names never imports, also below the last name.
    QTest::mousePress(list.viewport(), button, {}, QPoint(10, list.viewport()->height() - 5));
    QCOMPARE(fixture.platform.events.size(), 2);

    // While a batch runs the list is disabled and the press does nothing.
    list.clear();
    list.setEnabled(false);
    QTest::mousePress(list.viewport(), button, {}, QPoint(10, 10));
    QCOMPARE(fixture.platform.events.size(), 2);
}

QTEST_MAIN(TestDomainList)
#include "tst_domain_list.moc"
