#pragma once

#include "Settings.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vvp {

class EngineContext;
class SpoolCreator;

struct ListenerOptions {
    size_t ioThreads = 2;
    size_t readBufferBytes = 64 * 1024;
    // Reply bytes all connections together may have waiting to be sent.
    size_t maxQueuedReplyBytes = 512u << 20;
};

// Who may send relay frames and peer requests: everyone (no list), the listed addresses, or no
// one (the list was stored but cannot be read).
struct PeerPolicy {
    bool nobody = false;
    std::vector<std::string> allowed;

    static PeerPolicy FromSettings(const VNPTRRegValues& values);
    bool Allows(const std::string& peer) const;
};

// Limits on what one connection may cost, from the settings.
struct ListenerLimits {
    std::chrono::seconds idleTimeout{600}; // 0: never
    uint64_t maxJobBytes = 256ull << 20;   // 0: no limit
    PeerPolicy peers;
    size_t maxConnectionsPerPeer = 64;

    static ListenerLimits FromSettings(const VNPTRRegValues& values);
};

// The addresses of an AllowedPeers text (";", "," or blanks between them).
std::vector<std::string> ParseAllowedPeers(const std::string& text);
bool PeerAllowed(const std::vector<std::string>& allowedPeers, const std::string& peer);

// The addresses to listen on: the Listen Address setting, or when it is empty the loopback
// addresses (printing is local to the workstation) and in Save Mode 2 every address (a server
// takes relay frames from the network). "*" means every address.
struct ListenAddresses {
    bool everyAddress = false;
    std::vector<std::string> addresses;
    std::string error; // the setting names no address
};
ListenAddresses ResolveListenAddresses(const VNPTRRegValues& values);

// The print job listener (IdTCPServer1): accepts connections on Port, writes every byte a
// connection sends into its spool file as it arrives, answers the peer requests "SVRINFO" and
// "ADDR", and hands each finished job on. Reception runs on a few I/O threads; an idle
// connection costs a socket, not a thread.
class JobListener {
public:
    // Called on an I/O thread once a connection that sent bytes has ended cleanly (or went silent)
    // and its complete spool file is in place; it should queue the job, not handle it.
    using JobReady = std::function<void(const std::string& spoolPath)>;
    // The reply to "ADDR" (every address-book line followed by CR LF, then "." CR LF), and a text
    // that changes whenever that reply would; both are called off the I/O threads.
    using AddressReply = std::function<std::string()>;
    using AddressVersion = std::function<std::string()>;

    JobListener(EngineContext& handler, SpoolCreator& spools, JobReady onJob, ListenerOptions options = {});
    ~JobListener();
    JobListener(const JobListener&) = delete;
    JobListener& operator=(const JobListener&) = delete;

    // Listens on values.Port at the listen addresses (again, when already active). On success
    // the status text is "Listening to " + PortName + " port"; otherwise "Error " + the reason
    // and false.
    bool Activate(const VNPTRRegValues& values);
    // Stops accepting; connections in progress still finish. Status text "Disabled".
    void Deactivate();
    // Stops accepting and ends every connection: those that sent nothing at once, the others when
    // their sender closes, or when grace is over (then their bytes are set aside, not handled).
    // Stops the I/O threads.
    void Shutdown(std::chrono::milliseconds grace);

    std::string StatusText() const;
    bool Active() const;
    int BoundPort() const;           // 0 when not listening
    std::string ListeningOn() const; // "127.0.0.1:9105, [::1]:9105"; empty when not listening
    size_t OpenConnections() const;

    // The "ADDR" reply is built once and sent again until the version text changes.
    void SetAddressReply(AddressReply reply, AddressVersion version = {});
    // The account list answered to "SVRINFO" in Save Mode 2, read from the program folder. Called
    // at activation in Save Mode 2 and when that mode is chosen, not per request.
    void RefreshDomainText();
    std::string DomainText() const;

    struct Impl; // shared with the connections in the implementation

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace vvp
