#include "TVNOrgEntityForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vvp {
namespace {

QString ScreenText(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* Button(const char* name, const char* caption) {
    auto* button = Named(new QPushButton(QString::fromLatin1(caption)), name);
    // Enter belongs to the box being typed in (it finishes an identifier), never to a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void SetItems(QComboBox* combo, const std::vector<std::string>& items) {
    QStringList texts;
    for (const auto& item : items)
        texts.append(ScreenText(item));
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i)
        shown.append(combo->itemText(i));
    if (shown == texts) return;
    combo->clear();
    combo->addItems(texts);
}

void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) edit->setText(text);
}

// A focus change the user made inside the dialog, as opposed to a pop-up list opening or another
// window coming to the front.
bool LeftByUser(QEvent* event) {
    if (event->type() != QEvent::FocusOut) return false;
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

} // namespace

TVNOrgEntityForm1::TVNOrgEntityForm1(Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_editor(prompter) {
    setObjectName(QStringLiteral("VNOrgEntityForm1"));
    setWindowTitle(QString::fromLatin1(OrgEntityEditor::kCaption));
    setMinimumWidth(480);

    auto* column = new QVBoxLayout(this);
    m_pages = Named(new QTabWidget, "PageControl1");
    m_pages->addTab(BuildOrganisationPage(), QStringLiteral("Organisation Details"));
    m_pages->addTab(BuildEntityPage(), QStringLiteral("People/Entities"));
    column->addWidget(m_pages, 1);
    connect(m_pages, &QTabWidget::currentChanged, this, [this] { Render(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* ok = Button("OKBtn", "OK");
    QPushButton* cancel = Button("CancelBtn", "Cancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { Do([this] { OkClick(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Render();
}

TVNOrgEntityForm1::~TVNOrgEntityForm1() = default;

QWidget* TVNOrgEntityForm1::BuildOrganisationPage() {
    auto* page = Named(new QWidget, "OrganisationsTab");
    auto* column = new QVBoxLayout(page);
    auto* top = Named(new QWidget, "TopOrgPanel");
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(0, 0, 0, 0);
    m_orgCombo = Named(new QComboBox, "OrgCombo");
    m_fromOrgCombo = Named(new QComboBox, "FromOrgCombo");
    m_fromOrgCombo->setToolTip(QStringLiteral("The organisation to copy from"));
    m_fromOrgCombo->hide();
    m_fromOrgCombo->installEventFilter(this);
    m_copyOrgBtn = Button("CopyOrgBtn", "Copy &From...");
    row->addWidget(m_orgCombo, 1);
    row->addWidget(m_fromOrgCombo, 1);
    row->addWidget(m_copyOrgBtn);
    column->addWidget(top);
    column->addWidget(BuildGroup("OrganisationGroup", "Organisation", Table::Organisations,
                                 kOrganisationControls.data(), kOrganisationControls.size()));
    column->addStretch(1);

    connect(m_orgCombo, &QComboBox::activated, this,
            [this](int index) { Do([this, index] { m_editor.SelectOrganisation(index); }); });
    connect(m_copyOrgBtn, &QPushButton::clicked, this, [this] { Do([this] { CopyOrgBtnClick(); }); });
    return page;
}

QWidget* TVNOrgEntityForm1::BuildEntityPage() {
    auto* page = Named(new QWidget, "EntitiesTab");
    auto* column = new QVBoxLayout(page);
    auto* top = Named(new QWidget, "EntityTopPanel");
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(0, 0, 0, 0);
    m_entityCombo = Named(new QComboBox, "EntityCombo");
    m_newEntityLabel = Named(new QLabel(QStringLiteral("Prov Number/ID")), "NewEntityLabel");
    m_newEntityEdit = Named(new QLineEdit, "NewEntityEdit");
    m_newEntityLabel->setBuddy(m_newEntityEdit);
    m_newEntityLabel->hide();
    m_newEntityEdit->hide();
    m_newEntityEdit->installEventFilter(this);
    m_newEntityBtn = Button("NewEntityBtn", "&New");
    m_deleteEntityBtn = Button("DeleteEntityBtn", "&Delete");
    m_changeEntityIdBtn = Button("ChangeEntityIDBtn", "Change &ID");
    m_addChangeBtn = Button("AddChangeBtn", "&Add");
    m_addChangeBtn->hide();
    row->addWidget(m_entityCombo, 1);
    row->addWidget(m_newEntityLabel);
    row->addWidget(m_newEntityEdit, 1);
    for (QPushButton* b : {m_newEntityBtn, m_deleteEntityBtn, m_changeEntityIdBtn, m_addChangeBtn})
        row->addWidget(b);
    column->addWidget(top);
    m_entityGroup = BuildGroup("EntityGroup", "Entities", Table::Entities, kEntityControls.data(),
                               kEntityControls.size());
    column->addWidget(m_entityGroup);
    column->addStretch(1);

    connect(m_entityCombo, &QComboBox::activated, this,
            [this](int index) { Do([this, index] { m_editor.SelectEntity(index); }); });
    connect(m_newEntityEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_editor.SetIdText(text.toStdString()); });
    connect(m_newEntityEdit, &QLineEdit::returnPressed, this,
            [this] { Do([this] { m_editor.FinishIdEdit(); }); });
    connect(m_newEntityBtn, &QPushButton::clicked, this, [this] {
        Do([this] {
            m_editor.NewEntity();
            StartIdEdit();
        });
    });
    connect(m_changeEntityIdBtn, &QPushButton::clicked, this, [this] {
        Do([this] {
            m_editor.ChangeEntityId();
            StartIdEdit();
        });
    });
    connect(m_addChangeBtn, &QPushButton::clicked, this, [this] {
        Do([this] {
            m_editor.AddChangeClicked(); // finishes the identifier being edited
            StartIdEdit();
        });
    });
    connect(m_deleteEntityBtn, &QPushButton::clicked, this,
            [this] { Do([this] { m_editor.DeleteEntity(); }); });
    return page;
}

QGroupBox* TVNOrgEntityForm1::BuildGroup(const char* name, const char* caption, Table table,
                                         const FieldControl* controls, size_t count) {
    auto* group = Named(new QGroupBox(QString::fromLatin1(caption)), name);
    auto* form = new QFormLayout(group);
    for (size_t i = 0; i < count; ++i) {
        const FieldControl& c = controls[i];
        const std::string field = c.field;
        const QString label = QString::fromLatin1(c.label);
        QWidget* widget = nullptr;
        switch (c.kind) {
        case ControlKind::Edit: {
            auto* edit = new QLineEdit;
            connect(edit, &QLineEdit::textEdited, this, [this, table, field](const QString& text) {
                m_editor.SetValue(table, field, text.toStdString());
            });
            widget = edit;
            break;
        }
        case ControlKind::CheckBox: {
            auto* check = new QCheckBox(label);
            connect(check, &QCheckBox::clicked, this, [this, table](bool checked) {
                Do([this, table, checked] { m_editor.SetPublished(table, checked); });
            });
            widget = check;
            break;
        }
        case ControlKind::FixedList:
        case ControlKind::EditableList: {
            auto* combo = new QComboBox;
            if (c.kind == ControlKind::EditableList) {
                combo->setEditable(true);
                combo->setInsertPolicy(QComboBox::NoInsert);
                const std::string control = c.control;
                if (control == "ComboBox1")
                    for (const char* choice : kSpecialityChoices)
                        combo->addItem(QString::fromLatin1(choice));
                else if (control == "Ent_Title_Combo")
                    for (const char* choice : kTitleChoices)
                        combo->addItem(QString::fromLatin1(choice));
                connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                        [this, table, field](const QString& text) {
                            m_editor.SetValue(table, field, text.toStdString());
                        });
            }
            connect(combo, &QComboBox::activated, this, [this, combo, table, field](int index) {
                Do([&] { m_editor.SetValue(table, field, combo->itemText(index).toStdString()); });
            });
            widget = combo;
            break;
        }
        }
        widget->setObjectName(QString::fromLatin1(c.control));
        m_controls[c.control] = widget;
        if (c.kind == ControlKind::CheckBox) {
            form->addRow(widget);
        } else {
            auto* text = new QLabel(label);
            text->setObjectName(QString::fromLatin1(c.control) + QStringLiteral("Label"));
            text->setBuddy(widget);
            form->addRow(text, widget);
        }
    }
    return group;
}

void TVNOrgEntityForm1::Open(const std::string& programFolder) {
    LoadData(OrgEntityEditor::OrganisationsPath(programFolder), OrgEntityEditor::EntitiesPath(programFolder));
    m_pages->setCurrentIndex(0);
    open();
}

void TVNOrgEntityForm1::LoadData(const std::string& organisationsFile, const std::string& entitiesFile) {
    m_editor.LoadData(organisationsFile, entitiesFile);
    Render();
}

bool TVNOrgEntityForm1::eventFilter(QObject* watched, QEvent* event) {
    // NewEntityEditExit and FromOrgComboExit, except when the focus went to the button that
    // finishes the same step: its click does that.
    if (watched == m_newEntityEdit && m_editor.EditingId() && LeftByUser(event) &&
        QApplication::focusWidget() != m_addChangeBtn)
        Do([this] { m_editor.FinishIdEdit(); });
    else if (watched == m_fromOrgCombo && m_editor.Copying() && LeftByUser(event) &&
             QApplication::focusWidget() != m_copyOrgBtn)
        Do([this] { m_editor.CancelCopy(); });
    return QDialog::eventFilter(watched, event);
}

void TVNOrgEntityForm1::Do(const std::function<void()>& step) {
    try {
        step();
    } catch (const PromptAbandoned&) {
        reject(); // the program is ending
        return;
    } catch (const std::exception& e) {
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(e.what()));
    }
    Render();
}

void TVNOrgEntityForm1::CopyOrgBtnClick() {
    const bool starting = !m_editor.Copying();
    m_editor.CopyButtonClicked(m_fromOrgCombo->currentIndex());
    Render();
    if (starting && m_editor.Copying()) {
        m_fromOrgCombo->setCurrentIndex(0);
        m_fromOrgCombo->setFocus(Qt::OtherFocusReason);
    }
}

void TVNOrgEntityForm1::StartIdEdit() {
    Render();
    if (!m_editor.EditingId()) return;
    m_newEntityEdit->setFocus(Qt::OtherFocusReason);
    m_newEntityEdit->selectAll();
}

void TVNOrgEntityForm1::OkClick() {
    m_editor.FinishIdEdit();
    m_editor.CancelCopy();
    Render();
    if (m_editor.Ok()) accept();
}

void TVNOrgEntityForm1::RenderControls(Table table, const FieldControl* controls, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const FieldControl& c = controls[i];
        QWidget* widget = m_controls[c.control];
        const QString value = ScreenText(m_editor.Value(table, c.field));
        switch (c.kind) {
        case ControlKind::Edit:
            SetText(static_cast<QLineEdit*>(widget), value);
            break;
        case ControlKind::CheckBox:
            static_cast<QCheckBox*>(widget)->setChecked(m_editor.Published(table));
            break;
        case ControlKind::FixedList: {
            auto* combo = static_cast<QComboBox*>(widget);
            SetItems(combo, m_editor.OrganisationListItems());
            combo->setCurrentIndex(m_editor.OrganisationListIndex());
            break;
        }
        case ControlKind::EditableList:
            SetText(static_cast<QComboBox*>(widget)->lineEdit(), value);
            break;
        }
    }
}

void TVNOrgEntityForm1::Render() {
    const bool copying = m_editor.Copying();
    SetItems(m_orgCombo, m_editor.OrganisationItems());
    m_orgCombo->setCurrentIndex(m_editor.OrganisationIndex());
    SetItems(m_fromOrgCombo, m_editor.CopySourceItems());
    m_orgCombo->setVisible(!copying);
    m_fromOrgCombo->setVisible(copying);
    m_copyOrgBtn->setText(QString::fromLatin1(m_editor.CopyButtonCaption()));
    m_copyOrgBtn->setEnabled(m_editor.CopyEnabled());
    m_pages->widget(0)->setEnabled(m_editor.Loaded(Table::Organisations));
    RenderControls(Table::Organisations, kOrganisationControls.data(), kOrganisationControls.size());

    const bool editingId = m_editor.EditingId();
    SetItems(m_entityCombo, m_editor.EntityItems());
    m_entityCombo->setCurrentIndex(m_editor.EntityIndex());
    m_entityCombo->setVisible(!editingId);
    m_newEntityLabel->setVisible(editingId);
    m_newEntityEdit->setVisible(editingId);
    if (editingId) SetText(m_newEntityEdit, ScreenText(m_editor.IdText()));
    for (QPushButton* b : {m_newEntityBtn, m_deleteEntityBtn, m_changeEntityIdBtn})
        b->setVisible(!editingId);
    m_addChangeBtn->setVisible(editingId);
    m_addChangeBtn->setText(QString::fromLatin1(m_editor.AddChangeCaption()));
    m_entityGroup->setEnabled(!editingId);
    m_pages->widget(1)->setEnabled(m_editor.Loaded(Table::Entities));
    RenderControls(Table::Entities, kEntityControls.data(), kEntityControls.size());
}

} // namespace vvp
