#include "RegistryStore.h"

#include "FileUtil.h"
#include "TextLines.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace vvp {
namespace {

const char* const kHeader = "REGEDIT4";

// Reads a quoted, backslash-escaped string starting at text[pos] == '"'; returns the position
// after the closing quote, or npos when it is not closed.
size_t ReadQuoted(const std::string& text, size_t pos, std::string& out) {
    out.clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            out += text[++i];
        } else if (text[i] == '"') {
            return i + 1;
        } else {
            out += text[i];
        }
    }
    return std::string::npos;
}

// Splits a value line into its name and data; false for lines that are not values.
bool ParseValueLine(const std::string& line, std::string& name, std::string& data) {
    if (line.rfind("@=", 0) == 0) {
        name.clear();
        data = line.substr(2);
        return true;
    }
    if (line.empty() || line[0] != '"') return false;
    size_t end = ReadQuoted(line, 0, name);
    if (end == std::string::npos || end >= line.size() || line[end] != '=') return false;
    data = line.substr(end + 1);
    return true;
}

bool IsSectionLine(const std::string& line) {
    return !line.empty() && line[0] == '[';
}

std::string SectionName(const std::string& line) {
    auto close = line.rfind(']');
    return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
}

std::vector<std::string> SplitFileLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

// [first, last) of the section's lines after its header; first == npos when absent.
std::pair<size_t, size_t> FindSection(const std::vector<std::string>& lines, const std::string& key) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (IsSectionLine(lines[i]) && AsciiLower(SectionName(lines[i])) == AsciiLower(key)) {
            size_t end = i + 1;
            while (end < lines.size() && !IsSectionLine(lines[end]))
                ++end;
            return {i + 1, end};
        }
    }
    return {std::string::npos, 0};
}

std::string Quoted(const std::string& text) {
    std::string out(1, '"');
    out += EscapeRegString(text);
    out += '"';
    return out;
}

std::string FormatValueLine(const std::string& name, const RegValue& value) {
    std::string line = name.empty() ? std::string("@") : Quoted(name);
    line += '=';
    line += FormatRegValue(value);
    return line;
}

} // namespace

std::string EscapeRegString(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

std::optional<RegValue> ParseRegValue(const std::string& data) {
    if (!data.empty() && data[0] == '"') {
        std::string s;
        size_t end = ReadQuoted(data, 0, s);
        if (end == std::string::npos) return std::nullopt;
        return RegValue::String(s);
    }
    if (data.rfind("dword:", 0) == 0) {
        std::string hex = data.substr(6);
        if (hex.empty() || hex.size() > 8) return std::nullopt;
        for (char c : hex)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        return RegValue::Dword(static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)));
    }
    return RegValue{RegValue::Kind::Other, data, 0};
}

std::string FormatRegValue(const RegValue& value) {
    switch (value.kind) {
    case RegValue::Kind::String:
        return Quoted(value.text);
    case RegValue::Kind::Dword: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", value.dword);
        return buf;
    }
    case RegValue::Kind::Other:
        return value.text;
    }
    return {};
}

RegFileStore::RegFileStore(std::string path) : m_path(std::move(path)) {}

std::string RegFileStore::PathFor(const std::string& option) {
    if (!option.empty()) return option;
    const char* env = std::getenv("VVP_REGISTRY");
    return env && *env ? std::string(env) : DefaultPath();
}

std::string RegFileStore::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    return IncludeTrailingSeparator(base) + "vvp/registry.reg";
}

Result<std::optional<RegValues>> RegFileStore::ReadKey(const std::string& key) {
    std::lock_guard lock(m_mutex);
    if (!FileExists(m_path)) return std::optional<RegValues>{};
    auto text = ReadWholeFile(m_path);
    if (!text) return text.error();
    auto lines = SplitFileLines(*text);
    auto [first, last] = FindSection(lines, key);
    if (first == std::string::npos) return std::optional<RegValues>{};
    RegValues values;
    for (size_t i = first; i < last; ++i) {
        std::string name, data;
        if (!ParseValueLine(lines[i], name, data)) continue;
        // A value that cannot be read is still there: its setting may not simply fall back.
        if (auto v = ParseRegValue(data))
            values.emplace_back(name, *v);
        else
            values.emplace_back(name, RegValue{RegValue::Kind::Other, data, 0});
    }
    return std::optional<RegValues>{values};
}

std::string RegFileStore::ExistingLocation() {
    return FileExists(m_path) ? "settings file " + m_path : std::string();
}

Result<void> RegFileStore::WriteValues(const std::string& key, const RegValues& values) {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines;
    if (FileExists(m_path)) {
        auto text = ReadWholeFile(m_path);
        if (!text) return text.error();
        lines = SplitFileLines(*text);
    }
    if (lines.empty() || lines[0] != kHeader) lines.insert(lines.begin(), {kHeader, ""});
    auto [first, last] = FindSection(lines, key);
    if (first == std::string::npos) {
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        lines.push_back("");
        lines.push_back("[" + key + "]");
        first = last = lines.size();
    }
    for (const auto& [name, value] : values) {
        bool replaced = false;
        for (size_t i = first; i < last; ++i) {
            std::string n, d;
            if (ParseValueLine(lines[i], n, d) && AsciiLower(n) == AsciiLower(name)) {
                lines[i] = FormatValueLine(name, value);
                replaced = true;
                break;
            }
        }
        if (replaced) continue;
        size_t at = last;
        while (at > first && lines[at - 1].empty())
            --at;
        lines.insert(lines.begin() + static_cast<long>(at), FormatValueLine(name, value));
        ++last;
    }
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    if (!out.empty() && out.substr(out.size() - 2) != "\n\n") out += "\n";
    auto dir = ExtractFileDir(m_path);
    if (!dir.empty() && !DirectoryExists(dir)) {
        if (auto r = ForceDirectories(dir); !r) return r;
    }
    return WriteFileAtomically(m_path, out);
}

Result<std::optional<RegValues>> MemoryRegistryStore::ReadKey(const std::string& key) {
    std::lock_guard lock(m_mutex);
    auto it = m_keys.find(AsciiLower(key));
    if (it == m_keys.end()) return std::optional<RegValues>{};
    return std::optional<RegValues>{it->second};
}

std::string MemoryRegistryStore::ExistingLocation() {
    std::lock_guard lock(m_mutex);
    return m_keys.empty() ? std::string() : std::string("registry");
}

Result<void> MemoryRegistryStore::WriteValues(const std::string& key, const RegValues& values) {
    std::lock_guard lock(m_mutex);
    if (m_failWrites) return Error{"Registry write refused"};
    ++m_writes;
    auto& stored = m_keys[AsciiLower(key)];
    for (const auto& [name, value] : values) {
        bool found = false;
        for (auto& [n, v] : stored)
            if (AsciiLower(n) == AsciiLower(name)) {
                v = value;
                found = true;
            }
        if (!found) stored.emplace_back(name, value);
    }
    return Ok();
}

} // namespace vvp
