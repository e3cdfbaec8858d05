#include "fmPathologyDetails.h"
#include "uPathLabData.h"

#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <deque>

namespace vvp::pathology {
namespace {

const char* const kFile = "[acme Pathology]\r\n"
                          "\r\n"
                          "LabName=acme Pathology\r\n"
                          "EAddress=orders@acme.example\r\n"
                          "YourRefisORDER=N\r\n"
                          "\r\n"
                          "[PRACTICE]\r\n"
                          "\r\n"
                          "LabName=PRACTICE\r\n"
                          "PracticeName=Example Clinic\r\n"
                          "YourRefisORDER=Y\r\n"
                          "  [ Second Lab ]  \r\n"
                          "LabName=Second Lab\r\n";

TEST(LabDetails, SectionOperations) {
    const StringList lines = SplitLines(kFile);
    EXPECT_EQ(GetSection(lines, "ACME PATHOLOGY"),
              "\r\nLabName=acme Pathology\r\nEAddress=orders@acme.example\r\nYourRefisORDER=N\r\n\r\n");
    EXPECT_EQ(GetSection(lines, "practice"),
              "\r\nLabName=PRACTICE\r\nPracticeName=Example Clinic\r\nYourRefisORDER=Y\r\n");
    EXPECT_EQ(GetSection(lines, "Nobody"), "");
    EXPECT_EQ(GetSection(lines, ""), "");
    EXPECT_EQ(ListSections(lines), "acme pathology\r\nsecond lab\r\n");
    EXPECT_EQ(RemoveSection(lines, " PRACTICE "),
              "[acme Pathology]\r\n\r\nLabName=acme Pathology\r\nEAddress=orders@acme.example\r\n"
              "YourRefisORDER=N\r\n\r\n  [ Second Lab ]  \r\nLabName=Second Lab\r\n");
    EXPECT_EQ(RemoveSection(lines, "second lab"),
              std::string(kFile).substr(0, std::string(kFile).find("  [ Second")));
}

TEST(LabDetails, RecordReadAndWritten) {
    tLaboratoryInfo only;
    only.LabName = "Acme";
    only.YourRefIsOrder = false;
    EXPECT_EQ(only.ToSection(), "[Acme]\r\n\r\nLabName=Acme\r\nYourRefisORDER=N\r\n");
    only.YourRefIsOrder = true;
    EXPECT_EQ(only.ToSection(), "[Acme]\r\n\r\nLabName=Acme\r\nYourRefisORDER=Y\r\n");

    tLaboratoryInfo full{"FAC", "PRACTICE", "APP", "me@x", "Clinic", true};
    EXPECT_EQ(full.ToSection(), "[PRACTICE]\r\n\r\nLabName=PRACTICE\r\nReceivingApp=APP\r\nEAddress=me@x\r\n"
                                "ReceivingFacility=FAC\r\nPracticeName=Clinic\r\nYourRefisORDER=Y\r\n");
    const tLaboratoryInfo back =
        tLaboratoryInfo::FromSection(GetSection(SplitLines(full.ToSection()), "practice"));
    EXPECT_EQ(back.ReceivingFacility, "FAC");
    EXPECT_EQ(back.PracticeName, "Clinic");
    EXPECT_TRUE(back.IsPractice());
    EXPECT_TRUE(tLaboratoryInfo::FromSection("LabName=x\r\n").YourRefIsOrder);
    EXPECT_TRUE(tLaboratoryInfo::FromSection("YourRefisORDER=n\r\n").YourRefIsOrder);
    EXPECT_FALSE(tLaboratoryInfo::FromSection("YourRefisORDER=N\n").YourRefIsOrder);
}

TEST(LabDetails, LabDialogModes) {
    const LabDialogView practice = LoadLabDialog("LabName=PRACTICE\r\nPracticeName=Clinic\r\n");
    EXPECT_TRUE(practice.practiceMode);
    EXPECT_EQ(practice.title, "Sending Practice Details");
    EXPECT_EQ(practice.nameText, "Clinic");
    const LabDialogView lab = LoadLabDialog("LabName=Acme\r\n");
    EXPECT_FALSE(lab.practiceMode);
    EXPECT_EQ(lab.nameText, "Acme");
    const tLaboratoryInfo accepted = AcceptLabDialog(true, "My Clinic", "APP", "me@x", "", false);
    EXPECT_EQ(accepted.LabName, "PRACTICE");
    EXPECT_EQ(accepted.PracticeName, "My Clinic");
    EXPECT_TRUE(IsReservedLabName(" practice "));
}

TEST(LabDetails, TicksCopiedByTagBothWays) {
    tReferralTicks t;
    t.Fasting = true;
    t.Lnmp = "01/01/24";
    t.CytologySite = 2;
    t.Billing = 5;
    t.PatientStatus = "InPatient";
    t.FundCode = "MBF";
    t.Notes = "kept";
    ControlValues c = ReferralDetailsToControls(t);
    EXPECT_TRUE(c[1].checked);
    EXPECT_EQ(c[5].text, "01/01/24");
    EXPECT_EQ(c[7].itemIndex, 2);
    EXPECT_TRUE(c[26].checked);
    EXPECT_FALSE(c[14].checked);
    EXPECT_EQ(c[29].text, "InPatient");

    c[26].checked = false;
    c[28].checked = true;
    c[17].checked = true;
    c[21].text = "12345";
    ControlsToReferralDetails(c, t);
    EXPECT_EQ(t.Billing, 7);
    EXPECT_TRUE(t.Urgent);
    EXPECT_EQ(t.BillingNumber, "12345");
    EXPECT_EQ(t.FundCode, "MBF");
    EXPECT_EQ(t.Notes, "kept");

    c[28].checked = false;
    ControlsToReferralDetails(c, t);
    EXPECT_EQ(t.Billing, -1);
    EXPECT_EQ(PathDetailsControls().size(), 30u);
    EXPECT_EQ(BillingCaption(" John Smith"), "John Smith Billing details");
}

// Laboratory dialogs answered from a script; each answer is the record to confirm, or nullopt.
class ScriptedDialogs : public PathologyDialogs {
public:
    PathDetailsOutcome ShowPathologyDetails(const PathDetailsRequest&, PathDetailsSession&) override {
        return {};
    }
    std::optional<tLaboratoryInfo> EditLaboratory(const tLaboratoryInfo& info) override {
        asked.push_back(info.LabName);
        if (answers.empty()) return std::nullopt;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    bool CanEditLaboratories() const override { return canEdit; }

    std::deque<std::optional<tLaboratoryInfo>> answers;
    std::vector<std::string> asked;
    bool canEdit = true;
};

tLaboratoryInfo Lab(const std::string& name, const std::string& address) {
    tLaboratoryInfo l;
    l.LabName = name;
    l.EAddress = address;
    return l;
}

TEST(LabDetails, OkLoopWithNoFileAsksForLaboratoryThenPractice) {
    vvp::test::TempDir dir;
    ScriptedDialogs dialogs;
    PathologyModuleState state;
    tLaboratoryInfo practice = AcceptLabDialog(true, "Clinic", "VVP", "me@x", "", true);
    dialogs.answers = {Lab("Acme Lab", "o@acme"), practice};
    PathDetailsSession session(dir.Path(), dialogs, state);
    EXPECT_EQ(session.PracticeCaption(), "WARNING NO PRACTICE DETAILS SET CLICK HERE");
    EXPECT_EQ(session.LaboratoryItems(), std::vector<std::string>{""});

    auto confirmed = session.ConfirmOk("");
    ASSERT_TRUE(confirmed.ok());
    EXPECT_EQ(*confirmed, PathDetailsSession::OkOutcome::Confirmed);
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"", "PRACTICE"}));
    EXPECT_EQ(session.ChosenLaboratory(), "Acme Lab");
    EXPECT_EQ(session.ChosenLabText(), "\r\nLabName=Acme Lab\r\nEAddress=o@acme\r\nYourRefisORDER=Y\r\n\r\n");
    EXPECT_NE(state.PracticeText().find("PracticeName=Clinic"), std::string::npos);
    EXPECT_EQ(session.LaboratoryItems(), (std::vector<std::string>{"", "ACME LAB"}));
    EXPECT_EQ(session.SelectAfterRefresh("GONE"), "ACME LAB");
    EXPECT_EQ(session.PracticeCaption(), "Clinic");
    EXPECT_EQ(dir.Read(kLabFileName),
              "\r\n[Acme Lab]\r\n\r\nLabName=Acme Lab\r\nEAddress=o@acme\r\nYourRefisORDER=Y\r\n"
              "\r\n[PRACTICE]\r\n\r\nLabName=PRACTICE\r\nReceivingApp=VVP\r\n"
              "EAddress=me@x\r\nPracticeName=Clinic\r\nYourRefisORDER=Y\r\n");
}

// Giving up on a laboratory dialog inside the OK loop used to ask again for ever, with the job
// thread waiting and no way to cancel the request.
TEST(LabDetails, GivingUpOnALaboratoryDialogReturnsToTheDetailsDialog) {
    using O = PathDetailsSession::OkOutcome;
    vvp::test::TempDir dir;
    dir.Write(kLabFileName, "[acme Pathology]\r\n\r\nLabName=acme Pathology\r\n");
    ScriptedDialogs dialogs;
    PathologyModuleState state;
    PathDetailsSession session(dir.Path(), dialogs, state);
    const std::string before = dir.Read(kLabFileName);

    struct Step {
        const char* chosen;
        std::optional<tLaboratoryInfo> answer;
        std::vector<std::string> asked; // the laboratory dialogs opened by this press of OK
    } steps[] = {
        {"Missing", std::nullopt, {""}},                // Cancel
        {"", Lab("", "x@y"), {""}},                     // OK with an empty name
        {"acme pathology", std::nullopt, {"PRACTICE"}}, // the practice dialog cancelled
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.chosen);
        dialogs.asked.clear();
        dialogs.answers = {step.answer};
        auto outcome = session.ConfirmOk(step.chosen);
        ASSERT_TRUE(outcome.ok());
        EXPECT_EQ(*outcome, O::BackToDialog);
        EXPECT_EQ(dialogs.asked, step.asked);
        EXPECT_FALSE(session.Confirmed());
    }
    EXPECT_EQ(dir.Read(kLabFileName), before);

    // A laboratory entered from the loop is kept when the practice dialog is then cancelled, and
    // the list can select it.
    dialogs.answers = {Lab("Third", "t@x"), std::nullopt};
    auto outcome = session.ConfirmOk("");
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, O::BackToDialog);
    EXPECT_EQ(session.LastSavedLaboratory(), "Third");
    EXPECT_EQ(session.LaboratoryItems(), (std::vector<std::string>{"", "ACME PATHOLOGY", "THIRD"}));

    dialogs.answers = {AcceptLabDialog(true, "Clinic", "VVP", "me@x", "", true)};
    outcome = session.ConfirmOk("THIRD");
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, O::Confirmed);
    EXPECT_EQ(session.ChosenLaboratory(), "THIRD");
    EXPECT_NE(session.ChosenLabText().find("EAddress=t@x"), std::string::npos);
}

// Saving under the name of another section used to add a second section of that name, which
// GetSection never found: the edits were silently lost.
TEST(LabDetails, SavingUnderAnotherSectionsNameReplacesIt) {
    vvp::test::TempDir dir;
    dir.Write(kLabFileName, kFile);
    ScriptedDialogs dialogs;
    PathologyModuleState state;
    PathDetailsSession session(dir.Path(), dialogs, state);

    dialogs.answers = {Lab("ACME PATHOLOGY", "new@acme.example")};
    ASSERT_TRUE(session.EditLaboratory("second lab").ok());
    EXPECT_EQ(dialogs.asked.back(), "Second Lab");
    EXPECT_EQ(session.LaboratoryItems(), (std::vector<std::string>{"", "ACME PATHOLOGY"}));
    EXPECT_NE(session.File().Section("acme pathology").find("EAddress=new@acme.example"), std::string::npos);

    dialogs.answers = {Lab("Acme Renamed", "n@x")};
    ASSERT_TRUE(session.EditLaboratory("ACME PATHOLOGY").ok());
    EXPECT_EQ(session.LaboratoryItems(), (std::vector<std::string>{"", "ACME RENAMED"}));

    // A laboratory may not take the practice's section.
    const std::string before = dir.Read(kLabFileName);
    dialogs.answers = {Lab("practice", "p@x")};
    auto saved = session.EditLaboratory("Acme Renamed");
    ASSERT_TRUE(saved.ok());
    EXPECT_FALSE(saved->has_value());
    EXPECT_EQ(dir.Read(kLabFileName), before);
    EXPECT_EQ(session.PracticeCaption(), "Example Clinic");
}

TEST(LabDetails, FileFromWindowsIsReadAndSavedWhateverItsLetterCase) {
    vvp::test::TempDir dir;
    dir.Write("ELECTRONICLABDETAILS.INF", kFile);
    LabDetailsFile file(dir.Path());
    file.Load();
    EXPECT_EQ(file.LaboratoryNames(), (std::vector<std::string>{"ACME PATHOLOGY", "SECOND LAB"}));
    ASSERT_TRUE(file.SaveLaboratory("second lab", Lab("Third", "t@x")).ok());
    EXPECT_EQ(vvp::ListFolder(dir.Path(), "*", false), std::vector<std::string>{"ELECTRONICLABDETAILS.INF"});
    EXPECT_NE(dir.Read("ELECTRONICLABDETAILS.INF").find("[Third]"), std::string::npos);
}

TEST(LabDetails, OkLoopEndsWithAnErrorWhenNobodyCanFillItIn) {
    vvp::test::TempDir dir;
    ScriptedDialogs dialogs;
    dialogs.canEdit = false;
    PathologyModuleState state;
    PathDetailsSession empty(dir.Path(), dialogs, state);
    auto r = empty.ConfirmOk("Acme");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "No laboratory details for \"Acme\" in ElectronicLabDetails.inf");

    dir.Write(kLabFileName, "[Acme]\r\n\r\nLabName=Acme\r\n");
    PathDetailsSession noPractice(dir.Path(), dialogs, state);
    r = noPractice.ConfirmOk("acme");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "No practice details (section [PRACTICE]) in ElectronicLabDetails.inf");
    EXPECT_FALSE(noPractice.ConfirmOk("practice").ok()); // the practice is not a laboratory
    EXPECT_TRUE(dialogs.asked.empty());
}

} // namespace
} // namespace vvp::pathology
