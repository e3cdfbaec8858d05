#pragma once

#include "Result.h"

#include <asio.hpp>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace vvp {

// Error codes of TcpClient failures (Error::code).
enum TcpErrorCode : int {
    kTcpFailed = 1,   // refused, unreachable, reset, bad host or port
    kTcpTimedOut = 2, // nothing happened within the time allowed
    kTcpClosed = 3,   // the peer closed the connection
    kTcpTooLong = 4,  // a line grew beyond the length allowed
};

// A small blocking TCP client: each operation waits at most the time it is given.
class TcpClient {
public:
    using Duration = std::chrono::milliseconds;

    TcpClient();
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Resolves host and connects to the first address that answers, within timeout overall.
    Result<void> Connect(const std::string& host, int port, Duration timeout);
    // Sends every byte; fails when the peer accepts nothing for stallTimeout.
    Result<void> Write(std::string_view bytes, Duration stallTimeout);
    // One line ended by LF, without the LF and a CR before it. A time-out leaves the connection
    // usable and keeps a partly received line for the next call.
    Result<std::string> ReadLine(Duration timeout, size_t maxLength);
    void Disconnect();
    bool Connected() const { return m_socket.is_open(); }
    // Bytes read from the connection since it was made, including those not yet returned.
    size_t BytesReceived() const { return m_received; }

private:
    enum class RunEnd { Completed, TimedOut };
    // Runs the pending operation for at most timeout; on a time-out calls cancel and lets the
    // aborted handlers finish, so nothing refers to the caller's locals afterwards.
    template <typename Cancel> RunEnd Run(std::chrono::steady_clock::duration timeout, Cancel cancel);

    asio::io_context m_io;
    asio::ip::tcp::resolver m_resolver;
    asio::ip::tcp::socket m_socket;
    std::string m_pending; // received bytes not yet returned as a line
    size_t m_received = 0;
};

} // namespace vvp
