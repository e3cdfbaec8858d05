#include "VirtualPrinterQueue.h"

#include "TextLines.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace vvp {
namespace {

bool IsLoopback(const std::string& host) {
    if (host == "localhost" || host == "localhost.localdomain" || host == "ip6-localhost" || host == "::1" ||
        host == "0.0.0.0" || host == "::")
        return true;
    // 127.0.0.0/8, written as four decimal parts
    if (host.rfind("127.", 0) != 0) return false;
    int dots = 0;
    for (char c : host) {
        if (c == '.')
            ++dots;
        else if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return dots == 3;
}

// Host and port of "socket://host[:port][/path][?options]"; false for other devices.
bool ParseSocketUri(const std::string& uri, std::string& host, int& port) {
    const std::string scheme = "socket://";
    if (AsciiLower(uri.substr(0, scheme.size())) != scheme) return false;
    std::string rest = uri.substr(scheme.size());
    rest = rest.substr(0, rest.find_first_of("/?"));
    if (const auto at = rest.rfind('@'); at != std::string::npos) rest = rest.substr(at + 1);
    std::string portText;
    if (!rest.empty() && rest[0] == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos) return false;
        host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] == ':') portText = rest.substr(close + 2);
    } else if (const auto colon = rest.find(':'); colon != std::string::npos) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
    } else {
        host = rest;
    }
    host = AsciiLower(host);
    port = 9100; // the socket backend's own default
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return false;
        port = std::atoi(portText.c_str());
    }
    return true;
}

} // namespace

VirtualPrinterIdentity VirtualPrinterIdentityFrom(const VNPTRRegValues& values) {
    VirtualPrinterIdentity identity;
    identity.port = values.Port;
    if (!TrimBlanks(values.PortName).empty()) identity.names.push_back(TrimBlanks(values.PortName));
    std::string::size_type start = 0;
    while (start <= values.PrinterListText.size()) {
        auto end = values.PrinterListText.find('\n', start);
        if (end == std::string::npos) end = values.PrinterListText.size();
        const std::string line = TrimBlanks(values.PrinterListText.substr(start, end - start));
        if (!line.empty()) identity.names.push_back(line);
        start = end + 1;
    }
    char host[HOST_NAME_MAX + 1] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) identity.localHostNames.push_back(host);
    return identity;
}

bool SamePrinterName(const std::string& a, const std::string& b) {
    return AsciiLower(TrimBlanks(a)) == AsciiLower(TrimBlanks(b));
}

bool IsVirtualPrinterQueue(const PrinterQueue& queue, const VirtualPrinterIdentity& identity) {
    for (const auto& name : identity.names)
        if (SamePrinterName(queue.name, name)) return true;
    std::string host;
    int port = 0;
    if (!ParseSocketUri(queue.deviceUri, host, port) || port != identity.port) return false;
    if (IsLoopback(host)) return true;
    for (const auto& own : identity.localHostNames)
        if (host == AsciiLower(own) || host.rfind(AsciiLower(own) + ".", 0) == 0) return true;
    return false;
}

PrinterQueue FindPrinterQueue(const std::vector<PrinterQueue>& queues, const std::string& name) {
    for (const auto& queue : queues)
        if (SamePrinterName(queue.name, name)) return queue;
    return {name, {}};
}

} // namespace vvp
