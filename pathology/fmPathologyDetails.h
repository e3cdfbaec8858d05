#pragma once

// Engine side of the pathology details dialog (TfmPathDetails) and the laboratory dialog
// (TfmPathLabData): the tagged controls and their copying to and from tReferralTicks as plain data,
// the laboratory list, laboratory editing and the OK loop. The windows themselves are front-end
// code behind PathologyDialogs.

#include "Result.h"
#include "txttopitdefUnit.h"
#include "uPathLabData.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vvp::pathology {

inline constexpr const char* kPathDetailsTitle = "Pathology Details";
inline constexpr const char* kNoPracticeCaption = "WARNING NO PRACTICE DETAILS SET CLICK HERE";
inline constexpr const char* kBillingNumberLabel = "Relevant Billing Number";
inline constexpr const char* kFundCodeLabel = "Health FUND code && Member #";
inline constexpr const char* kPracticeNotALab = "PRACTICE cannot be used as a Laboratory Name";

enum class ControlKind { CheckBox, RadioButton, RadioGroup, Edit, LabelledEdit, ComboBox };

// A control of the details dialog that carries a tReferralTicks field, identified by its tag.
struct TaggedControl {
    int tag;
    const char* name;
    ControlKind kind;
    const char* caption;
    int billingValue;               // the Billing value a billing radio button stands for, else -1
    std::vector<const char*> items; // radio group and combo box items
};

const std::vector<TaggedControl>& PathDetailsControls();
const TaggedControl* FindControl(int tag);

// The state of one control: ticked, item index, text; which of them counts follows its kind.
struct ControlValue {
    bool checked = false;
    int itemIndex = -1;
    std::string text;
};
using ControlValues = std::map<int, ControlValue>;

// ReferralDetails (write): every tagged control from the ticks.
ControlValues ReferralDetailsToControls(const tReferralTicks& ticks);
// Reading back after OK: Billing := -1, then every tagged control present into its field.
void ControlsToReferralDetails(const ControlValues& controls, tReferralTicks& ticks);

std::string BillingCaption(const std::string& patientName);

// The laboratory dialog in the mode its section asks for.
struct LabDialogView {
    tLaboratoryInfo info;
    bool practiceMode = false;
    std::string title;         // "Pathology Laboratory Information" or "Sending Practice Details"
    std::string nameLabel;     // "Laboratory name" or "Your Practice"
    std::string nameText;      // LabName, or PracticeName in practice mode
    std::string appLabel;      // "HL7 Receiving Application (MSH 5)" or "Practice Software"
    std::string facilityLabel; // "HL7 Receiving Facility (MSH 6)" or "HL7 Sending Facility (Optional)"
};
LabDialogView LoadLabDialog(const std::string& sectionBody);
LabDialogView LoadLabDialog(const tLaboratoryInfo& info);
// The record the dialog's OK hands back.
tLaboratoryInfo AcceptLabDialog(bool practiceMode, const std::string& nameText,
                                const std::string& receivingApp, const std::string& eAddress,
                                const std::string& receivingFacility, bool yourRefIsOrder);
// "PRACTICE" in any case is kept for the practice's own section.
bool IsReservedLabName(const std::string& name);

class PathDetailsSession;

struct PathDetailsRequest {
    tReferralTicks ticks;
    std::string patientName; // given names + " " + surname, trimmed
    std::string caption;     // "Pathology Details - " + tests
};

struct PathDetailsOutcome {
    enum class Kind { Ok, Cancelled, Failed };
    Kind kind = Kind::Cancelled;
    std::string laboratory; // the laboratory chosen (Ok)
    tReferralTicks ticks;   // the edited ticks (Ok)
    std::string error;      // why the dialog could not complete the request (Failed)
};

// The two modal dialogs, as a front end shows them.
class PathologyDialogs {
public:
    virtual ~PathologyDialogs() = default;
    // The details dialog. Its OK button runs session.ConfirmOk and closes only when that succeeds;
    // "..." and the practice link run session.EditLaboratory.
    virtual PathDetailsOutcome ShowPathologyDetails(const PathDetailsRequest& request,
                                                    PathDetailsSession& session) = 0;
    // The laboratory dialog loaded with the record; nullopt on Cancel.
    virtual std::optional<tLaboratoryInfo> EditLaboratory(const tLaboratoryInfo& info) = 0;
    // False when nobody can fill a laboratory dialog in.
    virtual bool CanEditLaboratories() const { return true; }
};

// One details dialog: the laboratory file as loaded when it opened, and the texts its OK leaves.
class PathDetailsSession {
public:
    PathDetailsSession(const std::string& programFolder, PathologyDialogs& dialogs,
                       PathologyModuleState& state);

    LabDetailsFile& File() { return m_file; }
    // An empty item, then the upper-cased laboratory names.
    std::vector<std::string> LaboratoryItems() const;
    // What the list selects after a refresh: the previous text when listed, else the first laboratory.
    std::string SelectAfterRefresh(const std::string& previous) const;
    // "PracticeName" of the PRACTICE section, or the warning caption.
    std::string PracticeCaption() const;

    // Opens the laboratory dialog for the section; returns the name it was saved under, or
    // nullopt when nothing was saved (Cancel, an empty name, or a laboratory called PRACTICE).
    Result<std::optional<std::string>> EditLaboratory(const std::string& name);
    // The laboratory a dialog of the latest OK loop saved (not the practice), for the list to
    // select; empty if none.
    const std::string& LastSavedLaboratory() const { return m_lastSavedLab; }

    enum class OkOutcome { Confirmed, BackToDialog };
    // The OK button: the chosen laboratory and the practice must both have sections; a missing one
    // is asked for in the laboratory dialog. A laboratory entered there under a new name becomes
    // the chosen one. When the user gives up on a laboratory dialog (Cancel or an empty name) the
    // details dialog stays open: BackToDialog. Fails when the dialogs cannot fill a section in.
    Result<OkOutcome> ConfirmOk(const std::string& laboratory);

    bool Confirmed() const { return m_confirmed; }
    const std::string& ChosenLaboratory() const { return m_chosenName; }
    const std::string& ChosenLabText() const { return m_chosenLabText; }

private:
    LabDetailsFile m_file;
    PathologyDialogs& m_dialogs;
    PathologyModuleState& m_state;
    bool m_confirmed = false;
    std::string m_chosenName;
    std::string m_chosenLabText;
    std::string m_lastSavedLab;
};

} // namespace vvp::pathology
