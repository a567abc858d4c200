#include "service/front/http_front.h"

#include "service/front/connection_registry.h"
#include "service/front/front_connection.h"
#include "service/front/front_routes.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <malloc.h>
#include <thread>
#include <vector>

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

FrontLimits LimitsFrom(const ServiceSettings& settings)
{
    return FrontLimits{settings.handshakeTimeout,
                       settings.idleTimeout,
                       std::uint32_t(settings.maxHeaderBytes),
                       std::size_t(settings.maxHeaderCount),
                       std::size_t(settings.maxUrlBytes),
                       std::uint64_t(settings.maxBodyBytes)};
}

} // namespace

// Declared so that the threads stop first and the connections go while the
// io_context they belong to still exists.
struct HttpFront::Core {
    Core(const ServiceSettings& settings, LookupService& lookups, Metrics* metrics)
        : settings(settings)
        , io(settings.frontThreads)
        , routes(settings, lookups, metrics)
        , limits(LimitsFrom(settings))
        , registry(std::size_t(settings.maxConnections))
    {
    }

    void accept();
    void tidyNowAndThen();

    const ServiceSettings settings;
    asio::ssl::context tls{asio::ssl::context::tls_server};
    asio::io_context io;
    FrontRoutes routes;
    const FrontLimits limits;
    tcp::acceptor acceptor{io};
    asio::steady_timer retry{io};
    asio::steady_timer tidy{io};
    ConnectionRegistry registry;
    std::vector<std::thread> threads;
};

void HttpFront::Core::accept()
{
    acceptor.async_accept(asio::make_strand(io), [this](boost::system::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted)
            return;
        if (error) {
            // Out of descriptors, say: try again shortly instead of spinning.
            retry.expires_after(std::chrono::milliseconds(100));
            retry.async_wait([this](boost::system::error_code waited) {
                if (!waited)
                    accept();
            });
            return;
        }
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        auto connection = std::make_shared<FrontConnection>(std::move(socket), tls, limits, routes, registry);
        if (const auto ticket = registry.admit(connection))
            connection->start(*ticket);
        accept();
    });
}

void HttpFront::Core::tidyNowAndThen()
{
    tidy.expires_after(std::chrono::seconds(1));
    tidy.async_wait([this](boost::system::error_code error) {
        if (error)
            return;
        routes.sweep();
        // After a crowd of connections has gone, hand their memory back to the system.
        if (registry.shrank(64))
            malloc_trim(0);
        tidyNowAndThen();
    });
}

HttpFront::HttpFront(const ServiceSettings& settings, LookupService& lookups, Metrics* metrics)
    : m_core(std::make_unique<Core>(settings, lookups, metrics))
{
}

HttpFront::~HttpFront()
{
    m_core->io.stop();
    for (std::thread& thread : m_core->threads)
        thread.join();
}

quint16 HttpFront::listen(const QByteArray& certificatePem, const QByteArray& keyPem, QString* error)
{
    Core& core = *m_core;
    boost::system::error_code failed;
    core.tls.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                         asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                         asio::ssl::context::no_tlsv1_1);
    // Idle connections give their TLS buffers back.
    SSL_CTX_set_mode(core.tls.native_handle(), SSL_MODE_RELEASE_BUFFERS);
    SSL_CTX_set_session_cache_mode(core.tls.native_handle(), SSL_SESS_CACHE_OFF);
    core.tls.use_certificate_chain(
        asio::buffer(certificatePem.constData(), std::size_t(certificatePem.size())), failed);
    if (!failed)
        core.tls.use_private_key(asio::buffer(keyPem.constData(), std::size_t(keyPem.size())),
                                 asio::ssl::context::pem, failed);
    if (failed || certificatePem.isEmpty()) {
        *error = QStringLiteral("the TLS certificate or key cannot be read");
        return 0;
    }
    const asio::ip::address address =
        asio::ip::make_address(core.settings.listenAddress.toString().toStdString(), failed);
    if (!failed) {
        const tcp::endpoint endpoint(address, core.settings.port);
        core.acceptor.open(endpoint.protocol(), failed);
        if (!failed && address.is_v6())
            core.acceptor.set_option(asio::ip::v6_only(false), failed);
        if (!failed)
            core.acceptor.set_option(asio::socket_base::reuse_address(true), failed);
        if (!failed)
            core.acceptor.bind(endpoint, failed);
        if (!failed)
            core.acceptor.listen(asio::socket_base::max_listen_connections, failed);
    }
    if (failed) {
        *error = QStringLiteral("cannot listen on %1:%2")
                     .arg(core.settings.listenAddress.toString())
                     .arg(core.settings.port);
        return 0;
    }
    core.accept();
    core.tidyNowAndThen();
    for (int i = 0; i < core.settings.frontThreads; ++i)
        core.threads.emplace_back([&core] { core.io.run(); });
    return core.acceptor.local_endpoint().port();
}
