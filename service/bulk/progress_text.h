#pragma once

#include "service/bulk/bulk_run.h"

#include <QString>
#include <QStringList>

#include <chrono>

// The progress line on a terminal: done/total, names a second, time left, how many
// names each verdict has, and the registries cooling down, e.g.
// "120/5000  4.8/s  ETA 16m57s  registered 80 available 38 failed 2  cooling: whois.nic.uk"
QString ProgressText(const BulkCounts& counts, std::chrono::milliseconds elapsed, const QStringList& cooling);

// "45s", "16m57s", "2h05m"
QString DurationText(std::chrono::seconds duration);
