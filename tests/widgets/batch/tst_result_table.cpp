#include "core/batch/export_files.h"
#include "core/batch/result_columns.h"
#include "widgets/batch/result_export.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "support/window_fixture.h"
#include "support/zip_entries.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QHelpEvent>
#include <QToolTip>

using namespace Qt::Literals::StringLiterals;

namespace {

ResultRow Row(const QString& domain, const QString& created, const QString& phone = {})
{
    return ResultRow{{domain, u"R"_s, u"e@x"_s, phone, created, u"2030-01-01"_s, u"s"_s, u"n"_s, u"ok"_s}};
}

QStringList Domains(const ResultTable& table)
{
    QStringList domains;
    for (int i = 0; i < table.rowCount(); ++i)
        domains.append(table.row(i).fields[0]);
    return domains;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real window with the table focused and the window active, so keys reach it.
struct TableWindow {
    TableWindow()
    {
        fixture.window->load();
        QApplication::setActiveWindow(fixture.window.get());
        fixture.table().setFocus();
    }
    ResultTable& table() const { return fixture.table(); }
    void clickHeader(int column)
    {
        QHeaderView* header = table().horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    QPoint rowPoint(int position) const
    {
        return table().visualRect(table().model()->index(position, 0)).center();
    }
    WindowFixture fixture;
};

} // namespace

class TestResultTable final : public QObject {
    Q_OBJECT
private slots:
    void csvFields_data();
    void csvFields();
    void tabSeparatedText();
    void cellOrder_data();
    void cellOrder();
    void exportTargets();
    void headerClicksSortAndReturnToLookupOrder();
    void copyTakesTheSelectedRowsAsShown();
    void exportWritesBothFormatsThatReadBack();
    void exportFailureIsReported();
    void filterShowsCopiesAndExportsByStatus();
    void cutCellsShowTheirWholeText();
};

void TestResultTable::csvFields_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("field");
    QTest::newRow("plain") << u"example.com"_s << u"example.com"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("Chinese") << u"未注册"_s << u"未注册"_s;
    QTest::newRow("comma") << u"ns1.a,ns2.a"_s << u"\"ns1.a,ns2.a\""_s;
    QTest::newRow("quote") << u"say \"hi\""_s << u"\"say \"\"hi\"\"\""_s;
    QTest::newRow("line feed") << u"a\nb"_s << u"\"a\nb\""_s;
    QTest::newRow("CR LF") << u"a\r\nb"_s << u"\"a\r\nb\""_s;
    QTest::newRow("formula =") << u"=1+1"_s << u"'=1+1"_s;
    QTest::newRow("formula + phone") << u"+86.1234"_s << u"'+86.1234"_s;
    QTest::newRow("formula -") << u"-2"_s << u"'-2"_s;
    QTest::newRow("formula @") << u"@SUM(A1)"_s << u"'@SUM(A1)"_s;
    QTest::newRow("leading tab") << u"\t=1"_s << u"'\t=1"_s;
    QTest::newRow("leading CR") << u"\r=1"_s << u"\"'\r=1\""_s;
    QTest::newRow("formula with comma")
        << u"=HYPERLINK(\"x\",\"y\")"_s << u"\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""_s;
    QTest::newRow("sign inside") << u"a=b-c"_s << u"a=b-c"_s;
    QTest::newRow("leading space") << u" =1"_s << u" =1"_s;
}

void TestResultTable::csvFields()
{
    QFETCH(QString, cell);
    QFETCH(QString, field);
    QCOMPARE(CsvField(cell), field);
}

void TestResultTable::tabSeparatedText()
{
    const std::vector<ResultRow> rows{
        ResultRow{{u"a.com"_s, u"R\tS"_s, u"e"_s, u"+1.5"_s, u"2001-02-03"_s, QString(), u"line\r\nbreak"_s,
                   u"n1,n2"_s, u"未注册"_s}},
        ResultRow{{u"b.com"_s}},
    };
    const RowSource source{2,
                           [&rows](int i) -> const ResultRow& { return rows[static_cast<std::size_t>(i)]; }};
    QCOMPARE(TabSeparatedText(source), u"域名\t注册商\t邮件\t电话\t注册时间\t到期时间\t服务器\tDNS\t状态\r\n"
                                       u"a.com\tR S\te\t'+1.5\t2001-02-03\t\tline  break\tn1,n2\t未注册\r\n"
                                       u"b.com\t\t\t\t\t\t\t\t\r\n"_s);
}

void TestResultTable::cellOrder_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("sign");
    QTest::newRow("text ignores case") << 0 << u"B.com"_s << u"a.com"_s << 1;
    QTest::newRow("equal text") << 0 << u"a.com"_s << u"A.COM"_s << 0;
    QTest::newRow("dates") << 4 << u"1999-12-31"_s << u"2000-01-01"_s << -1;
    QTest::newRow("date with time") << 5 << u"2000-01-01T23:59:59Z"_s << u"2000-01-01"_s << 0;
    QTest::newRow("date with spaced time") << 5 << u"2000-01-02 00:00:00"_s << u"2000-01-01"_s << 1;
    QTest::newRow("date before empty") << 4 << u"2030-01-01"_s << QString() << -1;
    QTest::newRow("date before text") << 4 << u"2030-01-01"_s << u"unknown"_s << -1;
    QTest::newRow("impossible date is text") << 4 << u"2001-02-30"_s << u"1990-01-01"_s << 1;
    QTest::newRow("dates only in date columns") << 0 << u"2030-01-01"_s << QString() << 1;
}

void TestResultTable::cellOrder()
{
    QFETCH(int, column);
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, sign);
    const int compared = CompareCells(column, a, b);
    QCOMPARE((compared > 0) - (compared < 0), sign);
    QCOMPARE(CompareCells(column, b, a) > 0, sign < 0);
}

void TestResultTable::exportTargets()
{
    const auto check = [](const QString& chosen, int filter, const QString& path, ExportFormat format) {
        const ExportTarget target = ResolveExportTarget(chosen, filter);
        return target.path == path && target.format == format;
    };
    QVERIFY(check(u"/d/r.csv"_s, 1, u"/d/r.csv"_s, ExportFormat::Csv));
    QVERIFY(check(u"/d/r.XLSX"_s, 0, u"/d/r.XLSX"_s, ExportFormat::Xlsx));
    QVERIFY(check(u"/d/r"_s, 0, u"/d/r.csv"_s, ExportFormat::Csv));
    QVERIFY(check(u"/d/r.txt"_s, 1, u"/d/r.txt.xlsx"_s, ExportFormat::Xlsx));
}

void TestResultTable::headerClicksSortAndReturnToLookupOrder()
{
    TableWindow window;
    ResultTable& table = window.table();
    // Lookup order c, a, b; registration dates b < c < a, one row without a date.
    table.appendRow(Row(u"c.com"_s, u"2005-06-07"_s));
    table.appendRow(Row(u"a.com"_s, u"2010-01-01T08:00:00Z"_s));
    table.appendRow(Row(u"b.com"_s, u"1999-12-31"_s));
    table.appendRow(Row(u"d.com"_s, QString()));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, window.rowPoint(1)); // a.com

    window.clickHeader(4);
    QCOMPARE(Domains(table), (QStringList{u"b.com"_s, u"c.com"_s, u"a.com"_s, u"d.com"_s}));
    // The selection stays on the row it was on.
    QCOMPARE(table.selectedPositions(), std::vector<int>{2});
    // Descending; a row without a date stays last.
    window.clickHeader(4);
    QCOMPARE(Domains(table), (QStringList{u"a.com"_s, u"c.com"_s, u"b.com"_s, u"d.com"_s}));
    // A row arriving while sorted goes where the sort puts it.
    table.appendRow(Row(u"e.com"_s, u"2007-01-01"_s));
    QCOMPARE(Domains(table), (QStringList{u"a.com"_s, u"e.com"_s, u"c.com"_s, u"b.com"_s, u"d.com"_s}));
    // The detail box shows the row double-clicked as seen.
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, window.rowPoint(1));
    QVERIFY(window.fixture.platform.boxes.value(0).text.startsWith(u"域名：e.com\r\n"_s));

    window.clickHeader(4);
    QCOMPARE(table.horizontalHeader()->sortIndicatorSection(), -1);
    QCOMPARE(Domains(table), (QStringList{u"c.com"_s, u"a.com"_s, u"b.com"_s, u"d.com"_s, u"e.com"_s}));

    // Another column starts ascending; equal cells keep lookup order.
    window.clickHeader(1);
    QCOMPARE(Domains(table), (QStringList{u"c.com"_s, u"a.com"_s, u"b.com"_s, u"d.com"_s, u"e.com"_s}));
    window.clickHeader(0);
    QCOMPARE(Domains(table), (QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s, u"d.com"_s, u"e.com"_s}));
    // A new batch clears the rows but keeps sorting the new ones.
    table.clearRows();
    table.appendRow(Row(u"z.com"_s, {}));
    table.appendRow(Row(u"y.com"_s, {}));
    QCOMPARE(Domains(table), (QStringList{u"y.com"_s, u"z.com"_s}));

    // The same from the keyboard, through the menu's 排序 entries.
    QMenu& sort = table.sortMenu();
    QCOMPARE(sort.title(), u"排序"_s);
    QCOMPARE(sort.actions().size(), 11); // nine columns, a separator, lookup order
    QCOMPARE(sort.actions()[8]->text(), u"状态"_s);
    sort.actions()[0]->trigger();
    QCOMPARE(Domains(table), (QStringList{u"z.com"_s, u"y.com"_s}));
    sort.actions()[0]->trigger();
    QCOMPARE(Domains(table), (QStringList{u"y.com"_s, u"z.com"_s}));
    QCOMPARE(sort.actions()[10]->text(), u"按查询顺序"_s);
    sort.actions()[10]->trigger();
    QCOMPARE(Domains(table), (QStringList{u"z.com"_s, u"y.com"_s}));
    QCOMPARE(table.horizontalHeader()->sortIndicatorSection(), -1);
}

void TestResultTable::copyTakesTheSelectedRowsAsShown()
{
    TableWindow window;
    ResultTable& table = window.table();
    QVERIFY(table.selectionMode() == QAbstractItemView::ExtendedSelection);
    table.appendRow(Row(u"b.com"_s, u"2001-01-01"_s, u"+1.5"_s));
    table.appendRow(Row(u"c.com"_s, u"2002-01-01"_s));
    table.appendRow(Row(u"a.com"_s, u"2003-01-01"_s));
    window.clickHeader(0);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, window.rowPoint(2)); // c.com
    QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      window.rowPoint(1)); // b.com

    QApplication::clipboard()->clear();
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             u"域名\t注册商\t邮件\t电话\t注册时间\t到期时间\t服务器\tDNS\t状态\r\n"
             u"b.com\tR\te@x\t'+1.5\t2001-01-01\t2030-01-01\ts\tn\tok\r\n"
             u"c.com\tR\te@x\t\t2002-01-01\t2030-01-01\ts\tn\tok\r\n"_s);

    QTest::keyClick(&table, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(table.selectedPositions(), (std::vector<int>{0, 1, 2}));
    // Every action is in the menu with its key, so the menu shows the keys too.
    QCOMPARE(table.copyAction().text(), u"复制"_s);
    QCOMPARE(table.selectAllAction().text(), u"全选"_s);
    QCOMPARE(table.exportAction().text(), u"导出…"_s);
    QCOMPARE(table.exportAction().shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

void TestResultTable::exportWritesBothFormatsThatReadBack()
{
    QTemporaryDir dir;
    TableWindow window;
    ResultTable& table = window.table();
    ScriptedPlatform& platform = window.fixture.platform;
    // Nothing to export: no dialog.
    QTest::keyClick(&table, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(platform.saveDialogs.isEmpty());

    table.appendRow(
        ResultRow{{u"b.com"_s, u"某某公司, Inc."_s, u"=cmd"_s, u"+86.1"_s, u"2001-02-03"_s,
                   u"2031-02-03T00:00:00Z"_s, u"whois.b"_s, u"ns1,ns2"_s, u"say \"ok\"\nnext"_s}});
    table.appendRow(Row(u"a.com"_s, u"1899-01-01"_s, u"bell\x07"_s));
    window.clickHeader(0); // exported as shown: a.com first

    platform.saveChoices.enqueue(Platform::SaveChoice{dir.filePath(u"结果"_s), 0});
    QTest::keyClick(&table, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(platform.saveDialogs.size(), 1);
    QCOMPARE(platform.saveDialogs[0].title, u"导出查询结果"_s);
    QCOMPARE(platform.saveDialogs[0].filters, (QStringList{u"CSV 文件|*.csv"_s, u"Excel 工作簿|*.xlsx"_s}));
    QCOMPARE(ReadAll(dir.filePath(u"结果.csv"_s)),
             "\xEF\xBB\xBF"
             "\xE5\x9F\x9F\xE5\x90\x8D,\xE6\xB3\xA8\xE5\x86\x8C\xE5\x95\x86,\xE9\x82\xAE\xE4\xBB\xB6,"
             "\xE7\x94\xB5\xE8\xAF\x9D,\xE6\xB3\xA8\xE5\x86\x8C\xE6\x97\xB6\xE9\x97\xB4,"
             "\xE5\x88\xB0\xE6\x9C\x9F\xE6\x97\xB6\xE9\x97\xB4,\xE6\x9C\x8D\xE5\x8A\xA1\xE5\x99\xA8,"
             "DNS,\xE7\x8A\xB6\xE6\x80\x81\r\n"
             "a.com,R,e@x,bell\x07,1899-01-01,2030-01-01,s,n,ok\r\n"
             "b.com,\"\xE6\x9F\x90\xE6\x9F\x90\xE5\x85\xAC\xE5\x8F\xB8, Inc.\",'=cmd,'+86.1,"
             "2001-02-03,2031-02-03T00:00:00Z,whois.b,\"ns1,ns2\",\"say \"\"ok\"\"\nnext\"\r\n");
    QCOMPARE(window.fixture.status().message(),
             u"导出成功!共2条结果,已保存到 "_s + dir.filePath(u"结果.csv"_s));

    platform.saveChoices.enqueue(Platform::SaveChoice{dir.filePath(u"结果.xlsx"_s), 1});
    table.exportAction().trigger();
    const QByteArray workbook = ReadAll(dir.filePath(u"结果.xlsx"_s));
    const QString sheet = QString::fromUtf8(ZipEntry(workbook, u"xl/worksheets/sheet1.xml"_s).value());
    const QString styles = QString::fromUtf8(ZipEntry(workbook, u"xl/styles.xml"_s).value());
    QVERIFY2(sheet.contains(u"state=\"frozen\""_s) && sheet.contains(u"ySplit=\"1\""_s), qPrintable(sheet));
    QVERIFY(styles.contains(u"<b/>"_s));
    QVERIFY2(sheet.contains(u"<autoFilter ref=\"A1:I3\"/>"_s), qPrintable(sheet));
    QVERIFY(styles.contains(u"formatCode=\"yyyy-mm-dd\""_s));
    // Header, then the rows as shown; text as text, formulas never.
    const QStringList order{u"域名"_s, u"a.com"_s, u"b.com"_s, u"某某公司, Inc."_s, u"=cmd"_s};
    qsizetype at = 0;
    for (const QString& text : order) {
        at = sheet.indexOf(u">"_s + text.toHtmlEscaped() + u"<"_s, at);
        QVERIFY2(at >= 0, qPrintable(text));
    }
    QVERIFY(!sheet.contains(u"<f>"_s));
    // Dates are serial day numbers; a date the format cannot hold stays text.
    const qint64 registered = QDate(1899, 12, 30).daysTo(QDate(2001, 2, 3));
    const qint64 expires = QDate(1899, 12, 30).daysTo(QDate(2031, 2, 3));
    QVERIFY(
        QRegularExpression(u"<c r=\"E3\" s=\"\\d+\"><v>%1</v></c>"_s.arg(registered)).match(sheet).hasMatch());
    QVERIFY(
        QRegularExpression(u"<c r=\"F3\" s=\"\\d+\"><v>%1</v></c>"_s.arg(expires)).match(sheet).hasMatch());
    QVERIFY(sheet.contains(u">1899-01-01<"_s));
    // XML cannot carry a bell: it becomes a space rather than spoiling the file.
    QVERIFY(sheet.contains(u">bell <"_s));
    // Columns fitted to their longest text ("某某公司, Inc." is 14 columns wide).
    QVERIFY(QRegularExpression(u"<col min=\"2\" max=\"2\" width=\"16"_s).match(sheet).hasMatch());
}

void TestResultTable::exportFailureIsReported()
{
    TableWindow window;
    window.table().appendRow(Row(u"a.com"_s, {}));
    window.fixture.status().showMessage(u"before"_s);
    for (int filter : {0, 1}) {
        window.fixture.platform.saveChoices.enqueue(Platform::SaveChoice{u"/nonexistent-folder/r"_s, filter});
        window.table().exportAction().trigger();
    }
    QCOMPARE(window.fixture.platform.boxes.size(), 2);
    for (const ScriptedPlatform::Box& box : window.fixture.platform.boxes) {
        QCOMPARE(box.title, u"提示"_s);
        QVERIFY(box.text.startsWith(u"导出失败:"_s));
    }
    QCOMPARE(window.fixture.status().message(), u"before"_s);
}

void TestResultTable::filterShowsCopiesAndExportsByStatus()
{
    QTemporaryDir dir;
    TableWindow window;
    ResultTable& table = window.table();
    StatusBar& status = window.fixture.status();
    const auto withStatus = [](const QString& domain, const QString& status) {
        return ResultRow{{domain, {}, {}, {}, {}, {}, {}, {}, status}};
    };
    table.appendRow(withStatus(u"b.com"_s, u"未注册"_s));
    table.appendRow(withStatus(u"x.com"_s, u"ok"_s));
    table.appendRow(withStatus(u"a.com"_s, u"未注册"_s));
    table.appendRow(withStatus(u"f.com"_s, u"查询过于频繁,请稍后重试"_s));
    status.showMessage(u"所有域名已查询完毕!"_s);
    QCOMPARE(status.panelText(StatusPanel::Message), u"所有域名已查询完毕!"_s);

    QMenu& filter = table.filterMenu();
    QCOMPARE(filter.title(), u"筛选"_s);
    QStringList captions;
    for (const QAction* action : filter.actions())
        captions.append(action->text());
    QCOMPARE(captions, (QStringList{u"全部"_s, u"只看未注册"_s, u"只看已注册"_s, u"只看查询失败"_s}));
    QVERIFY(filter.actions()[0]->isChecked());

    filter.actions()[1]->trigger();
    QCOMPARE(Domains(table), (QStringList{u"b.com"_s, u"a.com"_s}));
    QVERIFY(filter.actions()[1]->isChecked() && !filter.actions()[0]->isChecked());
    // The message line leads with the count; the message itself is unchanged.
    QCOMPARE(status.panelText(StatusPanel::Message), u"[只看未注册:显示2条,共4条] 所有域名已查询完毕!"_s);
    QCOMPARE(status.message(), u"所有域名已查询完毕!"_s);
    // Rows arriving count in the total, shown or not, and the note follows new messages.
    table.appendRow(withStatus(u"y.com"_s, u"ok"_s));
    status.showMessage(u"y.com查询完毕"_s);
    QCOMPARE(status.panelText(StatusPanel::Message), u"[只看未注册:显示2条,共5条] y.com查询完毕"_s);
    QCOMPARE(table.rowCount(), 2);

    // Copy and export take the rows shown, sorted as shown.
    window.clickHeader(0);
    QApplication::clipboard()->clear();
    QTest::keyClick(&table, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text().split(u"\r\n"_s).mid(1),
             (QStringList{u"a.com\t\t\t\t\t\t\t\t未注册"_s, u"b.com\t\t\t\t\t\t\t\t未注册"_s, QString()}));
    window.fixture.platform.saveChoices.enqueue(Platform::SaveChoice{dir.filePath(u"r"_s), 0});
    table.exportAction().trigger();
    QCOMPARE(ReadAll(dir.filePath(u"r.csv"_s)).split('\n').size(), 4); // header, 2 rows, end
    QVERIFY(
        status.panelText(StatusPanel::Message).startsWith(u"[只看未注册:显示2条,共5条] 导出成功!共2条结果"_s));

    filter.actions()[3]->trigger();
    QCOMPARE(Domains(table), QStringList{u"f.com"_s});
    // A new batch keeps the filter; the count starts again.
    table.clearRows();
    QVERIFY(status.panelText(StatusPanel::Message).startsWith(u"[只看查询失败:显示0条,共0条] "_s));
    table.setRowFilter(RowFilter::All);
    QCOMPARE(status.panelText(StatusPanel::Message), status.message());
}

void TestResultTable::cutCellsShowTheirWholeText()
{
    TableWindow window;
    ResultTable& table = window.table();
    const QString limited = u"查询过于频繁,请稍后重试"_s;
    const QString marked = u"查询失败:<b>无法连接</b> whois.nic.example"_s;
    table.appendRow(ResultRow{{u"a.com"_s, {}, {}, {}, {}, {}, {}, {}, limited}});
    table.appendRow(ResultRow{{u"b.com"_s, {}, {}, {}, {}, {}, {}, {}, marked}});
    const auto hover = [&](int row, int column) {
        const QPoint at = table.visualRect(table.model()->index(row, column)).center();
        QHelpEvent event(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &event);
    };
    hover(0, 8);
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), limited);
    // Text that looks like markup is shown as the text it is.
    hover(1, 8);
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    QCOMPARE(shown.toPlainText(), marked);
    hover(0, 0); // "a.com" fits its column
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestResultTable)
#include "tst_result_table.moc"
