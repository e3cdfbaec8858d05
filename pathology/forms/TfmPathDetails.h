#pragma once

#include "fmPathologyDetails.h"

#include <QDialog>

#include <functional>
#include <map>

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vvp {
class Prompter;
}

namespace vvp::pathology {

// The pathology details dialog. Its tagged controls are made from the engine's control table; OK
// runs the session's OK loop and closes only when the laboratory and the practice are settled.
class TfmPathDetails final : public QDialog {
    Q_OBJECT
public:
    // prompter shows errors; laboratory dialogs are opened through the session.
    TfmPathDetails(PathDetailsSession& session, Prompter& prompter, QWidget* parent = nullptr);

    // ReferralDetails (write): every tagged control from the ticks.
    void ReferralDetails(const tReferralTicks& ticks);
    // Reading back: the ticks written, with every tagged control copied in.
    tReferralTicks ReadReferralDetails() const;
    void PatientName(const std::string& name);

    void EditLaboratory(const std::string& name);
    // The laboratory list and the practice caption from the file; select, when listed, is chosen.
    void RefreshLaboratoryList(const std::string& select = {});
    // The laboratory as shown in the list, in the file's own bytes.
    std::string Laboratory() const;

    QWidget* ControlOf(int tag) const;

private:
    void BuildControls();
    QWidget* MakeControl(const TaggedControl& control);
    void BillingClick(QAbstractButton* button);
    void ShowFundCode(bool shown);
    void btnOKClick();
    // Runs a step that may open laboratory dialogs; false when the program is ending.
    bool Guarded(const std::function<void()>& step);
    // Shows the error; false when the program is ending.
    bool Fail(const std::string& text);

    PathDetailsSession& m_session;
    Prompter& m_prompter;
    tReferralTicks m_ticks; // what no control carries (the notes) goes back as it came
    ControlValues m_written;
    std::map<int, QWidget*> m_controls;
    std::map<int, QButtonGroup*> m_itemGroups; // radio groups, by tag
    QButtonGroup* m_billing = nullptr;
    QGroupBox* m_billingGroup = nullptr;
    QLabel* m_billingLabel = nullptr;
    QLineEdit* m_billingNumber = nullptr;
    QLineEdit* m_fundCode = nullptr;
    QComboBox* m_labProvider = nullptr;
    QLabel* m_practiceLink = nullptr;
    std::string m_patientName;
};

} // namespace vvp::pathology
