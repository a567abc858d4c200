#pragma once

#include "service/config/settings.h"

#include <QByteArray>
#include <QString>

#include <memory>

class LookupService;
class Metrics;

// The two HTTPS endpoints the program calls, served on threads of their own; lookups
// are handed to the LookupService's thread. Idle and half-open connections are timed
// out and capped, so no client can lock others out.
class HttpFront final {
public:
    HttpFront(const ServiceSettings& settings, LookupService& lookups, Metrics* metrics = nullptr);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    // Sets up TLS and starts listening; the port, or 0 on failure (with the reason).
    quint16 listen(const QByteArray& certificatePem, const QByteArray& keyPem, QString* error);

private:
    struct Core;
    std::unique_ptr<Core> m_core;
};
