#pragma once

#include <QString>

#include <optional>

// Where the shared store listens: "redis://HOST:PORT/DB" (port 6379 and database 0
// when left out) or "unix:/PATH".
struct StoreAddress {
    QString host;
    quint16 port = 6379;
    int database = 0;
    QString socketPath; // set for a Unix socket; host and port are then unused

    bool isUnixSocket() const { return !socketPath.isEmpty(); }
    // For log lines: the address without any password.
    QString display() const;
};

// Nothing for text that is neither form, or that carries a password (it belongs in a file).
std::optional<StoreAddress> ParseStoreAddress(const QString& text);
