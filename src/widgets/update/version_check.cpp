#include "widgets/update/version_check.h"

#include "core/net/http_post_form.h"
#include "core/protocol/wire_protocol.h"
#include "core/update/version_reply.h"
#include "widgets/platform/platform.h"

#include <QTimer>
#include <QUrl>
#include <QWidget>

VersionCheck::VersionCheck(Platform& platform, QString updateUrl, QString makerUrl,
                           std::function<void()> openForWork, QWidget* window)
    : QObject(window)
    , m_platform(platform)
    , m_updateUrl(std::move(updateUrl))
    , m_makerUrl(std::move(makerUrl))
    , m_openForWork(std::move(openForWork))
    , m_window(window)
    , m_timer2(new QTimer(this))
{
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(1000);
    connect(m_timer2, &QTimer::timeout, this, &VersionCheck::Timer2_Timer);
    m_timer2->start();
}

void VersionCheck::Timer2_Timer()
{
    // Ticks keep coming while a box of the check is open; the check runs once.
    if (m_started)
        return;
    m_started = true;

    const QString title = QStringLiteral("提示");
    const QString reply =
        HttpPostForm(m_updateUrl + QLatin1StringView(wire::kVersionPath), wire::VersionForm());
    const VersionDecision decision = DecideVersion(reply);

    if (std::holds_alternative<VersionNoAnswer>(decision)) {
        m_platform.showInformation(m_window, title,
                                   QStringLiteral("抱歉，软件需要联网使用，请检查您的网络后重启软件"));
        m_platform.endProcess();
        return;
    }
    if (const auto* refused = std::get_if<VersionRefused>(&decision)) {
        m_platform.showInformation(m_window, title, refused->message);
        m_platform.endProcess();
        return;
    }
    if (const auto* offer = std::get_if<VersionOffer>(&decision)) {
        if (m_platform.askYesNo(m_window, title, UpdateOfferText(offer->version))) {
            m_platform.openUrl(QUrl(WorksDetailUrl(m_makerUrl, offer->sid)));
            m_platform.endProcess();
            return;
        }
        if (offer->compulsory) {
            m_platform.endProcess();
            return;
        }
    }
    // Opening for work writes the message line; a welcome of the check's own would be
    // overwritten before the window could show it.
    m_openForWork();
    m_timer2->stop();
}
