#include "TfmPathDetails.h"

#include "Prompter.h"
#include "QtText.h"
#include "QZStringManip.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace vvp::pathology {
namespace {

enum class Group { Details, Cytology, Priority, Billing, Other };

struct Place {
    int tag;
    Group group;
    int row, column, rowSpan = 1, columnSpan = 1;
};

// Where each tagged control sits, in the order Tab visits them: what every request needs first
// (priority and billing), then the clinical details. The billing number and fund code edits are
// placed apart.
const Place kPlaces[] = {
    {17, Group::Priority, 0, 0, 1, 3}, {18, Group::Priority, 1, 0}, {19, Group::Priority, 1, 1},
    {20, Group::Priority, 1, 2},       {14, Group::Billing, 0, 0},  {15, Group::Billing, 1, 0},
    {16, Group::Billing, 2, 0},        {24, Group::Billing, 3, 0},  {25, Group::Billing, 0, 1},
    {26, Group::Billing, 1, 1},        {27, Group::Billing, 2, 1},  {28, Group::Billing, 3, 1},
    {29, Group::Other, 0, 0},          {22, Group::Other, 1, 0},    {23, Group::Other, 2, 0},
    {1, Group::Details, 0, 0},         {2, Group::Details, 0, 1},   {3, Group::Details, 1, 0},
    {4, Group::Details, 1, 1},         {5, Group::Details, 2, 0},   {6, Group::Details, 2, 1},
    {7, Group::Cytology, 0, 0, 5, 1},  {8, Group::Cytology, 0, 1},  {9, Group::Cytology, 1, 1},
    {10, Group::Cytology, 2, 1},       {11, Group::Cytology, 3, 1}, {12, Group::Cytology, 4, 1},
    {13, Group::Cytology, 5, 0, 1, 2},
};

QString Latin(const char* text) {
    return QString::fromLatin1(text);
}

// The engine's own bytes when the text was not changed: a printout's Windows-1252 stays so.
std::string EngineTextOf(const QString& shown, const std::string& original) {
    return shown == FromEngineText(original) ? original : ToEngineText(shown);
}

void CheckNone(QButtonGroup* group) {
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons())
        b->setChecked(false);
    group->setExclusive(true);
}

void CheckId(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id))
        b->setChecked(true);
    else
        CheckNone(group);
}

QWidget* Labelled(const QString& caption, QWidget* edit, QLabel** labelOut = nullptr) {
    auto* box = new QWidget;
    box->setObjectName(edit->objectName() + QStringLiteral("Box"));
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* label = new QLabel(caption);
    label->setObjectName(edit->objectName() + QStringLiteral("Label"));
    label->setBuddy(edit);
    column->addWidget(label);
    column->addWidget(edit);
    if (labelOut) *labelOut = label;
    return box;
}

} // namespace

TfmPathDetails::TfmPathDetails(PathDetailsSession& session, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_session(session), m_prompter(prompter) {
    setObjectName(QStringLiteral("fmPathDetails"));
    setWindowTitle(Latin(kPathDetailsTitle));
    // A window of the desktop of its own (on the task bar), on top: the main window is usually
    // in the tray when a request arrives.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    BuildControls();
    ReferralDetails(tReferralTicks{});
    RefreshLaboratoryList();
    m_labProvider->setFocus();
}

QWidget* TfmPathDetails::MakeControl(const TaggedControl& c) {
    const QString name = Latin(c.name);
    const QString caption = Latin(c.caption);
    QWidget* widget = nullptr;
    switch (c.kind) {
    case ControlKind::CheckBox:
        widget = new QCheckBox(caption);
        break;
    case ControlKind::RadioButton: {
        auto* button = new QRadioButton(caption);
        m_billing->addButton(button, c.billingValue);
        widget = button;
        break;
    }
    case ControlKind::RadioGroup: {
        auto* box = new QGroupBox(caption);
        auto* column = new QVBoxLayout(box);
        auto* group = new QButtonGroup(box);
        int index = 0;
        for (const char* item : c.items) {
            auto* button = new QRadioButton(Latin(item));
            button->setObjectName(name + QLatin1Char('_') + QString::number(index));
            group->addButton(button, index++);
            column->addWidget(button);
        }
        m_itemGroups[c.tag] = group;
        widget = box;
        break;
    }
    case ControlKind::Edit:
    case ControlKind::LabelledEdit:
        widget = new QLineEdit;
        break;
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox;
        for (const char* item : c.items)
            combo->addItem(Latin(item));
        widget = combo;
        break;
    }
    }
    widget->setObjectName(name);
    widget->setProperty("tag", c.tag);
    m_controls[c.tag] = widget;
    return widget;
}

void TfmPathDetails::BuildControls() {
    m_billing = new QButtonGroup(this);
    connect(m_billing, &QButtonGroup::buttonClicked, this, &TfmPathDetails::BillingClick);

    auto* column = new QVBoxLayout(this);

    auto* labRow = new QHBoxLayout;
    m_labProvider = new QComboBox;
    m_labProvider->setObjectName(QStringLiteral("cbxLabProvider"));
    m_labProvider->setMinimumContentsLength(24);
    auto* labLabel = new QLabel(QStringLiteral("Pathology Provider"));
    labLabel->setObjectName(QStringLiteral("lbLabProvider"));
    labLabel->setBuddy(m_labProvider);
    auto* labDetails = new QToolButton;
    labDetails->setText(QStringLiteral("..."));
    labDetails->setObjectName(QStringLiteral("btnLabDetails"));
    labRow->addWidget(labLabel);
    labRow->addWidget(m_labProvider, 1);
    labRow->addWidget(labDetails);
    column->addLayout(labRow);
    m_practiceLink = new QLabel;
    m_practiceLink->setObjectName(QStringLiteral("lbPracticeDetails"));
    m_practiceLink->setTextFormat(Qt::RichText);
    m_practiceLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    column->addWidget(m_practiceLink);
    connect(labDetails, &QToolButton::clicked, this,
            [this] { Guarded([this] { EditLaboratory(Trim(Laboratory())); }); });
    connect(m_practiceLink, &QLabel::linkActivated, this,
            [this] { Guarded([this] { EditLaboratory(kPracticeSection); }); });

    std::map<Group, QGridLayout*> grids;
    auto box = [&grids](Group group, const char* name, const char* title) {
        auto* gb = new QGroupBox(Latin(title));
        gb->setObjectName(Latin(name));
        grids[group] = new QGridLayout(gb);
        return gb;
    };
    QGroupBox* details = box(Group::Details, "gbPathologyDetails", "Pathology Details");
    QGroupBox* cytology = box(Group::Cytology, "gbCervicalCytology", "Cervical Cytology");
    QGroupBox* priority = box(Group::Priority, "gbPriority", "Priority");
    m_billingGroup = box(Group::Billing, "gpBilling", "Billing");
    QGroupBox* other = box(Group::Other, "gbOtherDetails", "Other Details");

    for (const Place& place : kPlaces) {
        const TaggedControl* c = FindControl(place.tag);
        QWidget* widget = MakeControl(*c);
        if (c->kind == ControlKind::LabelledEdit || c->kind == ControlKind::ComboBox)
            widget = Labelled(Latin(c->caption), widget);
        grids[place.group]->addWidget(widget, place.row, place.column, place.rowSpan, place.columnSpan);
        if (place.tag == 28) {
            // The billing number, with the fund code edit at its left for "Health Fund or Other ".
            m_fundCode = static_cast<QLineEdit*>(MakeControl(*FindControl(30)));
            m_billingNumber = static_cast<QLineEdit*>(MakeControl(*FindControl(21)));
        }
    }

    m_billingLabel = new QLabel(Latin(kBillingNumberLabel));
    m_billingLabel->setObjectName(QStringLiteral("lbRelevantBillingNumber"));
    // With a buddy, "&&" shows as one ampersand.
    m_billingLabel->setBuddy(m_billingNumber);
    auto* numbers = new QHBoxLayout;
    numbers->setSpacing(8);
    numbers->addWidget(m_fundCode, 1);
    numbers->addWidget(m_billingNumber, 2);
    m_fundCode->hide();
    QGridLayout* billing = grids[Group::Billing];
    billing->addWidget(m_billingLabel, 4, 0, 1, 2);
    billing->addLayout(numbers, 5, 0, 1, 2);

    auto* sides = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(priority);
    left->addWidget(m_billingGroup);
    left->addWidget(other);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(details);
    right->addWidget(cytology);
    right->addStretch(1);
    sides->addLayout(left, 1);
    sides->addLayout(right, 1);
    column->addLayout(sides);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("Cancel"));
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, [this] { Guarded([this] { btnOKClick(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    column->addWidget(buttons);
    // Made default once inside the dialog, so the dialog falls back on it after another button
    // had the focus.
    ok->setDefault(true);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TfmPathDetails::ControlOf(int tag) const {
    const auto it = m_controls.find(tag);
    return it == m_controls.end() ? nullptr : it->second;
}

void TfmPathDetails::ReferralDetails(const tReferralTicks& ticks) {
    m_ticks = ticks;
    m_written = ReferralDetailsToControls(ticks);
    for (const TaggedControl& c : PathDetailsControls()) {
        const ControlValue& v = m_written[c.tag];
        QWidget* w = m_controls.at(c.tag);
        switch (c.kind) {
        case ControlKind::CheckBox:
            static_cast<QCheckBox*>(w)->setChecked(v.checked);
            break;
        case ControlKind::RadioButton:
            break; // the billing group at once, below
        case ControlKind::RadioGroup:
            CheckId(m_itemGroups.at(c.tag), v.itemIndex);
            break;
        case ControlKind::Edit:
        case ControlKind::LabelledEdit:
            static_cast<QLineEdit*>(w)->setText(FromEngineText(v.text));
            break;
        case ControlKind::ComboBox: {
            // An empty or unknown location keeps the first item ("OutPatient").
            auto* combo = static_cast<QComboBox*>(w);
            const int index = combo->findText(FromEngineText(v.text), Qt::MatchFixedString);
            combo->setCurrentIndex(index >= 0 ? index : 0);
            break;
        }
        }
    }
    CheckId(m_billing, ticks.Billing);
    ShowFundCode(ticks.Billing == 7);
}

tReferralTicks TfmPathDetails::ReadReferralDetails() const {
    ControlValues values;
    for (const TaggedControl& c : PathDetailsControls()) {
        ControlValue v;
        const QWidget* w = m_controls.at(c.tag);
        const std::string& written = m_written.count(c.tag) ? m_written.at(c.tag).text : std::string();
        switch (c.kind) {
        case ControlKind::CheckBox:
        case ControlKind::RadioButton:
            v.checked = static_cast<const QAbstractButton*>(w)->isChecked();
            break;
        case ControlKind::RadioGroup:
            v.itemIndex = m_itemGroups.at(c.tag)->checkedId();
            break;
        case ControlKind::Edit:
        case ControlKind::LabelledEdit:
            v.text = EngineTextOf(static_cast<const QLineEdit*>(w)->text(), written);
            break;
        case ControlKind::ComboBox:
            v.text = EngineTextOf(static_cast<const QComboBox*>(w)->currentText(), written);
            break;
        }
        values[c.tag] = v;
    }
    tReferralTicks ticks = m_ticks;
    ControlsToReferralDetails(values, ticks);
    return ticks;
}

void TfmPathDetails::PatientName(const std::string& name) {
    m_patientName = name;
    m_billingGroup->setTitle(FromEngineText(BillingCaption(name)));
}

void TfmPathDetails::BillingClick(QAbstractButton* button) {
    ShowFundCode(button == m_controls.at(28) && button->isChecked());
}

void TfmPathDetails::ShowFundCode(bool shown) {
    m_fundCode->setVisible(shown);
    m_billingLabel->setText(Latin(shown ? kFundCodeLabel : kBillingNumberLabel));
}

std::string TfmPathDetails::Laboratory() const {
    return m_labProvider->currentData().toByteArray().toStdString();
}

void TfmPathDetails::RefreshLaboratoryList(const std::string& select) {
    const std::string previous = Laboratory();
    const auto items = m_session.LaboratoryItems();
    std::string chosen = m_session.SelectAfterRefresh(previous);
    for (const auto& item : items)
        if (!select.empty() && item == UpperCase(select)) chosen = item;
    m_labProvider->clear();
    for (const auto& item : items) {
        m_labProvider->addItem(FromEngineText(item), QByteArray::fromStdString(item));
        if (item == chosen) m_labProvider->setCurrentIndex(m_labProvider->count() - 1);
    }
    const QString caption = FromEngineText(m_session.PracticeCaption()).toHtmlEscaped();
    m_practiceLink->setText(QStringLiteral("<a href=\"practice\">") + caption + QStringLiteral("</a>"));
    m_practiceLink->setToolTip(FromEngineText(m_session.PracticeCaption()));
}

void TfmPathDetails::EditLaboratory(const std::string& name) {
    auto saved = m_session.EditLaboratory(name);
    if (!saved) {
        Fail(saved.error().message);
        return;
    }
    if (*saved) RefreshLaboratoryList(IsReservedLabName(**saved) ? std::string() : **saved);
}

void TfmPathDetails::btnOKClick() {
    auto outcome = m_session.ConfirmOk(Laboratory());
    RefreshLaboratoryList(m_session.LastSavedLaboratory());
    if (!outcome) {
        Fail(outcome.error().message);
        return;
    }
    if (*outcome == PathDetailsSession::OkOutcome::Confirmed) accept();
}

bool TfmPathDetails::Guarded(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (const PromptAbandoned&) {
        // The program is ending: the dialog ends without an answer.
    } catch (const std::exception& e) {
        if (Fail(e.what())) return true;
    }
    done(QDialog::Rejected);
    return false;
}

bool TfmPathDetails::Fail(const std::string& text) {
    try {
        m_prompter.Message({kPathDetailsTitle, text, Buttons::Ok, Icon::Error});
        return true;
    } catch (const PromptAbandoned&) {
        return false;
    }
}

} // namespace vvp::pathology
