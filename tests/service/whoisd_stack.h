#pragma once

// whoisd's lookup service and HTTPS front in this process, between the program's own
// helpers and fake upstreams on loopback. Included by the tests of the running
// service; they define WHOIS_TEST_CERT_DIR and WHOIS_SERVICE_FIXTURES.
#include "core/batch/lookup_reply.h"
#include "core/net/http_get_text.h"
#include "service/front/http_front.h"
#include "service/engine/lookup_service.h"
#include "service_rows.h"
#include "support/fake_dns_server.h"
#include "support/fake_whois_server.h"
#include "support/test_files.h"
#include "support/test_https_server.h"

#include <QNetworkAccessManager>
#include <QStringEncoder>
#include <QTemporaryFile>

#include <memory>

using namespace Qt::Literals::StringLiterals;

// The service in this process, between the program's own helpers and fake upstreams:
// an HTTPS RDAP server, two port-43 servers (a registry's and a registrar's) and a
// resolver, for which names not named below do not exist.
struct Stack {
    Stack()
    {
        TestHttpsServer::trustTestAuthority();
        rdap.setHandler([this](const TestHttpsServer::Request& request) { return answerRdap(request); });
        const QByteArray bootstrapJson =
            "{\"services\":[[[\"org\",\"com\",\"info\"],[\"" + rdap.baseUrl().toLatin1() + "/rdap/\"]]]}";
        bootstrap.open();
        bootstrap.write(bootstrapJson);
        bootstrap.close();

        registry.answer("example.cn",
                        QStringEncoder("GBK").encode(QString::fromUtf8(Fixture("whois_cn.txt"))));
        registry.answer("example.hk", Fixture("whois_hk.txt"));
        registry.answer("example.net", Fixture("whois_com_registry.txt"));
        registry.answer("nosuch.net", Fixture("whois_not_found.txt"));
        registry.answer("garbage.net", QByteArray("\x01\x02\xff\xfe", 4));
        // Some registries (.es) give only the holder of a registered name.
        registry.answer("holder.net", "Domain Name: holder.net\r\nRegistrant Name: Example S.L.\r\n");
        registry.answer("exampletld", Fixture("whois_iana_tld.txt"));
        registry.answer("example.exampletld", Fixture("whois_cn.txt"));
        registry.answer("nowhere", "% no such TLD\r\n");
        registry.answer("busy.net", "WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS\r\n");
        for (const char* name : {"example.io", "example.me", "example.cc"})
            registry.answer(name, Fixture("whois_cn.txt"));
        registrar.answer("example.net", Fixture("whois_com_registrar.txt"));
        // Names the registry does not confirm, which DNS shows delegated (or cannot say).
        registry.answer("taken.net", Fixture("whois_not_found.txt"));
        registry.answer("limited.net", "WHOIS LIMIT EXCEEDED - SEE WWW.PIR.ORG/WHOIS FOR DETAILS\r\n");
        for (const char* name : {"taken.org", "taken.net", "limited.net", "taken.biz"})
            dns.answer(QString::fromLatin1(name), FakeDnsServer::Reply::Delegated,
                       {u"NS2.Example.net"_s, u"ns1.example.net"_s});
        dns.answer(u"silent.biz"_s, FakeDnsServer::Reply::Silent);

        settings.port = 0;
        settings.bootstrapFile = bootstrap.fileName();
        settings.bootstrapUrl.clear();
        settings.ianaWhois = u"whois.iana.org"_s;
        // RDAP answers .io and .cc badly and .me not at all; port 43 answers all three.
        settings.rdapOverrides = {{u"io"_s, rdap.baseUrl() + u"/rdap/"_s},
                                  {u"cc"_s, rdap.baseUrl() + u"/rdap/"_s},
                                  {u"me"_s, u"https://127.0.0.1:1/"_s}};
        settings.whoisServers = {{u"cn"_s, u"whois.cnnic.cn"_s},
                                 {u"hk"_s, u"whois.hkirc.hk"_s},
                                 {u"net"_s, u"whois.verisign-grs.com"_s},
                                 {u"io"_s, u"whois.nic.io"_s},
                                 {u"me"_s, u"whois.nic.me"_s},
                                 {u"cc"_s, u"ccwhois.verisign-grs.com"_s},
                                 {u"biz"_s, u"whois.down.example"_s}};
        for (const char* host :
             {"whois.cnnic.cn", "whois.hkirc.hk", "whois.verisign-grs.com", "whois.iana.org",
              "whois.nic.example-tld", "whois.nic.io", "whois.nic.me", "ccwhois.verisign-grs.com"})
            settings.whoisAddresses.insert(QString::fromLatin1(host), registry.address());
        settings.whoisAddresses.insert(u"whois.down.example"_s, u"127.0.0.1:1"_s);
        settings.whoisAddresses.insert(u"whois.registrar.example"_s, registrar.address());
        settings.dnsResolvers = {dns.address()};
        settings.dnsTimeout = std::chrono::milliseconds(300);
        settings.totalTimeout = std::chrono::milliseconds(1000);
        // Fakes the limits table does not list are not paced; a lookup that waits on a
        // limit gives up soon.
        settings.minSpacing = std::chrono::milliseconds(0);
        settings.answerWithin = std::chrono::milliseconds(5000);
    }

    void start()
    {
        service = std::make_unique<LookupService>(settings, upstreamNetwork, clock);
        service->startBootstrap();
        front = std::make_unique<HttpFront>(settings, *service);
        QString error;
        const quint16 port =
            front->listen(ReadTestFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.crt")),
                          ReadTestFile(QStringLiteral(WHOIS_TEST_CERT_DIR "/server.key")), &error);
        if (port == 0)
            qFatal("%s", qPrintable(error));
        baseUrl = u"https://127.0.0.1:%1"_s.arg(port);
    }

    TestHttpsServer::Response answerRdap(const TestHttpsServer::Request& request)
    {
        const QByteArray path = request.path;
        if (path == "/rdap/domain/example.org")
            return {200, Fixture("rdap_thick.json"), "application/rdap+json"};
        if (path == "/rdap/domain/example.com")
            return {
                200,
                Fixture("rdap_thin_com.json")
                    .replace("REGISTRAR_LINK", rdap.baseUrl().toLatin1() + "/registrar/domain/example.com"),
                "application/rdap+json"};
        if (path == "/registrar/domain/example.com")
            return {200, Fixture("rdap_registrar_com.json"), "application/rdap+json"};
        if (path == "/rdap/domain/xn--fiq228c.info")
            return {200, Fixture("rdap_redacted.json"), "application/rdap+json"};
        if (path == "/rdap/domain/busy.org")
            return {429, "{}", "application/rdap+json", 0, false, {{"Retry-After", "60"}}};
        if (path == "/rdap/domain/slow.org")
            return {200, Fixture("rdap_thick.json"), "application/rdap+json", 3000};
        if (path == "/rdap/domain/garbage.org" || path == "/rdap/domain/example.cc")
            return {200, "<html>maintenance</html>", "text/html"};
        if (path == "/rdap/domain/example.io")
            return {503, "{}", "application/rdap+json"};
        if (path == "/rdap/domain/refused.org")
            return {403, "{}", "application/rdap+json"};
        return {404, R"({"errorCode":404})", "application/rdap+json"};
    }

    // A lookup as the program makes it.
    QString lookUp(const QString& name)
    {
        return Row(MapLookupReply(HttpGetText(client, LookupUrl(baseUrl, name))));
    }

    int rdapRequests(const QByteArray& path) const
    {
        int count = 0;
        for (const auto& request : rdap.requests())
            count += request.path == path ? 1 : 0;
        return count;
    }

    TestHttpsServer rdap;
    FakeWhoisServer registry;
    FakeWhoisServer registrar;
    FakeDnsServer dns;
    QTemporaryFile bootstrap;
    ServiceSettings settings;
    QNetworkAccessManager upstreamNetwork;
    QNetworkAccessManager client;
    SystemClock clock;
    std::unique_ptr<LookupService> service;
    std::unique_ptr<HttpFront> front;
    QString baseUrl;
};
