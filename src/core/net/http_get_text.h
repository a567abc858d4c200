#pragma once

#include <QString>

#include <chrono>

class QNetworkAccessManager;

// GETs the URL and returns the reply body as text, whatever the HTTP status; the empty
// text when no reply came (transport failure, certificate error, time limit). While it
// waits the caller's event loop keeps running, so handlers (and nested calls) run
// before it returns.
QString HttpGetText(QNetworkAccessManager& network, const QString& url,
                    std::chrono::milliseconds timeLimit = std::chrono::seconds(30));
