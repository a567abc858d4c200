#include "widgets/batch/batch_driver.h"

#include "core/domain_list/name_rules.h"
#include "widgets/batch/domain_lookup.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "widgets/controls/window_look.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/platform/platform.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

BatchDriver::BatchDriver(Controls controls, DomainLookup& lookup, Platform& platform, QWidget* window)
    : QObject(window)
    , m_controls(controls)
    , m_lookup(lookup)
    , m_platform(platform)
    , m_window(window)
    , m_timer1(new QTimer(this))
{
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    // A tick must be able to arrive while the previous one still waits on its lookup.
    // Qt does not deliver a timer again while its own handler runs, so the step is
    // posted and the timer's handler returns at once.
    connect(m_timer1, &QTimer::timeout, this, &BatchDriver::Timer1_Timer, Qt::QueuedConnection);
    // Whoever moves the selection (a step, a skip, the user, an import clearing it),
    // the run knows where it stands.
    connect(&m_controls.list, &PendingList::selectedIndexChanged, this,
            [this](qsizetype index) { m_run.noteSelected(index); });
    follow();
}

void BatchDriver::follow()
{
    const BatchRun::State state = m_run.state();
    m_controls.button.setText(state == BatchRun::State::Idle ? QStringLiteral("批量查询")
                                                             : QStringLiteral("停止查询"));
    m_controls.list.setEnabled(state == BatchRun::State::Idle);
    m_controls.slider.setEnabled(state != BatchRun::State::Running);
    if (state != BatchRun::State::Running)
        m_timer1->stop();
    else if (!m_timer1->isActive())
        m_timer1->start();
}

void BatchDriver::Command2_Click()
{
    if (m_controls.list.count() == 0) {
        const QString text = QStringLiteral("请先导入要查询的域名");
        m_controls.status.showMessage(text);
        m_platform.showInformation(m_window, QStringLiteral("Norvane软件"), text);
        return;
    }
    if (m_run.isIdle())
        start();
    else
        stop();
}

void BatchDriver::start()
{
    const BatchRun::Serial serial = m_run.start();
    follow();
    m_controls.table.clearRows();
    m_controls.list.select(0);
    // The first lookup may have ended the batch (every name skipped), or the user may
    // have stopped it while it waited: then the timer stays off.
    if (!m_run.arm(serial))
        return;
    m_timer1->setInterval(m_controls.slider.value() * 1000);
    follow();
}

void BatchDriver::stop()
{
    m_run.stop();
    follow();
}

void BatchDriver::step()
{
    // A tick posted before a stop or an end is dropped.
    if (m_run.isIdle())
        return;
    PendingList& list = m_controls.list;
    const qsizetype count = list.count();
    if (count < 2) {
        finish(false);
        return;
    }
    const qsizetype position = m_run.advance();
    // The selection never leaves the list: past the last item the batch is over.
    if (position >= count) {
        finish(true);
        return;
    }
    const BatchRun::Serial serial = m_run.serial();
    list.select(position);
    // Stopped or restarted by the user while this tick's lookup waited: that stands. A
    // batch that a nested tick has ended meanwhile is simply ended again below.
    if (!m_run.isCurrent(serial))
        return;
    if (m_run.selected() + 1 == list.count())
        finish(true);
}

void BatchDriver::finish(bool backToTop)
{
    m_controls.status.showMessage(QStringLiteral("所有域名已查询完毕!"));
    m_run.finish(backToTop);
    follow();
}

void BatchDriver::List1_Click(qsizetype index)
{
    PendingList& list = m_controls.list;
    // A run of implausible names is walked in this loop rather than by re-entering
    // the handler per name, so that no list is long enough to exhaust the stack.
    while (true) {
        const QString name = list.itemText(index);
        list.setToolTip(QStringLiteral("双击列表删除:") + name);
        if (!m_run.looksUpNames())
            return;
        if (IsPlausibleName(name)) {
            m_lookup.lookUp(name);
            return;
        }
        m_controls.status.showMessage(QStringLiteral("域名不正确,自动跳转下一个.."));
        index = m_run.advance();
        if (index < list.count()) {
            list.selectQuietly(index);
        } else {
            // No next name: a batch ends; a one-off while idle leaves the position at the top.
            if (m_run.isIdle())
                m_run.rewind();
            else
                finish(true);
            return;
        }
    }
}

void BatchDriver::Slider1_Scroll()
{
    m_controls.sliderLabel.setText(QString::number(m_controls.slider.value()) + QStringLiteral("秒/次"));
    FitLabelToText(m_controls.sliderLabel);
}

void BatchDriver::lookUpLastNow()
{
    // Counted rather than flagged: the batch may end or start while this lookup
    // waits, and neither must leave the selection handler looking names up.
    const qsizetype count = m_controls.list.count();
    if (count == 0)
        return;
    m_run.beginOneOff();
    m_controls.list.select(count - 1);
    m_run.endOneOff();
}
