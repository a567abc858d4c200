#pragma once

#include <QString>

#include <chrono>

// POSTs the form body (escaped by UrlEncode) and returns the reply body as text; the
// empty text when no reply came. Synchronous: the calling thread handles no events
// and no timer fires until it returns.
QString HttpPostForm(const QString& url, const QString& body,
                     std::chrono::milliseconds timeLimit = std::chrono::seconds(15));
