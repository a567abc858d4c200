#pragma once

#include <QString>

#include <chrono>

class QNetworkReply;

// Runs a local event loop until the reply finishes or the time limit aborts it, then
// returns its body as text. The status is never judged (an error page is a body); the
// empty text means that no HTTP response arrived in time.
QString WaitForReplyText(QNetworkReply& reply, std::chrono::milliseconds timeLimit);
