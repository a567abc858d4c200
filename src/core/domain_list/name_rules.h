#pragma once

#include <QString>

#include <optional>

// True when the name holds one of the eight known fragments anywhere (exact and
// case-sensitive): the same loose test for the lookup and the add-domain dialog.
bool IsPlausibleName(QStringView name);

// The add-domain dialog's rules, in order: the message of the first rule the typed
// text breaks, or nothing when it may be added as typed.
std::optional<QString> AddedNameProblem(QStringView text);
