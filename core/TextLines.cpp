#include "TextLines.h"

#include <algorithm>

namespace vvp {

StringList SplitLines(const std::string& text) {
    StringList lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n')
            ++i;
        lines.emplace_back(text, start, i - start);
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
    }
    return lines;
}

std::string JoinLines(const StringList& lines) {
    size_t size = 0;
    for (const auto& l : lines)
        size += l.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", i), text.size());
        out.append(text.substr(i, end - i));
        out += "\r\n";
        i = end;
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
    }
    return out;
}

std::string AsciiLower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string ListValue(const StringList& lines, const std::string& name) {
    for (const auto& l : lines) {
        auto eq = l.find('=');
        if (eq != std::string::npos && l.compare(0, eq, name) == 0 && eq == name.size())
            return l.substr(eq + 1);
    }
    return {};
}

void SetListValue(StringList& lines, const std::string& name, const std::string& value) {
    for (auto& l : lines) {
        auto eq = l.find('=');
        if (eq == name.size() && l.compare(0, eq, name) == 0) {
            l = name + "=" + value;
            return;
        }
    }
    lines.push_back(name + "=" + value);
}

} // namespace vvp
