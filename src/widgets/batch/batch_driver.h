#pragma once

#include "core/batch/batch_run.h"

#include <QObject>

class DomainLookup;
class PendingList;
class Platform;
class QLabel;
class QPushButton;
class QSlider;
class QTimer;
class QWidget;
class ResultTable;
class StatusBar;

// Walks the batch: decides the next name, skips the names that fail the name rules,
// asks DomainLookup about the others and ends the batch at the end of the list. It
// moves the pending list's selection to each name, and the selection handler
// (List1_Click) asks, as a user's click does. The one writer of the batch's state; the
// controls (Command2, List1, Slider1, Timer1) follow it.
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

    BatchDriver(Controls controls, DomainLookup& lookup, Platform& platform, QWidget* window);

    // Command2: starts or stops the batch, or refuses to start an empty list.
    void Command2_Click();
    // Timer1: one step of a running batch.
    void Timer1_Timer() { step(); }
    void Slider1_Scroll();
    // The pending list's selection handler, for the item just selected.
    void List1_Click(qsizetype index);
    // Looks the last pending name up now, outside the batch logic.
    void cx() { lookUpLastNow(); }

private:
    void start();
    void stop();
    void step();
    void finish(bool backToTop);
    void lookUpLastNow();
    // Brings the controls in line with the batch's state.
    void follow();

    Controls m_controls;
    DomainLookup& m_lookup;
    Platform& m_platform;
    QWidget* m_window;
    QTimer* m_timer1;
    BatchRun m_run;
};
