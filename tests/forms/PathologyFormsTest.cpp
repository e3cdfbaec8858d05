// The pathology details and laboratory dialogs as windows: the tagged controls, billing, the
// laboratory list, the PRACTICE rule and the OK loop, driven as a user at the desk would.

#include "GuiTestSupport.h"
#include "QtPathologyDialogs.h"
#include "QtPrompter.h"
#include "TestSupport.h"
#include "TfmPathDetails.h"
#include "TfmPathLabData.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <tuple>

using namespace vvp;
using namespace vvp::pathology;
using namespace std::chrono_literals;

namespace {

const char* const kPracticeOnly = "[PRACTICE]\r\n\r\nLabName=PRACTICE\r\nReceivingApp=VVP\r\n"
                                  "EAddress=me@clinic.example\r\nPracticeName=Example Clinic\r\n";

auto Fields(const tReferralTicks& t) {
    return std::tie(t.Fasting, t.Random, t.Pregnant, t.OnHormones, t.Lnmp, t.Edc, t.CytologySite, t.PostNatal,
                    t.PostMenopausal, t.PastRadiotherapy, t.Iucd, t.AbnormalBleeding, t.CervixAppearance,
                    t.Billing, t.Urgent, t.PhoneResultsTo, t.FaxResultsTo, t.ResultsBy, t.BillingNumber,
                    t.Notes, t.SelfDetermined, t.PatientStatus, t.Rule3Exempt, t.FundCode);
}

struct PathFormsFixture : ::testing::Test, test::WithGuiApp {
    ~PathFormsFixture() override {
        for (QDialog* d : test::OpenDialogs())
            d->done(QDialog::Rejected);
    }
    test::TempDir folder;
    QtPrompter prompter;
    QtPathologyDialogs dialogs{prompter};
    PathologyModuleState state;
    test::DialogRobot robot;

    template <typename T> static T* Child(QWidget* parent, const char* name) {
        return test::FindNamed<T>(*parent, name);
    }
    // A click that returns at once, so a dialog it opens runs its own loop, not the caller's.
    static void PostClick(QAbstractButton* button) {
        QTimer::singleShot(0, button, [button] { button->click(); });
    }
    static void FillLab(QDialog* d, const char* name, const char* address) {
        Child<QLineEdit>(d, "lbeLabName")->setText(QString::fromLatin1(name));
        Child<QLineEdit>(d, "lbeElectronicAddress")->setText(QString::fromLatin1(address));
        PostClick(Child<QPushButton>(d, "btnOK"));
    }
};

TEST_F(PathFormsFixture, EveryTaggedFieldRoundTripsThroughTheControls) {
    PathDetailsSession session(folder.Path(), dialogs, state);
    TfmPathDetails form(session, prompter);
    ASSERT_EQ(PathDetailsControls().size(), 30u);
    for (const auto& c : PathDetailsControls()) {
        QWidget* w = form.ControlOf(c.tag);
        ASSERT_NE(w, nullptr) << c.tag;
        EXPECT_EQ(w->objectName(), QString::fromLatin1(c.name));
    }

    tReferralTicks on;
    on.Fasting = on.Random = on.Pregnant = on.OnHormones = true;
    on.PostNatal = on.PostMenopausal = on.PastRadiotherapy = on.Iucd = on.AbnormalBleeding = true;
    on.Urgent = on.SelfDetermined = on.Rule3Exempt = true;
    on.Lnmp = "01/02/24";
    on.Edc = "03/11/24";
    on.CytologySite = 3;
    on.CervixAppearance = 1;
    on.Billing = 7;
    on.PhoneResultsTo = "07 3123 4567";
    on.FaxResultsTo = "07 3123 4568";
    on.ResultsBy = "14:30";
    on.BillingNumber = "2123456701";
    on.PatientStatus = "Same Day Surgery";
    on.FundCode = "MBF 1234";
    on.Notes = "\xE9tat febrile"; // carried by no control, and in the printout's code page
    tReferralTicks off;
    off.PatientStatus = "OutPatient";
    off.Notes = on.Notes;

    for (const tReferralTicks* ticks : {&on, &off}) {
        form.ReferralDetails(*ticks);
        const ControlValues expected = ReferralDetailsToControls(*ticks);
        for (const auto& c : PathDetailsControls()) {
            SCOPED_TRACE(c.name);
            QWidget* w = form.ControlOf(c.tag);
            const ControlValue& v = expected.at(c.tag);
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                EXPECT_EQ(button->isChecked(), v.checked);
            }
            if (auto* edit = qobject_cast<QLineEdit*>(w)) {
                EXPECT_EQ(edit->text().toStdString(), v.text);
            }
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                EXPECT_EQ(combo->currentText().toStdString(), v.text);
            }
            if (c.kind == ControlKind::RadioGroup) {
                const auto buttons = w->findChildren<QRadioButton*>();
                ASSERT_EQ(buttons.size(), static_cast<qsizetype>(c.items.size()));
                for (int i = 0; i < buttons.size(); ++i)
                    EXPECT_EQ(buttons[i]->isChecked(), i == v.itemIndex);
            }
        }
        EXPECT_EQ(Fields(form.ReadReferralDetails()), Fields(*ticks));
    }

    // Each billing value ticks its own button alone, and reads back.
    for (int billing = -1; billing <= 7; ++billing) {
        SCOPED_TRACE(billing);
        tReferralTicks t;
        t.Billing = billing;
        form.ReferralDetails(t);
        EXPECT_EQ(form.ReadReferralDetails().Billing, billing);
    }
    // An empty location shows the first item.
    form.ReferralDetails(tReferralTicks{});
    EXPECT_EQ(Child<QComboBox>(&form, "cbxPatientLocationCode")->currentText(), "OutPatient");
}

TEST_F(PathFormsFixture, HealthFundOrOtherShowsTheFundCodeAndAnyOtherBillingHidesIt) {
    PathDetailsSession session(folder.Path(), dialogs, state);
    TfmPathDetails form(session, prompter);
    form.PatientName(" JOHN SMITH");
    form.show();
    EXPECT_EQ(Child<QGroupBox>(&form, "gpBilling")->title(), "JOHN SMITH Billing details");
    auto* label = Child<QLabel>(&form, "lbRelevantBillingNumber");
    auto* fund = Child<QLineEdit>(&form, "edHFCode");
    EXPECT_FALSE(fund->isVisible());

    // Clicked on the caption: a radio button takes clicks on its circle and caption only.
    auto click = [&form](const char* name) {
        auto* button = Child<QRadioButton>(&form, name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
    };
    click("rbBillingOther");
    EXPECT_TRUE(fund->isVisible());
    EXPECT_EQ(label->text(), "Health FUND code && Member #");
    // Without a buddy Qt would show both ampersands.
    EXPECT_NE(label->buddy(), nullptr);
    const int fundRight = fund->geometry().right();
    EXPECT_LT(fundRight, Child<QLineEdit>(&form, "edRelevantBIllingNumber")->geometry().left());
    fund->setText("HCF 99");

    click("rbBillingBulkBill");
    EXPECT_FALSE(fund->isVisible());
    EXPECT_EQ(label->text(), "Relevant Billing Number");
    const tReferralTicks t = form.ReadReferralDetails();
    EXPECT_EQ(t.Billing, 2);
    EXPECT_EQ(t.FundCode, "HCF 99"); // hidden, still read back
}

TEST_F(PathFormsFixture, LaboratoryAddedThroughItsDialogIsListedAndChosen) {
    folder.Write(kLabFileName, kPracticeOnly);
    PathDetailsSession session(folder.Path(), dialogs, state);
    TfmPathDetails form(session, prompter);
    auto* labs = Child<QComboBox>(&form, "cbxLabProvider");
    EXPECT_EQ(labs->count(), 1);
    EXPECT_TRUE(Child<QLabel>(&form, "lbPracticeDetails")->text().contains("Example Clinic"));

    QString title;
    robot.Then([&title](QDialog* d) {
        title = d->windowTitle();
        FillLab(d, "Westside lab", "orders@westside.example");
    });
    Child<QToolButton>(&form, "btnLabDetails")->click();
    EXPECT_EQ(title, "Pathology Laboratory Information");
    ASSERT_EQ(labs->count(), 2);
    EXPECT_EQ(labs->itemText(1), "WESTSIDE LAB");
    EXPECT_EQ(labs->currentText(), "WESTSIDE LAB");
    EXPECT_NE(session.File().Section("westside lab").find("EAddress=orders@westside.example"),
              std::string::npos);

    // No practice: the link warns.
    test::TempDir empty;
    PathDetailsSession none(empty.Path(), dialogs, state);
    TfmPathDetails bare(none, prompter);
    EXPECT_TRUE(Child<QLabel>(&bare, "lbPracticeDetails")
                    ->text()
                    .contains("WARNING NO PRACTICE DETAILS SET CLICK HERE"));
}

TEST_F(PathFormsFixture, PracticeModeAndLaboratoryModeLabels) {
    HeadlessPrompter quiet;
    TfmPathLabData form(quiet);
    form.Load(AcceptLabDialog(true, "Example Clinic", "VVP", "me@x", "CLINIC", false));
    EXPECT_TRUE(form.PracticeMode());
    const std::pair<const char*, const char*> practice[] = {
        {"lbeLabNameLabel", "Your Practice"},
        {"lbeElectronicAddressLabel", "Electronic Address"},
        {"lbeHL7ReceivingAppLabel", "Practice Software"},
        {"lbeReceivingFacilityLabel", "HL7 Sending Facility (Optional)"},
    };
    for (const auto& [name, text] : practice)
        EXPECT_EQ(Child<QLabel>(&form, name)->text(), text) << name;
    EXPECT_EQ(form.windowTitle(), "Sending Practice Details");
    EXPECT_EQ(Child<QLineEdit>(&form, "lbeLabName")->text(), "Example Clinic");
    EXPECT_FALSE(Child<QCheckBox>(&form, "cbYourRefisOrder")->isChecked());
    EXPECT_EQ(Child<QCheckBox>(&form, "cbYourRefisOrder")->text(), "\"YOUR REF\" is HL7 ORDER NUMBER");
    const tLaboratoryInfo back = form.Record();
    EXPECT_EQ(back.LabName, "PRACTICE");
    EXPECT_EQ(back.PracticeName, "Example Clinic");
    EXPECT_EQ(back.ReceivingFacility, "CLINIC");

    form.Load(tLaboratoryInfo::FromSection("LabName=Acme\r\nReceivingApp=ACMELAB\r\n"));
    EXPECT_FALSE(form.PracticeMode());
    EXPECT_EQ(form.windowTitle(), "Pathology Laboratory Information");
    EXPECT_EQ(Child<QLabel>(&form, "lbeLabNameLabel")->text(), "Laboratory name");
    EXPECT_EQ(Child<QLabel>(&form, "lbeHL7ReceivingAppLabel")->text(), "HL7 Receiving Application (MSH 5)");
    EXPECT_EQ(Child<QLabel>(&form, "lbeReceivingFacilityLabel")->text(), "HL7 Receiving Facility (MSH 6)");
    EXPECT_TRUE(Child<QCheckBox>(&form, "cbYourRefisOrder")->isChecked());
}

TEST_F(PathFormsFixture, PracticeIsRefusedAsALaboratoryNameOnLeavingTheEditAndOnOk) {
    HeadlessPrompter told;
    TfmPathLabData form(told);
    form.Load(tLaboratoryInfo::FromSection("LabName=Acme\r\n"));
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* name = Child<QLineEdit>(&form, "lbeLabName");
    auto* address = Child<QLineEdit>(&form, "lbeElectronicAddress");
    auto messages = [&told] {
        int n = 0;
        for (const auto& r : told.Transcript())
            n += r.text == "PRACTICE cannot be used as a Laboratory Name";
        return n;
    };

    name->setFocus();
    name->setText("practice");
    address->setFocus(); // leaving the edit
    EXPECT_EQ(messages(), 1);
    EXPECT_EQ(name->text(), "");
    EXPECT_TRUE(name->hasFocus());

    name->setText("Practice");
    QTest::keyClick(name, Qt::Key_Return); // OK, without leaving the edit
    EXPECT_EQ(messages(), 2);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(name->text(), "");
    EXPECT_TRUE(name->hasFocus());

    // Cancel needs no valid name; a real one is taken with Enter.
    name->setText("PRACTICE");
    QTest::mouseClick(Child<QPushButton>(&form, "btnCancel"), Qt::LeftButton);
    EXPECT_EQ(messages(), 2);
    EXPECT_EQ(form.result(), QDialog::Rejected);

    auto typeIn = [&](const char* text) {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        name->setFocus();
        name->setText(text);
        QTest::keyClick(name, Qt::Key_Return);
    };
    typeIn("Acme Pathology");
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Record().LabName, "Acme Pathology");

    // The practice's own dialog takes any name.
    form.Load(tLaboratoryInfo::FromSection("LabName=PRACTICE\r\n"));
    typeIn("Practice");
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(messages(), 2);
}

// Cancel in a laboratory dialog inside the OK loop returns to the details dialog, which stays open
// for the job that asked; the next OK goes on from there.
TEST_F(PathFormsFixture, CancelInTheOkLoopReturnsToTheDetailsDialog) {
    PathDetailsSession session(folder.Path(), dialogs, state);
    PathDetailsRequest request;
    request.caption = "Pathology Details - FBC;LFT ";
    request.patientName = "JOHN SMITH";
    request.ticks.Urgent = true;

    QPointer<QDialog> details;
    bool openAfterCancel = false, jobWaiting = false;
    std::future<PathDetailsOutcome> job;
    robot.Then([&](QDialog* d) {
        details = d;
        EXPECT_EQ(d->windowTitle(), "Pathology Details - FBC;LFT ");
        EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
        PostClick(Child<QPushButton>(d, "btnOK"));
    });
    robot.Then([&](QDialog* lab) {
        EXPECT_EQ(lab->windowTitle(), "Pathology Laboratory Information");
        PostClick(Child<QPushButton>(lab, "btnCancel"));
        QTimer::singleShot(100, details, [&] {
            openAfterCancel = details && details->isVisible();
            jobWaiting = job.wait_for(0ms) != std::future_status::ready;
            PostClick(Child<QPushButton>(details, "btnOK"));
        });
    });
    robot.Then([](QDialog* lab) { FillLab(lab, "Acme", "orders@acme.example"); });
    robot.Then([](QDialog* practice) {
        EXPECT_EQ(practice->windowTitle(), "Sending Practice Details");
        FillLab(practice, "Example Clinic", "me@clinic.example");
    });
    job = std::async(std::launch::async, [&] { return dialogs.ShowPathologyDetails(request, session); });
    ASSERT_TRUE(test::WaitUntil([&job] { return job.wait_for(0ms) == std::future_status::ready; }, 20s));
    const PathDetailsOutcome outcome = job.get();
    EXPECT_TRUE(openAfterCancel);
    EXPECT_TRUE(jobWaiting);
    EXPECT_TRUE(robot.Done());
    EXPECT_EQ(outcome.kind, PathDetailsOutcome::Kind::Ok);
    EXPECT_EQ(outcome.laboratory, "Acme");
    EXPECT_TRUE(outcome.ticks.Urgent);
    EXPECT_NE(state.PracticeText().find("PracticeName=Example Clinic"), std::string::npos);
}

// Escape and the close box give the request up like Cancel, whatever was ticked.
TEST_F(PathFormsFixture, EscapeAndTheCloseBoxCancelTheRequest) {
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        PathDetailsSession session(folder.Path(), dialogs, state);
        PathDetailsRequest request;
        request.caption = "Pathology Details - FBC ";
        robot.Then([escape](QDialog* d) {
            Child<QCheckBox>(d, "cbUrgent")->setChecked(true);
            QTimer::singleShot(0, d, [d, escape] {
                if (escape)
                    QTest::keyClick(d, Qt::Key_Escape);
                else
                    d->close();
            });
        });
        auto job =
            std::async(std::launch::async, [&] { return dialogs.ShowPathologyDetails(request, session); });
        ASSERT_TRUE(test::WaitUntil([&job] { return job.wait_for(0ms) == std::future_status::ready; }, 20s));
        EXPECT_EQ(job.get().kind, PathDetailsOutcome::Kind::Cancelled);
        EXPECT_TRUE(robot.Done());
    }
}

// Exit while a laboratory dialog is open over the details dialog: both close, and the job stops
// (its spool file kept) only after the dialog that showed its request is gone.
TEST_F(PathFormsFixture, EndingTheProgramClosesBothDialogsAndStopsTheJob) {
    auto session = std::make_unique<PathDetailsSession>(folder.Path(), dialogs, state);
    PathDetailsRequest request;
    request.caption = "Pathology Details - FBC ";
    robot.Then([](QDialog* d) { PostClick(Child<QPushButton>(d, "btnOK")); });
    robot.Then([this](QDialog*) { prompter.Abandon(); });
    auto job = std::async(std::launch::async, [&] {
        try {
            dialogs.ShowPathologyDetails(request, *session);
        } catch (const PromptAbandoned&) {
            session.reset(); // what the job's unwinding does
            return true;
        }
        return false;
    });
    ASSERT_TRUE(test::WaitUntil([&job] { return job.wait_for(0ms) == std::future_status::ready; }));
    EXPECT_TRUE(job.get());
    EXPECT_TRUE(test::WaitUntil([] { return test::OpenDialogs().isEmpty(); }));
}

// Both dialogs and their controls fit: no caption is cut, at whatever scale the test runs
// (QT_SCALE_FACTOR=2 for 200%). The pictures go under the build folder.
TEST_F(PathFormsFixture, ScreenshotsAndNoCaptionIsCut) {
    folder.Write(kLabFileName,
                 std::string(kPracticeOnly) + "\r\n[Acme Pathology]\r\n\r\nLabName=Acme Pathology\r\n");
    PathDetailsSession session(folder.Path(), dialogs, state);
    TfmPathDetails form(session, prompter);
    form.setWindowTitle("Pathology Details - FBC;LFT;UEC ");
    tReferralTicks t;
    t.Urgent = true;
    t.Billing = 7;
    t.ResultsBy = "14:30";
    form.ReferralDetails(t);
    form.PatientName("JOHN SMITH");
    HeadlessPrompter quiet;
    TfmPathLabData lab(quiet), practice(quiet);
    lab.Load(tLaboratoryInfo::FromSection(session.File().Section("acme pathology")));
    practice.Load(tLaboratoryInfo::FromSection(session.File().Section("PRACTICE")));

    // The scaled run registered in CTest must really run scaled.
    if (const char* scale = std::getenv("QT_SCALE_FACTOR")) {
        EXPECT_DOUBLE_EQ(qApp->devicePixelRatio(), std::atof(scale));
    }
    const std::string suffix = qApp->devicePixelRatio() > 1.5 ? "@2x" : "";
    for (auto [dialog, name] : {std::pair<QDialog*, std::string>{&form, "pathology-details"},
                                {&lab, "pathology-laboratory"},
                                {&practice, "pathology-practice"}}) {
        SCOPED_TRACE(name);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        for (QWidget* w : dialog->findChildren<QWidget*>()) {
            if (!w->isVisible() || !(qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w))) continue;
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
            EXPECT_GE(w->height(), w->minimumSizeHint().height()) << w->objectName().toStdString();
        }
        test::SaveScreenshot(*dialog, name + suffix);
        dialog->hide();
    }
}

} // namespace
