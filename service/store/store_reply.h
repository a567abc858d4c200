#pragma once

#include <QByteArray>
#include <QList>

// One answer from the store, copied out of the client library's reply, or why none came.
struct StoreReply {
    enum class Kind {
        Nil,
        Integer,
        Text,   // a bulk string
        Status, // "OK", "PONG"
        Error,  // the store refused the command; `text` says why
        Array,
        TimedOut,    // no answer within the command time-out
        Unavailable, // not connected, or the connection was lost first
    };
    Kind kind = Kind::Unavailable;
    qint64 integer = 0;
    QByteArray text;
    QList<StoreReply> elements;

    // The store answered (whatever it said).
    bool answered() const { return kind != Kind::TimedOut && kind != Kind::Unavailable; }
    bool isError() const { return kind == Kind::Error; }
};
