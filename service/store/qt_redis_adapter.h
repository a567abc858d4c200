#pragma once

class QObject;
struct redisAsyncContext;

// Drives an asynchronous store connection from the Qt event loop of the calling thread:
// the client library asks for read and write readiness, socket notifiers deliver it.
// The attachment goes away with the connection (the library calls its clean-up), or
// with `owner` at the latest.
void AttachToEventLoop(redisAsyncContext* context, QObject* owner);
