#pragma once

#include <QObject>

#include <functional>

class Platform;
class QTimer;
class QWidget;

// The start-up version check, run once by the first tick of Timer2: it ends the
// program, offers the newer version, or carries on and opens the window for work.
class VersionCheck final : public QObject {
    Q_OBJECT
public:
    VersionCheck(Platform& platform, QString updateUrl, QString makerUrl, std::function<void()> openForWork,
                 QWidget* window);

    void Timer2_Timer();

private:
    Platform& m_platform;
    QString m_updateUrl;
    QString m_makerUrl;
    std::function<void()> m_openForWork;
    QWidget* m_window;
    QTimer* m_timer2;
    bool m_started = false;
};
