#pragma once

// The laboratory file "ElectronicLabDetails.inf": one section per laboratory and one for the
// practice, each "[" + name + "]", an empty line, then name=value lines.

#include "Result.h"
#include "TextLines.h"

#include <string>
#include <vector>

namespace vvp::pathology {

inline constexpr const char* kLabFileName = "ElectronicLabDetails.inf";
inline constexpr const char* kPracticeSection = "PRACTICE";

struct tLaboratoryInfo {
    std::string ReceivingFacility;
    std::string LabName;
    std::string ReceivingApp;
    std::string EAddress;
    std::string PracticeName;
    bool YourRefIsOrder = true;

    bool IsPractice() const;
    // From a section body; a missing "YourRefisORDER" reads as yes.
    static tLaboratoryInfo FromSection(const std::string& body);
    // The section as written: header, empty line, the non-empty keys, "YourRefisORDER" always.
    std::string ToSection() const;
};

// The value of a "key=value" line of a section body. Keys are compared trimmed and without regard
// to case, as the platform the files come from reads them ("eaddress=" is "EAddress=").
std::string SectionValue(const StringList& body, const std::string& key);

// Body lines of the named section, each followed by CR LF; empty when there is no such header.
std::string GetSection(const StringList& lines, const std::string& name);
// The whole text without the named section (names trimmed, letter case ignored).
std::string RemoveSection(const StringList& lines, const std::string& name);
// Trimmed, lower-cased section names except "practice", each followed by CR LF.
std::string ListSections(const StringList& lines);

// The file in the program folder, as one details dialog sees it.
class LabDetailsFile {
public:
    explicit LabDetailsFile(std::string programFolder);

    std::string Path() const;
    void Load(); // an absent or unreadable file gives no lines
    const StringList& Lines() const { return m_lines; }
    std::string Section(const std::string& name) const { return GetSection(m_lines, name); }
    // The upper-cased laboratory names, in file order.
    std::vector<std::string> LaboratoryNames() const;

    // Replaces the section called oldName, and any other section of the record's name, by the
    // record (appended at the end) and saves the file. The file is re-read first, so edits made
    // meanwhile by another request are kept.
    Result<void> SaveLaboratory(const std::string& oldName, const tLaboratoryInfo& info);

private:
    std::string m_folder;
    StringList m_lines;
};

} // namespace vvp::pathology
