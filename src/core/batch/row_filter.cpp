#include "core/batch/row_filter.h"

#include "core/protocol/wire_protocol.h"

namespace {

constexpr int kStatusColumn = ResultRow::kFieldCount - 1;

} // namespace

RowVerdict VerdictOf(const ResultRow& row)
{
    const QStringView status = QStringView(row.fields[kStatusColumn]).trimmed();
    if (status == wire::kNotRegistered)
        return RowVerdict::NotRegistered;
    // Any reason after "查询失败", whichever colon the service put before it.
    if (status.startsWith(u"查询失败") || status == wire::kRateLimited || status == wire::kInvalidName)
        return RowVerdict::NoVerdict;
    return RowVerdict::Registered;
}

bool FilterShows(RowFilter filter, const ResultRow& row)
{
    switch (filter) {
    case RowFilter::All: return true;
    case RowFilter::NotRegistered: return VerdictOf(row) == RowVerdict::NotRegistered;
    case RowFilter::Registered: return VerdictOf(row) == RowVerdict::Registered;
    case RowFilter::Failed: return VerdictOf(row) == RowVerdict::NoVerdict;
    }
    return true;
}

const std::array<QString, kRowFilterCount>& FilterCaptions()
{
    static const std::array<QString, kRowFilterCount> captions{
        QStringLiteral("全部"), QStringLiteral("只看未注册"), QStringLiteral("只看已注册"),
        QStringLiteral("只看查询失败")};
    return captions;
}

QString FilterNote(RowFilter filter, int shown, int total)
{
    if (filter == RowFilter::All)
        return {};
    return QStringLiteral("[%1:显示%2条,共%3条]")
        .arg(FilterCaptions()[static_cast<std::size_t>(filter)])
        .arg(shown)
        .arg(total);
}
