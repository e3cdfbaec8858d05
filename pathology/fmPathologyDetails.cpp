#include "fmPathologyDetails.h"

#include "QZStringManip.h"

namespace vvp::pathology {

namespace {

using K = ControlKind;

bool* BoolField(tReferralTicks& t, int tag) {
    switch (tag) {
    case 1:
        return &t.Fasting;
    case 2:
        return &t.Random;
    case 3:
        return &t.OnHormones;
    case 4:
        return &t.Pregnant;
    case 8:
        return &t.PostNatal;
    case 9:
        return &t.PostMenopausal;
    case 10:
        return &t.PastRadiotherapy;
    case 11:
        return &t.Iucd;
    case 12:
        return &t.AbnormalBleeding;
    case 17:
        return &t.Urgent;
    case 22:
        return &t.Rule3Exempt;
    case 23:
        return &t.SelfDetermined;
    default:
        return nullptr;
    }
}

std::string* TextField(tReferralTicks& t, int tag) {
    switch (tag) {
    case 5:
        return &t.Lnmp;
    case 6:
        return &t.Edc;
    case 18:
        return &t.PhoneResultsTo;
    case 19:
        return &t.FaxResultsTo;
    case 20:
        return &t.ResultsBy;
    case 21:
        return &t.BillingNumber;
    case 29:
        return &t.PatientStatus;
    case 30:
        return &t.FundCode;
    default:
        return nullptr;
    }
}

int* IndexField(tReferralTicks& t, int tag) {
    switch (tag) {
    case 7:
        return &t.CytologySite;
    case 13:
        return &t.CervixAppearance;
    default:
        return nullptr;
    }
}

} // namespace

const std::vector<TaggedControl>& PathDetailsControls() {
    static const std::vector<TaggedControl> controls = {
        {1, "cbFasting", K::CheckBox, "Fasting", -1, {}},
        {2, "cbNonFasting", K::CheckBox, "Non Fasting", -1, {}},
        {3, "cbHormoneTherapy", K::CheckBox, "Hormone Therapy", -1, {}},
        {4, "cbPregnant", K::CheckBox, "Pregnant", -1, {}},
        {5, "lbedLNMP", K::LabelledEdit, "LNMP", -1, {}},
        {6, "lbedEDC", K::LabelledEdit, "EDC", -1, {}},
        {7, "gpSite", K::RadioGroup, "Site", -1, {"Cervix", "Vaginal Vault", "Endometrium", "Other"}},
        {8, "cbPostNatal", K::CheckBox, "Post Natal", -1, {}},
        {9, "cbPostMenopausal", K::CheckBox, "Post Menopausal", -1, {}},
        {10, "cbRadioTherapy", K::CheckBox, "Radio Therapy", -1, {}},
        {11, "cbIUCD", K::CheckBox, "IUCD", -1, {}},
        {12, "cbAbnormalBleeding", K::CheckBox, "Abnormal Bleeding", -1, {}},
        {13, "gpCervicalAppearance", K::RadioGroup, "Appearance of Cervix", -1, {"Benign", "Suspicious"}},
        {14, "rbBillingPrivate", K::RadioButton, "Private", 0, {}},
        {15, "rbBillingConcession", K::RadioButton, "Concession", 1, {}},
        {16, "rbBillingBulkBill", K::RadioButton, "Bulk Bill", 2, {}},
        {17, "cbUrgent", K::CheckBox, "Urgent", -1, {}},
        {18, "lbedPhone", K::LabelledEdit, "Phone", -1, {}},
        {19, "lbedFax", K::LabelledEdit, "Fax", -1, {}},
        {20, "lbedBy", K::LabelledEdit, "By", -1, {}},
        {21, "edRelevantBIllingNumber", K::Edit, "Relevant Billing Number", -1, {}},
        {22, "cbRule3", K::CheckBox, "Rule 3 Exemption claimed", -1, {}},
        {23, "cbSelfDetermined", K::CheckBox, "Self Determined", -1, {}},
        {24, "rbBillingVet", K::RadioButton, "Veteran Affairs", 3, {}},
        {25, "rbBillingWorkCover", K::RadioButton, "Work Injury ", 4, {}},
        {26, "rbBillingMVA", K::RadioButton, "Motor Vehicle Injury", 5, {}},
        {27, "rbBillingDefence", K::RadioButton, "Defence Forces", 6, {}},
        {28, "rbBillingOther", K::RadioButton, "Health Fund or Other ", 7, {}},
        {29,
         "cbxPatientLocationCode",
         K::ComboBox,
         "Patient Location Code",
         -1,
         {"OutPatient", "InPatient", "Emergency", "Same Day Surgery", "Community Client"}},
        {30, "edHFCode", K::Edit, "", -1, {}},
    };
    return controls;
}

const TaggedControl* FindControl(int tag) {
    for (const auto& c : PathDetailsControls())
        if (c.tag == tag) return &c;
    return nullptr;
}

ControlValues ReferralDetailsToControls(const tReferralTicks& ticks) {
    tReferralTicks t = ticks;
    ControlValues values;
    for (const auto& c : PathDetailsControls()) {
        ControlValue v;
        if (c.kind == K::RadioButton)
            v.checked = t.Billing == c.billingValue;
        else if (bool* b = BoolField(t, c.tag))
            v.checked = *b;
        else if (int* i = IndexField(t, c.tag))
            v.itemIndex = *i;
        else if (std::string* s = TextField(t, c.tag))
            v.text = *s;
        values[c.tag] = v;
    }
    return values;
}

void ControlsToReferralDetails(const ControlValues& controls, tReferralTicks& ticks) {
    ticks.Billing = -1;
    for (const auto& [tag, v] : controls) {
        const TaggedControl* c = FindControl(tag);
        if (!c) continue;
        if (c->kind == K::RadioButton) {
            if (v.checked) ticks.Billing = c->billingValue;
        } else if (bool* b = BoolField(ticks, tag)) {
            *b = v.checked;
        } else if (int* i = IndexField(ticks, tag)) {
            *i = v.itemIndex;
        } else if (std::string* s = TextField(ticks, tag)) {
            *s = v.text;
        }
    }
}

std::string BillingCaption(const std::string& patientName) {
    return Trim(patientName + " Billing details");
}

LabDialogView LoadLabDialog(const std::string& sectionBody) {
    return LoadLabDialog(tLaboratoryInfo::FromSection(sectionBody));
}

LabDialogView LoadLabDialog(const tLaboratoryInfo& info) {
    LabDialogView view;
    view.info = info;
    view.practiceMode = view.info.IsPractice();
    if (view.practiceMode) {
        view.title = "Sending Practice Details";
        view.nameLabel = "Your Practice";
        view.nameText = view.info.PracticeName;
        view.appLabel = "Practice Software";
        view.facilityLabel = "HL7 Sending Facility (Optional)";
    } else {
        view.title = "Pathology Laboratory Information";
        view.nameLabel = "Laboratory name";
        view.nameText = view.info.LabName;
        view.appLabel = "HL7 Receiving Application (MSH 5)";
        view.facilityLabel = "HL7 Receiving Facility (MSH 6)";
    }
    return view;
}

tLaboratoryInfo AcceptLabDialog(bool practiceMode, const std::string& nameText,
                                const std::string& receivingApp, const std::string& eAddress,
                                const std::string& receivingFacility, bool yourRefIsOrder) {
    tLaboratoryInfo info;
    info.PracticeName = practiceMode ? nameText : std::string();
    info.LabName = practiceMode ? std::string(kPracticeSection) : nameText;
    info.ReceivingApp = receivingApp;
    info.EAddress = eAddress;
    info.ReceivingFacility = receivingFacility;
    info.YourRefIsOrder = yourRefIsOrder;
    return info;
}

bool IsReservedLabName(const std::string& name) {
    return SameText(Trim(name), kPracticeSection);
}

PathDetailsSession::PathDetailsSession(const std::string& programFolder, PathologyDialogs& dialogs,
                                       PathologyModuleState& state)
    : m_file(programFolder), m_dialogs(dialogs), m_state(state) {
    m_file.Load();
}

std::vector<std::string> PathDetailsSession::LaboratoryItems() const {
    std::vector<std::string> items{""};
    for (auto& n : m_file.LaboratoryNames())
        items.push_back(n);
    return items;
}

std::string PathDetailsSession::SelectAfterRefresh(const std::string& previous) const {
    const auto items = LaboratoryItems();
    for (const auto& item : items)
        if (item == previous) return previous;
    return items.size() > 1 ? items[1] : std::string();
}

std::string PathDetailsSession::PracticeCaption() const {
    const std::string body = m_file.Section(kPracticeSection);
    if (body.empty()) return kNoPracticeCaption;
    return tLaboratoryInfo::FromSection(body).PracticeName;
}

Result<std::optional<std::string>> PathDetailsSession::EditLaboratory(const std::string& name) {
    std::string body = name.empty() ? std::string() : m_file.Section(name);
    if (UpperCase(name) == kPracticeSection && body.empty()) body = "LabName=PRACTICE";
    const tLaboratoryInfo original = tLaboratoryInfo::FromSection(body);
    auto edited = m_dialogs.EditLaboratory(original);
    if (!edited || edited->LabName.empty()) return std::optional<std::string>{};
    // A laboratory saved as PRACTICE would overwrite the practice's own details.
    if (!original.IsPractice() && edited->IsPractice()) return std::optional<std::string>{};
    auto saved = m_file.SaveLaboratory(name, *edited);
    if (!saved) return saved.error();
    if (!edited->IsPractice()) m_lastSavedLab = edited->LabName;
    return std::optional<std::string>{edited->LabName};
}

Result<PathDetailsSession::OkOutcome> PathDetailsSession::ConfirmOk(const std::string& laboratory) {
    m_lastSavedLab.clear();
    std::string name = Trim(laboratory);
    // The practice's own section is never a laboratory to send to.
    if (IsReservedLabName(name)) name.clear();
    std::string chosen = name.empty() ? std::string() : m_file.Section(name);
    if (chosen.empty()) {
        if (!m_dialogs.CanEditLaboratories())
            return Error{"No laboratory details for \"" + name + "\" in " + kLabFileName};
        auto saved = EditLaboratory(name);
        if (!saved) return saved.error();
        if (!*saved) return OkOutcome::BackToDialog;
        name = **saved;
    }
    std::string practice = m_file.Section(kPracticeSection);
    if (practice.empty()) {
        if (!m_dialogs.CanEditLaboratories())
            return Error{std::string("No practice details (section [PRACTICE]) in ") + kLabFileName};
        auto saved = EditLaboratory(kPracticeSection);
        if (!saved) return saved.error();
        if (!*saved) return OkOutcome::BackToDialog;
        practice = m_file.Section(kPracticeSection);
    }
    // Both as the file now stands, the practice's section having been added after the laboratory's.
    chosen = name.empty() ? std::string() : m_file.Section(name);
    if (chosen.empty() || practice.empty()) return OkOutcome::BackToDialog;
    m_chosenName = name;
    m_chosenLabText = chosen;
    m_state.SetPracticeText(practice);
    m_confirmed = true;
    return OkOutcome::Confirmed;
}

} // namespace vvp::pathology
