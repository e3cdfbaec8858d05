#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vvp {

// The printer scripts, their report files and the line that marks a finished report.
struct PrinterScript {
    const char* script;
    const char* report;
    const char* marker;
};
inline constexpr PrinterScript kCreateScript{"createVNptr.sh", "VNptrReport.txt", "VNPTR Completed"};
inline constexpr PrinterScript kPortListScript{"ListVNptrPorts.sh", "TCPIPPORTS.txt", "PORTLIST Completed"};
inline constexpr PrinterScript kPrinterInfoScript{"ListVNptrinfo.sh", "PTRINFO.txt", "PTRLIST Completed"};

// Result of a creation report: "OK" or "ERROR"; nullopt while it is unfinished (no marker yet, or
// the tool reported "Input Error:").
std::optional<std::string> CreationResultFromReport(const std::string& report);

// The port list of a port listing report: one "number=name,host" line (CR LF) per port of this
// computer whose record is ended by an empty line.
std::string ParsePortList(const std::string& report);
// The value "name,host" listed for the port number, or empty.
std::string LookupPortValue(const std::string& portList, int32_t port);

// True when the first "Port name" line of a printer information report names the port of the
// port list value ("name,host"), letter case ignored.
bool InfoReportUsesPort(const std::string& report, const std::string& portValue);

// Why CUPS (or our port list) cannot take the name as a printer name; empty when it can.
std::string PrinterNameProblem(const std::string& name);

// A whole number as an input box answer: optional sign and decimal digits around blanks.
std::optional<int64_t> ParseWholeNumber(const std::string& text);

inline bool IsTcpPort(int64_t port) {
    return port >= 1 && port <= 65535;
}

} // namespace vvp
