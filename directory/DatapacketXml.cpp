#include "DatapacketXml.h"

#include "QZStringManip.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>

namespace vvp {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsXmlChar(uint32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The character a reference at the start of text stands for, and its length.
std::optional<std::pair<std::string, size_t>> Reference(std::string_view text) {
    const size_t semicolon = text.substr(0, 12).find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    const std::string_view name = text.substr(1, semicolon - 1);
    const size_t length = semicolon + 1;
    if (name == "amp") return std::pair{std::string("&"), length};
    if (name == "lt") return std::pair{std::string("<"), length};
    if (name == "gt") return std::pair{std::string(">"), length};
    if (name == "quot") return std::pair{std::string("\""), length};
    if (name == "apos") return std::pair{std::string("'"), length};
    if (name.size() < 2 || name[0] != '#') return std::nullopt;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) return std::nullopt;
    uint32_t cp = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
        if (cp > 0x10FFFF) return std::nullopt;
    }
    if (!IsXmlChar(cp)) return std::nullopt;
    std::string out;
    AppendUtf8(out, cp);
    return std::pair{out, length};
}

std::string DecodeValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        const char c = raw[i];
        if (c == '\r' || c == '\n' || c == '\t') {
            ++i; // as the unescaped writer's reader dropped them
        } else if (c == '&') {
            if (auto ref = Reference(raw.substr(i))) {
                out += ref->first;
                i += ref->second;
            } else {
                out += '&';
                ++i;
            }
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

struct Tag {
    enum class Kind { Start, End, Empty } kind = Kind::Start;
    std::string name;
    AttributeList attributes;
};

// Walks the markup of a document tag by tag; text between tags is passed over.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    // The next tag; nullopt at the end of the text.
    Result<std::optional<Tag>> Next() {
        for (;;) {
            const size_t lt = m_text.find('<', m_pos);
            if (lt == std::string_view::npos) return std::optional<Tag>{};
            m_pos = lt;
            if (Skip("<!--", "-->") || Skip("<![CDATA[", "]]>") || Skip("<?", "?>")) {
                if (!m_error.empty()) return Error{m_error};
                continue;
            }
            if (At("<!")) return Error{"document type declarations are not accepted"};
            return ReadTag();
        }
    }

private:
    bool At(std::string_view s) const { return m_text.substr(m_pos, s.size()) == s; }

    bool Skip(std::string_view open, std::string_view close) {
        if (!At(open)) return false;
        const size_t end = m_text.find(close, m_pos + open.size());
        if (end == std::string_view::npos) {
            m_error = "the text ends inside \"" + std::string(open) + "\"";
            m_pos = m_text.size();
        } else {
            m_pos = end + close.size();
        }
        return true;
    }

    void SkipBlanks() {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos]))
            ++m_pos;
    }

    std::string ReadName() {
        const size_t start = m_pos;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (IsBlank(c) || c == '=' || c == '/' || c == '>' || c == '<' || c == '"' || c == '\'') break;
            ++m_pos;
        }
        return std::string(m_text.substr(start, m_pos - start));
    }

    Result<std::optional<Tag>> ReadTag() {
        Tag tag;
        ++m_pos;
        if (At("/")) {
            ++m_pos;
            tag.kind = Tag::Kind::End;
        }
        tag.name = ReadName();
        if (tag.name.empty()) return Error{"a tag without a name"};
        for (;;) {
            SkipBlanks();
            if (m_pos >= m_text.size()) return Error{"the text ends inside the tag " + tag.name};
            if (At(">")) {
                ++m_pos;
                return std::optional<Tag>{std::move(tag)};
            }
            if (At("/>") && tag.kind == Tag::Kind::Start) {
                m_pos += 2;
                tag.kind = Tag::Kind::Empty;
                return std::optional<Tag>{std::move(tag)};
            }
            if (tag.kind == Tag::Kind::End) return Error{"unexpected text in the end tag of " + tag.name};
            std::string name = ReadName();
            if (name.empty()) return Error{"unexpected text in the tag " + tag.name};
            SkipBlanks();
            if (!At("=")) return Error{"the attribute " + name + " of " + tag.name + " has no value"};
            ++m_pos;
            SkipBlanks();
            if (!At("\"") && !At("'"))
                return Error{"the value of " + name + " in " + tag.name + " is not quoted"};
            const char quote = m_text[m_pos++];
            const size_t end = m_text.find(quote, m_pos);
            if (end == std::string_view::npos)
                return Error{"the value of " + name + " in " + tag.name + " is not closed"};
            tag.attributes.emplace_back(std::move(name), DecodeValue(m_text.substr(m_pos, end - m_pos)));
            m_pos = end + 1;
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
    std::string m_error;
};

const std::string* Attribute(const AttributeList& attributes, std::string_view name) {
    for (const auto& [n, v] : attributes)
        if (n == name) return &v;
    return nullptr;
}

TFieldDef MakeField(const AttributeList& attributes) {
    TFieldDef field;
    if (const auto* v = Attribute(attributes, "attrname")) field.attrname = *v;
    if (const auto* v = Attribute(attributes, "fieldtype")) field.fieldtype = *v;
    if (const auto* v = Attribute(attributes, "SUBTYPE")) field.subtype = *v;
    if (const auto* v = Attribute(attributes, "WIDTH")) field.width = StrToIntDef(*v, 20);
    for (const auto& [n, v] : attributes)
        if (LowerCase(n) == "required" && LowerCase(StrStrip(v, " ")) == "true") field.required = true;
    return field;
}

bool HasField(const std::vector<TFieldDef>& fields, const std::string& name) {
    for (const auto& f : fields)
        if (f.attrname == name) return true;
    return false;
}

} // namespace

Result<ParsedDatapacket> ParseDatapacket(std::string_view text) {
    ParsedDatapacket packet;
    Scanner scanner(text);
    std::vector<std::string> open; // element names from the top
    bool sawRoot = false, sawFields = false;
    const auto inside = [&open](std::initializer_list<std::string_view> path) {
        if (open.size() != path.size()) return false;
        size_t i = 0;
        for (auto p : path)
            if (open[i++] != p) return false;
        return true;
    };
    for (;;) {
        auto next = scanner.Next();
        if (!next) return next.error();
        if (!*next) break;
        Tag& tag = **next;
        if (tag.kind == Tag::Kind::End) {
            if (open.empty() || open.back() != tag.name)
                return Error{"the end tag " + tag.name + " does not match " +
                             (open.empty() ? std::string("any open element") : open.back())};
            open.pop_back();
            continue;
        }
        if (open.empty()) {
            if (sawRoot) return Error{"more than one top element"};
            if (tag.name != "DATAPACKET") return Error{"the top element is " + tag.name + ", not DATAPACKET"};
            sawRoot = true;
        } else if (tag.name == "FIELDS" && inside({"DATAPACKET", "METADATA"})) {
            sawFields = true;
        } else if (tag.name == "FIELD" && inside({"DATAPACKET", "METADATA", "FIELDS"})) {
            TFieldDef field = MakeField(tag.attributes);
            if (!IsXmlName(field.attrname))
                return Error{"the field name \"" + field.attrname + "\" is not usable"};
            // A second definition of a name would write the value twice into one row.
            if (!HasField(packet.fields, field.attrname)) packet.fields.push_back(std::move(field));
        } else if (tag.name == "ROW" && inside({"DATAPACKET", "ROWDATA"})) {
            packet.rows.push_back(std::move(tag.attributes));
        }
        if (tag.kind == Tag::Kind::Start) open.push_back(std::move(tag.name));
    }
    if (!sawRoot) return Error{"there is no DATAPACKET element"};
    if (!open.empty()) return Error{"the text ends inside the element " + open.back()};
    if (!sawFields) return Error{"there are no field definitions"};
    if (!HasField(packet.fields, "publish")) packet.fields.push_back({"publish", "string", 3, false, {}});
    return packet;
}

std::string EscapeAttribute(std::string_view value) {
    // Line breaks and TABs too: a reader would otherwise turn them into blanks.
    static constexpr std::pair<char, const char*> kEscapes[] = {
        {'&', "&amp;"},  {'<', "&lt;"},   {'>', "&gt;"}, {'"', "&quot;"},
        {'\n', "&#10;"}, {'\r', "&#13;"}, {'\t', "&#9;"}};
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto* escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                          [c](const auto& e) { return e.first == c; });
        if (escape != std::end(kEscapes))
            out += escape->second;
        else
            out += c;
    }
    return out;
}

bool IsXmlName(std::string_view name) {
    if (name.empty()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && !(i > 0 && other)) return false;
    }
    return true;
}

} // namespace vvp
