#include "JobListener.h"

#include "ListenerConnection.h"
#include "msgcommsd7.h"

#include <future>

namespace vvp {
namespace {

using asio::ip::tcp;

std::string PeerText(const tcp::endpoint& endpoint) {
    const asio::ip::address a = endpoint.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6()).to_string();
    return a.to_string();
}

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
    acceptor->async_accept(
        target.io, [this, &target, generation](const asio::error_code& ec, tcp::socket socket) {
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
                auto connection =
                    std::make_shared<Connection>(*this, target, std::move(socket), PeerText(remote));
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
    for (auto& [ptr, conn] : w.connections)
        all.push_back(conn);
    for (auto& conn : all)
        conn->Sweep(now);
}

// ---- JobListener ----

JobListener::JobListener(EngineContext& handler, SpoolCreator& spools, JobReady onJob,
                         ListenerOptions options)
    : m_impl(std::make_unique<Impl>(handler, spools, std::move(onJob), options)) {
    const size_t n = std::max<size_t>(1, options.ioThreads);
    for (size_t i = 0; i < n; ++i)
        m_impl->workers.push_back(std::make_unique<ListenerWorker>(options.readBufferBytes));
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [this, worker] { m_impl->ScheduleSweep(*worker); });
        worker->thread = std::thread([worker] { worker->io.run(); });
    }
}

JobListener::~JobListener() {
    Shutdown(std::chrono::milliseconds(0));
}

bool JobListener::Activate(const VNPTRRegValues& values) {
    if (m_impl->shutDown) return false;
    const ListenerLimits limits = ListenerLimits::FromSettings(values);
    for (auto& w : m_impl->workers) {
        ListenerWorker* worker = w.get();
        asio::post(worker->io, [worker, limits] { worker->limits = limits; });
    }
    std::promise<std::string> bound;
    auto result = bound.get_future();
    asio::post(m_impl->workers.front()->io,
               [this, &bound, port = values.Port] { bound.set_value(m_impl->Bind(port)); });
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

int JobListener::BoundPort() const {
    return m_impl->boundPort.load();
}

size_t JobListener::OpenConnections() const {
    size_t n = 0;
    for (const auto& w : m_impl->workers)
        n += w->count.load();
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
