#include "Settings.h"

#include "FileUtil.h"
#include "TextLines.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace vvp {
namespace {

enum class FolderRule { None, Required, Optional }; // Optional: empty means "not used"

// A folder value must name a folder by itself: a relative one would follow whatever the current
// directory of the program happens to be, an empty one is the current directory.
bool AcceptableFolder(const std::string& text, FolderRule rule) {
    if (rule == FolderRule::None) return true;
    if (text.empty()) return rule == FolderRule::Optional;
    return text[0] == '/';
}

RegField StringField(const char* name, std::string VNPTRRegValues::*member,
                     FolderRule rule = FolderRule::None) {
    return {name,
            RegValue::Kind::String,
            false,
            [member](const VNPTRRegValues& v) { return RegValue::String(v.*member); },
            [member, rule](VNPTRRegValues& v, const RegValue& r) {
                if (r.kind != RegValue::Kind::String || !AcceptableFolder(r.text, rule)) return false;
                v.*member =
                    rule != FolderRule::None && !r.text.empty() ? IncludeTrailingSeparator(r.text) : r.text;
                return true;
            },
            rule != FolderRule::None};
}

RegField BoolField(const char* name, bool VNPTRRegValues::*member) {
    return {name, RegValue::Kind::Dword, true,
            [member](const VNPTRRegValues& v) { return RegValue::Dword(v.*member ? 1 : 0); },
            [member](VNPTRRegValues& v, const RegValue& r) {
                if (r.kind != RegValue::Kind::Dword) return false;
                v.*member = r.dword != 0;
                return true;
            }};
}

template <typename T>
RegField NumberField(const char* name, T VNPTRRegValues::*member, uint32_t min, uint32_t max) {
    return {name, RegValue::Kind::Dword, false,
            [member](const VNPTRRegValues& v) { return RegValue::Dword(static_cast<uint32_t>(v.*member)); },
            [member, min, max](VNPTRRegValues& v, const RegValue& r) {
                if (r.kind != RegValue::Kind::Dword || r.dword < min || r.dword > max) return false;
                v.*member = static_cast<T>(r.dword);
                return true;
            }};
}

} // namespace

VNPTRRegValues DefaultRegValues(const Folders& folders) {
    VNPTRRegValues v;
    v.SavePath = folders.program + "VirtualPrinter/";
    v.LetterheadPath = folders.program;
    v.PrintFolder = folders.program + "Printed/";
    return v;
}

const std::vector<RegField>& RegFields() {
    static const std::vector<RegField> fields = {
        NumberField("Port", &VNPTRRegValues::Port, 1, 65535),
        StringField("PortName", &VNPTRRegValues::PortName),
        StringField("Report Printer", &VNPTRRegValues::ReportPrinter),
        NumberField("Save Mode", &VNPTRRegValues::SaveMode, 0, 2),
        StringField("Save Path", &VNPTRRegValues::SavePath, FolderRule::Required),
        StringField("Entity", &VNPTRRegValues::Entity),
        BoolField("MsgRecipient", &VNPTRRegValues::MsgRecipient),
        StringField("VocanetServer", &VNPTRRegValues::VocanetServer),
        BoolField("HeSA Tokens", &VNPTRRegValues::HeSATokens),
        StringField("Monitor Path", &VNPTRRegValues::MonitorPath, FolderRule::Optional),
        BoolField("Monitor Signing Path", &VNPTRRegValues::MonitorSigning),
        StringField("Letterhead Path", &VNPTRRegValues::LetterheadPath, FolderRule::Required),
        StringField("Sign Only Text", &VNPTRRegValues::SignOnlyText),
        StringField("Field Widths", &VNPTRRegValues::FieldWidths),
        NumberField("Idle Timeout", &VNPTRRegValues::IdleTimeoutSeconds, 1, 86400 * 7),
        NumberField("Max Job MB", &VNPTRRegValues::MaxJobMegabytes, 1, 65535),
        NumberField("Address Exchange Timeout", &VNPTRRegValues::AddressExchangeSeconds, 1, 86400),
        StringField("Allowed Peers", &VNPTRRegValues::AllowedPeers),
        StringField("Listen Address", &VNPTRRegValues::ListenAddress),
        NumberField("Max Connections Per Peer", &VNPTRRegValues::MaxConnectionsPerPeer, 1, 1000000),
        StringField("Print Folder", &VNPTRRegValues::PrintFolder, FolderRule::Required),
    };
    return fields;
}

const std::vector<const char*>& SaveOrder() {
    // clang-format off
    static const std::vector<const char*> order = {
        "Port",          "PortName",        "Report Printer",       "Save Mode",   "Save Path",
        "Entity",        "MsgRecipient",    "VocanetServer",        "HeSA Tokens", "Monitor Signing Path",
        "Monitor Path",  "Letterhead Path", "Sign Only Text",       "Field Widths", "Idle Timeout",
        "Max Job MB",    "Address Exchange Timeout", "Allowed Peers", "Listen Address",
        "Max Connections Per Peer", "Print Folder"};
    // clang-format on
    return order;
}

const RegField* FindRegField(const std::string& name) {
    for (const auto& f : RegFields())
        if (AsciiLower(f.name) == AsciiLower(name)) return &f;
    return nullptr;
}

std::string DisplayValue(const RegField& field, const VNPTRRegValues& values) {
    RegValue v = field.get(values);
    if (v.kind == RegValue::Kind::Dword) return std::to_string(v.dword);
    return v.text;
}

std::optional<RegValue> ParseUserValue(const RegField& field, const std::string& text) {
    if (field.kind == RegValue::Kind::String) return RegValue::String(text);
    if (text.empty() || text.size() > 10) return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    if (n > 0xFFFFFFFFull || (field.isBool && n > 1)) return std::nullopt;
    return RegValue::Dword(static_cast<uint32_t>(n));
}

LoadOutcome LoadRegValues(RegistryStore& store, const Folders& folders) {
    LoadOutcome out;
    out.values = DefaultRegValues(folders);
    auto key = store.ReadKey(kRegistryKey);
    if (!key) {
        out.problems.push_back("Settings could not be read: " + key.error().message);
    } else if (key->has_value()) {
        out.keyExisted = true;
        for (const auto& field : RegFields()) {
            const RegValue* found = nullptr;
            for (const auto& [name, value] : **key)
                if (AsciiLower(name) == AsciiLower(field.name)) found = &value;
            if (!found || field.set(out.values, *found)) continue;
            // A limit on who may send must not open up because it was mistyped.
            if (AsciiLower(field.name) == "allowed peers") {
                out.values.AllowedPeersUnreadable = true;
                out.problems.push_back(
                    "Setting \"Allowed Peers\" cannot be read; no peer is allowed until it is "
                    "corrected");
                continue;
            }
            if (field.isFolder && found->kind == RegValue::Kind::String)
                out.problems.push_back(
                    std::string("Setting \"") + field.name + "\" " +
                    (found->text.empty() ? std::string("is empty")
                                         : "is not a full folder path (\"" + Printable(found->text) + "\")") +
                    "; default used: " + DisplayValue(field, out.values));
            else
                out.problems.push_back(std::string("Setting \"") + field.name +
                                       "\" has the wrong type; default used");
        }
    } else if (const std::string where = store.ExistingLocation(); !where.empty()) {
        out.problems.push_back("The " + where + " has no key [" + kRegistryKey +
                               "] (check its spelling); default settings used");
    }
    out.values.SavePath = IncludeTrailingSeparator(out.values.SavePath);
    if ((out.values.SaveMode == 1 || out.values.SaveMode == 2) && !DirectoryExists(out.values.SavePath)) {
        if (auto r = ForceDirectories(out.values.SavePath); !r) out.problems.push_back(r.error().message);
    }
    return out;
}

StringList DefaultInfoLines(const Folders& folders) {
    return {"cantor=" + folders.program + "cantor40.exe", "fastseal=" + folders.program + "dmqfastseal.exe",
            "ptrport=9105", "rtfletter=" + folders.program + "VNPTRDefault.rtf", "hesatokens=Y"};
}

std::optional<StringList> ReadInfoFile(const Folders& folders) {
    auto text = ReadWholeFile(ResolveFileNameNoCase(folders.program, "kxptr.inf"));
    if (!text) return std::nullopt;
    return SplitLines(*text);
}

Result<void> SaveRegValues(RegistryStore& store, const VNPTRRegValues& values, const StringList& infoLines,
                           const Folders& folders) {
    VNPTRRegValues v = values;
    v.SavePath = IncludeTrailingSeparator(v.SavePath);
    RegValues out;
    for (const char* name : SaveOrder()) {
        const RegField* field = FindRegField(name);
        out.emplace_back(field->name, field->get(v));
    }
    if (auto r = store.WriteValues(kRegistryKey, out); !r)
        return r.error().WithContext("Settings not saved: ");
    if (auto r = WriteFileAtomically(folders.program + "VNptr.inf", JoinLines(infoLines)); !r)
        return r.error().WithContext("Information file not written: ");
    return Ok();
}

namespace {

std::mutex g_addressBookMutex;

std::optional<timespec> ModifiedAt(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return st.st_mtim;
}

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

} // namespace

void RefreshAddressBookFile(const Folders& folders) {
    if (folders.temp == folders.program) return;
    std::lock_guard lock(g_addressBookMutex);
    const std::string source = ResolveFileNameNoCase(folders.program, kAddressBookFile);
    const std::string target = ResolveFileNameNoCase(folders.temp, kAddressBookFile);
    const auto from = ModifiedAt(source);
    if (!from) return;
    const auto to = ModifiedAt(target);
    if (!to || Later(*from, *to)) (void)CopyFileReplacing(source, target);
}

void SeedAddressBookFiles(const Folders& folders) {
    if (folders.temp == folders.program) return;
    RefreshAddressBookFile(folders);
    const std::string custom = ResolveFileNameNoCase(folders.program, kCustomAddressBookFile);
    if (FileExists(custom))
        (void)CopyFileReplacing(custom, ResolveFileNameNoCase(folders.temp, kCustomAddressBookFile));
}

} // namespace vvp
