#include "JobListener.h"
#include "TextLines.h"

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

PeerPolicy PeerPolicy::FromSettings(const VNPTRRegValues& values) {
    PeerPolicy p;
    p.nobody = values.AllowedPeersUnreadable;
    p.allowed = ParseAllowedPeers(values.AllowedPeers);
    return p;
}

bool PeerPolicy::Allows(const std::string& peer) const {
    return !nobody && PeerAllowed(allowed, peer);
}

ListenerLimits ListenerLimits::FromSettings(const VNPTRRegValues& values) {
    ListenerLimits l;
    l.idleTimeout = std::chrono::seconds(values.IdleTimeoutSeconds);
    l.maxJobBytes = static_cast<uint64_t>(values.MaxJobMegabytes) << 20;
    l.peers = PeerPolicy::FromSettings(values);
    l.maxConnectionsPerPeer = values.MaxConnectionsPerPeer;
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

ListenAddresses ResolveListenAddresses(const VNPTRRegValues& values) {
    ListenAddresses l;
    const std::string setting = values.ListenAddress;
    if (setting.empty()) {
        if (values.SaveMode == 2)
            l.everyAddress = true;
        else
            l.addresses = {"127.0.0.1", "::1"};
        return l;
    }
    if (setting == "*" || setting == "0.0.0.0" || setting == "::") {
        l.everyAddress = true;
        return l;
    }
    asio::error_code ec;
    (void)asio::ip::make_address(setting, ec);
    if (ec)
        l.error = "Listen Address \"" + setting + "\" is not an IP address";
    else
        l.addresses = {setting};
    return l;
}

// ---- AddressReplyBuilder ----

AddressReplyBuilder::~AddressReplyBuilder() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void AddressReplyBuilder::Set(JobListener::AddressReply reply, JobListener::AddressVersion version) {
    std::lock_guard lock(m_mutex);
    m_reply = std::move(reply);
    m_version = std::move(version);
    m_built.reset();
}

void AddressReplyBuilder::Get(Done done) {
    {
        std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(done));
        if (!m_thread.joinable()) m_thread = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

void AddressReplyBuilder::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || !m_waiting.empty(); });
        if (m_stop) return;
        std::deque<Done> waiting;
        waiting.swap(m_waiting);
        JobListener::AddressReply reply = m_reply;
        JobListener::AddressVersion version = m_version;
        SharedReply built = m_built;
        const std::string builtVersion = m_builtVersion;
        lock.unlock();
        // Requests that arrived together share one look at the book.
        const std::string current = version ? version() : std::string();
        if (!built || !version || current != builtVersion)
            built = std::make_shared<const std::string>(reply ? reply() : std::string(".\r\n"));
        for (auto& done : waiting)
            done(built);
        lock.lock();
        if (m_reply && version) {
            m_built = built;
            m_builtVersion = current;
        }
    }
}

// ---- Impl ----

std::string JobListener::Impl::SvrinfoReply() {
    if (handler.Settings().Get().SaveMode != 2) return "Not in VVP Server mode.\r\n";
    std::lock_guard lock(mutex);
    return "DOMAINS:" + std::to_string(boundPort.load()) + '\x01' + domainText + "\r\n";
}

void JobListener::Impl::SetStatus(const std::string& text, bool isActive) {
    {
        std::lock_guard lock(mutex);
        status = text;
        active = isActive;
        if (!isActive) listeningOn.clear();
    }
    handler.Services().events.StatusTextChanged(text);
    handler.Services().events.ListenerStateChanged(isActive);
}

void JobListener::Impl::CloseAcceptors() {
    boundKey.clear();
    ++acceptGeneration;
    if (acceptRetry) acceptRetry->cancel();
    for (auto& a : acceptors) {
        asio::error_code ec;
        a.close(ec);
    }
    acceptors.clear();
    boundPort = 0;
}

std::string JobListener::Impl::Bind(const VNPTRRegValues& values) {
    CloseAcceptors();
    const int port = values.Port;
    if (port < 0 || port > 65535) return "Invalid port " + std::to_string(port);
    const ListenAddresses where = ResolveListenAddresses(values);
    if (!where.error.empty()) return where.error;
    auto attempt = [&](const tcp::endpoint& endpoint, bool dualStack) -> asio::error_code {
        asio::error_code ec;
        tcp::acceptor a(workers.front()->io);
        a.open(endpoint.protocol(), ec);
        if (ec) return ec;
        a.set_option(asio::socket_base::reuse_address(true), ec);
        if (endpoint.protocol() == tcp::v6()) a.set_option(asio::ip::v6_only(!dualStack), ec);
        a.bind(endpoint, ec);
        if (ec) return ec;
        a.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) return ec;
        acceptors.push_back(std::move(a));
        return {};
    };
    asio::error_code ec;
    std::vector<std::string> names;
    if (where.everyAddress) {
        // Every local address: IPv6 and IPv4 on one socket where the system has IPv6.
        ec = attempt(tcp::endpoint(tcp::v6(), static_cast<uint16_t>(port)), true);
        if (ec && ec != asio::error::address_in_use && ec != asio::error::access_denied)
            ec = attempt(tcp::endpoint(tcp::v4(), static_cast<uint16_t>(port)), false);
        if (!ec)
            names.push_back("every address:" + std::to_string(acceptors.front().local_endpoint(ec).port()));
    } else {
        uint16_t bound = static_cast<uint16_t>(port);
        for (size_t i = 0; i < where.addresses.size(); ++i) {
            const auto address = asio::ip::make_address(where.addresses[i]);
            asio::error_code e = attempt(tcp::endpoint(address, bound), false);
            // The IPv6 loopback is a convenience: a system without IPv6 still listens on IPv4.
            if (e && i > 0) continue;
            if (e) {
                ec = e;
                break;
            }
            bound = acceptors.back().local_endpoint(e).port();
            names.push_back(address.is_v6() ? "[" + where.addresses[i] + "]:" + std::to_string(bound)
                                            : where.addresses[i] + ":" + std::to_string(bound));
        }
    }
    if (ec || acceptors.empty()) {
        CloseAcceptors();
        return "Could not bind socket to port " + std::to_string(port) + ": " + ec.message();
    }
    asio::error_code portError;
    boundPort = acceptors.front().local_endpoint(portError).port();
    {
        std::lock_guard lock(mutex);
        listeningOn.clear();
        for (const auto& n : names)
            listeningOn += (listeningOn.empty() ? "" : ", ") + n;
    }
    acceptTroubleLogged = false;
    for (size_t i = 0; i < acceptors.size(); ++i)
        AcceptNext(i, acceptGeneration);
    return {};
}

bool JobListener::Impl::AdmitPeer(const std::string& peer, size_t limit) {
    std::lock_guard lock(mutex);
    size_t& open = openPerPeer[peer];
    if (open < limit) {
        ++open;
        return true;
    }
    const auto now = SteadyClock::now();
    auto [it, first] = refusalLogged.try_emplace(peer, now);
    if (first || now - it->second >= std::chrono::minutes(1)) {
        it->second = now;
        handler.LogLine("Refused connections from " + peer + ": it has " + std::to_string(open) +
                        " open, the most one address may hold (setting \"Max Connections Per Peer\").");
    }
    return false;
}

void JobListener::Impl::ReleasePeer(const std::string& peer) {
    std::lock_guard lock(mutex);
    auto it = openPerPeer.find(peer);
    if (it == openPerPeer.end()) return;
    if (--it->second == 0) openPerPeer.erase(it);
}

void JobListener::Impl::AcceptNext(size_t index, uint64_t generation) {
    if (index >= acceptors.size() || generation != acceptGeneration) return;
    ListenerWorker& target = *workers[nextWorker++ % workers.size()];
    acceptors[index].async_accept(
        target.io, [this, &target, index, generation](const asio::error_code& ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || generation != acceptGeneration) return;
            if (ec) {
                // Out of descriptors, for example: try again shortly rather than spin.
                if (!acceptTroubleLogged) Log("Cannot accept a connection: " + ec.message());
                acceptTroubleLogged = true;
                if (!acceptRetry) acceptRetry.emplace(workers.front()->io);
                acceptRetry->expires_after(std::chrono::milliseconds(200));
                acceptRetry->async_wait([this, index, generation](const asio::error_code& e) {
                    if (!e) AcceptNext(index, generation);
                });
                return;
            }
            acceptTroubleLogged = false;
            asio::error_code peerError;
            const tcp::endpoint remote = socket.remote_endpoint(peerError);
            if (!peerError) {
                const std::string peer = PeerText(remote);
                if (AdmitPeer(peer, workers.front()->limits.maxConnectionsPerPeer)) {
                    auto connection = std::make_shared<Connection>(*this, target, std::move(socket), peer);
                    asio::post(target.io, [connection] { connection->Start(); });
                } else {
                    asio::error_code closeError;
                    socket.set_option(asio::socket_base::linger(true, 0), closeError);
                    socket.close(closeError);
                }
            }
            AcceptNext(index, generation);
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
    // Settings loaded again with the same port and addresses keep the listening sockets, so a
    // reload never drops a sender in the middle of connecting.
    const ListenAddresses where = ResolveListenAddresses(values);
    std::string key = std::to_string(values.Port) + "|" + (where.everyAddress ? "*" : "") + where.error;
    for (const auto& a : where.addresses)
        key += "|" + a;
    std::promise<std::string> bound;
    auto result = bound.get_future();
    asio::post(m_impl->workers.front()->io, [this, &bound, &values, &key] {
        if (!m_impl->acceptors.empty() && key == m_impl->boundKey) return bound.set_value({});
        std::string error = m_impl->Bind(values);
        m_impl->boundKey = error.empty() ? key : std::string();
        bound.set_value(error);
    });
    const std::string error = result.get();
    if (!error.empty()) {
        m_impl->SetStatus("Error " + error, false);
        m_impl->Log("Error " + error);
        return false;
    }
    if (values.SaveMode == 2) RefreshDomainText();
    m_impl->handler.Services().events.ListeningOnChanged(ListeningOn());
    m_impl->SetStatus("Listening to " + values.PortName + " port", true);
    return true;
}

void JobListener::Deactivate() {
    if (m_impl->shutDown) return;
    std::promise<void> closed;
    auto done = closed.get_future();
    asio::post(m_impl->workers.front()->io, [this, &closed] {
        m_impl->CloseAcceptors();
        closed.set_value();
    });
    done.wait();
    m_impl->SetStatus("Disabled", false);
}

void JobListener::Shutdown(std::chrono::milliseconds grace) {
    if (m_impl->shutDown.exchange(true)) return;
    const auto deadline = SteadyClock::now() + grace;
    asio::post(m_impl->workers.front()->io, [this] { m_impl->CloseAcceptors(); });
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
    // Jobs still arriving get the grace time, then what they sent is set aside as incomplete.
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

std::string JobListener::ListeningOn() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->listeningOn;
}

size_t JobListener::OpenConnections() const {
    size_t n = 0;
    for (const auto& w : m_impl->workers)
        n += w->count.load();
    return n;
}

void JobListener::SetAddressReply(AddressReply reply, AddressVersion version) {
    m_impl->addressReplies.Set(std::move(reply), std::move(version));
}

void JobListener::RefreshDomainText() {
    std::string text = ListAccounts(m_impl->handler.Services().folders.program, "*");
    // The reply is one line that clients read up to its first line end and split at commas: a
    // line per account would hide every account after the first.
    if (const StringList accounts = SplitLines(text); accounts.size() > 1) {
        text.clear();
        for (const auto& account : accounts)
            text += (text.empty() ? "" : ",") + account;
        text += "\r\n";
    }
    std::lock_guard lock(m_impl->mutex);
    m_impl->domainText = std::move(text);
}

std::string JobListener::DomainText() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->domainText;
}

} // namespace vvp
