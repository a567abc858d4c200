#pragma once

#include "service/dns/ns_answer.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>

class QSocketNotifier;
struct ares_channeldata;

// Asks DNS for the NS records of names, on this object's thread: c-ares does the
// asking, Qt's event loop watches its sockets and its time-outs.
class DnsWitness final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(DnsVerdict)>;

    // `resolvers` are "address" or "address:port" ("[v6]:port"); none: the system's
    // (/etc/resolv.conf). An answer not in within `timeout` is Unknown.
    DnsWitness(const QStringList& resolvers, std::chrono::milliseconds timeout, QObject* parent = nullptr);
    ~DnsWitness() override;

    // Empty when the resolver library started; else why not (every answer is then Unknown).
    QString error() const { return m_error; }

    // `done` runs once, later, on this object's thread; never once the witness is gone.
    void askNs(const QString& name, Done done);

    // "address[:port]" as the resolver takes it; false for anything else.
    static bool isResolver(const QString& text);

private:
    struct Query;
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    static void socketState(void* self, int socket, int readable, int writable);
    static void answered(void* query, int status, int timeouts, unsigned char* reply, int length);
    void watch(int socket, bool readable, bool writable);
    void process(int readSocket, int writeSocket);
    void armTimer();

    ares_channeldata* m_channel = nullptr;
    bool m_libraryStarted = false;
    QString m_error;
    QHash<int, Watch> m_watches;
    QTimer m_timer;
};
