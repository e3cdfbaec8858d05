#include "TcpClient.h"

#include <array>
#include <vector>

namespace vvp {
namespace {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

constexpr size_t kWriteChunk = 64 * 1024;

Clock::duration Remaining(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    return left > Clock::duration::zero() ? left : Clock::duration::zero();
}

} // namespace

TcpClient::TcpClient() : m_resolver(m_io), m_socket(m_io) {}

TcpClient::~TcpClient() {
    Disconnect();
}

template <typename Cancel> TcpClient::RunEnd TcpClient::Run(Clock::duration timeout, Cancel cancel) {
    m_io.restart();
    m_io.run_for(timeout);
    if (m_io.stopped()) return RunEnd::Completed;
    cancel();
    m_io.run();
    return RunEnd::TimedOut;
}

Result<void> TcpClient::Connect(const std::string& host, int port, Duration timeout) {
    Disconnect();
    if (host.empty()) return Error{"A host must be specified.", kTcpFailed};
    if (port < 1 || port > 65535) return Error{"Invalid port " + std::to_string(port) + ".", kTcpFailed};
    const auto deadline = Clock::now() + timeout;
    const auto closeSocket = [this] {
        asio::error_code ignored;
        m_socket.close(ignored);
    };

    std::vector<tcp::endpoint> endpoints;
    asio::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    if (!ec) {
        endpoints.emplace_back(address, static_cast<unsigned short>(port));
    } else {
        asio::error_code resolveError;
        m_resolver.async_resolve(host, std::to_string(port), tcp::resolver::numeric_service,
                                 [&](const asio::error_code& e, const tcp::resolver::results_type& results) {
                                     resolveError = e;
                                     for (const auto& entry : results)
                                         endpoints.push_back(entry.endpoint());
                                 });
        if (Run(Remaining(deadline), [this] { m_resolver.cancel(); }) == RunEnd::TimedOut)
            return Error{"Timed out looking up " + host + ".", kTcpTimedOut};
        if (resolveError) return Error{host + ": " + resolveError.message(), kTcpFailed};
        if (endpoints.empty()) return Error{host + ": no address found.", kTcpFailed};
    }

    asio::error_code connectError = asio::error::timed_out;
    asio::async_connect(m_socket, endpoints,
                        [&](const asio::error_code& e, const tcp::endpoint&) { connectError = e; });
    if (Run(Remaining(deadline), closeSocket) == RunEnd::TimedOut) {
        closeSocket();
        return Error{"Connect timed out.", kTcpTimedOut};
    }
    if (connectError) {
        closeSocket();
        return Error{connectError.message(), kTcpFailed};
    }
    return Ok();
}

Result<void> TcpClient::Write(std::string_view bytes, Duration stallTimeout) {
    if (!m_socket.is_open()) return Error{"Not connected.", kTcpClosed};
    for (size_t offset = 0; offset < bytes.size();) {
        const size_t n = std::min(kWriteChunk, bytes.size() - offset);
        asio::error_code writeError;
        asio::async_write(m_socket, asio::buffer(bytes.data() + offset, n),
                          [&](const asio::error_code& e, size_t) { writeError = e; });
        if (Run(stallTimeout, [this] {
                asio::error_code ignored;
                m_socket.close(ignored);
            }) == RunEnd::TimedOut)
            return Error{"Write timed out.", kTcpTimedOut};
        if (writeError) return Error{writeError.message(), kTcpFailed};
        offset += n;
    }
    return Ok();
}

Result<std::string> TcpClient::ReadLine(Duration timeout, size_t maxLength) {
    const auto deadline = Clock::now() + timeout;
    std::array<char, 16 * 1024> chunk{};
    for (;;) {
        const auto lf = m_pending.find('\n');
        if (lf != std::string::npos) {
            if (lf > maxLength) return Error{"Line too long.", kTcpTooLong};
            std::string line = m_pending.substr(0, lf);
            m_pending.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        if (m_pending.size() > maxLength) return Error{"Line too long.", kTcpTooLong};
        if (!m_socket.is_open()) return Error{"Not connected.", kTcpClosed};
        const auto left = Remaining(deadline);
        if (left == Clock::duration::zero()) return Error{"Read timed out.", kTcpTimedOut};

        asio::error_code readError;
        m_socket.async_read_some(asio::buffer(chunk), [&](const asio::error_code& e, size_t n) {
            readError = e;
            m_received += n;
            m_pending.append(chunk.data(), n); // bytes that arrived as the wait ended are kept
        });
        Run(left, [this] {
            asio::error_code ignored;
            m_socket.cancel(ignored);
        });
        if (readError == asio::error::eof) return Error{"Connection closed by the server.", kTcpClosed};
        if (readError == asio::error::operation_aborted) continue; // the deadline check above ends it
        if (readError) return Error{readError.message(), kTcpFailed};
    }
}

void TcpClient::Disconnect() {
    m_pending.clear();
    m_received = 0;
    if (!m_socket.is_open()) return;
    asio::error_code ignored;
    m_socket.shutdown(tcp::socket::shutdown_both, ignored);
    m_socket.close(ignored);
}

} // namespace vvp
