#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class Platform;
class StatusBar;
class QWidget;

// The start-up version check, run once by the first tick of Timer2: it ends the
// program, offers the newer version, or carries on and opens the window for work.
class VersionCheck final : public QObject {
    Q_OBJECT
public:
    VersionCheck(Platform& platform, StatusBar& status, QString updateUrl, QString makerUrl,
                 std::function<void()> openForWork, QWidget* window);

    void Timer2_Timer();
    const QTimer& timer2() const { return m_timer2; }

private:
    Platform& m_platform;
    StatusBar& m_status;
    QString m_updateUrl;
    QString m_makerUrl;
    std::function<void()> m_openForWork;
    QWidget* m_window;
    QTimer m_timer2;
    bool m_started = false;
};
