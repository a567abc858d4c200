#include "service/dns/dns_witness.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QtEndian>

#include <ares.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct Resolver {
    QHostAddress address;
    quint16 port = 53;
};

std::optional<quint16> Port(const QString& text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

// "192.0.2.1", "192.0.2.1:5353", "2001:db8::1", "[2001:db8::1]:5353".
std::optional<Resolver> ParseResolver(const QString& text)
{
    Resolver resolver;
    QString host = text.trimmed();
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        const QString rest = host.mid(close + 1);
        host = host.mid(1, close - 1);
        if (!rest.isEmpty()) {
            const std::optional<quint16> port = rest.startsWith(u':') ? Port(rest.mid(1)) : std::nullopt;
            if (!port)
                return std::nullopt;
            resolver.port = *port;
        }
    } else if (host.count(u':') == 1) {
        const std::optional<quint16> port = Port(host.section(u':', 1));
        if (!port)
            return std::nullopt;
        resolver.port = *port;
        host = host.section(u':', 0, 0);
    }
    resolver.address = QHostAddress(host);
    if (resolver.address.isNull() || !resolver.address.scopeId().isEmpty())
        return std::nullopt;
    return resolver;
}

} // namespace

struct DnsWitness::Query {
    QString name;
    Done done;
};

bool DnsWitness::isResolver(const QString& text)
{
    return ParseResolver(text).has_value();
}

DnsWitness::DnsWitness(const QStringList& resolvers, std::chrono::milliseconds timeout, QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { process(ARES_SOCKET_BAD, ARES_SOCKET_BAD); });
    int status = ares_library_init(ARES_LIB_INIT_ALL);
    if (status != ARES_SUCCESS) {
        m_error = QString::fromUtf8(ares_strerror(status));
        return;
    }
    m_libraryStarted = true;

    ares_options options;
    std::memset(&options, 0, sizeof options);
    options.sock_state_cb = &DnsWitness::socketState;
    options.sock_state_cb_data = this;
    // Each resolver is tried twice, the second wait twice the first: 3 waits a resolver
    // in all, so the whole question ends within `timeout`.
    const auto servers = std::max<qsizetype>(resolvers.size(), 1);
    options.timeout = int(std::max<qint64>(timeout.count() / (3 * servers), 1));
    options.tries = 2;
    status =
        ares_init_options(&m_channel, &options, ARES_OPT_SOCK_STATE_CB | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
    if (status != ARES_SUCCESS) {
        m_channel = nullptr;
        m_error = QString::fromUtf8(ares_strerror(status));
        return;
    }
    if (resolvers.isEmpty())
        return;
    std::vector<ares_addr_port_node> nodes(resolvers.size());
    for (qsizetype i = 0; i < resolvers.size(); ++i) {
        const std::optional<Resolver> resolver = ParseResolver(resolvers[i]);
        if (!resolver) {
            m_error = QStringLiteral("not a resolver address: ") + resolvers[i];
            return;
        }
        ares_addr_port_node& node = nodes[size_t(i)];
        node.next = i + 1 < resolvers.size() ? &nodes[size_t(i) + 1] : nullptr;
        node.udp_port = node.tcp_port = resolver->port;
        if (resolver->address.protocol() == QAbstractSocket::IPv4Protocol) {
            node.family = AF_INET;
            const quint32 ip = qToBigEndian(resolver->address.toIPv4Address());
            std::memcpy(&node.addr.addr4, &ip, sizeof ip);
        } else {
            node.family = AF_INET6;
            const Q_IPV6ADDR ip = resolver->address.toIPv6Address();
            std::memcpy(&node.addr.addr6, &ip, sizeof ip);
        }
    }
    status = ares_set_servers_ports(m_channel, nodes.data());
    if (status != ARES_SUCCESS)
        m_error = QString::fromUtf8(ares_strerror(status));
}

DnsWitness::~DnsWitness()
{
    // Pending questions end with ARES_EDESTRUCTION, and their callers hear nothing.
    if (m_channel)
        ares_destroy(m_channel);
    if (m_libraryStarted)
        ares_library_cleanup();
}

void DnsWitness::askNs(const QString& name, Done done)
{
    if (!m_channel || !m_error.isEmpty()) {
        QTimer::singleShot(0, this, [done = std::move(done)] { done(DnsVerdict{}); });
        return;
    }
    ares_query(m_channel, name.toLatin1().constData(), 1 /* IN */, 2 /* NS */, &DnsWitness::answered,
               new Query{name, std::move(done)});
    armTimer();
}

void DnsWitness::answered(void* query, int status, int /*timeouts*/, unsigned char* reply, int length)
{
    const std::unique_ptr<Query> asked(static_cast<Query*>(query));
    if (status == ARES_EDESTRUCTION)
        return;
    DnsVerdict verdict;
    // No such name and no records of the type asked are answers; time-outs, failing or
    // refusing resolvers and broken connections leave the verdict unknown.
    if (status == ARES_SUCCESS || status == ARES_ENODATA || status == ARES_ENOTFOUND) {
        verdict = reply ? ReadNsAnswer(QByteArray(reinterpret_cast<const char*>(reply), length), asked->name)
                        : DnsVerdict{Delegation::NotDelegated, {}, {}};
    }
    asked->done(std::move(verdict));
}

void DnsWitness::socketState(void* self, int socket, int readable, int writable)
{
    static_cast<DnsWitness*>(self)->watch(socket, readable != 0, writable != 0);
}

void DnsWitness::watch(int socket, bool readable, bool writable)
{
    Watch& watch = m_watches[socket];
    const auto set = [this, socket](QSocketNotifier*& notifier, QSocketNotifier::Type type, bool wanted) {
        if (wanted && !notifier) {
            notifier = new QSocketNotifier(socket, type, this);
            const bool read = type == QSocketNotifier::Read;
            connect(notifier, &QSocketNotifier::activated, this, [this, socket, read] {
                process(read ? socket : ARES_SOCKET_BAD, read ? ARES_SOCKET_BAD : socket);
            });
        } else if (notifier) {
            notifier->setEnabled(wanted);
        }
    };
    set(watch.read, QSocketNotifier::Read, readable);
    set(watch.write, QSocketNotifier::Write, writable);
    if (readable || writable)
        return;
    // c-ares closes the socket: its notifiers go, later, as one of them may be the
    // caller.
    for (QSocketNotifier* notifier : {watch.read, watch.write})
        if (notifier)
            notifier->deleteLater();
    m_watches.remove(socket);
}

void DnsWitness::process(int readSocket, int writeSocket)
{
    ares_process_fd(m_channel, readSocket, writeSocket);
    armTimer();
}

void DnsWitness::armTimer()
{
    timeval wait{};
    if (ares_timeout(m_channel, nullptr, &wait)) {
        const qint64 ms = qint64(wait.tv_sec) * 1000 + (wait.tv_usec + 999) / 1000;
        m_timer.start(std::chrono::milliseconds(ms));
    } else {
        m_timer.stop();
    }
}
