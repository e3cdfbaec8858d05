#include "TfmPathLabData.h"

#include "Prompter.h"
#include "QtText.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vvp::pathology {
namespace {

QLineEdit* LabelledEdit(QVBoxLayout* column, const char* name, QLabel*& label) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    label = new QLabel;
    label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    label->setBuddy(edit);
    column->addWidget(label);
    column->addWidget(edit);
    return edit;
}

} // namespace

TfmPathLabData::TfmPathLabData(Prompter& prompter, QWidget* parent) : QDialog(parent), m_prompter(prompter) {
    setObjectName(QStringLiteral("fmPathLabData"));
    // A window of the desktop of its own, on top, as the details dialog is.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    auto* column = new QVBoxLayout(this);

    m_labGroup = new QGroupBox(QStringLiteral("Laboratory Details"));
    m_labGroup->setObjectName(QStringLiteral("gbLaboratoryDetails"));
    auto* labColumn = new QVBoxLayout(m_labGroup);
    m_name = LabelledEdit(labColumn, "lbeLabName", m_nameLabel);
    QLabel* addressLabel = nullptr;
    m_address = LabelledEdit(labColumn, "lbeElectronicAddress", addressLabel);
    addressLabel->setText(QStringLiteral("Electronic Address"));
    column->addWidget(m_labGroup);

    auto* hl7 = new QGroupBox(QStringLiteral("HL7 Details"));
    hl7->setObjectName(QStringLiteral("gbHL7Details"));
    auto* hl7Column = new QVBoxLayout(hl7);
    m_app = LabelledEdit(hl7Column, "lbeHL7ReceivingApp", m_appLabel);
    m_facility = LabelledEdit(hl7Column, "lbeReceivingFacility", m_facilityLabel);
    m_yourRefIsOrder = new QCheckBox(QStringLiteral("\"YOUR REF\" is HL7 ORDER NUMBER"));
    m_yourRefIsOrder->setObjectName(QStringLiteral("cbYourRefisOrder"));
    hl7Column->addWidget(m_yourRefIsOrder);
    column->addWidget(hl7);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("btnOK"));
    m_cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TfmPathLabData::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TfmPathLabData::reject);
    column->addWidget(buttons);
    // Made default once inside the dialog, so the dialog falls back on it after another button
    // had the focus.
    ok->setDefault(true);

    // Leaving the name edit for another control of this dialog; Cancel needs no valid name.
    m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (old == m_name && now && now != m_cancel && isAncestorOf(now)) CheckLabName();
    });
    setMinimumWidth(360);
    Load(tLaboratoryInfo{});
}

TfmPathLabData::~TfmPathLabData() {
    disconnect(m_focusWatch);
}

void TfmPathLabData::Load(const tLaboratoryInfo& info) {
    const LabDialogView view = LoadLabDialog(info);
    m_practiceMode = view.practiceMode;
    setWindowTitle(FromEngineText(view.title));
    m_nameLabel->setText(FromEngineText(view.nameLabel));
    m_appLabel->setText(FromEngineText(view.appLabel));
    m_facilityLabel->setText(FromEngineText(view.facilityLabel));
    m_name->setText(FromEngineText(view.nameText));
    m_app->setText(FromEngineText(info.ReceivingApp));
    m_address->setText(FromEngineText(info.EAddress));
    m_facility->setText(FromEngineText(info.ReceivingFacility));
    m_yourRefIsOrder->setChecked(info.YourRefIsOrder);
    m_name->setFocus();
}

tLaboratoryInfo TfmPathLabData::Record() const {
    return AcceptLabDialog(m_practiceMode, ToEngineText(m_name->text()), ToEngineText(m_app->text()),
                           ToEngineText(m_address->text()), ToEngineText(m_facility->text()),
                           m_yourRefIsOrder->isChecked());
}

bool TfmPathLabData::CheckLabName() {
    if (m_practiceMode || !IsReservedLabName(ToEngineText(m_name->text()))) return true;
    if (m_checking) return false;
    m_checking = true;
    bool abandoned = false;
    try {
        m_prompter.Show("Vocanet Virtual Printer", kPracticeNotALab, Icon::Warning);
    } catch (const PromptAbandoned&) {
        abandoned = true;
    }
    m_checking = false;
    m_name->clear();
    m_name->setFocus();
    if (abandoned) done(QDialog::Rejected);
    return false;
}

void TfmPathLabData::accept() {
    // Enter in the name edit presses OK without leaving it.
    if (!CheckLabName()) return;
    QDialog::accept();
}

} // namespace vvp::pathology
