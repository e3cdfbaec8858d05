#pragma once

// Reads HL7 files we wrote with an independent parser (node-hl7-client, run by
// tests/interop/hl7fields.mjs), so that field positions are checked by someone else's reading.
// Use: VVP_REQUIRE_HL7_INTEROP(); then auto parsed = vvp::test::ReadHl7WithInterop(path);

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vvp::test {

struct Hl7Parsed {
    std::vector<std::string> order; // segment names in file order
    int messages = 0;               // MSH segments the parser found in the batch
    std::map<std::string, std::vector<std::vector<std::string>>> segments;

    // Field n (HL7 numbering; MSH-1 is "|") of the given occurrence; empty when absent.
    std::string Field(const std::string& segment, size_t n, size_t occurrence = 0) const {
        auto it = segments.find(segment);
        if (it == segments.end() || occurrence >= it->second.size()) return {};
        const auto& fields = it->second[occurrence];
        return n < fields.size() ? fields[n] : std::string();
    }
    size_t FieldCount(const std::string& segment, size_t occurrence = 0) const {
        auto it = segments.find(segment);
        if (it == segments.end() || occurrence >= it->second.size()) return 0;
        return it->second[occurrence].empty() ? 0 : it->second[occurrence].size() - 1;
    }
};

namespace hl7interop_detail {

inline std::string InteropDir() {
#ifdef VVP_TEST_DATA_DIR
    return std::string(VVP_TEST_DATA_DIR) + "/../interop/";
#else
    return "tests/interop/";
#endif
}

inline std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Just enough JSON for what hl7fields.mjs prints: objects, arrays, strings, integers.
class JsonReader {
public:
    explicit JsonReader(const std::string& text) : m_text(text) {}

    bool ReadDocument(Hl7Parsed& out) {
        if (!Expect('{')) return false;
        if (Peek() == '}') return Expect('}');
        do {
            std::string key;
            if (!ReadString(key) || !Expect(':')) return false;
            if (key == "_messages") {
                if (!ReadInt(out.messages)) return false;
            } else if (key == "_order") {
                if (!ReadStringArray(out.order)) return false;
            } else {
                auto& occurrences = out.segments[key];
                if (!Expect('[')) return false;
                if (Peek() != ']') {
                    do {
                        occurrences.emplace_back();
                        if (!ReadStringArray(occurrences.back())) return false;
                    } while (Accept(','));
                }
                if (!Expect(']')) return false;
            }
        } while (Accept(','));
        return Expect('}');
    }

private:
    char Peek() {
        SkipBlanks();
        return m_pos < m_text.size() ? m_text[m_pos] : '\0';
    }
    void SkipBlanks() {
        while (m_pos < m_text.size() &&
               (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' || m_text[m_pos] == '\r'))
            ++m_pos;
    }
    bool Accept(char c) {
        if (Peek() != c) return false;
        ++m_pos;
        return true;
    }
    bool Expect(char c) { return Accept(c); }

    bool ReadInt(int& value) {
        SkipBlanks();
        size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
            ++m_pos;
        if (start == m_pos) return false;
        value = std::stoi(m_text.substr(start, m_pos - start));
        return true;
    }

    bool ReadStringArray(std::vector<std::string>& values) {
        if (!Expect('[')) return false;
        if (Peek() != ']') {
            do {
                values.emplace_back();
                if (!ReadString(values.back())) return false;
            } while (Accept(','));
        }
        return Expect(']');
    }

    bool ReadString(std::string& value) {
        if (!Expect('"')) return false;
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos++];
            if (c == '"') return true;
            if (c != '\\') {
                value += c;
                continue;
            }
            if (m_pos >= m_text.size()) return false;
            char e = m_text[m_pos++];
            switch (e) {
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case 'b':
                value += '\b';
                break;
            case 'f':
                value += '\f';
                break;
            case 'u': {
                if (m_pos + 4 > m_text.size()) return false;
                unsigned long code = std::stoul(m_text.substr(m_pos, 4), nullptr, 16);
                m_pos += 4;
                if (code > 0xFF) return false; // the files are single-byte text
                value += static_cast<char>(code);
                break;
            }
            default:
                value += e;
                break;
            }
        }
        return false;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};

} // namespace hl7interop_detail

// Empty when the parser can run; otherwise why it cannot (node or its modules are missing).
inline std::string Hl7InteropUnavailableReason() {
    if (RunCommand("node --version").status != 0) return "node is not installed";
    const std::string modules = hl7interop_detail::InteropDir() + "node_modules/node-hl7-client";
    if (!std::filesystem::exists(modules))
        return "tests/interop/node_modules is missing (run: npm ci --prefix tests/interop)";
    return {};
}

// Parses the file; nullopt (with the parser's complaint in error) when it rejects it.
inline std::optional<Hl7Parsed> ReadHl7WithInterop(const std::string& path, bool unescape = false,
                                                   std::string* error = nullptr) {
    using namespace hl7interop_detail;
    const std::string command = "node " + ShellQuote(InteropDir() + "hl7fields.mjs") +
                                (unescape ? " --unescape " : " ") + ShellQuote(path);
    const CommandResult run = RunCommand(command);
    Hl7Parsed parsed;
    // The output carries stderr too; the document is the line that starts with {"_order".
    const auto start = run.output.find("{\"_order\"");
    const std::string document = start == std::string::npos ? std::string() : run.output.substr(start);
    if (run.status != 0 || !JsonReader(document).ReadDocument(parsed)) {
        if (error) *error = run.output;
        return std::nullopt;
    }
    return parsed;
}

} // namespace vvp::test

// Skips when the parser cannot run here, except in CI (CI=true), where a skip would hide that the
// HL7 was never checked by an independent reader.
#define VVP_REQUIRE_HL7_INTEROP()                                                                            \
    do {                                                                                                     \
        const std::string vvpInteropReason = ::vvp::test::Hl7InteropUnavailableReason();                     \
        if (!vvpInteropReason.empty()) {                                                                     \
            const char* vvpCi = std::getenv("CI");                                                           \
            if (vvpCi && std::string(vvpCi) == "true")                                                       \
                FAIL() << "The independent HL7 parser is required in CI: " << vvpInteropReason;              \
            GTEST_SKIP() << vvpInteropReason;                                                                \
        }                                                                                                    \
    } while (false)
