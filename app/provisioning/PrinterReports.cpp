#include "PrinterReports.h"

#include "TextLines.h"

#include <cctype>
#include <vector>

namespace vvp {
namespace {

// Lines without their CR or LF; a report may come with either line end.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// The trimmed text after the label when the line contains it.
std::optional<std::string> AfterLabel(const std::string& line, const std::string& label) {
    const auto at = line.find(label);
    if (at == std::string::npos) return std::nullopt;
    return TrimBlanks(line.substr(at + label.size()));
}

} // namespace

std::optional<std::string> CreationResultFromReport(const std::string& report) {
    if (report.find(kCreateScript.marker) == std::string::npos) return std::nullopt;
    if (report.find("Input Error:") != std::string::npos) return std::nullopt;
    return report.find("Printer Created.") != std::string::npos ? "OK" : "ERROR";
}

std::string ParsePortList(const std::string& report) {
    std::string result;
    bool started = false;
    std::string name, host, number;
    for (const auto& line : Lines(report)) {
        if (auto server = AfterLabel(line, "Server name")) {
            if (server->empty()) started = true;
        } else if (auto v = AfterLabel(line, "Port name")) {
            name = *v;
        } else if (auto h = AfterLabel(line, "Host address")) {
            host = *h;
        } else if (auto n = AfterLabel(line, "Port number")) {
            number = *n;
        } else if (line.empty()) {
            if (started && !number.empty()) result += number + "=" + name + "," + host + "\r\n";
            started = false;
            name.clear();
            host.clear();
            number.clear();
        }
    }
    return result;
}

std::string LookupPortValue(const std::string& portList, int32_t port) {
    const std::string key = std::to_string(port);
    for (const auto& line : Lines(portList)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && line.substr(0, eq) == key) return line.substr(eq + 1);
    }
    return {};
}

bool InfoReportUsesPort(const std::string& report, const std::string& portValue) {
    const std::string portName = AsciiLower(portValue.substr(0, portValue.find(',')));
    for (const auto& line : Lines(report))
        if (auto v = AfterLabel(line, "Port name")) return AsciiLower(*v) == portName;
    return false;
}

std::string PrinterNameProblem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > 127) return "a printer name has at most 127 characters";
    if (name[0] == '-') return "a printer name cannot start with \"-\"";
    for (unsigned char c : name) {
        if (c <= ' ' || c >= 0x7F)
            return "a printer name holds only letters, digits and punctuation, no blanks";
        // CUPS refuses these; "@" names a remote printer and "," separates our port list.
        if (std::string("/\\?'\"#@,").find(static_cast<char>(c)) != std::string::npos)
            return std::string("a printer name cannot contain \"") + static_cast<char>(c) + "\"";
    }
    return {};
}

std::optional<int64_t> ParseWholeNumber(const std::string& text) {
    const std::string t = TrimBlanks(text);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (i == t.size() || t.size() - i > 10) return std::nullopt;
    for (size_t j = i; j < t.size(); ++j)
        if (!std::isdigit(static_cast<unsigned char>(t[j]))) return std::nullopt;
    const int64_t value = std::stoll(t.substr(i));
    return t[0] == '-' ? -value : value;
}

} // namespace vvp
