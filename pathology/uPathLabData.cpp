#include "uPathLabData.h"

#include "FileUtil.h"
#include "QZStringManip.h"

#include <mutex>

namespace vvp::pathology {

namespace {

std::mutex g_fileMutex;

bool IsHeader(const std::string& trimmed) {
    return !trimmed.empty() && trimmed[0] == '[' && trimmed.find(']') != std::string::npos;
}

std::string HeaderName(const std::string& trimmed) {
    return Trim(StrBetween(trimmed, "[", "]"));
}

StringList ReadLines(const std::string& path) {
    if (!FileExists(path)) return {};
    auto text = ReadWholeFile(path);
    return text ? SplitLines(*text) : StringList{};
}

} // namespace

bool tLaboratoryInfo::IsPractice() const {
    return UpperCase(LabName) == kPracticeSection;
}

tLaboratoryInfo tLaboratoryInfo::FromSection(const std::string& body) {
    const StringList lines = SplitLines(body);
    tLaboratoryInfo info;
    info.LabName = SectionValue(lines, "LabName");
    info.ReceivingApp = SectionValue(lines, "ReceivingApp");
    info.EAddress = SectionValue(lines, "EAddress");
    info.ReceivingFacility = SectionValue(lines, "ReceivingFacility");
    info.PracticeName = SectionValue(lines, "PracticeName");
    info.YourRefIsOrder = SectionValue(lines, "YourRefisORDER") != "N";
    return info;
}

std::string tLaboratoryInfo::ToSection() const {
    std::string s = "[" + LabName + "]\r\n\r\n";
    auto add = [&s](const char* key, const std::string& value) {
        if (!value.empty()) s += std::string(key) + "=" + value + "\r\n";
    };
    add("LabName", LabName);
    add("ReceivingApp", ReceivingApp);
    add("EAddress", EAddress);
    add("ReceivingFacility", ReceivingFacility);
    add("PracticeName", PracticeName);
    s += std::string("YourRefisORDER=") + (YourRefIsOrder ? "Y" : "N") + "\r\n";
    return s;
}

std::string SectionValue(const StringList& body, const std::string& key) {
    for (const auto& line : body) {
        const auto eq = line.find('=');
        if (eq != std::string::npos && SameText(Trim(line.substr(0, eq)), key)) return line.substr(eq + 1);
    }
    return {};
}

std::string GetSection(const StringList& lines, const std::string& name) {
    // Header names are compared trimmed, as the list shows them and as RemoveSection finds them.
    const std::string wanted = Trim(name);
    auto matches = [&](const std::string& line) {
        const std::string trimmed = Trim(line);
        return SameText(trimmed, "[" + name + "]") ||
               (IsHeader(trimmed) && SameText(HeaderName(trimmed), wanted));
    };
    size_t i = 0;
    while (i < lines.size() && !matches(lines[i]))
        ++i;
    if (i == lines.size()) return {};
    std::string body;
    for (++i; i < lines.size() && !IsHeader(Trim(lines[i])); ++i)
        body += lines[i] + "\r\n";
    return body;
}

std::string RemoveSection(const StringList& lines, const std::string& name) {
    const std::string wanted = Trim(name);
    std::string text;
    bool skipping = false;
    for (const auto& line : lines) {
        const std::string trimmed = Trim(line);
        if (IsHeader(trimmed)) skipping = SameText(HeaderName(trimmed), wanted);
        if (!skipping) text += line + "\r\n";
    }
    return text;
}

std::string ListSections(const StringList& lines) {
    std::string list;
    for (const auto& line : lines) {
        const std::string trimmed = Trim(line);
        if (!IsHeader(trimmed)) continue;
        const std::string name = LowerCase(HeaderName(trimmed));
        if (name != "practice") list += name + "\r\n";
    }
    return list;
}

LabDetailsFile::LabDetailsFile(std::string programFolder)
    : m_folder(IncludeTrailingSeparator(programFolder)) {}

std::string LabDetailsFile::Path() const {
    return ResolveFileNameNoCase(m_folder, kLabFileName);
}

void LabDetailsFile::Load() {
    std::lock_guard lock(g_fileMutex);
    m_lines = ReadLines(Path());
}

std::vector<std::string> LabDetailsFile::LaboratoryNames() const {
    std::vector<std::string> names;
    for (const auto& name : SplitLines(ListSections(m_lines)))
        if (!name.empty()) names.push_back(UpperCase(name));
    return names;
}

Result<void> LabDetailsFile::SaveLaboratory(const std::string& oldName, const tLaboratoryInfo& info) {
    std::lock_guard lock(g_fileMutex);
    StringList current;
    if (FileExists(Path())) {
        auto existing = ReadWholeFile(Path());
        if (!existing) return existing.error().WithContext("Unable to read the laboratory details: ");
        current = SplitLines(*existing);
    }
    // A second section of the same name would never be found again: the first one wins.
    const StringList others = SplitLines(RemoveSection(current, oldName));
    const std::string text = RemoveSection(others, info.LabName) + "\r\n" + info.ToSection();
    const StringList lines = SplitLines(text);
    auto written = WriteFileAtomically(Path(), JoinLines(lines));
    if (!written) return written.error().WithContext("Unable to save the laboratory details: ");
    m_lines = lines;
    return Ok();
}

} // namespace vvp::pathology
