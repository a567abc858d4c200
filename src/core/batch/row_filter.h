#pragma once

#include "core/batch/lookup_reply.h"

#include <QString>

#include <array>

// 筛选: which result rows the table shows, judged by the row's status column alone.
enum class RowFilter { All, NotRegistered, Registered, Failed };
inline constexpr int kRowFilterCount = 4;

// What a status says the user can do with the name. "未注册" is the only answer that
// says it can be registered. The service's other texts for a row that is no record
// (a failed or rate-limited lookup, a name or TLD it cannot serve) give no verdict;
// any other status comes from a found record: EPP statuses, "已注册" or none at all.
enum class RowVerdict { NotRegistered, Registered, NoVerdict };
RowVerdict VerdictOf(const ResultRow& row);

bool FilterShows(RowFilter filter, const ResultRow& row);

// The menu's entries, in the order of RowFilter.
const std::array<QString, kRowFilterCount>& FilterCaptions();

// What the message line leads with while a filter is on; empty for 全部.
QString FilterNote(RowFilter filter, int shown, int total);
