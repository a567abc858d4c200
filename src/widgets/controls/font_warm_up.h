#pragma once

#include <thread>

// Reads the system's font configuration on a second thread while the application
// object starts, which is a good part of the time to the first window on a machine
// with many fonts; the windows' first font then finds it loaded. Start it before the
// QApplication and wait for it before any window is built.
class FontWarmUp final {
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    void wait();

private:
    std::thread m_thread;
};
