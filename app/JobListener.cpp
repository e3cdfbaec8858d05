#include "JobListener.h"

#include "KXPrintHandler.h"
#include "SpoolNamer.h"
#include "msgcommsd7.h"

#include <asio.hpp>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace vvp {
namespace {

using asio::ip::tcp;
using SteadyClock = std::chrono::steady_clock;

constexpr size_t kLongestRequest = 7; // "SVRINFO"
constexpr int kReadsPerTurn = 16;     // then other connections get their turn
// Replies a peer does not read are not piled up without end.
constexpr size_t kMaxPendingReply = 16u << 20;

std::string PeerText(const tcp::endpoint& endpoint) {
    const asio::ip::address a = endpoint.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
    return a.to_string();
}

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

std::string Megabytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

} // namespace

ListenerLimits ListenerLimits::FromSettings(const VNPTRRegValues& values) {
    ListenerLimits l;
    l.idleTimeout = std::chrono::seconds(values.IdleTimeoutSeconds);
    l.maxJobBytes = static_cast<uint64_t>(values.MaxJobMegabytes) << 20;
    l.allowedPeers = ParseAllowedPeers(values.AllowedPeers);
    return l;
}

std::vector<std::string> ParseAllowedPeers(const std::string& text) {
    std::vector<std::string> peers;
    std::string current;
    for (char c : text + ";") {
        if (c == ';' || c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!current.empty()) peers.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return peers;
}

bool PeerAllowed(const std::vector<std::string>& allowedPeers, const std::string& peer) {
    if (allowedPeers.empty()) return true;
    for (const auto& p : allowedPeers)
        if (p == peer) return true;
    return false;
}

class Connection;

struct ListenerWorker {
    explicit ListenerWorker(size_t bufferBytes) : buffer(bufferBytes) {}

    asio::io_context io{1};
    asio::executor_work_guard<asio::io_context::executor_type> guard{io.get_executor()};
    asio::steady_timer sweepTimer{io};
    std::thread thread;
    // Everything below is touched only on this worker's thread.
    std::vector<char> buffer; // one read buffer for all of the worker's connections
    std::unordered_map<Connection*, std::shared_ptr<Connection>> connections;
    ListenerLimits limits;
    bool stopping = false;
    SteadyClock::time_point stopDeadline;
    std::atomic<size_t> count{0};
};

struct JobListener::Impl {
    Impl(KXPrintHandler& h, JobReady job, ListenerOptions o) : handler(h), onJob(std::move(job)), options(o) {}

    void Log(const std::string& text) { handler.LogLine(text); }
    std::string Reply(bool svrinfo);
    void AcceptNext(uint64_t generation);
    std::string Bind(int port);
    void CloseAcceptor();
    void SetStatus(const std::string& text, bool isActive);
    void ScheduleSweep(ListenerWorker& w);
    void Sweep(ListenerWorker& w);

    KXPrintHandler& handler;
    JobReady onJob;
    const ListenerOptions options;
    std::vector<std::unique_ptr<ListenerWorker>> workers;
    SpoolNamer namer;

    // Worker 0's thread only.
    std::optional<tcp::acceptor> acceptor;
    std::optional<asio::steady_timer> acceptRetry;
    size_t nextWorker = 0;
    uint64_t acceptGeneration = 0;
    bool acceptTroubleLogged = false;

    std::atomic<int> boundPort{0};
    std::atomic<bool> shutDown{false};
    mutable std::mutex mutex; // guards the members below
    std::string status;
    bool active = false;
    std::string domainText;
    AddressReply addressReply;
};

// One accepted connection; all its work runs on its worker's thread.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    enum class End { PeerClosed, Idle, TooLarge, Broken, SpoolFailed, Shutdown };

    Connection(JobListener::Impl& impl, ListenerWorker& worker, tcp::socket socket, std::string peer)
        : m_impl(impl), m_worker(worker), m_socket(std::move(socket)), m_peer(std::move(peer)) {}
    ~Connection() {
        // Only when the process stops with the connection open; the spool stays for recovery.
        if (m_fd >= 0) ::close(m_fd);
    }

    void Start() {
        m_worker.connections.emplace(this, shared_from_this());
        ++m_worker.count;
        asio::error_code ec;
        m_socket.non_blocking(true, ec);
        // Until the spool file is complete, a crash or kill must reset the connection rather
        // than close it cleanly: the sender then knows the job did not arrive.
        m_socket.set_option(asio::socket_base::linger(true, 0), ec);
        m_socket.set_option(tcp::no_delay(true), ec);
        m_lastActivity = SteadyClock::now();
        ReadAvailable();
    }

    void Sweep(SteadyClock::time_point now) {
        const auto idle = m_worker.limits.idleTimeout;
        if (idle.count() > 0 && now - m_lastActivity >= idle) Finish(End::Idle);
        else if (m_worker.stopping && (m_received == 0 || now >= m_worker.stopDeadline)) Finish(End::Shutdown);
    }

private:
    void ReadAvailable() {
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

    // Waiting only for readiness keeps the read buffer out of idle connections. Every read
    // above ran until the socket had nothing left, so no readiness edge is missed.
    void WaitReadable() {
        m_socket.async_wait(tcp::socket::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
            if (self->m_finished) return;
            if (ec) return self->Finish(End::Broken, ec.message());
            self->ReadAvailable();
        });
    }

    bool OpenSpool() {
        const std::string& temp = m_impl.handler.Services().folders.temp;
        for (int attempt = 0; attempt < 1000; ++attempt) {
            std::string path = temp + m_peer + "_" + m_impl.namer.Next(m_impl.handler.Services().clock) + ".prn";
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                m_fd = fd;
                m_spoolPath = std::move(path);
                m_impl.Log("New job..");
                return true;
            }
            if (errno != EEXIST) {
                const std::string reason = std::strerror(errno);
                m_impl.Log("Cannot create spool file " + path + ": " + reason + "; the job from " + m_peer +
                           " was refused.");
                Abort();
                return false;
            }
        }
        m_impl.Log("Cannot create a spool file in " + temp + ": every name is taken; the job from " + m_peer +
                   " was refused.");
        Abort();
        return false;
    }

    // Writes the bytes to the spool file before anything else looks at them.
    bool Store(const char* data, size_t size) {
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

    // The line buffer: bytes since the connection began or since the last NUL, CR left out. A
    // request is recognised only while the buffer could still equal one, so it is kept short;
    // one round answers once, so a stream of CRs cannot make the reply repeat.
    void ScanForRequests(const char* p, size_t n) {
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

    void Answer(bool svrinfo) {
        const char* word = svrinfo ? "SVRINFO" : "ADDR";
        if (!PeerAllowed(m_worker.limits.allowedPeers, m_peer)) {
            m_impl.Log(std::string("Refused \"") + word + "\" from " + m_peer + ": not an allowed peer.");
            return;
        }
        if (m_queued.size() + m_writing.size() > kMaxPendingReply) {
            m_impl.Log(std::string("Not answering \"") + word + "\" from " + m_peer + ": earlier replies are unread.");
            return;
        }
        m_impl.Log(svrinfo ? "Return Domain list" : "Return Address File");
        m_queued += m_impl.Reply(svrinfo);
        if (!m_writeBusy) StartWrite();
    }

    void StartWrite() {
        m_writing.swap(m_queued);
        m_queued.clear();
        m_writeBusy = true;
        asio::async_write(m_socket, asio::buffer(m_writing),
                          [self = shared_from_this()](const asio::error_code& ec, size_t) {
                              self->m_writeBusy = false;
                              self->m_writing.clear();
                              if (ec) {
                                  if (!self->m_finished) self->Finish(End::Broken, ec.message());
                                  else if (self->m_closeAfterWrite) self->CloseSocket(false);
                                  return;
                              }
                              if (!self->m_queued.empty()) return self->StartWrite();
                              if (self->m_closeAfterWrite) self->CloseSocket(true);
                          });
    }

    void Abort() {
        m_finished = true;
        Unregister();
        CloseSocket(false);
    }

    void Unregister() {
        if (m_worker.connections.erase(this) > 0) --m_worker.count;
    }

    void CloseSocket(bool graceful) {
        asio::error_code ec;
        if (graceful) m_socket.set_option(asio::socket_base::linger(false, 0), ec);
        m_socket.close(ec);
    }

    void Finish(End end, const std::string& detail = {}) {
        if (m_finished) return;
        m_finished = true;
        auto self = shared_from_this(); // the worker's map may hold the last reference
        Unregister();
        if (m_fd >= 0) {
            if (::close(m_fd) != 0) m_impl.Log("Closing spool file " + m_spoolPath + ": " + std::strerror(errno));
            m_fd = -1;
        }
        // A clean close tells the sender that the job is stored, so it is given only when the
        // sender closed first (or went silent) and every byte is in the closed spool file.
        const bool graceful = end == End::PeerClosed || end == End::Idle;
        if (graceful && m_writeBusy) m_closeAfterWrite = true;
        else CloseSocket(graceful);
        Report(end, detail);
        if (!m_spoolPath.empty()) m_impl.onJob(m_spoolPath);
    }

    void Report(End end, const std::string& detail) {
        const std::string bytes = std::to_string(m_received) + " bytes";
        const bool job = !m_spoolPath.empty();
        switch (end) {
        case End::PeerClosed:
            if (!job) m_impl.Log("Connection from " + m_peer + " closed without sending anything; not a print job.");
            break;
        case End::Idle:
            m_impl.Log(job ? "No data from " + m_peer + " for " + std::to_string(m_worker.limits.idleTimeout.count()) +
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
                           : "Connection from " + m_peer + " broke off before sending anything (" + detail + ").");
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

    JobListener::Impl& m_impl;
    ListenerWorker& m_worker;
    tcp::socket m_socket;
    const std::string m_peer;
    int m_fd = -1;
    std::string m_spoolPath;
    uint64_t m_received = 0;
    std::string m_line;
    bool m_lineDead = false;
    std::string m_writing, m_queued;
    bool m_writeBusy = false;
    bool m_closeAfterWrite = false;
    bool m_finished = false;
    SteadyClock::time_point m_lastActivity;
};

// ---- Impl ----

std::string JobListener::Impl::Reply(bool svrinfo) {
    if (svrinfo) {
        if (handler.Settings().Get().SaveMode != 2) return "Not in VVP Server mode.\r\n";
        std::lock_guard lock(mutex);
        return "DOMAINS:" + std::to_string(boundPort.load()) + '\x01' + domainText + "\r\n";
    }
    AddressReply reply;
    {
        std::lock_guard lock(mutex);
        reply = addressReply;
    }
    return reply ? reply() : std::string(".\r\n");
}

void JobListener::Impl::SetStatus(const std::string& text, bool isActive) {
    {
        std::lock_guard lock(mutex);
        status = text;
        active = isActive;
    }
    handler.Services().events.StatusTextChanged(text);
    handler.Services().events.ListenerStateChanged(isActive);
}

void JobListener::Impl::CloseAcceptor() {
    ++acceptGeneration;
    if (acceptRetry) acceptRetry->cancel();
    if (acceptor) {
        asio::error_code ec;
        acceptor->close(ec);
        acceptor.reset();
    }
    boundPort = 0;
}

std::string JobListener::Impl::Bind(int port) {
    CloseAcceptor();
    if (port < 0 || port > 65535) return "Invalid port " + std::to_string(port);
    auto attempt = [&](const tcp::endpoint& endpoint, bool dualStack) -> asio::error_code {
        asio::error_code ec;
        tcp::acceptor a(workers.front()->io);
        a.open(endpoint.protocol(), ec);
        if (ec) return ec;
        a.set_option(asio::socket_base::reuse_address(true), ec);
        if (dualStack) a.set_option(asio::ip::v6_only(false), ec);
        a.bind(endpoint, ec);
        if (ec) return ec;
        a.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) return ec;
        boundPort = a.local_endpoint(ec).port();
        acceptor.emplace(std::move(a));
        return {};
    };
    asio::error_code ec;
    if (!options.bindAddress.empty()) {
        auto address = asio::ip::make_address(options.bindAddress, ec);
        if (ec) return "Invalid address " + options.bindAddress;
        ec = attempt(tcp::endpoint(address, static_cast<uint16_t>(port)), false);
    } else {
        // Every local address: IPv6 and IPv4 on one socket where the system has IPv6.
        ec = attempt(tcp::endpoint(tcp::v6(), static_cast<uint16_t>(port)), true);
        if (ec && ec != asio::error::address_in_use && ec != asio::error::access_denied)
            ec = attempt(tcp::endpoint(tcp::v4(), static_cast<uint16_t>(port)), false);
    }
    if (ec) return "Could not bind socket to port " + std::to_string(port) + ": " + ec.message();
    acceptTroubleLogged = false;
    AcceptNext(acceptGeneration);
    return {};
}

void JobListener::Impl::AcceptNext(uint64_t generation) {
    if (!acceptor || generation != acceptGeneration) return;
    ListenerWorker& target = *workers[nextWorker++ % workers.size()];
    acceptor->async_accept(target.io, [this, &target, generation](const asio::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || generation != acceptGeneration) return;
        if (ec) {
            // Out of descriptors, for example: try again shortly rather than spin.
            if (!acceptTroubleLogged) Log("Cannot accept a connection: " + ec.message());
            acceptTroubleLogged = true;
            if (!acceptRetry) acceptRetry.emplace(workers.front()->io);
            acceptRetry->expires_after(std::chrono::milliseconds(200));
            acceptRetry->async_wait([this, generation](const asio::error_code& e) {
                if (!e) AcceptNext(generation);
            });
            return;
        }
        acceptTroubleLogged = false;
        asio::error_code peerError;
        const tcp::endpoint remote = socket.remote_endpoint(peerError);
        if (!peerError) {
            auto connection = std::make_shared<Connection>(*this, target, std::move(socket), PeerText(remote));
            asio::post(target.io, [connection] { connection->Start(); });
        }
        AcceptNext(generation);
    });
}

void JobListener::Impl::ScheduleSweep(ListenerWorker& w) {
    w.sweepTimer.expires_after(w.stopping ? std::chrono::milliseconds(50) : std::chrono::milliseconds(1000));
    w.sweepTimer.async_wait([this, &w](const asio::error_code& ec) {
        if (ec) return;
        Sweep(w);
        ScheduleSweep(w);
    });
}

void JobListener::Impl::Sweep(ListenerWorker& w) {
    const auto now = SteadyClock::now();
    std::vector<std::shared_ptr<Connection>> all;
    all.reserve(w.connections.size());
    for (auto& [ptr, conn] : w.connections) all.push_back(conn);
    for (auto& conn : all) conn->Sweep(now);
}

// ---- JobListener ----

JobListener::JobListener(KXPrintHandler& handler, JobReady onJob, ListenerOptions options)
    : m_impl(std::make_unique<Impl>(handler, std::move(onJob), options)) {
    const size_t n = std::max<size_t>(1, options.ioThreads);
    for (size_t i = 0; i < n; ++i) m_impl->workers.push_back(std::make_unique<ListenerWorker>(options.readBufferBytes));
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [this, worker] { m_impl->ScheduleSweep(*worker); });
        worker->thread = std::thread([worker] { worker->io.run(); });
    }
}

JobListener::~JobListener() { Shutdown(std::chrono::milliseconds(0)); }

bool JobListener::Activate(const VNPTRRegValues& values) {
    if (m_impl->shutDown) return false;
    const ListenerLimits limits = ListenerLimits::FromSettings(values);
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [worker, limits] { worker->limits = limits; });
    }
    std::promise<std::string> bound;
    auto result = bound.get_future();
    asio::post(m_impl->workers.front()->io, [this, &bound, port = values.Port] { bound.set_value(m_impl->Bind(port)); });
    const std::string error = result.get();
    if (!error.empty()) {
        m_impl->SetStatus("Error " + error, false);
        m_impl->Log("Error " + error);
        return false;
    }
    if (values.SaveMode == 2) RefreshDomainText();
    m_impl->SetStatus("Listening to " + values.PortName + " port", true);
    return true;
}

void JobListener::Deactivate() {
    if (m_impl->shutDown) return;
    std::promise<void> closed;
    auto done = closed.get_future();
    asio::post(m_impl->workers.front()->io, [this, &closed] {
        m_impl->CloseAcceptor();
        closed.set_value();
    });
    done.wait();
    m_impl->SetStatus("Disabled", false);
}

void JobListener::Shutdown(std::chrono::milliseconds grace) {
    if (m_impl->shutDown.exchange(true)) return;
    const auto deadline = SteadyClock::now() + grace;
    asio::post(m_impl->workers.front()->io, [this] { m_impl->CloseAcceptor(); });
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [this, worker, deadline] {
            worker->stopping = true;
            worker->stopDeadline = deadline;
            m_impl->Sweep(*worker);
            worker->sweepTimer.cancel();
            m_impl->ScheduleSweep(*worker);
        });
    }
    // Jobs still arriving get the grace time, then what they sent is handled as received.
    while (OpenConnections() > 0 && SteadyClock::now() < deadline + std::chrono::seconds(2))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [worker] { worker->sweepTimer.cancel(); });
        worker->guard.reset();
    }
    for (auto& w : m_impl->workers) {
        // Replies still being written are not waited for.
        w->io.stop();
        if (w->thread.joinable()) w->thread.join();
    }
    bool wasActive;
    {
        std::lock_guard lock(m_impl->mutex);
        wasActive = m_impl->active;
    }
    if (wasActive) m_impl->SetStatus("Disabled", false);
}

std::string JobListener::StatusText() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->status;
}

bool JobListener::Active() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->active;
}

int JobListener::BoundPort() const { return m_impl->boundPort.load(); }

size_t JobListener::OpenConnections() const {
    size_t n = 0;
    for (const auto& w : m_impl->workers) n += w->count.load();
    return n;
}

void JobListener::SetAddressReply(AddressReply reply) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->addressReply = std::move(reply);
}

void JobListener::RefreshDomainText() {
    std::string text = ListAccounts(m_impl->handler.Services().folders.program, "*");
    std::lock_guard lock(m_impl->mutex);
    m_impl->domainText = std::move(text);
}

std::string JobListener::DomainText() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->domainText;
}

} // namespace vvp
