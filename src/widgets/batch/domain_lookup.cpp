#include "widgets/batch/domain_lookup.h"

#include "widgets/batch/batch_state.h"
#include "core/batch/lookup_reply.h"
#include "core/domain_list/name_rules.h"
#include "widgets/platform/platform.h"
#include "core/net/http_get_text.h"
#include "ui_form1.h"

DomainLookup::DomainLookup(Ui::Form1& ui, BatchState& state, Platform& platform,
                           QNetworkAccessManager& network, QString serviceUrl, QWidget* window)
    : QObject(window)
    , m_ui(ui)
    , m_state(state)
    , m_platform(platform)
    , m_network(network)
    , m_serviceUrl(std::move(serviceUrl))
    , m_window(window)
{
}

void DomainLookup::List1_Click(qsizetype index)
{
    PendingList& list = *m_ui.List1;
    // A run of implausible names is walked in this loop rather than by re-entering
    // the handler per name, so that no list is long enough to exhaust the stack.
    while (true) {
        const QString name = list.itemText(index);
        list.setToolTip(QStringLiteral("双击列表删除:") + name);
        if (m_state.queryRunning != 1)
            return;
        if (IsPlausibleName(name)) {
            lookUp(name);
            return;
        }
        m_ui.s1->setPanelText(2, QStringLiteral("域名不正确,自动跳转下一个.."));
        m_state.position += 1;
        if (m_state.position >= list.count()) {
            emit skippedPastEnd();
            return;
        }
        index = m_state.position;
        list.selectQuietly(index);
    }
}

void DomainLookup::lookUp(const QString& name)
{
    m_replyText.clear();
    m_replyText = HttpGetText(m_network, LookupUrl(m_serviceUrl, name));
    // A nested lookup may have replaced the field while this one waited.
    const QString reply = m_replyText;
    if (reply.isEmpty())
        return;

    const LookupOutcome outcome = MapLookupReply(reply);
    if (const auto* refused = std::get_if<LookupRefused>(&outcome)) {
        m_platform.showInformation(m_window, QStringLiteral("提示"), refused->message);
        return;
    }
    if (std::holds_alternative<LookupUnreadable>(outcome)) {
        m_ui.s1->setPanelText(2, LookupFailedText(name));
        return;
    }
    m_ui.Listview1->appendRow(std::get<ResultRow>(outcome));

    const PendingList& list = *m_ui.List1;
    const qsizetype selected = list.selectedIndex();
    m_ui.s1->setPanelText(2, LookupDoneText(list.itemText(selected), list.count(), selected));
}
