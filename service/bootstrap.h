#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

// Where a top-level domain's registration data is served: RDAP base URLs from the
// IANA bootstrap file (with our own additions for TLDs missing there), and port-43
// WHOIS servers for registries without RDAP.
class ServerDirectory final {
public:
    // Reads an IANA DNS bootstrap file ({"services": [[[tlds], [base URLs]], ...]}).
    // False, and nothing changed, when the text is not such a file.
    bool loadBootstrap(const QByteArray& json);

    void addRdapOverride(const QString& tld, const QString& baseUrl);
    void addWhoisServer(const QString& tld, const QString& host);

    // The RDAP base URL for the TLD (preferring HTTPS), ending in "/"; empty if none.
    QString rdapBase(const QString& tld) const;
    // The port-43 server for the TLD; empty if none is known.
    QString whoisServer(const QString& tld) const;

    qsizetype rdapCount() const { return m_rdap.size(); }

private:
    QHash<QString, QString> m_rdap;
    QHash<QString, QString> m_rdapOverrides;
    QHash<QString, QString> m_whois;
};
