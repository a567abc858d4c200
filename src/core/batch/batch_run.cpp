#include "core/batch/batch_run.h"

BatchRun::Serial BatchRun::start()
{
    if (m_state != State::Idle)
        return 0;
    m_state = State::Starting;
    return ++m_serial;
}

bool BatchRun::arm(Serial serial)
{
    if (m_state != State::Starting || !isCurrent(serial))
        return false;
    m_state = State::Running;
    return true;
}

void BatchRun::stop()
{
    ++m_serial;
    m_state = State::Idle;
    m_position = 0;
}

void BatchRun::finish(bool backToTop)
{
    m_state = State::Idle;
    if (backToTop)
        m_position = 0;
}

qsizetype BatchRun::advance()
{
    return ++m_position;
}

void BatchRun::endOneOff()
{
    if (m_oneOffs > 0)
        --m_oneOffs;
}
