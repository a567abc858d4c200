#pragma once

#include <QObject>
#include <QTimer>

class Platform;
class QWidget;
struct BatchState;
namespace Ui {
class Form1;
}

// Walks the pending list one name per tick of Timer1 by moving its selection; the
// selection handler does the lookups. Owns Command2, Timer1, the slider and its label.
class BatchDriver final : public QObject {
    Q_OBJECT
public:
    BatchDriver(Ui::Form1& ui, BatchState& state, Platform& platform, QWidget* window);

    void Command2_Click();
    void Timer1_Timer();
    void Slider1_Scroll();
    // Looks the last pending name up now, outside the batch logic.
    void cx();
    // The lookup's skip step found no next name.
    void onSkippedPastEnd();

    bool isRunning() const;
    const QTimer& timer1() const { return *m_timer1; }

private:
    void start();
    void stop();
    void endOfList(bool resetPosition);

    Ui::Form1& m_ui;
    BatchState& m_state;
    Platform& m_platform;
    QWidget* m_window;
    QTimer* m_timer1;
    // Changes at every start and stop, so a step that waited on a lookup can tell
    // that the user stopped (or restarted) the batch in the meantime.
    quint64 m_serial = 0;
};
