#include "TRTFEditForm.h"

#include <QAction>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vvp {
namespace {

// Folder and file names are this machine's: its file name encoding, not a printout's.
QString FromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TRTFEditForm::TRTFEditForm(Prompter& prompter, Platform* platform, QWidget* parent)
    : QDialog(parent), m_library(prompter, platform) {
    setObjectName(QStringLiteral("RTFEditForm"));
    setWindowTitle(QStringLiteral("Edit Letter Heads"));
    auto* column = new QVBoxLayout(this);

    auto* menu = Named(new QMenuBar, "MainMenu1");
    QMenu* file = Named(menu->addMenu(QStringLiteral("&File")), "File1");
    m_open1 = Named(file->addAction(QStringLiteral("&Open")), "Open1");
    QAction* recreate = Named(file->addAction(QStringLiteral("Recreate &Default")), "RecreateDefault1");
    file->addSeparator();
    QAction* exit1 = Named(file->addAction(QStringLiteral("E&xit")), "Exit1");
    column->setMenuBar(menu);

    column->addWidget(Named(new QLabel(QStringLiteral("Store Letterheads in:")), "Label1"));
    auto* pathRow = new QHBoxLayout;
    m_pathEdit = Named(new QLineEdit, "LetterheadPathEdit");
    m_pathEdit->setMinimumWidth(m_pathEdit->fontMetrics().averageCharWidth() * 40);
    auto* browse = Named(new QToolButton, "PathBrowseBtn");
    browse->setText(QStringLiteral("..."));
    pathRow->addWidget(m_pathEdit, 1);
    pathRow->addWidget(browse);
    column->addLayout(pathRow);

    m_list = Named(new QListWidget, "RTFListBox");
    column->addWidget(m_list, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_openBtn = Named(new QPushButton(QStringLiteral("&Open")), "OpenBtn");
    auto* exitBtn = Named(new QPushButton(QStringLiteral("&Exit")), "ExitBtn");
    m_openBtn->setAutoDefault(false);
    exitBtn->setAutoDefault(false);
    buttons->addWidget(m_openBtn);
    buttons->addWidget(exitBtn);
    column->addLayout(buttons);

    connect(m_pathEdit, &QLineEdit::textChanged, this, [this] { LetterheadPathEditChange(); });
    connect(browse, &QToolButton::clicked, this,
            [this] { Guarded([this] { m_library.BrowseForFolder(); }); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_showing) return;
        m_library.Select(row);
        Show();
    });
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OpenBtnClick(); });
    connect(m_openBtn, &QPushButton::clicked, this, [this] { OpenBtnClick(); });
    connect(m_open1, &QAction::triggered, this, [this] { OpenBtnClick(); });
    connect(recreate, &QAction::triggered, this,
            [this] { Guarded([this] { m_library.RecreateDefault(); }); });
    connect(exitBtn, &QPushButton::clicked, this, &QDialog::close);
    connect(exit1, &QAction::triggered, this, &QDialog::close);
    Show();
}

void TRTFEditForm::SetFolderChanged(LetterheadLibrary::FolderChanged changed) {
    m_library.OnFolderChanged = std::move(changed);
}

void TRTFEditForm::ShowLibrary(const std::string& folder) {
    Guarded([this, &folder] { m_library.ShowLibrary(folder); });
}

void TRTFEditForm::Guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const PromptAbandoned&) {
        // The program is ending.
    }
    Show();
}

void TRTFEditForm::Show() {
    m_showing = true;
    const QString edit = FromPath(m_library.FolderText());
    if (m_pathEdit->text() != edit) m_pathEdit->setText(edit);
    // A folder that does not exist shows red.
    m_pathEdit->setStyleSheet(m_library.EditNamesFolder() ? QString()
                                                          : QStringLiteral("QLineEdit { background: red; }"));
    QStringList names;
    for (const auto& name : m_library.Letterheads())
        names.append(FromPath(name));
    QStringList shown;
    for (int i = 0; i < m_list->count(); ++i)
        shown.append(m_list->item(i)->text());
    if (shown != names) {
        m_list->clear();
        m_list->addItems(names);
    }
    m_list->setCurrentRow(m_library.SelectedIndex());
    m_openBtn->setEnabled(m_library.CanOpen());
    m_open1->setEnabled(m_library.CanOpen());
    m_showing = false;
}

void TRTFEditForm::LetterheadPathEditChange() {
    if (m_showing) return;
    m_library.EditFolder(ToPath(m_pathEdit->text()));
    Show();
}

void TRTFEditForm::OpenBtnClick() {
    Guarded([this] { (void)m_library.OpenSelected(); });
}

void TRTFEditForm::done(int result) {
    Guarded([this] { m_library.FormCloseQuery(); });
    QDialog::done(result);
}

} // namespace vvp
