#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;

struct UpstreamLimits {
    std::chrono::milliseconds connectTimeout{5000};
    std::chrono::milliseconds totalTimeout{15000};
    qint64 maxBytes = 1024 * 1024;
};

// One RDAP (HTTPS) answer. `status` is 0 when no HTTP response came in time or the
// answer was larger than the cap.
struct HttpAnswer {
    int status = 0;
    QByteArray body;
    std::chrono::seconds retryAfter{0};
};

void FetchHttp(QNetworkAccessManager& network, const QUrl& url, const UpstreamLimits& limits,
               std::function<void(HttpAnswer)> done);

// One port-43 exchange (RFC 3912): the query and CR LF out, everything until the
// server closes back. Nothing on failure, time-out or an answer over the cap.
void FetchWhois(const QString& address, quint16 port, const QString& query,
                const UpstreamLimits& limits, std::function<void(std::optional<QByteArray>)> done);
