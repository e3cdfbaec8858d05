#pragma once

// The letterhead library: the folder of RTF letterhead templates, its listing, and the default
// template. The dialog TRTFEditForm ("Edit Letter Heads") shows this state and turns clicks into
// these calls.

#include "Platform.h"
#include "Prompter.h"
#include "Result.h"

#include <functional>
#include <string>
#include <vector>

namespace vvp {

inline constexpr const char* kDefaultLetterheadFile = "default.rtf";

// Names of the "*.rtf" files in the folder, in the order the file system gives them.
std::vector<std::string> ListLetterheads(const std::string& folder);

// Writes the default template to "default.rtf" in the folder, replacing it.
Result<void> WriteDefaultLetterhead(const std::string& folder);

class LetterheadLibrary {
public:
    using FolderChanged = std::function<void(const std::string& folder)>;

    // platform opens the chosen file for editing; may be null.
    LetterheadLibrary(Prompter& prompter, Platform* platform);

    // Show library: the folder into the edit, the list filled. The front end then shows the dialog.
    void ShowLibrary(const std::string& folder);

    // The folder edit (LetterheadPathEdit) and its colour.
    const std::string& FolderText() const { return m_edit; }
    void EditFolder(const std::string& text); // LetterheadPathEditChange
    bool EditNamesFolder() const;             // false: the edit shows red
    void BrowseForFolder();                   // PathBrowseBtnClick

    // The list (RTFListBox) and OpenBtn.
    const std::vector<std::string>& Letterheads() const { return m_items; }
    void Select(int index); // RTFListBoxClick; -1: nothing selected
    int SelectedIndex() const { return m_selected; }
    bool CanOpen() const { return m_selected >= 0; }
    // The full path of the selected file, handed to the platform to open (a failure is shown);
    // empty when nothing is selected.
    std::string OpenSelected(); // OpenBtnClick

    void RecreateDefault(); // RecreateDefault1Click

    // FormCloseQuery: an existing folder in the edit becomes the folder value and is announced.
    // Closing is never refused.
    void FormCloseQuery();
    const std::string& FolderValue() const { return m_folderValue; }
    FolderChanged OnFolderChanged;

    // Fill the list; shows "No letterheads found" for an empty folder.
    void FillList();

private:
    Prompter& m_prompter;
    Platform* m_platform;
    std::string m_edit;
    std::string m_folderValue;
    std::vector<std::string> m_items;
    int m_selected = -1;
};

} // namespace vvp
