#pragma once

#include "fmPathologyDetails.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vvp {
class Prompter;
}

namespace vvp::pathology {

// The laboratory details dialog, in laboratory mode or (for the PRACTICE section) practice mode.
class TfmPathLabData final : public QDialog {
    Q_OBJECT
public:
    // prompter shows the PRACTICE rule's message.
    explicit TfmPathLabData(Prompter& prompter, QWidget* parent = nullptr);
    ~TfmPathLabData() override;

    void Load(const tLaboratoryInfo& info);
    bool PracticeMode() const { return m_practiceMode; }
    // The record as edited; meaningful after OK.
    tLaboratoryInfo Record() const;

    void accept() override;

private:
    // The rule for a laboratory's name; false (message shown, edit emptied, focus back) when the
    // name is the practice's.
    bool CheckLabName();

    Prompter& m_prompter;
    bool m_practiceMode = false;
    bool m_checking = false;
    QGroupBox* m_labGroup = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_address = nullptr;
    QLabel* m_appLabel = nullptr;
    QLineEdit* m_app = nullptr;
    QLabel* m_facilityLabel = nullptr;
    QLineEdit* m_facility = nullptr;
    QCheckBox* m_yourRefIsOrder = nullptr;
    QPushButton* m_cancel = nullptr;
    QMetaObject::Connection m_focusWatch;
};

} // namespace vvp::pathology
