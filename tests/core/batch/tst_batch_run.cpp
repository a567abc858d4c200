// The batch's state owner on its own: which operations move it where, and when the
// selection handler may look a name up.
#include "core/batch/batch_run.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(BatchRun::State)

class TestBatchRun final : public QObject {
    Q_OBJECT
private slots:
    void transitions_data();
    void transitions();
};

void TestBatchRun::transitions_data()
{
    using State = BatchRun::State;
    QTest::addColumn<QString>("operations");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("looksUp");

    QTest::newRow("at rest") << u""_s << State::Idle << 0 << false;
    QTest::newRow("the first lookup is under way") << u"start"_s << State::Starting << 0 << true;
    QTest::newRow("armed after it") << u"start arm"_s << State::Running << 0 << true;
    QTest::newRow("stopped before arming stays off") << u"start stop arm"_s << State::Idle << 0 << false;
    QTest::newRow("ended by skips before arming")
        << u"start advance finish arm"_s << State::Idle << 0 << false;
    QTest::newRow("restarted while starting: the old start cannot arm")
        << u"start stop start armFirst"_s << State::Starting << 0 << true;
    QTest::newRow("restarted while starting: the new start arms")
        << u"start stop start armFirst arm"_s << State::Running << 0 << true;
    QTest::newRow("a second start is ignored")
        << u"start arm advance start arm"_s << State::Running << 1 << true;
    QTest::newRow("stop goes back to the top")
        << u"start arm advance advance stop"_s << State::Idle << 0 << false;
    QTest::newRow("the end goes back to the top")
        << u"start arm advance advance finish"_s << State::Idle << 0 << false;
    QTest::newRow("a list too short to walk keeps the position")
        << u"start arm advance finishInPlace"_s << State::Idle << 1 << false;
    QTest::newRow("starting keeps the position") << u"advance start"_s << State::Starting << 1 << true;
    QTest::newRow("rewound while idle") << u"advance advance rewind"_s << State::Idle << 0 << false;
    QTest::newRow("a one-off while idle") << u"oneOff"_s << State::Idle << 0 << true;
    QTest::newRow("nested one-offs") << u"oneOff oneOff oneOffDone"_s << State::Idle << 0 << true;
    QTest::newRow("a one-off during the batch, batch on")
        << u"start arm oneOff oneOffDone"_s << State::Running << 0 << true;
    QTest::newRow("the batch ends while a one-off waits")
        << u"start arm oneOff finish oneOffDone"_s << State::Idle << 0 << false;
    QTest::newRow("stopped while a one-off waits")
        << u"start arm oneOff stop oneOffDone"_s << State::Idle << 0 << false;
    QTest::newRow("an unmatched one-off end is harmless")
        << u"oneOffDone oneOff"_s << State::Idle << 0 << true;
}

void TestBatchRun::transitions()
{
    QFETCH(QString, operations);
    QFETCH(BatchRun::State, state);
    QFETCH(int, position);
    QFETCH(bool, looksUp);

    BatchRun run;
    QList<BatchRun::Serial> starts;
    for (const QString& op : operations.split(u' ', Qt::SkipEmptyParts)) {
        if (op == u"start")
            starts.append(run.start());
        else if (op == u"arm")
            run.arm(starts.value(starts.size() - 1));
        else if (op == u"armFirst")
            run.arm(starts.value(0));
        else if (op == u"stop")
            run.stop();
        else if (op == u"finish")
            run.finish(true);
        else if (op == u"finishInPlace")
            run.finish(false);
        else if (op == u"advance")
            run.advance();
        else if (op == u"rewind")
            run.rewind();
        else if (op == u"oneOff")
            run.beginOneOff();
        else if (op == u"oneOffDone")
            run.endOneOff();
        else
            QFAIL(qPrintable(u"unknown operation "_s + op));
    }
    QCOMPARE(run.state(), state);
    QCOMPARE(run.position(), position);
    QCOMPARE(run.looksUpNames(), looksUp);
}

QTEST_APPLESS_MAIN(TestBatchRun)
#include "tst_batch_run.moc"
