#include "support/window_fixture.h"

#include "core/protocol/wire_protocol.h"
#include "widgets/batch/result_table.h"
#include "widgets/controls/status_bar.h"
#include "widgets/domain_list/pending_list.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUrlQuery>

WindowFixture::WindowFixture(const QString& lookupUrl)
{
    TestHttpsServer::trustTestAuthority();
    server.setHandler(&WindowFixture::DefaultAnswer);
    const QString url = server.baseUrl();
    window = std::make_unique<MainWindow>(
        Endpoints{lookupUrl.isEmpty() ? url : lookupUrl, url, QStringLiteral("https://maker.example"),
                  QStringLiteral("http://studio.example"), QStringLiteral("http://company.example")},
        platform, network);
}

WindowFixture::~WindowFixture() = default;

namespace {

// A timer's tick without waiting for it: its timeout is a private signal, so it is
// raised through the meta-object.
void Tick(QTimer& timer)
{
    QMetaObject::invokeMethod(&timer, "timeout", Qt::DirectConnection);
}

} // namespace

void WindowFixture::openForWork()
{
    Tick(timer("Timer2"));
}

void WindowFixture::tickTimer1()
{
    Tick(timer("Timer1"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

QByteArray WindowFixture::RowReply(const QString& name)
{
    return wire::ReplyBody(wire::RowAnswer(
        {name, QStringLiteral("R-") + name, QStringLiteral("e-") + name, QStringLiteral("p-") + name,
         QStringLiteral("2001-02-03"), QStringLiteral("2031-02-03"), QStringLiteral("whois.example"),
         QStringLiteral("ns1.example,ns2.example"), QStringLiteral("ok")}));
}

TestHttpsServer::Response WindowFixture::DefaultAnswer(const TestHttpsServer::Request& request)
{
    if (request.path == wire::kVersionPath)
        return {200,
                wire::ReplyBody(wire::VersionAnswer(wire::kCheckedVersion.toString(), QStringLiteral("9"),
                                                    wire::kOptionalUpdate.toString()))};
    return {200, RowReply(wire::ReadLookupTarget(request.target).name)};
}

QStringList WindowFixture::lookedUp() const
{
    QStringList names;
    for (const auto& request : server.requests()) {
        if (request.path == wire::kLookupPath)
            names.append(wire::ReadLookupTarget(request.target).name);
    }
    return names;
}

PendingList& WindowFixture::list() const
{
    return *window->findChild<PendingList*>(QStringLiteral("List1"));
}

ResultTable& WindowFixture::table() const
{
    return *window->findChild<ResultTable*>(QStringLiteral("Listview1"));
}

StatusBar& WindowFixture::status() const
{
    return *window->findChild<StatusBar*>(QStringLiteral("s1"));
}

QPushButton& WindowFixture::button(const char* name) const
{
    return *window->findChild<QPushButton*>(QString::fromLatin1(name));
}

QSlider& WindowFixture::slider() const
{
    return *window->findChild<QSlider*>(QStringLiteral("Slider1"));
}

QLabel& WindowFixture::label(const char* name) const
{
    return *window->findChild<QLabel*>(QString::fromLatin1(name));
}

QTimer& WindowFixture::timer(const char* name) const
{
    return *window->findChild<QTimer*>(QString::fromLatin1(name));
}
