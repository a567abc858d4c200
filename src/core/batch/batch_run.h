#pragma once

#include <QtGlobal>

// A batch's state, written only by BatchDriver. The controls follow it (the caption
// of Command2, which of List1 and Slider1 are enabled, whether Timer1 runs); nothing
// reads them back as state.
//
// Idle: no batch. Starting: the start's first lookup is under way and Timer1 is not
// armed yet. Running: Timer1 walks the pending list.
class BatchRun final {
public:
    enum class State { Idle, Starting, Running };

    // Tells one run from the next: it changes at every start and stop, so a step that
    // waited on a lookup can tell whether the user stopped or restarted meanwhile.
    using Serial = quint64;

    State state() const { return m_state; }
    bool isIdle() const { return m_state == State::Idle; }
    // The pending-list index the batch selected last.
    qsizetype position() const { return m_position; }
    // The pending-list index selected now, whoever moved the selection; -1: none.
    qsizetype selected() const { return m_selected; }
    Serial serial() const { return m_serial; }
    bool isCurrent(Serial serial) const { return serial == m_serial; }
    // Whether the selection handler looks the selected name up: during a batch, and
    // during a one-off lookup.
    bool looksUpNames() const { return m_state != State::Idle || m_oneOffs > 0; }

    // Idle → Starting. Returns the new run's serial, or nothing (0) unless idle.
    Serial start();
    // Starting → Running, if the run that `serial` names is still starting (neither
    // stopped, finished nor replaced while its first lookup waited).
    bool arm(Serial serial);
    // The user's stop, from any state: Idle, back at the top of the list.
    void stop();
    // The end of the list: Idle. The position goes back to the top only when the end
    // was found by the index test, not when the list was too short to walk.
    void finish(bool backToTop);
    // Moves the position one name on and returns it.
    qsizetype advance();
    // Back to the top without changing the state (a skip ran off the end while idle).
    void rewind() { m_position = 0; }
    // The pending list's selection moved (or was cleared: -1).
    void noteSelected(qsizetype index) { m_selected = index; }

    // A lookup of one name outside the batch logic; these may nest and may outlive
    // the batch that was running when they began.
    void beginOneOff() { ++m_oneOffs; }
    void endOneOff();

private:
    State m_state = State::Idle;
    qsizetype m_position = 0;
    qsizetype m_selected = -1;
    Serial m_serial = 0;
    int m_oneOffs = 0;
};
