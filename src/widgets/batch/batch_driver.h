#pragma once

#include <QObject>

class BatchRun;
class PendingList;
class Platform;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;
class ResultTable;
class StatusBar;

// Walks the pending list one name per tick of Timer1 by moving its selection; the
// selection handler does the lookups. Drives the batch's state and makes Command2,
// List1, Slider1 and Timer1 follow it.
class BatchDriver final : public QObject {
    Q_OBJECT
public:
    // The controls the driver works on.
    struct Controls {
        PendingList& list;   // List1
        QPushButton& button; // Command2
        QSlider& slider;     // Slider1
        QLabel& sliderLabel; // Label2
        ResultTable& table;  // Listview1
        StatusBar& status;   // s1
    };

    BatchDriver(Controls controls, BatchRun& run, Platform& platform, QWidget* window);

    // Command2: starts or stops the batch, or refuses to start an empty list.
    void Command2_Click();
    // Timer1: one step of a running batch.
    void Timer1_Timer() { step(); }
    void Slider1_Scroll();
    // Looks the last pending name up now, outside the batch logic.
    void cx() { lookUpLastNow(); }
    // The lookup's skip step found no next name.
    void onSkippedPastEnd();

private:
    void start();
    void stop();
    void step();
    void finish(bool backToTop);
    void lookUpLastNow();
    // Brings the controls in line with the batch's state.
    void follow();

    Controls m_controls;
    BatchRun& m_run;
    Platform& m_platform;
    QWidget* m_window;
    QTimer* m_timer1;
};
