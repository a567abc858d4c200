#include "service/front/front_connection.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// How long a closing connection waits for the client's side of the close.
constexpr std::chrono::seconds kClosingTime{1};
// What one read takes while a lookup waits.
constexpr std::size_t kWatchBytes = 4096;

bool IsParseError(const beast::error_code& error)
{
    return &error.category() == &http::make_error_code(http::error::bad_target).category();
}

} // namespace

FrontConnection::FrontConnection(asio::ip::tcp::socket socket, asio::ssl::context& tls,
                                 const FrontLimits& limits, FrontRoutes& routes, ConnectionRegistry& registry)
    : m_executor(socket.get_executor())
    , m_tcp(std::move(socket))
    , m_firstByte(m_executor)
    , m_tls(tls)
    , m_limits(limits)
    , m_routes(routes)
    , m_registry(registry)
{
    beast::error_code ignored;
    const auto peer = m_tcp.socket().remote_endpoint(ignored);
    m_client = QString::fromStdString(peer.address().to_string());
}

void FrontConnection::start(ConnectionRegistry::Ticket ticket)
{
    m_ticket = ticket;
    asio::dispatch(m_executor, [self = shared_from_this()] {
        // TLS state is large: a connection gets it once the client has said something.
        self->m_firstByte.expires_after(self->m_limits.handshake);
        self->m_firstByte.async_wait([self](beast::error_code error) {
            if (!error)
                self->finish();
        });
        self->m_tcp.socket().async_wait(asio::ip::tcp::socket::wait_read, [self](beast::error_code error) {
            if (error || self->m_finished) {
                self->finish();
                return;
            }
            self->m_firstByte.cancel();
            self->m_stream.emplace(std::move(self->m_tcp), self->m_tls);
            beast::get_lowest_layer(*self->m_stream).expires_after(self->m_limits.handshake);
            self->m_stream->async_handshake(asio::ssl::stream_base::server, [self](beast::error_code failed) {
                if (failed)
                    self->finish();
                else
                    self->readRequest();
            });
        });
    });
}

void FrontConnection::evict()
{
    asio::post(m_executor, [self = shared_from_this()] { self->finish(); });
}

void FrontConnection::readRequest()
{
    // A connection waiting for its next request keeps no more than a small buffer.
    if (m_buffer.size() == 0 && m_buffer.capacity() > 2048)
        m_buffer.shrink_to_fit();
    m_parser.emplace();
    m_parser->header_limit(m_limits.headerBytes);
    m_parser->body_limit(m_limits.bodyBytes);
    beast::get_lowest_layer(*m_stream).expires_after(m_limits.idle);
    http::async_read(*m_stream, m_buffer, *m_parser,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onRead(error);
    });
}

void FrontConnection::onRead(beast::error_code error)
{
    if (m_finished) // evicted while the request came in
        return;
    if (error == http::error::header_limit) {
        // Whether the request line was too long to be read, or its URL is, or the fields after it.
        const std::size_t url = m_parser->get().target().size();
        refuse(url == 0 || url > m_limits.urlBytes ? Status::uri_too_long
                                                   : Status::request_header_fields_too_large);
        return;
    }
    if (error == http::error::body_limit) {
        refuse(Status::payload_too_large);
        return;
    }
    if (error && IsParseError(error) && error != http::error::end_of_stream &&
        error != http::error::partial_message) {
        refuse(Status::bad_request);
        return;
    }
    if (error) {
        finish();
        return;
    }
    const auto& request = m_parser->get();
    if (request.target().size() > m_limits.urlBytes) {
        refuse(Status::uri_too_long);
        return;
    }
    if (std::size_t(std::distance(request.begin(), request.end())) > m_limits.headerCount) {
        refuse(Status::request_header_fields_too_large);
        return;
    }
    const bool keepAlive = request.keep_alive();
    const std::string_view method = request.method_string();
    const std::string_view target = request.target();
    m_gone = std::make_shared<std::atomic<bool>>(false);
    FrontRequest front{QByteArray(method.data(), qsizetype(method.size())),
                       QByteArray(target.data(), qsizetype(target.size())),
                       QByteArray(request.body().data(), qsizetype(request.body().size())), m_client, m_gone};
    m_parser.reset();
    m_registry.setBusy(*m_ticket, true);
    // The answer may take as long as the upstreams: their own limits bound it.
    beast::get_lowest_layer(*m_stream).expires_never();
    // A weak hold only: the registry keeps the connection while the lookup runs, and
    // whatever is left over when the service stops must not keep it.
    m_routes.handle(front, [weak = weak_from_this(), keepAlive](FrontReply reply) {
        if (const auto self = weak.lock()) {
            asio::dispatch(self->m_executor, [self, keepAlive, reply = std::move(reply)] {
                self->send(Status(reply.status), reply.body, keepAlive);
            });
        }
    });
    if (m_gone) // not answered at once
        watch();
}

void FrontConnection::watch()
{
    // A client sending a whole request's worth more while it waits is evidently there.
    if (m_buffer.size() > m_limits.headerBytes + m_limits.bodyBytes)
        return;
    m_watching = true;
    // Whatever arrives is kept for the next request.
    m_stream->async_read_some(m_buffer.prepare(kWatchBytes),
                              [self = shared_from_this()](beast::error_code error, std::size_t bytes) {
        self->onWatched(error, bytes);
    });
}

void FrontConnection::onWatched(beast::error_code error, std::size_t bytes)
{
    m_watching = false;
    m_buffer.commit(bytes);
    if (m_finished)
        return;
    if (error && error != asio::error::operation_aborted) {
        finish(); // the client has gone
        return;
    }
    if (m_then != Then::Watch)
        afterAnswer(); // the read was cancelled (or ended) once the answer had been written
    else if (m_gone)
        watch();
    // Else the answer is being written, and goes on once it has been.
}

void FrontConnection::send(Status status, QByteArray body, bool keepAlive)
{
    if (m_finished)
        return;
    m_gone.reset(); // answered: nobody need be told
    m_response = {};
    m_response.version(11);
    m_response.result(status);
    if (!body.isEmpty())
        m_response.set(http::field::content_type, "application/json");
    m_response.keep_alive(keepAlive);
    m_response.body().assign(body.constData(), std::size_t(body.size()));
    m_response.prepare_payload();
    beast::get_lowest_layer(*m_stream).expires_after(m_limits.idle);
    http::async_write(*m_stream, m_response,
                      [self = shared_from_this(), keepAlive](beast::error_code error, std::size_t) {
        self->onWritten(error, keepAlive);
    });
}

void FrontConnection::onWritten(beast::error_code error, bool keepAlive)
{
    if (error || m_finished) {
        finish();
        return;
    }
    m_then = keepAlive ? Then::ReadNext : Then::Close;
    if (m_watching) {
        // Only one read at a time: the watching one ends first, keeping what it read.
        beast::get_lowest_layer(*m_stream).cancel();
        return;
    }
    afterAnswer();
}

void FrontConnection::afterAnswer()
{
    if (std::exchange(m_then, Then::Watch) == Then::ReadNext) {
        m_registry.setBusy(*m_ticket, false);
        readRequest();
    } else {
        close();
    }
}

void FrontConnection::close()
{
    // Say goodbye without waiting for the client's: as if it had said it already.
    SSL_set_shutdown(m_stream->native_handle(), SSL_RECEIVED_SHUTDOWN);
    beast::get_lowest_layer(*m_stream).expires_after(kClosingTime);
    m_stream->async_shutdown([self = shared_from_this()](beast::error_code failed) {
        if (failed) {
            self->finish();
            return;
        }
        // The rest of a refused request may still be arriving: closing with it
        // unread would reset the connection and could take the answer with it. So
        // the service stops sending and throws away what comes, for a moment.
        beast::error_code ignored;
        beast::get_lowest_layer(*self->m_stream)
            .socket()
            .shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        self->m_buffer.clear();
        self->drain();
    });
}

void FrontConnection::refuse(Status status)
{
    send(status, {}, false);
}

void FrontConnection::drain()
{
    beast::get_lowest_layer(*m_stream).async_read_some(
        m_buffer.prepare(4096), [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error)
                self->finish();
            else
                self->drain();
        });
}

void FrontConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_gone) // its lookup is withdrawn
        std::exchange(m_gone, nullptr)->store(true);
    if (m_stream)
        beast::get_lowest_layer(*m_stream).close();
    else
        m_tcp.close();
    m_firstByte.cancel();
    if (m_ticket) {
        const ConnectionRegistry::Ticket ticket = *m_ticket;
        m_ticket.reset();
        m_registry.remove(ticket); // the registry's hold goes; the caller's remains
    }
}
