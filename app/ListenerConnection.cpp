#include "ListenerConnection.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace vvp {
namespace {

constexpr size_t kLongestRequest = 7; // "SVRINFO"
constexpr int kReadsPerTurn = 16;     // then other connections get their turn

// Bytes written before the write failed, and its errno (0 when all were written).
std::pair<size_t, int> WriteAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return {done, errno};
        }
        done += static_cast<size_t>(n);
    }
    return {done, 0};
}

std::string Megabytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

} // namespace

Connection::Connection(JobListener::Impl& impl, ListenerWorker& worker, asio::ip::tcp::socket socket,
                       std::string peer)
    : m_impl(impl), m_worker(worker), m_socket(std::move(socket)), m_peer(std::move(peer)) {}

Connection::~Connection() {
    // Only when the process stops with the connection open; the receiving file stays and is set
    // aside at the next start.
    if (m_fd >= 0) ::close(m_fd);
    m_impl.ReleasePeer(m_peer);
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
    if (m_finished) return;
    if (idle.count() > 0 && now - m_lastActivity >= idle)
        Finish(End::Idle);
    else if (m_worker.stopping && (m_received == 0 || now >= m_worker.stopDeadline))
        Finish(End::Shutdown);
}

void Connection::ReadAvailable() {
    if (m_finished) return;
    std::vector<char>& buf = m_worker.buffer;
    for (int i = 0; i < kReadsPerTurn; ++i) {
        // A reply the peer has not taken yet: its further bytes wait in the socket.
        if (m_replyPending) return;
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
                            if (self->m_finished || self->m_replyPending) return;
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
    m_impl.Log("New job.. from " + m_peer);
    return true;
}

bool Connection::Store(const char* data, size_t size) {
    if (m_fd < 0 && !OpenSpool()) return false;
    const uint64_t max = m_worker.limits.maxJobBytes;
    const size_t keep = max == 0 ? size : static_cast<size_t>(std::min<uint64_t>(size, max - m_received));
    if (keep > 0) {
        const auto [written, err] = WriteAll(m_fd, data, keep);
        m_received += written;
        if (err != 0) {
            Finish(End::SpoolFailed, std::strerror(err));
            return false;
        }
        // Requests after one whose reply is pending are looked at once it has been sent.
        const size_t scanned = ScanForRequests(data, keep);
        if (scanned < keep) m_unscanned.assign(data + scanned, keep - scanned);
    }
    if (keep < size) {
        Finish(End::TooLarge);
        return false;
    }
    return true;
}

size_t Connection::ScanForRequests(const char* p, size_t n) {
    size_t i = 0;
    while (i < n && !m_replyPending) {
        if (m_lineDead) {
            const void* nul = std::memchr(p + i, 0, n - i);
            if (!nul) return n;
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
    return i;
}

void Connection::Answer(bool svrinfo) {
    const char* word = svrinfo ? "SVRINFO" : "ADDR";
    if (!m_worker.limits.peers.Allows(m_peer)) {
        m_impl.Log(std::string("Refused \"") + word + "\" from " + m_peer + ": not an allowed peer.");
        return;
    }
    if (m_replyPending) {
        if (!m_toldReplyPending)
            m_impl.Log(std::string("Not answering \"") + word + "\" from " + m_peer +
                       ": its earlier reply is not taken yet.");
        m_toldReplyPending = true;
        return;
    }
    m_impl.Log(svrinfo ? "Return Domain list" : "Return Address File");
    m_replyPending = true;
    if (svrinfo) return SendReply(std::make_shared<const std::string>(m_impl.SvrinfoReply()));
    // The book is read and the reply built off the I/O threads; the reply comes back here.
    auto self = shared_from_this();
    m_impl.addressReplies.Get([self](SharedReply reply) {
        asio::post(self->m_worker.io, [self, reply] { self->SendReply(reply); });
    });
}

void Connection::SendReply(SharedReply reply) {
    if (m_socketClosed) return;
    const size_t size = reply->size();
    if (m_impl.queuedReplyBytes.fetch_add(size) + size > m_impl.options.maxQueuedReplyBytes) {
        m_impl.queuedReplyBytes -= size;
        m_impl.Log("Not answering " + m_peer + ": too many replies are waiting to be sent.");
        return ReplySent();
    }
    m_writing = std::move(reply);
    asio::async_write(m_socket, asio::buffer(*m_writing),
                      [self = shared_from_this(), size](const asio::error_code& ec, size_t) {
                          self->m_impl.queuedReplyBytes -= size;
                          self->m_writing.reset();
                          self->m_lastActivity = SteadyClock::now();
                          if (ec) {
                              self->m_replyPending = false;
                              if (!self->m_finished)
                                  self->Finish(End::Broken, ec.message());
                              else if (self->m_closeAfterWrite)
                                  self->CloseSocket(false);
                              return;
                          }
                          self->ReplySent();
                      });
}

void Connection::ReplySent() {
    m_replyPending = false;
    if (m_closeAfterWrite) return CloseSocket(true);
    if (m_finished) return;
    if (!m_unscanned.empty()) {
        const std::string rest = std::move(m_unscanned);
        m_unscanned.clear();
        const size_t scanned = ScanForRequests(rest.data(), rest.size());
        if (scanned < rest.size()) m_unscanned = rest.substr(scanned);
        if (m_replyPending) return;
    }
    ReadAvailable();
}

void Connection::Abort() {
    m_finished = true;
    CloseSocket(false);
}

void Connection::CloseSocket(bool graceful) {
    auto self = shared_from_this(); // the worker's map may hold the last reference
    m_closeAfterWrite = false;
    if (m_socketClosed) return;
    m_socketClosed = true;
    if (m_worker.connections.erase(this) > 0) --m_worker.count;
    asio::error_code ec;
    if (graceful) m_socket.set_option(asio::socket_base::linger(false, 0), ec);
    m_socket.close(ec);
}

void Connection::Finish(End end, const std::string& detail) {
    if (m_finished) return;
    m_finished = true;
    auto self = shared_from_this();
    // A job is handled only when its sender finished it: it closed, or went silent for the idle
    // time. Anything else leaves a job cut short, which keeps its bytes but is never delivered.
    bool complete = end == End::PeerClosed || end == End::Idle;
    std::string keptAs;
    if (m_fd >= 0) {
        if (::close(m_fd) != 0) {
            m_impl.Log("Closing spool file " + m_spoolPath + ": " + std::strerror(errno));
            complete = false;
        }
        m_fd = -1;
        if (complete) {
            if (auto spool = CompleteSpool(m_spoolPath)) {
                m_spoolPath = *spool;
            } else {
                m_impl.Log(spool.error().message);
                complete = false;
            }
        }
        if (!complete) keptAs = SetAsideSpool(m_spoolPath, kIncompleteExtension);
    }
    // A clean close tells the sender that the job is stored, so it is given only when the job is
    // complete in its spool file.
    if (complete && m_replyPending)
        m_closeAfterWrite = true;
    else
        CloseSocket(complete);
    Report(end, detail, keptAs);
    if (complete && !m_spoolPath.empty()) m_impl.onJob(m_spoolPath);
}

void Connection::Report(End end, const std::string& detail, const std::string& keptAs) {
    const bool job = !m_spoolPath.empty();
    const std::string kept =
        " (" + std::to_string(m_received) + " bytes) are kept in " + keptAs + " and not handled.";
    switch (end) {
    case End::PeerClosed:
        if (!job)
            m_impl.Log("Connection from " + m_peer + " closed without sending anything; not a print job.");
        break;
    case End::Idle:
        m_impl.Log(
            job ? "No data from " + m_peer + " for " + std::to_string(m_worker.limits.idleTimeout.count()) +
                      " seconds; the job is handled as received (" + std::to_string(m_received) + " bytes)."
                : "Connection from " + m_peer + " sent nothing for " +
                      std::to_string(m_worker.limits.idleTimeout.count()) + " seconds and was closed.");
        break;
    case End::TooLarge:
        m_impl.Log("Job from " + m_peer + " is larger than " + Megabytes(m_worker.limits.maxJobBytes) +
                   "; the rest was not stored and its first bytes" + kept);
        break;
    case End::Broken:
        m_impl.Log(
            job ? "Connection from " + m_peer + " broke off (" + detail + "); the bytes received" + kept
                : "Connection from " + m_peer + " broke off before sending anything (" + detail + ").");
        break;
    case End::SpoolFailed:
        m_impl.Log("Cannot write spool file " + m_spoolPath + ": " + detail + "; the bytes stored" + kept);
        break;
    case End::Shutdown:
        if (job) m_impl.Log("Stopping: the job from " + m_peer + " was still arriving; its bytes" + kept);
        break;
    }
}

} // namespace vvp
