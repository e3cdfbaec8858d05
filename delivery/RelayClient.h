#pragma once

#include "EngineEvents.h"
#include "Folders.h"
#include "MessageDelivery.h"
#include "Settings.h"
#include "TextLines.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

// Waits of the peer exchanges; the defaults are the protocol's own.
struct RelayTimeouts {
    std::chrono::milliseconds frameConnect{10000};
    std::chrono::milliseconds frameWriteStall{60000}; // a server that takes no bytes for this long
    std::chrono::milliseconds infoConnect{2000};
    std::chrono::milliseconds infoRead{3000};
    std::chrono::milliseconds addressConnect{5000};
    std::chrono::milliseconds addressRead{2000};
    // The whole "ADDR" reply may not exceed this; the exchange time is the setting
    // AddressExchangeSeconds.
    size_t maxAddressBytes = 64u * 1024 * 1024;
};

inline constexpr const char* kNoServerItem = "Cant find Vocanet!";
inline constexpr int kDefaultServerPort = 9105;

// How fetching the address book from the server ended.
struct AddressFetchOutcome {
    enum class Status {
        NoServer,    // no server remembered and none known: nothing done
        Unreachable, // the connection failed: nothing fetched, the local book stays
        Fetched,     // the reply ended with "."; lines were written when there were any
        Failed,      // the exchange broke off or could not be stored: message is for the user
    };
    Status status = Status::NoServer;
    size_t lines = 0;    // lines written to Address.in
    std::string message; // why, for Unreachable and Failed
};

// The client side of the peer protocol: relay frames, the "SVRINFO" query that fills the server
// list and the domain list, and the "ADDR" fetch of the server's address book. Safe to call from
// the job threads and the main thread at once; no lock is held while talking to a server.
class RelayClient : public MessageRelay {
public:
    RelayClient(SettingsHolder& settings, Folders folders, EngineEvents* events = nullptr,
                RelayTimeouts timeouts = {});

    // MessageRelay: one connection per frame; "OK" or "ERROR: " and the reason.
    THostIP FindServerForDomain(const std::string& domain) override;
    std::string SendTextToServer(const std::string& fileName, const std::string& content,
                                 const THostIP& host) override;
    std::string SendFileToServer(const std::string& fileName, const std::string& content, const THostIP& host,
                                 const std::string& stream) override;

    // Asks the "VocanetServer" for its accounts; a "DOMAINS:" reply updates the server list, the
    // setting (in the shared settings, not saved) and the domain list. Failures change nothing.
    void QueryServerInfo();
    // Copies the server's address book into TempFolder + "Address.in" (getAddress).
    AddressFetchOutcome FetchAddressBook();

    // Fills the domain list from the text after "DOMAINS:".
    void ShowDomains(const std::string& replyText);
    // The once-a-second refresh: shows kNoServerItem while no account is known and queries the
    // server again now and then.
    void RefreshDomainList();

    std::vector<std::string> DomainList() const;
    StringList ServerList() const;
    // Sets the server list line named name ("host:port:0") to value, replacing its own line.
    void SetServerListLine(const std::string& name, const std::string& value);
    THostIP RememberedServer() const;
    // How many "SVRINFO" queries the server has answered: a count that grows says it is there.
    uint64_t ServerAnswers() const { return m_answers.load(); }

    // Host and port of a "host:port" setting text; the port is 9105 when not a number.
    static THostIP ParseServerSetting(const std::string& text);

private:
    std::string SendFrame(const std::string& fileName, const std::string& content, const THostIP& host,
                          const std::string* stream);
    void NotifyDomainList();

    SettingsHolder& m_settings;
    const Folders m_folders;
    EngineEvents* m_events;
    const RelayTimeouts m_timeouts;

    mutable std::mutex m_mutex; // guards the members below
    StringList m_serverList;
    THostIP m_remembered;
    std::vector<std::string> m_domainList;
    int m_refreshCounter = 15;
    std::atomic<uint64_t> m_answers{0};
};

} // namespace vvp
