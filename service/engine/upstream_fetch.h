#pragma once

#include "service/engine/upstream_policy.h"

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

// Why an upstream exchange gave no answer to read; the reply names the reason. A
// destination the outbound policy refuses is reported as CannotConnect: nothing was
// connected to.
enum class UpstreamError { None, Timeout, CannotConnect, TooLarge };

// One RDAP (HTTPS) answer. `status` is 0 when no HTTP response came in time or the
// answer was larger than the cap; `error` then says which.
struct HttpAnswer {
    int status = 0;
    QByteArray body;
    std::chrono::seconds retryAfter{0};
    UpstreamError error = UpstreamError::None;
};

// One port-43 answer: the bytes the server sent, or why there are none.
struct WhoisAnswer {
    QByteArray text;
    UpstreamError error = UpstreamError::None;
};

// One GET through at most five redirects. Every hop is resolved first and connected to
// an address the policy allows (TLS still verifies the host name); the answer is read
// in small pieces and refused as soon as it passes the cap. `done` is never called
// before this returns.
void FetchHttp(QNetworkAccessManager& network, const QUrl& url, const OutboundPolicy& policy,
               const UpstreamLimits& limits, std::function<void(HttpAnswer)> done);

// One port-43 exchange (RFC 3912): the query and CR LF out, everything until the
// server closes back. An error on failure, time-out, an empty answer or one over the cap.
// With `publicOnly` the host is resolved here and only its public addresses are tried.
// The exchange goes with `owner`, and once `owner` is going `done` is never called.
void FetchWhois(QObject& owner, const QString& host, quint16 port, const QString& query, bool publicOnly,
                const UpstreamLimits& limits, std::function<void(WhoisAnswer)> done);
