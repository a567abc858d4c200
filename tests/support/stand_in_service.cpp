// A loopback stand-in of the update and lookup services with canned answers, for
// looking at the real program by hand: stand_in_service [PORT]
#include "support/test_https_server.h"

#include <QCoreApplication>
#include <QDate>
#include <QUrlQuery>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const quint16 port = argc > 1 ? static_cast<quint16>(QByteArray(argv[1]).toUShort()) : 0;
    TestHttpsServer server(TestHttpsServer::Certificate::Trusted, port);
    server.setHandler([](const TestHttpsServer::Request& request) -> TestHttpsServer::Response {
        if (request.path == "/index.php/Index/soft_version")
            return {200, R"({"result":1,"message":"","info":{"version":"1.0.0","sid":"7","must":"0"}})"};
        const QString name = QUrlQuery(QString::fromUtf8(request.query))
                                 .queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded);
        if (name.startsWith(u"bad"))
            return {200, R"({"result":0,"message":"请求校验失败.."})"};
        const QByteArray domain = name.toUtf8();
        if (name.startsWith(u"free"))
            return {200, R"({"result":1,"message":"","info":{"web":{"domain":")" + domain +
                             R"(","personal":"","email":"","phone":"","creat_time":"","delete_time":"",)"
                             R"("domain_service":"","dns":"","do_status":"未注册"}}})"};
        // Dates that differ from name to name, so that sorting shows something.
        const uint spread = qHash(name);
        const QByteArray created =
            QDate(1995, 8, 14).addDays(spread % 9000).toString(Qt::ISODate).toUtf8();
        const QByteArray expires =
            QDate(2026, 1, 1).addDays(spread % 1500).toString(Qt::ISODate).toUtf8();
        return {200, R"({"result":1,"message":"","info":{"web":{"domain":")" + domain +
                         R"(","personal":"Example Registrar, Inc.","email":"abuse@registrar.example",)"
                         R"("phone":"+1.5555550100","creat_time":")" + created +
                         R"(","delete_time":")" + expires +
                         R"(","domain_service":"whois.registrar.example","dns":"ns1.example.net,ns2.example.net",)"
                         R"("do_status":"clientTransferProhibited"}}})"};
    });
    std::printf("listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    return app.exec();
}
