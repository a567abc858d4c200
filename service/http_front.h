#pragma once

#include "settings.h"

#include <QHttpServer>
#include <QObject>

class LookupService;

// The two HTTPS endpoints the program calls, with a log line per request.
class HttpFront final : public QObject {
    Q_OBJECT
public:
    HttpFront(const ServiceSettings& settings, LookupService& lookups, QObject* parent = nullptr);

    // Sets up TLS and starts listening; the port, or 0 on failure (with the reason).
    quint16 listen(const QByteArray& certificatePem, const QByteArray& keyPem, QString* error);

private:
    QHttpServer m_server;
    const ServiceSettings m_settings;
    LookupService& m_lookups;
};
