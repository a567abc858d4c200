#pragma once

#include <QHash>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

// Where a top-level domain's registration data is served: RDAP base URLs from the
// IANA bootstrap file, under the shipped table of servers it lacks; port-43 WHOIS
// servers from the shipped table; each under the operator's own overrides.
class ServerDirectory final {
public:
    // Reads an IANA DNS bootstrap file ({"services": [[[tlds], [base URLs]], ...]}).
    // False, and nothing changed, when the text is not such a file.
    bool loadBootstrap(const QByteArray& json);

    // Reads a port-43 table: one "tld host" pair a line; '#' starts a comment.
    // Returns how many TLDs it names; lines that are no such pair are skipped.
    qsizetype loadWhoisTable(const QByteArray& text);
    // Reads a table of RDAP servers the bootstrap file lacks, "tld https-url" a line,
    // as above; it wins over the bootstrap file.
    qsizetype loadRdapTable(const QByteArray& text);

    // An override wins over the bootstrap file; an empty URL means "no RDAP".
    void addRdapOverride(const QString& tld, const QString& baseUrl);
    // An override wins over the table and over what IANA names.
    void addWhoisOverride(const QString& tld, const QString& host);
    // A server learnt at run time (IANA's referral), kept beside the table's.
    void addWhoisServer(const QString& tld, const QString& host);

    // The RDAP base URL for the TLD (preferring HTTPS), ending in "/"; empty if none.
    QString rdapBase(const QString& tld) const;
    // The port-43 server for the TLD; empty if none is known.
    QString whoisServer(const QString& tld) const;

    qsizetype rdapCount() const { return m_rdap.size(); }
    qsizetype whoisCount() const { return m_whois.size(); }

private:
    QHash<QString, QString> m_rdap;
    QHash<QString, QString> m_rdapTable;
    QHash<QString, QString> m_rdapOverrides;
    QHash<QString, QString> m_whois;
    QHash<QString, QString> m_whoisOverrides;
};
