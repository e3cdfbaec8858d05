#include "RelayClient.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "TcpClient.h"

#include <algorithm>
#include <optional>

namespace vvp {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr char kSoh = '\x01';
constexpr size_t kMaxInfoLine = 1024 * 1024;

std::optional<int> ReadPort(const std::string& text) {
    auto port = StrToIntOpt(text);
    if (port && *port >= 1 && *port <= 65535) return port;
    return std::nullopt;
}

// The server's own port as its reply gave it; a reply without a usable number falls back to the
// port the query connected to (field 2 of the line's name), so one odd reply cannot stop a job.
std::optional<int> ServerPort(const std::string& replyPortText, const std::string& line) {
    if (auto port = ReadPort(replyPortText)) return port;
    return ReadPort(StrField(line, ':', 2));
}

} // namespace

RelayClient::RelayClient(SettingsHolder& settings, Folders folders, EngineEvents* events,
                         RelayTimeouts timeouts)
    : m_settings(settings), m_folders(std::move(folders)), m_events(events), m_timeouts(timeouts) {}

THostIP RelayClient::ParseServerSetting(const std::string& text) {
    return THostIP{StrBefore(text, ":"), StrToIntDef(StrAfter(text, ":"), kDefaultServerPort)};
}

// ---- Relay frames ----

std::string RelayClient::SendTextToServer(const std::string& fileName, const std::string& content,
                                          const THostIP& host) {
    return SendFrame(fileName, content, host, nullptr);
}

std::string RelayClient::SendFileToServer(const std::string& fileName, const std::string& content,
                                          const THostIP& host, const std::string& stream) {
    return SendFrame(fileName, content, host, &stream);
}

std::string RelayClient::SendFrame(const std::string& fileName, const std::string& content,
                                   const THostIP& host, const std::string* stream) {
    const std::string name = ExtractFileName(fileName);
    const std::string ext = ExtractFileExt(name);
    const std::string base = name.substr(0, name.size() - ext.size());
    std::string header;
    header += kStx;
    header += base;
    header += stream ? ":BIN:" : ":";
    header += ext;
    header += kEtx;

    TcpClient client;
    Result<void> r = client.Connect(host.host, host.port, m_timeouts.frameConnect);
    if (r) r = client.Write(header, m_timeouts.frameWriteStall);
    if (r) r = client.Write(content, m_timeouts.frameWriteStall);
    if (r && stream) r = client.Write(*stream, m_timeouts.frameWriteStall);
    client.Disconnect();
    return r ? std::string("OK") : "ERROR: " + r.error().message;
}

// ---- Server information ----

void RelayClient::QueryServerInfo() {
    const std::string setting = m_settings.Get().VocanetServer;
    if (setting.empty()) return;
    const THostIP server = ParseServerSetting(setting);

    TcpClient client;
    if (!client.Connect(server.host, server.port, m_timeouts.infoConnect)) return;
    if (!client.Write("SVRINFO\r\n", m_timeouts.infoConnect)) return;
    auto line = client.ReadLine(m_timeouts.infoRead, kMaxInfoLine);
    client.Disconnect();
    if (!line || UpperCase(line->substr(0, 8)) != "DOMAINS:") return;

    const std::string reply = StrAfter(*line, ":");
    const std::string hostPort = server.host + ":" + std::to_string(server.port);
    SetServerListLine(hostPort + ":0", reply);
    // A server the user entered meanwhile is not overwritten by the answer of the old one.
    m_settings.Update([&](VNPTRRegValues& values) {
        if (values.VocanetServer == setting) values.VocanetServer = hostPort;
    });
    ShowDomains(reply);
    ++m_answers;
}

void RelayClient::SetServerListLine(const std::string& name, const std::string& value) {
    std::lock_guard lock(m_mutex);
    SetListValue(m_serverList, name, value);
}

StringList RelayClient::ServerList() const {
    std::lock_guard lock(m_mutex);
    return m_serverList;
}

THostIP RelayClient::RememberedServer() const {
    std::lock_guard lock(m_mutex);
    return m_remembered;
}

THostIP RelayClient::FindServerForDomain(const std::string& domain) {
    std::lock_guard lock(m_mutex);
    THostIP host = m_remembered;
    if (!host.host.empty()) return host;
    if (domain.empty()) return host; // an empty text is contained in no line
    const std::string wanted = LowerCase(domain);
    for (const auto& line : m_serverList) {
        if (LowerCase(line).find(wanted) == std::string::npos) continue;
        const std::string fields = StrReplace(StrBefore(line, std::string(1, kSoh)), "=", ":");
        if (StrField(fields, ':', 3) == "0") {
            if (auto port = ServerPort(StrField(fields, ':', 4), fields)) {
                host.host = StrField(fields, ':', 1);
                host.port = *port;
                return host;
            }
        }
        host.host.clear();
        host.port = kDefaultServerPort;
    }
    return host;
}

// ---- Domain list ----

void RelayClient::ShowDomains(const std::string& replyText) {
    std::vector<std::string> items;
    const std::string soh(1, kSoh);
    for (const auto& line : SplitLines(replyText)) {
        std::string rest = StrBefore(StrAfter(line, soh), soh);
        for (std::string item = StrBefore(rest, ","); !item.empty(); item = StrBefore(rest, ",")) {
            items.push_back(Trim(item));
            rest = StrAfter(rest, ",");
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_domainList = std::move(items);
    }
    NotifyDomainList();
}

void RelayClient::RefreshDomainList() {
    bool changed = false;
    bool query = false;
    {
        std::lock_guard lock(m_mutex);
        ++m_refreshCounter;
        if (m_domainList.size() > 1 || (m_domainList.size() == 1 && m_domainList.front() != kNoServerItem))
            return;
        if (m_domainList.empty()) {
            m_domainList.assign(1, kNoServerItem);
            changed = true;
        }
        if (m_refreshCounter > 30) {
            m_refreshCounter = 0;
            query = true;
        }
    }
    if (changed) NotifyDomainList();
    if (query) QueryServerInfo();
}

std::vector<std::string> RelayClient::DomainList() const {
    std::lock_guard lock(m_mutex);
    return m_domainList;
}

void RelayClient::NotifyDomainList() {
    if (m_events) m_events->DomainListChanged();
}

// ---- Address book ----

AddressFetchOutcome RelayClient::FetchAddressBook() {
    using Status = AddressFetchOutcome::Status;
    THostIP server;
    {
        std::lock_guard lock(m_mutex);
        if (m_remembered.host.empty()) {
            if (m_serverList.empty()) return {Status::NoServer, 0, {}};
            const std::string& first = m_serverList.front();
            const auto port = ServerPort(StrBetween(first, "=", std::string(1, kSoh)), first);
            if (!port) return {Status::Failed, 0, "The server list holds no usable port for " + first};
            m_remembered = THostIP{StrField(first, ':', 1), *port};
        }
        server = m_remembered;
    }

    TcpClient client;
    if (auto r = client.Connect(server.host, server.port, m_timeouts.addressConnect); !r)
        return {Status::Unreachable, 0, r.error().message};
    if (auto r = client.Write("ADDR\r\n", m_timeouts.addressConnect); !r)
        return {Status::Failed, 0, r.error().message};

    // The reply is read until "." arrives, but never for longer or further than the limits: a
    // server that stays connected without finishing must not hold us or fill our memory.
    const uint32_t seconds = std::max<uint32_t>(1, m_settings.Get().AddressExchangeSeconds);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    const size_t maxBytes = m_timeouts.maxAddressBytes;
    const std::string tooLarge =
        "The address book from " + server.host + " is larger than " + std::to_string(maxBytes) + " bytes.";
    StringList kept;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {Status::Failed, 0,
                    "The address book from " + server.host + " did not arrive within " +
                        std::to_string(seconds) + " seconds."};
        auto line = client.ReadLine(std::min(left, m_timeouts.addressRead), maxBytes);
        if (client.BytesReceived() > maxBytes) return {Status::Failed, 0, tooLarge};
        if (!line) {
            if (line.error().code == kTcpTimedOut) continue;
            if (line.error().code == kTcpTooLong) return {Status::Failed, 0, tooLarge};
            return {Status::Failed, 0, line.error().message};
        }
        if (*line == ".") break;
        if (!line->empty()) kept.push_back(std::move(*line));
    }
    client.Disconnect();
    if (kept.empty()) return {Status::Fetched, 0, {}};
    if (auto r =
            WriteFileAtomically(ResolveFileNameNoCase(m_folders.temp, kAddressBookFile), JoinLines(kept));
        !r)
        return {Status::Failed, 0, r.error().message};
    return {Status::Fetched, kept.size(), {}};
}

} // namespace vvp
