#pragma once

// DNS replies built by hand, for the fake resolver and for reading tests.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

struct DnsRecord {
    QString owner;
    quint16 type = 2; // NS
    quint32 ttl = 3600;
    QByteArray data; // wire form
};

inline QByteArray DnsName(const QString& name)
{
    QByteArray wire;
    for (const QString& label : name.split(u'.', Qt::SkipEmptyParts))
        wire += char(label.size()) + label.toLatin1();
    return wire + '\0';
}

inline QByteArray DnsNumber(quint32 value, int bytes)
{
    QByteArray wire;
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        wire += char((value >> shift) & 0xFF);
    return wire;
}

inline DnsRecord NsRecord(const QString& owner, const QString& target, quint32 ttl = 3600)
{
    return {owner, 2, ttl, DnsName(target)};
}

// The zone's SOA, as a negative answer carries it.
inline DnsRecord SoaRecord(const QString& zone, quint32 ttl, quint32 minimum)
{
    return {zone, 6, ttl,
            DnsName(QStringLiteral("ns.") + zone) + DnsName(QStringLiteral("hostmaster.") + zone) +
                DnsNumber(1, 4) + DnsNumber(7200, 4) + DnsNumber(900, 4) + DnsNumber(1209600, 4) +
                DnsNumber(minimum, 4)};
}

// A reply (QR and RD/RA set) to an NS question about `question`.
inline QByteArray DnsReply(quint16 id, int rcode, const QString& question, const QList<DnsRecord>& answers,
                           const QList<DnsRecord>& authority = {})
{
    QByteArray wire = DnsNumber(id, 2) + DnsNumber(0x8180 | quint32(rcode), 2) + DnsNumber(1, 2) +
                      DnsNumber(quint32(answers.size()), 2) + DnsNumber(quint32(authority.size()), 2) +
                      DnsNumber(0, 2) + DnsName(question) + DnsNumber(2, 2) + DnsNumber(1, 2);
    for (const DnsRecord& record : answers + authority)
        wire += DnsName(record.owner) + DnsNumber(record.type, 2) + DnsNumber(1, 2) +
                DnsNumber(record.ttl, 4) + DnsNumber(quint32(record.data.size()), 2) + record.data;
    return wire;
}
