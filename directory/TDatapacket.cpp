#include "TDatapacket.h"

#include "DirectoryFiles.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "TextEncoding.h"

#include <algorithm>
#include <charconv>

namespace vvp {

const char* const kOrganisationsTable =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA>"
    "<FIELDS><FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"40\"/>"
    "<FIELD attrname=\"Address\" fieldtype=\"string\" WIDTH=\"50\"/>"
    "<FIELD attrname=\"PostCode\" fieldtype=\"string\" WIDTH=\"5\"/>"
    "<FIELD attrname=\"Locality\" fieldtype=\"string\" WIDTH=\"50\"/>"
    "<FIELD attrname=\"Id\" fieldtype=\"string\" required=\"true\" WIDTH=\"80\"/>"
    "<FIELD attrname=\"custom1\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"custom2\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"custom3\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"URI\" fieldtype=\"bin.hex\" SUBTYPE=\"Text\"/>"
    "<FIELD attrname=\"phone\" fieldtype=\"string\" WIDTH=\"15\"/>"
    "<FIELD attrname=\"fax\" fieldtype=\"string\" WIDTH=\"15\"/>"
    "<FIELD attrname=\"publish\" fieldtype=\"string\" WIDTH=\"3\"/>"
    "</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>";

const char* const kEntitiesTable =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\"><METADATA>"
    "<FIELDS><FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"40\"/>"
    "<FIELD attrname=\"Givennames\" fieldtype=\"string\" WIDTH=\"50\"/>"
    "<FIELD attrname=\"Id\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Speciality\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Organisation\" fieldtype=\"string\" WIDTH=\"80\"/>"
    "<FIELD attrname=\"custom1\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"custom2\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"custom3\" fieldtype=\"string\" WIDTH=\"100\"/>"
    "<FIELD attrname=\"Title\" fieldtype=\"string\" WIDTH=\"12\"/>"
    "<FIELD attrname=\"publish\" fieldtype=\"string\" WIDTH=\"3\"/>"
    "</FIELDS><PARAMS/></METADATA><ROWDATA></ROWDATA></DATAPACKET>";

namespace {

constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;
constexpr const char* kPlaceholderId = "New Entity";

// Text that XML can carry: UTF-8 (other bytes read as Windows-1252), without the control
// characters no XML file may hold.
std::string CleanValue(const std::string& text) {
    const std::string utf8 = IsValidUtf8(text) ? text : Windows1252ToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
        // U+FFFE and U+FFFF are no characters either.
        if (c == 0xEF &&
            (utf8.compare(i + 1, 2, "\xBF\xBE") == 0 || utf8.compare(i + 1, 2, "\xBF\xBF") == 0)) {
            i += 2;
            continue;
        }
        out += utf8[i];
    }
    return out;
}

std::string FormatVersion(double version) {
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, version, std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(buffer, end) : std::string("2.0");
}

bool IsBlankText(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

Result<std::string> ReadPacketFile(const std::string& path) {
    auto bytes = ReadFileUpTo(path, kMaxFileBytes);
    if (!bytes) return bytes.error().WithContext("Unable to read " + path + ": ");
    return DecodeText(*bytes);
}

template <typename Values>
auto FindValue(Values& values, const std::string& name) -> decltype(&values.front().second) {
    for (auto& [n, v] : values)
        if (n == name) return &v;
    for (auto& [n, v] : values)
        if (SameText(n, name)) return &v;
    return nullptr;
}

} // namespace

// ---- TXMLRow ----

const std::string* TXMLRow::Find(const std::string& name) const {
    return FindValue(m_values, name);
}

std::string TXMLRow::Value(const std::string& name) const {
    const std::string* v = Find(name);
    return v ? *v : std::string();
}

void TXMLRow::SetValue(const std::string& name, const std::string& text) {
    std::string value = StrReplace(text, "\r\n", "\n");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    std::replace(value.begin(), value.end(), '"', '\'');
    value = CleanValue(value);
    if (std::string* v = FindValue(m_values, name))
        *v = std::move(value);
    else
        m_values.emplace_back(name, std::move(value));
}

bool TXMLRow::IsEmpty() const {
    return std::all_of(m_names.begin(), m_names.end(),
                       [this](const std::string& n) { return Value(n).empty(); });
}

void TXMLRow::Complete(const StringList& names) {
    m_names = names;
    for (const auto& name : names)
        if (!Find(name)) m_values.emplace_back(name, name == "publish" ? "Yes" : "");
}

// ---- TDatapacket ----

Result<void> TDatapacket::LoadFromText(std::string_view text) {
    auto parsed = ParseDatapacket(text);
    if (!parsed) return parsed.error();
    Clear();
    m_fields = std::move(parsed->fields);
    // Even a table without rows shows one row to fill in.
    if (parsed->rows.empty()) parsed->rows.emplace_back();
    const StringList names = FieldNames();
    for (auto& attributes : parsed->rows) {
        TXMLRow row;
        for (auto& [name, value] : attributes)
            row.m_values.emplace_back(std::move(name), CleanValue(value));
        row.Complete(names);
        m_rows.push_back(std::move(row));
    }
    m_state = -1;
    m_current = -1;
    return Ok();
}

Result<void> TDatapacket::LoadFromFileOrDefault(const std::string& path, const std::string& defaultText) {
    if (!FileExists(path)) return LoadFromText(defaultText);
    auto text = ReadPacketFile(path);
    if (!text) return text.error();
    if (IsBlankText(*text)) return LoadFromText(defaultText);
    if (auto r = LoadFromText(*text); !r)
        return r.error().WithContext("The file " + path +
                                     " is not a table this program can read, so it is left "
                                     "as it is: ");
    return Ok();
}

Result<void> TDatapacket::SaveToFile(const std::string& path) const {
    if (auto r = CheckReplaceable(path); !r) return r;
    if (auto r = WriteFileAtomically(path, Text() + "\r\n"); !r)
        return r.error().WithContext("Unable to save " + path + ": ");
    return Ok();
}

std::string TDatapacket::Text() const {
    std::string t = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>  <DATAPACKET Version=\"" +
                    FormatVersion(m_version) + "\"><METADATA><FIELDS>";
    for (const auto& f : m_fields) {
        t += "<FIELD attrname=\"" + EscapeAttribute(f.attrname) + "\" fieldtype=\"" +
             EscapeAttribute(f.fieldtype) + "\"";
        if (f.required) t += " required=\"true\"";
        if (f.width != 0) t += " WIDTH=\"" + std::to_string(f.width) + "\"";
        if (!f.subtype.empty()) t += " SUBTYPE=\"" + EscapeAttribute(f.subtype) + "\"";
        t += "/>";
    }
    t += "</FIELDS><PARAMS/></METADATA><ROWDATA>";
    for (const auto& row : m_rows) {
        std::string attributes;
        for (const auto& name : row.m_names) {
            const std::string value = row.Value(name);
            if (value.empty()) continue;
            if (!attributes.empty()) attributes += ' ';
            attributes += name + "=\"" + EscapeAttribute(value) + "\"";
        }
        if (!attributes.empty()) t += "<ROW " + attributes + "/>";
    }
    t += "</ROWDATA></DATAPACKET>";
    return t;
}

void TDatapacket::First() {
    m_current = m_rows.empty() ? -1 : 0;
}

bool TDatapacket::Next() {
    if (m_current + 1 >= RowCount()) return false;
    ++m_current;
    return true;
}

void TDatapacket::Prior() {
    m_current = std::max(0, m_current - 1);
}

bool TDatapacket::SetCurrent(int index) {
    if (index < 0 || index >= RowCount()) return false;
    m_current = index;
    return true;
}

TXMLRow* TDatapacket::CurrentRow() {
    if (m_rows.empty()) return nullptr;
    if (m_current < 0) Next();
    m_current = std::min(m_current, RowCount() - 1);
    return &m_rows[static_cast<size_t>(m_current)];
}

const TXMLRow* TDatapacket::CurrentRow() const {
    if (m_rows.empty()) return nullptr;
    return &m_rows[static_cast<size_t>(std::clamp(m_current, 0, RowCount() - 1))];
}

TXMLRow* TDatapacket::Row(int index) {
    return index >= 0 && index < RowCount() ? &m_rows[static_cast<size_t>(index)] : nullptr;
}

const TXMLRow* TDatapacket::Row(int index) const {
    return index >= 0 && index < RowCount() ? &m_rows[static_cast<size_t>(index)] : nullptr;
}

int TDatapacket::NewRow() {
    if (m_fields.empty()) return -1;
    for (int i = 0; i < RowCount(); ++i)
        if (m_rows[static_cast<size_t>(i)].Value("Id") == kPlaceholderId) return i;
    TXMLRow row;
    row.Complete(FieldNames());
    m_rows.push_back(std::move(row));
    return RowCount() - 1;
}

int TDatapacket::DeleteRow(int index) {
    if (index < 0 || index >= RowCount()) return m_current;
    m_rows.erase(m_rows.begin() + index);
    // Through the written form, as the rest of the program sees the table after a save.
    (void)LoadFromText(Text()); // our own text always reads back
    m_current = std::max(0, index - 1);
    return m_current;
}

int TDatapacket::DeleteCurrentRow() {
    return DeleteRow(m_current);
}

void TDatapacket::Clear() {
    m_fields.clear();
    m_rows.clear();
    m_current = 0;
}

StringList TDatapacket::FieldNames() const {
    StringList names;
    for (const auto& f : m_fields)
        names.push_back(f.attrname);
    return names;
}

Result<void> CheckReplaceable(const std::string& path) {
    if (!FileExists(path)) return Ok();
    auto text = ReadPacketFile(path);
    if (!text) return text.error();
    if (IsBlankText(*text)) return Ok();
    if (auto parsed = ParseDatapacket(*text); !parsed)
        return parsed.error().WithContext("The file " + path +
                                          " is not a table this program wrote, so it is not "
                                          "replaced: ");
    return Ok();
}

} // namespace vvp
