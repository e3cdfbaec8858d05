#include "ListenerConnection.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vvp {
namespace {

constexpr size_t kLongestRequest = 7; // "SVRINFO"
constexpr int kReadsPerTurn = 16;     // then other connections get their turn
// Replies a peer does not read are not piled up without end.
constexpr size_t kMaxPendingReply = 16u << 20;

// 0, or the errno of the failed write.
int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

} // namespace

Connection::Connection(JobListener::Impl& impl, ListenerWorker& worker, asio::ip::tcp::socket socket,
                       std::string peer)
    : m_impl(impl), m_worker(worker), m_socket(std::move(socket)), m_peer(std::move(peer)) {}

Connection::~Connection() {
    // Only when the process stops with the connection open; the spool stays for recovery.
    if (m_fd >= 0) ::close(m_fd);
}

void Connection::Start() {
    m_worker.connections.emplace(this, shared_from_this());
    ++m_worker.count;
    asio::error_code ec;
    m_socket.non_blocking(true, ec);
    // Until the spool file is complete, a crash or kill must reset the connection rather
    // than close it cleanly: the sender then knows the job did not arrive.
    m_socket.set_option(asio::socket_base::linger(true, 0), ec);
    m_socket.set_option(asio::ip::tcp::no_delay(true), ec);
    m_lastActivity = SteadyClock::now();
    ReadAvailable();
}

void Connection::Sweep(SteadyClock::time_point now) {
    const auto idle = m_worker.limits.idleTimeout;
    if (m_closeAfterWrite) {
        // The job is handed on; only a reply the peer does not read is still pending.
        if ((idle.count() > 0 && now - m_lastActivity >= idle) ||
            (m_worker.stopping && now >= m_worker.stopDeadline))
            CloseSocket(false);
        return;
    }
    if (idle.count() > 0 && now - m_lastActivity >= idle)
        Finish(End::Idle);
    else if (m_worker.stopping && (m_received == 0 || now >= m_worker.stopDeadline))
        Finish(End::Shutdown);
}

void Connection::ReadAvailable() {
    if (m_finished) return;
    std::vector<char>& buf = m_worker.buffer;
    for (int i = 0; i < kReadsPerTurn; ++i) {
        asio::error_code ec;
        const size_t n = m_socket.read_some(asio::buffer(buf), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            WaitReadable();
            return;
        }
        if (ec == asio::error::interrupted) continue;
        if (ec == asio::error::eof) return Finish(End::PeerClosed);
        if (ec) return Finish(End::Broken, ec.message());
        m_lastActivity = SteadyClock::now();
        if (!Store(buf.data(), n)) return;
    }
    asio::post(m_worker.io, [self = shared_from_this()] { self->ReadAvailable(); });
}

void Connection::WaitReadable() {
    m_socket.async_wait(asio::ip::tcp::socket::wait_read,
                        [self = shared_from_this()](const asio::error_code& ec) {
                            if (self->m_finished) return;
                            if (ec) return self->Finish(End::Broken, ec.message());
                            self->ReadAvailable();
                        });
}

bool Connection::OpenSpool() {
    auto spool = m_impl.spools.Create(m_peer);
    if (!spool) {
        m_impl.Log(spool.error().message + "; the job from " + m_peer + " was refused.");
        Abort();
        return false;
    }
    m_fd = spool->fd;
    m_spoolPath = std::move(spool->path);
    m_impl.Log("New job..");
    return true;
}

bool Connection::Store(const char* data, size_t size) {
    if (m_fd < 0 && !OpenSpool()) return false;
    const uint64_t max = m_worker.limits.maxJobBytes;
    const size_t keep = max == 0 ? size : static_cast<size_t>(std::min<uint64_t>(size, max - m_received));
    if (keep > 0) {
        if (int err = WriteAll(m_fd, data, keep)) {
            Finish(End::SpoolFailed, std::strerror(err));
            return false;
        }
        m_received += keep;
        ScanForRequests(data, keep);
    }
    if (keep < size) {
        Finish(End::TooLarge);
        return false;
    }
    return true;
}

void Connection::ScanForRequests(const char* p, size_t n) {
    size_t i = 0;
    while (i < n) {
        if (m_lineDead) {
            const void* nul = std::memchr(p + i, 0, n - i);
            if (!nul) return;
            i = static_cast<size_t>(static_cast<const char*>(nul) - p) + 1;
            m_line.clear();
            m_lineDead = false;
            continue;
        }
        const char c = p[i++];
        if (c == '\0') {
            m_line.clear();
        } else if (c == '\r') {
            if (m_line == "SVRINFO" || m_line == "ADDR") {
                Answer(m_line == "SVRINFO");
                m_lineDead = true;
            }
        } else {
            m_line += c;
            if (m_line.size() > kLongestRequest) m_lineDead = true;
        }
    }
}

void Connection::Answer(bool svrinfo) {
    const char* word = svrinfo ? "SVRINFO" : "ADDR";
    if (!PeerAllowed(m_worker.limits.allowedPeers, m_peer)) {
        m_impl.Log(std::string("Refused \"") + word + "\" from " + m_peer + ": not an allowed peer.");
        return;
    }
    if (m_queued.size() + m_writing.size() > kMaxPendingReply) {
        m_impl.Log(std::string("Not answering \"") + word + "\" from " + m_peer +
                   ": earlier replies are unread.");
        return;
    }
    m_impl.Log(svrinfo ? "Return Domain list" : "Return Address File");
    m_queued += m_impl.Reply(svrinfo);
    if (!m_writeBusy) StartWrite();
}

void Connection::StartWrite() {
    m_writing.swap(m_queued);
    m_queued.clear();
    m_writeBusy = true;
    asio::async_write(m_socket, asio::buffer(m_writing),
                      [self = shared_from_this()](const asio::error_code& ec, size_t) {
                          self->m_writeBusy = false;
                          self->m_writing.clear();
                          self->m_lastActivity = SteadyClock::now();
                          if (ec) {
                              if (!self->m_finished)
                                  self->Finish(End::Broken, ec.message());
                              else if (self->m_closeAfterWrite)
                                  self->CloseSocket(false);
                              return;
                          }
                          if (!self->m_queued.empty()) return self->StartWrite();
                          if (self->m_closeAfterWrite) self->CloseSocket(true);
                      });
}

void Connection::Abort() {
    m_finished = true;
    CloseSocket(false);
}

void Connection::CloseSocket(bool graceful) {
    auto self = shared_from_this(); // the worker's map may hold the last reference
    m_closeAfterWrite = false;
    if (m_worker.connections.erase(this) > 0) --m_worker.count;
    asio::error_code ec;
    if (graceful) m_socket.set_option(asio::socket_base::linger(false, 0), ec);
    m_socket.close(ec);
}

void Connection::Finish(End end, const std::string& detail) {
    if (m_finished) return;
    m_finished = true;
    auto self = shared_from_this();
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) m_impl.Log("Closing spool file " + m_spoolPath + ": " + std::strerror(errno));
        m_fd = -1;
    }
    // A clean close tells the sender that the job is stored, so it is given only when the
    // sender closed first (or went silent) and every byte is in the closed spool file.
    const bool graceful = end == End::PeerClosed || end == End::Idle;
    if (graceful && m_writeBusy)
        m_closeAfterWrite = true;
    else
        CloseSocket(graceful);
    Report(end, detail);
    if (!m_spoolPath.empty()) m_impl.onJob(m_spoolPath);
}

void Connection::Report(End end, const std::string& detail) {
    const std::string bytes = std::to_string(m_received) + " bytes";
    const bool job = !m_spoolPath.empty();
    switch (end) {
    case End::PeerClosed:
        if (!job)
            m_impl.Log("Connection from " + m_peer + " closed without sending anything; not a print job.");
        break;
    case End::Idle:
        m_impl.Log(
            job ? "No data from " + m_peer + " for " + std::to_string(m_worker.limits.idleTimeout.count()) +
                      " seconds; the job is handled as received (" + bytes + ")."
                : "Connection from " + m_peer + " sent nothing for " +
                      std::to_string(m_worker.limits.idleTimeout.count()) + " seconds and was closed.");
        break;
    case End::TooLarge:
        m_impl.Log("Job from " + m_peer + " is larger than " + Megabytes(m_worker.limits.maxJobBytes) +
                   "; the rest was not stored and the first " + Megabytes(m_worker.limits.maxJobBytes) +
                   " are handled.");
        break;
    case End::Broken:
        m_impl.Log(job ? "Connection from " + m_peer + " broke off (" + detail + "); the " + bytes +
                             " received are handled."
                       : "Connection from " + m_peer + " broke off before sending anything (" + detail +
                             ").");
        break;
    case End::SpoolFailed:
        m_impl.Log("Cannot write spool file " + m_spoolPath + ": " + detail + "; the " + bytes +
                   " stored are handled.");
        break;
    case End::Shutdown:
        if (job) m_impl.Log("Stopping: the job from " + m_peer + " is handled as received (" + bytes + ").");
        break;
    }
}

} // namespace vvp
