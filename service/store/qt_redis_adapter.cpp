#include "service/store/qt_redis_adapter.h"

#include <QSocketNotifier>

#include <hiredis/async.h>

namespace {

struct Notifiers {
    QSocketNotifier* read;
    QSocketNotifier* write;
};

Notifiers* Of(void* data)
{
    return static_cast<Notifiers*>(data);
}

void AddRead(void* data)
{
    Of(data)->read->setEnabled(true);
}
void DelRead(void* data)
{
    Of(data)->read->setEnabled(false);
}
void AddWrite(void* data)
{
    Of(data)->write->setEnabled(true);
}
void DelWrite(void* data)
{
    Of(data)->write->setEnabled(false);
}

// Runs inside the library (often inside a notifier's own signal): the notifiers are
// switched off now and deleted once the event loop is back.
void Cleanup(void* data)
{
    Notifiers* notifiers = Of(data);
    for (QSocketNotifier* notifier : {notifiers->read, notifiers->write}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    delete notifiers;
}

} // namespace

void AttachToEventLoop(redisAsyncContext* context, QObject* owner)
{
    const auto fd = qintptr(context->c.fd);
    auto* notifiers = new Notifiers{new QSocketNotifier(fd, QSocketNotifier::Read, owner),
                                    new QSocketNotifier(fd, QSocketNotifier::Write, owner)};
    notifiers->read->setEnabled(false);
    notifiers->write->setEnabled(false);
    // Nothing may touch the notifiers after the library returns: it may have freed the
    // connection and cleaned up.
    QObject::connect(notifiers->read, &QSocketNotifier::activated, notifiers->read,
                     [context] { redisAsyncHandleRead(context); });
    QObject::connect(notifiers->write, &QSocketNotifier::activated, notifiers->write,
                     [context] { redisAsyncHandleWrite(context); });
    context->ev.data = notifiers;
    context->ev.addRead = AddRead;
    context->ev.delRead = DelRead;
    context->ev.addWrite = AddWrite;
    context->ev.delWrite = DelWrite;
    context->ev.cleanup = Cleanup;
}
