#pragma once

#include "support/window_fixture.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "widgets/domain_list/pending_list.h"

#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

inline const QString kAllDone = QStringLiteral("所有域名已查询完毕!");

inline QStringList Domains(const ResultTable& table)
{
    QStringList domains;
    for (int i = 0; i < table.rowCount(); ++i)
        domains.append(table.row(i).fields[0]);
    return domains;
}

// A fixture with the window open for work and the names pending. The batch is
// watched only through the window's controls and the requests the service saw.
struct Batch {
    explicit Batch(const QStringList& names)
    {
        fixture.window->load();
        fixture.openForWork();
        fixture.list().append(names);
    }
    // Names that start with "slow" are answered after the delay.
    void slowDownNamesStartingWithSlow(int delayMs)
    {
        fixture.server.setHandler([delayMs](const TestHttpsServer::Request& request) {
            auto response = WindowFixture::DefaultAnswer(request);
            if (request.query.startsWith("url=slow"))
                response.delayMs = delayMs;
            return response;
        });
    }
    // A click on Command2: starts an idle batch, stops a running one.
    void start() { QTest::mouseClick(&fixture.button("Command2"), Qt::LeftButton); }
    void tick() { fixture.tickTimer1(); }
    void verifyIdle()
    {
        QCOMPARE(fixture.button("Command2").text(), QStringLiteral("批量查询"));
        QVERIFY(!fixture.timer("Timer1").isActive());
        QVERIFY(fixture.list().isEnabled());
        QVERIFY(fixture.slider().isEnabled());
        // Selecting a name now only selects it.
        const qsizetype asked = fixture.lookedUp().size();
        if (fixture.list().selectedIndex() >= 0)
            fixture.list().select(fixture.list().selectedIndex());
        QCOMPARE(fixture.lookedUp().size(), asked);
    }
    void verifyRunning()
    {
        QCOMPARE(fixture.button("Command2").text(), QStringLiteral("停止查询"));
        QVERIFY(fixture.timer("Timer1").isActive());
        QVERIFY(!fixture.list().isEnabled());
        QVERIFY(!fixture.slider().isEnabled());
    }
    // The names that a new start and its first tick look up: a batch that ended or
    // was stopped begins again at the top of the list. Leaves the batch stopped.
    QStringList restartForOneTick()
    {
        const qsizetype before = fixture.lookedUp().size();
        start();
        tick();
        if (fixture.button("Command2").text() != QStringLiteral("批量查询"))
            start(); // stops it
        return fixture.lookedUp().mid(before);
    }
    WindowFixture fixture;
};
