#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QStringList>

#include "window_counter.h"

#include <memory>

class ServerThread;

// A loopback port-43 server for tests, on a thread of its own: answers each query
// (the line before CR LF) from a table, optionally after a delay, then closes. It can
// hang for a while: queries are taken and answered only once the hang is over.
class FakeWhoisServer final {
public:
    FakeWhoisServer();
    ~FakeWhoisServer();
    FakeWhoisServer(const FakeWhoisServer&) = delete;
    FakeWhoisServer& operator=(const FakeWhoisServer&) = delete;

    quint16 port() const;
    QString address() const; // "127.0.0.1:PORT"

    void answer(const QByteArray& query, const QByteArray& text);
    void setDelay(int milliseconds);
    void hang(int milliseconds);
    bool hanging() const;
    // As a registry that allows `perSecond` queries in any one second and answers
    // `beyond` (its limit wording) to the rest.
    void limitTo(int perSecond, const QByteArray& beyond);
    const WindowCounter& arrivals() const { return m_arrivals; }
    QList<QByteArray> queries() const;

    // Called on the server's thread.
    QByteArray answerFor(const QByteArray& query);
    int delay() const;

private:
    mutable QMutex m_mutex;
    QHash<QByteArray, QByteArray> m_answers;
    QList<QByteArray> m_queries;
    int m_delay = 0;
    QDeadlineTimer m_hangEnds; // expired: not hanging
    int m_perSecond = 0;
    QByteArray m_beyond;
    WindowCounter m_arrivals;
    std::unique_ptr<ServerThread> m_thread; // last: stops before the state above goes
};
