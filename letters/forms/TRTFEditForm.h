#pragma once

#include "RTFListForm.h"

#include <QDialog>

class QAction;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vvp {

// The letterhead library window ("Edit Letter Heads"): the folder, its RTF files, open one for
// editing, choose another folder, recreate the default template. The main window makes it once
// and keeps it.
class TRTFEditForm final : public QDialog {
    Q_OBJECT
public:
    // platform opens the chosen file; prompts go through prompter.
    TRTFEditForm(Prompter& prompter, Platform* platform, QWidget* parent = nullptr);

    // Show library (folder): the folder into the edit and the list filled; the caller shows it.
    void ShowLibrary(const std::string& folder);
    // Called with the folder on closing when the edit names an existing one.
    void SetFolderChanged(LetterheadLibrary::FolderChanged changed);
    LetterheadLibrary& Library() { return m_library; }

    void done(int result) override; // FormCloseQuery: closing is never refused

private:
    void Show(); // the library's state into the widgets
    void LetterheadPathEditChange();
    void OpenBtnClick();
    void Guarded(const std::function<void()>& step);

    LetterheadLibrary m_library;
    QLineEdit* m_pathEdit = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_openBtn = nullptr;
    QAction* m_open1 = nullptr;
    bool m_showing = false;
};

} // namespace vvp
