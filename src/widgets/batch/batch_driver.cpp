#include "widgets/batch/batch_driver.h"

#include "widgets/batch/batch_state.h"
#include "widgets/platform/platform.h"
#include "widgets/controls/window_look.h"
#include "ui_form1.h"

namespace {

const QString kStartCaption = QStringLiteral("批量查询");
const QString kStopCaption = QStringLiteral("停止查询");

} // namespace

BatchDriver::BatchDriver(Ui::Form1& ui, BatchState& state, Platform& platform, QWidget* window)
    : QObject(window)
    , m_ui(ui)
    , m_state(state)
    , m_platform(platform)
    , m_window(window)
    , m_timer1(new QTimer(this))
{
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(1000);
    // A tick must be able to arrive while the previous one still waits on its lookup.
    // Qt does not deliver a timer again while its own handler runs, so the step is
    // posted and the timer's handler returns at once.
    connect(m_timer1, &QTimer::timeout, this, [this] {
        QMetaObject::invokeMethod(this, &BatchDriver::Timer1_Timer, Qt::QueuedConnection);
    });
}

bool BatchDriver::isRunning() const
{
    return m_ui.Command2->text() == kStopCaption;
}

void BatchDriver::Command2_Click()
{
    if (m_ui.List1->count() == 0) {
        const QString text = QStringLiteral("请先导入要查询的域名");
        m_ui.s1->setPanelText(2, text);
        m_platform.showInformation(m_window, QStringLiteral("Norvane软件"), text);
        return;
    }
    const QString caption = m_ui.Command2->text();
    if (caption == kStartCaption)
        start();
    else if (caption == kStopCaption)
        stop();
}

void BatchDriver::start()
{
    const quint64 serial = ++m_serial;
    m_ui.Command2->setText(kStopCaption);
    m_ui.List1->setEnabled(false);
    m_ui.Listview1->clearRows();
    m_state.queryRunning = 1;
    m_ui.List1->select(0);
    // The first lookup may have ended the batch (every name skipped) or the user may
    // have stopped it while it waited: then the timer must stay off.
    if (serial != m_serial || !isRunning())
        return;
    m_timer1->setInterval(m_ui.Slider1->value() * 1000);
    m_timer1->start();
    m_ui.Slider1->setEnabled(false);
}

void BatchDriver::stop()
{
    ++m_serial;
    m_ui.List1->setEnabled(true);
    m_state.queryRunning = 0;
    m_state.position = 0;
    m_ui.Command2->setText(kStartCaption);
    m_timer1->stop();
    m_ui.Slider1->setEnabled(true);
}

void BatchDriver::Timer1_Timer()
{
    if (!isRunning())
        return;
    const qsizetype count = m_ui.List1->count();
    if (count < 2) {
        endOfList(false);
        return;
    }
    m_state.position += 1;
    // The selection never leaves the list: past the last item the batch is over.
    if (m_state.position >= count) {
        endOfList(true);
        return;
    }
    const quint64 serial = m_serial;
    m_ui.List1->select(m_state.position);
    // Stopped by the user while this tick's lookup waited: the stop stands. A batch
    // that a nested tick has ended meanwhile is simply ended again below.
    if (serial != m_serial)
        return;
    if (m_ui.List1->selectedIndex() + 1 == m_ui.List1->count())
        endOfList(true);
}

void BatchDriver::endOfList(bool resetPosition)
{
    m_ui.s1->setPanelText(2, QStringLiteral("所有域名已查询完毕!"));
    m_timer1->stop();
    m_ui.List1->setEnabled(true);
    m_ui.Command2->setText(kStartCaption);
    m_state.queryRunning = 0;
    m_ui.Slider1->setEnabled(true);
    if (resetPosition)
        m_state.position = 0;
}

void BatchDriver::onSkippedPastEnd()
{
    if (isRunning())
        endOfList(true);
    else
        m_state.position = 0;
}

void BatchDriver::Slider1_Scroll()
{
    m_ui.Label2->setText(QString::number(m_ui.Slider1->value()) + QStringLiteral("秒/次"));
    FitLabelToText(*m_ui.Label2);
}

void BatchDriver::cx()
{
    // The flag goes back to what it was, so a running batch keeps looking names up.
    const int previous = m_state.queryRunning;
    m_state.queryRunning = 1;
    if (m_ui.List1->count() > 0)
        m_ui.List1->select(m_ui.List1->count() - 1);
    m_state.queryRunning = previous;
}
