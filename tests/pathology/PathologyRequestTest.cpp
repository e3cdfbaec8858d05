#include "HeadlessPathologyDialogs.h"
#include "OrmWriter.h"
#include "RequestPages.h"
#include "txttopitdefUnit.h"

#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <set>
#include <thread>

namespace vvp::pathology {
namespace {

const char* const kLabs =
    "[Acme Pathology]\r\n\r\nLabName=Acme Pathology\r\nReceivingApp=ACMELAB\r\n"
    "EAddress=orders@acme.example\r\nReceivingFacility=ACME^2000^AUSNATA\r\nYourRefisORDER=N\r\n"
    "\r\n[Paper Only]\r\n\r\nLabName=Paper Only\r\nYourRefisORDER=N\r\n"
    "\r\n[PRACTICE]\r\n\r\nLabName=PRACTICE\r\nReceivingApp=VVP\r\nEAddress=me@clinic.example\r\n"
    "ReceivingFacility=CLINIC^1234^AUSHIC\r\nPracticeName=Example Clinic\r\n";

struct Fixture : ::testing::Test {
    vvp::test::TempDir folder;
    HeadlessPrompter prompter;
    HeadlessPathologyDialogs dialogs{prompter};
    FixedClock clock{*EncodeDateTime({2024, 3, 1, 9, 5, 7, 123}), 600};
    std::mutex printedMutex;
    std::vector<std::string> printed;
    PathologyContext context{clock, dialogs, folder.Path(), [this](const std::string& printer, TPitFile& r) {
                                 std::lock_guard lock(printedMutex);
                                 printed.push_back(printer + ":" + r.Surname);
                             }};

    void SetUp() override { folder.Write(kLabFileName, std::string(kLabs) + "YourRefisORDER=N\r\n"); }
    std::string Create(const std::string& page = pages::StandardPage()) {
        return CreatePathologyRequest(page, "Report", context);
    }
};

TEST_F(Fixture, UnscriptedRequestGoesToTheFirstLaboratoryWithTheNextOrderNumber) {
    const std::string result = Create();
    ASSERT_EQ(result.rfind("orders@acme.example:ORM\r\nFHS|", 0), 0u) << vvp::test::Visible(result);
    EXPECT_EQ(result.find('\n', 25), std::string::npos); // segments end with CR alone
    EXPECT_EQ(result.substr(result.size() - 10), "\rFTS|1|1|\r");
    EXPECT_NE(result.find("\rMSH|^~\\&|VVP|CLINIC^1234^AUSHIC|ACMELAB|ACME^2000^AUSNATA|"),
              std::string::npos);
    EXPECT_NE(result.find("\rPID|1||1234^^^^IP~"), std::string::npos); // YourRef is not the order number
    EXPECT_EQ(printed, std::vector<std::string>{"Report:SMITH"});
    Create();
    const std::string third = Create();
    EXPECT_EQ(third.substr(third.size() - 10), "\rFTS|1|3|\r");
    ASSERT_FALSE(prompter.Transcript().empty());
    EXPECT_EQ(prompter.Transcript()[0].caption, "Pathology Details");
    EXPECT_EQ(prompter.Transcript()[0].text.rfind("Pathology Details - FBC;LFT;UEC \r\n", 0), 0u);
    EXPECT_EQ(prompter.Transcript()[0].answer, "ACME PATHOLOGY");
}

TEST_F(Fixture, PracticeReferenceAsOrderNumber) {
    folder.Write(kLabFileName, std::string(kLabs) + "YourRefisORDER=Y\r\n");
    const std::string result = Create();
    EXPECT_NE(result.find("\rFTS|1|1234|\r"), std::string::npos);
    EXPECT_NE(result.find("\rPID|1||21234567011^^^AUSHIC^MC||"), std::string::npos);
    EXPECT_FALSE(FileExists(folder.File(kGroupCounterFileName)));
}

// An order without an address used to be stored under an empty name and logged as generated.
TEST_F(Fixture, LaboratoryWithoutElectronicAddressIsAnError) {
    prompter.AddAnswer("Pathology Details", "paper only");
    EXPECT_EQ(Create(), "ERROR: No order was sent: the laboratory \"Paper Only\" has no electronic address "
                        "(EAddress) in ElectronicLabDetails.inf.");
    EXPECT_EQ(printed.size(), 1u);
    EXPECT_FALSE(FileExists(folder.File(kGroupCounterFileName))); // no order number used up
}

// The platform the laboratory file comes from reads INI keys and section names in any case.
TEST_F(Fixture, LaboratoryFileKeysAndSectionsInAnyCase) {
    folder.Write(kLabFileName,
                 "[acme PATHOLOGY]\r\n\r\nlabname=Acme Pathology\r\nRECEIVINGAPP=ACMELAB\r\n"
                 "eaddress=orders@acme.example\r\nyourrefisorder=N\r\n\r\n[practice]\r\n\r\n"
                 "LABNAME=PRACTICE\r\nreceivingApp=VVP\r\nReceivingfacility=CLINIC^1234^AUSHIC\r\n"
                 "YOURREFISORDER=N\r\n");
    const std::string result = Create();
    EXPECT_EQ(result.rfind("orders@acme.example:ORM\r\nFHS|^~\\&|VVP|CLINIC|ACMELAB|Acme Pathology|", 0), 0u)
        << vvp::test::Visible(result);
    EXPECT_EQ(result.substr(result.size() - 10), "\rFTS|1|1|\r");
}

TEST_F(Fixture, ResultWords) {
    prompter.AddAnswer("Pathology Details", "Cancel");
    EXPECT_EQ(Create(), "User Cancelled");
    EXPECT_TRUE(printed.empty());
    EXPECT_EQ(Create("Dear Doctor\r\n"), "");

    auto lines = pages::StandardLines();
    lines[3] = "12 SMITH ST";
    EXPECT_EQ(Create(pages::Join(lines)), "ERROR: Address and phone data is not in expected format");
    lines = pages::StandardLines();
    lines[0] = "2123456709";
    EXPECT_EQ(Create(pages::Join(lines)), "ERROR: Medicare Card number not Duplicated in second section");
    lines = pages::StandardLines();
    lines[2] = "SMITH,";
    EXPECT_EQ(Create(pages::Join(lines)), "ERROR: Patient Data is not in expected format");
    EXPECT_FALSE(FileExists(folder.File(kGroupCounterFileName)));
}

TEST_F(Fixture, MissingLaboratoryDetailsEndTheRequestInsteadOfLooping) {
    prompter.AddAnswer("Pathology Details", "Nowhere Labs");
    EXPECT_EQ(Create(), "ERROR: No laboratory details for \"Nowhere Labs\" in ElectronicLabDetails.inf");

    folder.Write(kLabFileName, "[Acme]\r\n\r\nLabName=Acme\r\nEAddress=a@x\r\n");
    prompter.AddAnswer("Pathology Details", "ACME");
    EXPECT_EQ(Create(), "ERROR: No practice details (section [PRACTICE]) in ElectronicLabDetails.inf");

    DeleteFileIfExists(folder.File(kLabFileName));
    HeadlessPrompter unscripted;
    HeadlessPathologyDialogs headless(unscripted);
    PathologyContext bare(clock, headless, folder.Path());
    EXPECT_EQ(CreatePathologyRequest(pages::StandardPage(), "", bare),
              "ERROR: No laboratory is listed in ElectronicLabDetails.inf");
    EXPECT_TRUE(printed.empty());
}

// The details dialog as the desk works it: each press of OK runs the OK loop, and the dialog stays
// open until that succeeds or the user cancels it.
class DeskDialogs final : public PathologyDialogs {
public:
    std::deque<std::string> presses; // the laboratory chosen at each press of OK
    int labDialogs = 0;              // each one cancelled
    bool abandon = false;

    PathDetailsOutcome ShowPathologyDetails(const PathDetailsRequest& request,
                                            PathDetailsSession& session) override {
        if (abandon) throw PromptAbandoned();
        PathDetailsOutcome outcome;
        for (; !presses.empty(); presses.pop_front()) {
            auto confirmed = session.ConfirmOk(presses.front());
            if (confirmed && *confirmed == PathDetailsSession::OkOutcome::Confirmed) {
                outcome.kind = PathDetailsOutcome::Kind::Ok;
                outcome.ticks = request.ticks;
                return outcome;
            }
        }
        return outcome;
    }
    std::optional<tLaboratoryInfo> EditLaboratory(const tLaboratoryInfo&) override {
        ++labDialogs;
        return std::nullopt;
    }
};

TEST_F(Fixture, CancelInTheLaboratoryDialogLeavesTheDetailsDialogOpen) {
    DeskDialogs desk;
    PathologyContext atDesk(clock, desk, folder.Path());
    desk.presses = {"Nowhere Labs", "", "acme pathology"};
    EXPECT_EQ(
        CreatePathologyRequest(pages::StandardPage(), "", atDesk).rfind("orders@acme.example:ORM\r\n", 0),
        0u);
    EXPECT_EQ(desk.labDialogs, 2);

    desk.presses = {"Nowhere Labs"};
    EXPECT_EQ(CreatePathologyRequest(pages::StandardPage(), "", atDesk), "User Cancelled");
    EXPECT_EQ(desk.labDialogs, 3);

    // The program ending while the dialog is open is no failed request: the job stops.
    desk.abandon = true;
    EXPECT_THROW(CreatePathologyRequest(pages::StandardPage(), "", atDesk), PromptAbandoned);
}

TEST_F(Fixture, OversizedRequestIsRefusedBeforeTheDialog) {
    auto lines = pages::StandardLines();
    std::string tests, notes(6000, 'n');
    for (int i = 0; i < 3000; ++i)
        tests += "A; ";
    lines[6] = tests;
    lines[10] = notes;
    EXPECT_EQ(Create(pages::Join(lines)), "ERROR: The request is too large to be sent as an order");
    EXPECT_TRUE(prompter.Transcript().empty());
}

TEST_F(Fixture, ByteFFIsALineEnd) {
    std::string page;
    for (const auto& l : pages::StandardLines())
        page += l + "\xFF";
    EXPECT_EQ(Create(page).rfind("orders@acme.example:ORM\r\n", 0), 0u);
}

TEST_F(Fixture, ConcurrentRequestsGetDistinctOrderNumbers) {
    constexpr int kThreads = 4;
    std::vector<std::string> results(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { results[static_cast<size_t>(i)] = Create(); });
    for (auto& t : threads)
        t.join();
    std::set<std::string> numbers;
    for (const auto& r : results)
        numbers.insert(r.substr(r.rfind("FTS|")));
    EXPECT_EQ(numbers.size(), static_cast<size_t>(kThreads));
}

} // namespace
} // namespace vvp::pathology
