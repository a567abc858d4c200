// 筛选 on its own: which status counts as which verdict, and the model's filtered
// view under sorting, arriving rows and a kept selection.
#include "core/batch/result_model.h"
#include "core/batch/row_filter.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(RowVerdict)

namespace {

ResultRow Row(const QString& domain, const QString& status)
{
    return ResultRow{{domain, {}, {}, {}, {}, {}, {}, {}, status}};
}

QStringList Shown(const ResultModel& model)
{
    QStringList domains;
    for (int i = 0; i < model.rowCount(); ++i)
        domains.append(model.row(i).fields[0]);
    return domains;
}

} // namespace

class TestRowFilter final : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void filteredModel();
};

void TestRowFilter::verdicts_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<RowVerdict>("verdict");
    QTest::newRow("not registered") << u"未注册"_s << RowVerdict::NotRegistered;
    QTest::newRow("padded") << u" 未注册\n"_s << RowVerdict::NotRegistered;
    QTest::newRow("registered by DNS") << u"已注册"_s << RowVerdict::Registered;
    QTest::newRow("EPP statuses") << u"clientTransferProhibited,serverDeleteProhibited"_s
                                  << RowVerdict::Registered;
    QTest::newRow("found, no status") << QString() << RowVerdict::Registered;
    // A registry word that merely contains the text is no verdict of ours.
    QTest::newRow("not registered inside a status") << u"ok 未注册?"_s << RowVerdict::Registered;
    QTest::newRow("time-out") << u"查询失败:超时 whois.example"_s << RowVerdict::NoVerdict;
    QTest::newRow("full-width colon") << u"查询失败：应答无法识别"_s << RowVerdict::NoVerdict;
    QTest::newRow("rate limited") << u"查询过于频繁,请稍后重试"_s << RowVerdict::NoVerdict;
    QTest::newRow("no such TLD") << u"域名格式不正确或暂不支持该后缀"_s << RowVerdict::NoVerdict;
}

void TestRowFilter::verdicts()
{
    QFETCH(QString, status);
    QFETCH(RowVerdict, verdict);
    const ResultRow row = Row(u"a.com"_s, status);
    QCOMPARE(VerdictOf(row), verdict);
    // Every row is in 全部 and in exactly one of the other three.
    QVERIFY(FilterShows(RowFilter::All, row));
    const int shownBy = int(FilterShows(RowFilter::NotRegistered, row)) +
                        int(FilterShows(RowFilter::Registered, row)) +
                        int(FilterShows(RowFilter::Failed, row));
    QCOMPARE(shownBy, 1);
}

void TestRowFilter::filteredModel()
{
    ResultModel model;
    model.append(Row(u"c.com"_s, u"未注册"_s));
    model.append(Row(u"x.com"_s, u"ok"_s));
    model.append(Row(u"a.com"_s, u"未注册"_s));
    model.append(Row(u"f.com"_s, u"查询失败:超时"_s));
    const QPersistentModelIndex onA = model.index(2, 0);
    const QPersistentModelIndex onX = model.index(1, 0);

    model.setFilter(RowFilter::NotRegistered);
    QCOMPARE(Shown(model), (QStringList{u"c.com"_s, u"a.com"_s}));
    QCOMPARE(model.totalCount(), 4);
    QCOMPARE(onA.row(), 1);
    QVERIFY(!onX.isValid()); // a hidden row leaves the selection

    // Sorted within the filter; a new row goes where the sort puts it, or stays hidden.
    model.sort(0, Qt::AscendingOrder);
    QCOMPARE(Shown(model), (QStringList{u"a.com"_s, u"c.com"_s}));
    QCOMPARE(onA.row(), 0);
    model.append(Row(u"b.com"_s, u"未注册"_s));
    model.append(Row(u"y.com"_s, u"ok"_s));
    QCOMPARE(Shown(model), (QStringList{u"a.com"_s, u"b.com"_s, u"c.com"_s}));
    QCOMPARE(model.totalCount(), 6);

    model.setFilter(RowFilter::Registered);
    QCOMPARE(Shown(model), (QStringList{u"x.com"_s, u"y.com"_s}));
    // Unsorted, the filter shows lookup order, and rows arriving go last.
    model.sort(-1, Qt::AscendingOrder);
    model.append(Row(u"d.com"_s, u"ok"_s));
    QCOMPARE(Shown(model), (QStringList{u"x.com"_s, u"y.com"_s, u"d.com"_s}));
    model.setFilter(RowFilter::All);
    QCOMPARE(Shown(model), (QStringList{u"c.com"_s, u"x.com"_s, u"a.com"_s, u"f.com"_s, u"b.com"_s,
                                        u"y.com"_s, u"d.com"_s}));
}

QTEST_GUILESS_MAIN(TestRowFilter)
#include "tst_row_filter.moc"
