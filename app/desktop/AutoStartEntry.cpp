#include "AutoStartEntry.h"

#include <string_view>

namespace vvp {
namespace {

bool NeedsQuotes(const std::string& argument) {
    if (argument.empty()) return true;
    return argument.find_first_of(std::string_view(" \t\n\r\"'\\><~|&;$*?#()`")) != std::string::npos;
}

bool IsUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        if (c < 0x80)
            extra = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            extra = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            extra = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            extra = 3;
        else
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= text.size()) return false;
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
        }
        // Overlong three- and four-byte forms, surrogates and code points above U+10FFFF.
        if (extra == 2) {
            const auto d = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0)) return false;
        } else if (extra == 3) {
            const auto d = static_cast<unsigned char>(text[i + 1]);
            if ((c == 0xF0 && d < 0x90) || (c == 0xF4 && d >= 0x90)) return false;
        }
        i += extra + 1;
    }
    return true;
}

// The general escapes of a string value, applied after the quoting.
std::string EscapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string QuoteExecArgument(const std::string& argument) {
    std::string body;
    for (char c : argument) {
        if (c == '%')
            body += "%%";
        else
            body += c;
    }
    if (!NeedsQuotes(argument)) return body;
    std::string quoted = "\"";
    for (char c : body) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

Result<std::string> DesktopExecValue(const std::string& programPath,
                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> all{programPath};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::string exec;
    for (const auto& argument : all) {
        for (char c : argument) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F)
                return Error{"The argument \"" + argument +
                             "\" holds a control character a desktop entry cannot carry"};
        }
        if (!IsUtf8(argument)) return Error{"The argument \"" + argument + "\" is not valid UTF-8"};
        if (!exec.empty()) exec += ' ';
        exec += QuoteExecArgument(argument);
    }
    if (programPath.empty()) return Error{"The program's path is not known"};
    return EscapeValue(exec);
}

Result<std::string> AutoStartEntryText(const std::string& programPath,
                                       const std::vector<std::string>& arguments) {
    auto exec = DesktopExecValue(programPath, arguments);
    if (!exec) return exec.error();
    return std::string("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Vocanet Virtual Printer\n"
                       "Comment=Vocanet Virtual Printer Manager\n"
                       "Exec=") +
           *exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutoStartEntryEnabled(const std::string& text) {
    bool inEntry = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        while (!value.empty() && value.front() == ' ')
            value.erase(0, 1);
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

} // namespace vvp
