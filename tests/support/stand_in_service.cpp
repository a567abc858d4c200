// A loopback stand-in of the update and lookup services with canned answers, for
// looking at the real program by hand: stand_in_service [PORT]. Names starting with
// "free" are not registered, "fail" and "busy" give a failure and a limit, "bad" is
// refused; any other name is found.
#include "core/protocol/wire_protocol.h"
#include "support/test_https_server.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const quint16 port = argc > 1 ? static_cast<quint16>(QByteArray(argv[1]).toUShort()) : 0;
    TestHttpsServer server(TestHttpsServer::Certificate::Trusted, port);
    server.setHandler([](const TestHttpsServer::Request& request) -> TestHttpsServer::Response {
        if (request.path == wire::kVersionPath)
            return {200,
                    wire::ReplyBody(wire::VersionAnswer(wire::kCheckedVersion.toString(), QStringLiteral("7"),
                                                        wire::kOptionalUpdate.toString()))};
        const QString name = wire::ReadLookupTarget(request.target).name;
        if (name.startsWith(u"bad"))
            return {200, wire::ReplyBody(wire::Refusal(wire::kBadToken.toString()))};
        if (name.startsWith(u"free")) {
            const wire::RowFields free{name, {}, {}, {}, {}, {}, {}, {}, wire::kNotRegistered.toString()};
            return {200, wire::ReplyBody(wire::RowAnswer(free))};
        }
        // The rows whoisd gives when the registry fails or asks us to wait.
        if (name.startsWith(u"fail") || name.startsWith(u"busy")) {
            const QString status = name.startsWith(u"fail") ? wire::UpstreamFailedText(wire::kTimedOut)
                                                            : wire::kRateLimited.toString();
            const wire::RowFields failed{name, {},    {}, {}, {}, {}, QStringLiteral("whois.nic.example"),
                                         {},   status};
            return {200, wire::ReplyBody(wire::RowAnswer(failed))};
        }
        // Dates that differ from name to name, so that sorting shows something.
        const uint spread = qHash(name);
        const QString created = QDate(1995, 8, 14).addDays(spread % 9000).toString(Qt::ISODate);
        const QString expires = QDate(2026, 1, 1).addDays(spread % 1500).toString(Qt::ISODate);
        const wire::RowFields found{name,
                                    QStringLiteral("Example Registrar, Inc."),
                                    QStringLiteral("abuse@registrar.example"),
                                    QStringLiteral("+1.5555550100"),
                                    created,
                                    expires,
                                    QStringLiteral("whois.registrar.example"),
                                    QStringLiteral("ns1.example.net,ns2.example.net"),
                                    QStringLiteral("clientTransferProhibited")};
        return {200, wire::ReplyBody(wire::RowAnswer(found))};
    });
    std::printf("listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}
