#include "support/fake_dns_server.h"

#include "support/dns_message.h"

#include <QNetworkDatagram>

FakeDnsServer::FakeDnsServer()
{
    if (!m_socket.bind(QHostAddress::LocalHost, 0))
        qFatal("cannot bind the fake resolver: %s", qPrintable(m_socket.errorString()));
    connect(&m_socket, &QUdpSocket::readyRead, this, &FakeDnsServer::readQuestions);
}

void FakeDnsServer::answer(const QString& name, Reply reply, const QStringList& nameServers)
{
    m_table.insert(name.toLower(), Entry{reply, nameServers});
}

QString FakeDnsServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_socket.localPort());
}

void FakeDnsServer::readQuestions()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QByteArray query = datagram.data();
        if (query.size() < 17)
            continue;
        // The question's name, uncompressed as every question is.
        QStringList labels;
        for (qsizetype at = 12; at < query.size() && query[at] != 0; at += 1 + quint8(query[at]))
            labels.append(QString::fromLatin1(query.mid(at + 1, quint8(query[at]))));
        const QString name = labels.join(u'.');
        ++m_questions[name.toLower()];
        const Entry entry = m_table.value(name.toLower(), Entry{Reply::NameError, {}});
        const quint16 id = qFromBigEndian<quint16>(query.constData());
        const QString zone = name.section(u'.', -1);
        QByteArray reply;
        switch (entry.reply) {
        case Reply::Delegated: {
            QList<DnsRecord> records;
            for (const QString& server : entry.nameServers)
                records.append(NsRecord(name, server, 7200));
            reply = DnsReply(id, 0, name, records);
            break;
        }
        case Reply::NameError: reply = DnsReply(id, 3, name, {}, {SoaRecord(zone, 900, 600)}); break;
        case Reply::NoNameServers: reply = DnsReply(id, 0, name, {}, {SoaRecord(zone, 900, 600)}); break;
        case Reply::ServerFailure: reply = DnsReply(id, 2, name, {}); break;
        case Reply::Refused: reply = DnsReply(id, 5, name, {}); break;
        case Reply::Silent: continue;
        }
        m_socket.writeDatagram(datagram.makeReply(reply));
    }
}
