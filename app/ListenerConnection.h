#pragma once

// The listener's inside, shared by its two source files.

#include "EngineContext.h"
#include "JobListener.h"
#include "Spool.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

namespace vvp {

using SteadyClock = std::chrono::steady_clock;
using SharedReply = std::shared_ptr<const std::string>;

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

// Builds the "ADDR" reply on a thread of its own, once per version of the address book, and
// hands the same bytes to every connection that asks.
class AddressReplyBuilder {
public:
    using Done = std::function<void(SharedReply)>;
    AddressReplyBuilder() = default;
    ~AddressReplyBuilder();
    void Set(JobListener::AddressReply reply, JobListener::AddressVersion version);
    void Get(Done done);

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    JobListener::AddressReply m_reply;
    JobListener::AddressVersion m_version;
    std::deque<Done> m_waiting;
    SharedReply m_built;
    std::string m_builtVersion;
    bool m_stop = false;
    std::thread m_thread;
};

struct JobListener::Impl {
    Impl(EngineContext& h, SpoolCreator& spools, JobReady job, ListenerOptions o)
        : handler(h), spools(spools), onJob(std::move(job)), options(o) {}

    void Log(const std::string& text) { handler.LogLine(text); }
    std::string SvrinfoReply();
    void AcceptNext(size_t acceptor, uint64_t generation);
    std::string Bind(const VNPTRRegValues& values);
    void CloseAcceptors();
    void SetStatus(const std::string& text, bool isActive);
    void ScheduleSweep(ListenerWorker& w);
    void Sweep(ListenerWorker& w);
    // Counts a new connection of the peer; false (and a log line now and then) when it has too
    // many open.
    bool AdmitPeer(const std::string& peer, size_t limit);
    void ReleasePeer(const std::string& peer);

    EngineContext& handler;
    SpoolCreator& spools;
    JobReady onJob;
    const ListenerOptions options;
    std::vector<std::unique_ptr<ListenerWorker>> workers;
    AddressReplyBuilder addressReplies;
    std::atomic<size_t> queuedReplyBytes{0};

    // Worker 0's thread only.
    std::vector<asio::ip::tcp::acceptor> acceptors;
    std::string boundKey; // the port and addresses the acceptors listen on
    std::optional<asio::steady_timer> acceptRetry;
    size_t nextWorker = 0;
    uint64_t acceptGeneration = 0;
    bool acceptTroubleLogged = false;

    std::atomic<int> boundPort{0};
    std::atomic<bool> shutDown{false};
    mutable std::mutex mutex; // guards the members below
    std::string status;
    std::string listeningOn;
    bool active = false;
    std::string domainText;
    std::unordered_map<std::string, size_t> openPerPeer;
    std::unordered_map<std::string, SteadyClock::time_point> refusalLogged;
};

// One accepted connection; all its work runs on its worker's thread.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    enum class End { PeerClosed, Idle, TooLarge, Broken, SpoolFailed, Shutdown };

    Connection(JobListener::Impl& impl, ListenerWorker& worker, asio::ip::tcp::socket socket,
               std::string peer);
    ~Connection();
    void Start();
    // Ends the connection when it was idle too long, or when the listener stops.
    void Sweep(SteadyClock::time_point now);

private:
    void ReadAvailable();

    // Waiting only for readiness keeps the read buffer out of idle connections. Every read
    // above ran until the socket had nothing left, so no readiness edge is missed.
    void WaitReadable();

    bool OpenSpool();

    // Writes the bytes to the spool file before anything else looks at them.
    bool Store(const char* data, size_t size);

    // The line buffer: bytes since the connection began or since the last NUL, CR left out. A
    // request is recognised only while the buffer could still equal one, so it is kept short;
    // one round answers once, so a stream of CRs cannot make the reply repeat.
    // Returns how many bytes it looked at: it stops after a request whose reply is pending.
    size_t ScanForRequests(const char* p, size_t n);

    void Answer(bool svrinfo);
    void SendReply(SharedReply reply);
    void ReplySent();
    void Abort();
    void CloseSocket(bool graceful);
    void Finish(End end, const std::string& detail = {});
    void Report(End end, const std::string& detail, const std::string& keptAs);

    JobListener::Impl& m_impl;
    ListenerWorker& m_worker;
    asio::ip::tcp::socket m_socket;
    const std::string m_peer;
    int m_fd = -1;
    std::string m_spoolPath; // the receiving (".part") file while the job arrives
    uint64_t m_received = 0; // bytes really in the spool file
    std::string m_line;
    bool m_lineDead = false;
    // At most one reply is waiting to be sent; reading stops until it is.
    bool m_replyPending = false;
    bool m_toldReplyPending = false;
    std::string m_unscanned; // stored bytes not yet scanned for requests while a reply was pending
    SharedReply m_writing;
    bool m_closeAfterWrite = false;
    bool m_finished = false;
    bool m_socketClosed = false;
    SteadyClock::time_point m_lastActivity;
};

} // namespace vvp
