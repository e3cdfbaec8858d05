#pragma once

#include "OrgEntityEditor.h"

#include <QDialog>

#include <functional>
#include <map>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace vvp {

// The organisation and entity editor (VNOrgEntityForm1): the practice's organisations on one
// page, its people on the other, each control under its component name and bound to its field
// by name. Questions and errors go through the prompter; OK saves and stays open when saving
// failed.
class TVNOrgEntityForm1 final : public QDialog {
    Q_OBJECT
public:
    explicit TVNOrgEntityForm1(Prompter& prompter, QWidget* parent = nullptr);
    ~TVNOrgEntityForm1() override;

    // Loads "Organisations.xml" and "Entities.xml" of the program folder and shows the dialog
    // (modal, without blocking the caller).
    void Open(const std::string& programFolder);
    // Loads the two tables without showing anything.
    void LoadData(const std::string& organisationsFile, const std::string& entitiesFile);
    const OrgEntityEditor& Editor() const { return m_editor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Table = OrgEntityEditor::Table;
    QWidget* BuildOrganisationPage();
    QWidget* BuildEntityPage();
    QGroupBox* BuildGroup(const char* name, const char* caption, Table table, const FieldControl* controls,
                          size_t count);
    // Runs a step of the user's and shows the outcome; a question abandoned because the program
    // ends closes the dialog.
    void Do(const std::function<void()>& step);
    void Render();
    void RenderControls(Table table, const FieldControl* controls, size_t count);
    void CopyOrgBtnClick();
    void StartIdEdit();
    void OkClick();

    OrgEntityEditor m_editor;
    std::map<std::string, QWidget*> m_controls; // data controls by component name
    QTabWidget* m_pages = nullptr;
    QComboBox* m_orgCombo = nullptr;
    QComboBox* m_fromOrgCombo = nullptr;
    QPushButton* m_copyOrgBtn = nullptr;
    QComboBox* m_entityCombo = nullptr;
    QLabel* m_newEntityLabel = nullptr;
    QLineEdit* m_newEntityEdit = nullptr;
    QPushButton* m_newEntityBtn = nullptr;
    QPushButton* m_deleteEntityBtn = nullptr;
    QPushButton* m_changeEntityIdBtn = nullptr;
    QPushButton* m_addChangeBtn = nullptr;
    QGroupBox* m_entityGroup = nullptr;
};

} // namespace vvp
