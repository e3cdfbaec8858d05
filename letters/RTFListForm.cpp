#include "RTFListForm.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "VNLetterForm.h"

namespace vvp {

namespace {

const char* const kBrowseTitle = "Select a path to monitor for Files to sign";

bool NamesFolder(const std::string& text) {
    return !Trim(text).empty() && DirectoryExists(Trim(text));
}

} // namespace

std::vector<std::string> ListLetterheads(const std::string& folder) {
    if (Trim(folder).empty()) return {};
    return ListFolder(IncludeTrailingSeparator(Trim(folder)), "*.rtf", false);
}

Result<void> WriteDefaultLetterhead(const std::string& folder) {
    const std::string dir = IncludeTrailingSeparator(Trim(folder));
    // The folder may hold the default under another letter case ("Default.rtf"); that file is
    // the one replaced, so the folder never ends up with two defaults.
    std::string name = kDefaultLetterheadFile;
    for (const auto& existing : ListFolder(dir, kDefaultLetterheadFile, false))
        if (SameText(existing, kDefaultLetterheadFile)) name = existing;
    return WriteFileAtomically(dir + name, DefaultLetterheadRtf());
}

LetterheadLibrary::LetterheadLibrary(Prompter& prompter, Platform* platform)
    : m_prompter(prompter), m_platform(platform) {}

void LetterheadLibrary::ShowLibrary(const std::string& folder) {
    m_edit = folder;
    m_folderValue = folder;
    FillList();
}

void LetterheadLibrary::EditFolder(const std::string& text) {
    m_edit = text;
}

bool LetterheadLibrary::EditNamesFolder() const {
    return NamesFolder(m_edit);
}

void LetterheadLibrary::BrowseForFolder() {
    const std::string chosen = m_prompter.BrowseFolder(kBrowseTitle);
    if (chosen.empty()) return;
    m_edit = IncludeTrailingSeparator(chosen);
    if (EditNamesFolder()) FillList();
}

void LetterheadLibrary::Select(int index) {
    m_selected = index >= 0 && index < static_cast<int>(m_items.size()) ? index : -1;
}

std::string LetterheadLibrary::OpenSelected() {
    if (m_selected < 0) return {};
    const std::string path =
        IncludeTrailingSeparator(Trim(m_edit)) + m_items[static_cast<size_t>(m_selected)];
    if (m_platform && !m_platform->OpenDocument(path))
        m_prompter.Show("Vocanet Virtual Printer",
                        "Unable to open " + path + "\r\n" + m_platform->LastError(), Icon::Error);
    return path;
}

void LetterheadLibrary::FillList() {
    m_items = ListLetterheads(m_edit);
    m_selected = -1;
    if (m_items.empty()) m_prompter.Show("Vocanet Virtual Printer", "No letterheads found");
}

void LetterheadLibrary::RecreateDefault() {
    const std::string folder = IncludeTrailingSeparator(Trim(m_edit));
    if (!EditNamesFolder()) {
        const Answer create = m_prompter.Message({"Create Default Letterhead Folder",
                                                  "The Letterhead Folder you have selected does not "
                                                  "exist.\r\n\r\nDo you want to create the folder \r\n\r\n" +
                                                      m_edit + "?",
                                                  Buttons::YesNoCancel, Icon::Stop});
        if (create == Answer::No) return;
        if (Trim(m_edit).empty() || !ForceDirectories(folder)) {
            m_prompter.Show("Vocanet Virtual Printer", "The folder could not be created.");
            return;
        }
    }
    bool exists = false;
    for (const auto& name : ListFolder(folder, kDefaultLetterheadFile, false))
        exists = exists || SameText(name, kDefaultLetterheadFile);
    if (exists) {
        const Answer overwrite = m_prompter.Message(
            {"Recreate Default Letterhead",
             "About to recreate the Default Letter.  This will overwrite theexisting one.\r\n\r\n"
             "Are you sure you want to recreate the Default Letterhead?",
             Buttons::YesNo, Icon::Stop});
        if (overwrite == Answer::No) return;
    }
    if (auto written = WriteDefaultLetterhead(folder); !written) {
        m_prompter.Show("Vocanet Virtual Printer", written.error().message, Icon::Error);
        return;
    }
    FillList();
}

void LetterheadLibrary::FormCloseQuery() {
    if (!EditNamesFolder()) return;
    m_folderValue = IncludeTrailingSeparator(Trim(m_edit));
    if (OnFolderChanged) OnFolderChanged(m_folderValue);
}

} // namespace vvp
