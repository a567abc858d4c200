#include "widgets/batch/domain_lookup.h"

#include "core/batch/lookup_reply.h"
#include "core/net/http_get_text.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "widgets/domain_list/pending_list.h"
#include "widgets/platform/platform.h"

DomainLookup::DomainLookup(Controls controls, Platform& platform, QNetworkAccessManager& network,
                           QString serviceUrl, QWidget* window)
    : QObject(window)
    , m_controls(controls)
    , m_platform(platform)
    , m_network(network)
    , m_serviceUrl(std::move(serviceUrl))
    , m_window(window)
{
}

void DomainLookup::lookUp(const QString& name)
{
    const QString reply = HttpGetText(m_network, LookupUrl(m_serviceUrl, name));
    if (reply.isEmpty())
        return;

    const LookupOutcome outcome = MapLookupReply(reply);
    if (const auto* refused = std::get_if<LookupRefused>(&outcome)) {
        m_platform.showInformation(m_window, QStringLiteral("提示"), refused->message);
        return;
    }
    if (std::holds_alternative<LookupUnreadable>(outcome)) {
        m_controls.status.showMessage(LookupFailedText(name));
        return;
    }
    m_controls.table.appendRow(std::get<ResultRow>(outcome));

    // Reported on the selection as it stands now, which a nested step may have moved.
    const PendingList& list = m_controls.list;
    const qsizetype selected = list.selectedIndex();
    m_controls.status.showMessage(LookupDoneText(list.itemText(selected), list.count(), selected));
}
