#pragma once

#include "service/front/connection_registry.h"
#include "service/front/front_routes.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

// What one client may hold or send.
struct FrontLimits {
    std::chrono::milliseconds handshake{5000}; // to finish the TLS handshake
    std::chrono::milliseconds idle{15000};     // for the next request to arrive, or an answer to be taken
    std::uint32_t headerBytes = 16 * 1024;
    std::size_t headerCount = 100;
    std::size_t urlBytes = 8 * 1024;
    std::uint64_t bodyBytes = 64 * 1024;
};

// One client's TLS connection: the handshake, then requests read one at a time and
// each answered before the next is read, so that pipelined answers keep their order.
// Each step has a time limit; a request over a limit is answered with its 4xx status
// and the connection closed. While a lookup waits, the connection is still read, so
// that a client who leaves frees its slot and withdraws its lookup at once. Runs on
// its socket's strand.
class FrontConnection final : public ConnectionRegistry::Member,
                              public std::enable_shared_from_this<FrontConnection> {
public:
    FrontConnection(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context& tls,
                    const FrontLimits& limits, FrontRoutes& routes, ConnectionRegistry& registry);

    void start(ConnectionRegistry::Ticket ticket);
    void evict() override;

private:
    using Stream = boost::beast::ssl_stream<boost::beast::tcp_stream>;
    using Status = boost::beast::http::status;

    // What follows the answer being written.
    enum class Then { Watch, ReadNext, Close };

    void readRequest();
    void onRead(boost::beast::error_code error);
    void watch();
    void onWatched(boost::beast::error_code error, std::size_t bytes);
    void send(Status status, QByteArray body, bool keepAlive);
    void onWritten(boost::beast::error_code error, bool keepAlive);
    void afterAnswer();
    void close();
    void refuse(Status status);
    void drain();
    void finish();

    const boost::asio::any_io_executor m_executor; // the connection's strand
    boost::beast::tcp_stream m_tcp;                // until the first byte arrives
    boost::asio::steady_timer m_firstByte;
    boost::asio::ssl::context& m_tls;
    std::optional<Stream> m_stream; // from then on
    const FrontLimits& m_limits;
    FrontRoutes& m_routes;
    ConnectionRegistry& m_registry;
    std::optional<ConnectionRegistry::Ticket> m_ticket;
    QString m_client; // address
    boost::beast::flat_buffer m_buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_parser;
    boost::beast::http::response<boost::beast::http::string_body> m_response;
    // The waiting lookup's flag, set once the client has gone; null when none waits.
    std::shared_ptr<std::atomic<bool>> m_gone;
    bool m_watching = false; // a read is posted while a lookup waits
    Then m_then = Then::Watch;
    bool m_finished = false;
};
