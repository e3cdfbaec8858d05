#include "CupsPrintService.h"

#include "FileUtil.h"
#include "RtfDocument.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

// Queues in memory; a print records what the scheduler would have received.
class FakeQueues final : public PrintQueues {
public:
    struct Job {
        std::string queue, title, pdfStart;
    };
    std::vector<PrinterQueue> queues;
    std::string defaultQueue;
    std::vector<Job>* jobs;

    explicit FakeQueues(std::vector<Job>* sink) : jobs(sink) {}
    std::vector<PrinterQueue> Queues() override { return queues; }
    std::string DefaultQueue() override { return defaultQueue; }
    Result<void> PrintPdf(const std::string& queue, const std::string& pdfPath,
                          const std::string& title) override {
        auto bytes = ReadWholeFile(pdfPath);
        jobs->push_back({queue, title, bytes ? bytes->substr(0, 5) : std::string()});
        return Ok();
    }
};

struct CupsFixture : ::testing::Test {
    test::TempDir work;
    std::vector<FakeQueues::Job> jobs;
    std::vector<std::string> dialogs; // titles the print dialog came up with
    std::optional<std::string> dialogAnswer;
    std::unique_ptr<CupsPrintService> service;

    void SetUp() override {
        auto queues = std::make_unique<FakeQueues>(&jobs);
        queues->queues = {{"Vocanet", "socket://127.0.0.1:9105"},
                          {"RawLoop", "socket://localhost:9105"},
                          {"Office", "ipp://office.example.test/ipp/print"}};
        queues->defaultQueue = "Vocanet";
        VirtualPrinterIdentity identity{{"Vocanet"}, 9105, {}};
        service = std::make_unique<CupsPrintService>(
            CupsPrintService::Hooks{[identity] { return identity; },
                                    [this](const std::string& title) {
                                        dialogs.push_back(title);
                                        return dialogAnswer;
                                    },
                                    [this] { return work.Path(); }, nullptr},
            std::move(queues));
    }
    static RtfDocument Letter() {
        auto doc = RtfDocument::FromString("{\\rtf1\\ansi Dear Dr Example\\par}");
        return doc.ok() ? std::move(doc.value()) : RtfDocument{};
    }
};

TEST_F(CupsFixture, NeverPrintsIntoVvpsOwnQueueAndAsksOnlyWhenAPrintoutIsDue) {
    // The default letter printer names the virtual printer: no message per job...
    EXPECT_TRUE(service->HasPrinter("VocaNet"));
    EXPECT_TRUE(service->HasPrinter("office"));
    EXPECT_FALSE(service->HasPrinter("Elsewhere"));
    EXPECT_TRUE(dialogs.empty());

    // ...but a paper copy due on it brings up the print dialog instead.
    dialogAnswer = "Office";
    ASSERT_TRUE(service->Print(Letter(), "SMITH for Example", "VocaNet").ok());
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].queue, "Office");
    EXPECT_EQ(jobs[0].title, "SMITH for Example");
    EXPECT_EQ(jobs[0].pdfStart, "%PDF-");
    EXPECT_EQ(dialogs, std::vector<std::string>{"SMITH for Example"});
    EXPECT_TRUE(ListFolder(work.Path(), "*", false).empty()) << "the rendered PDF is removed";

    struct Case {
        const char* what;
        std::string printer;
        std::optional<std::string> chosen;
        const char* error;
    } refused[] = {
        {"default queue is ours, dialog cancelled", "", std::nullopt, "No printer was chosen for \"t\""},
        {"raw loop back to our port chosen", "VocaNet", "rawloop",
         "Your Letter printer cannot be the Virtual Printer!"},
        {"unknown printer chosen", "Gone", "Gone", "The printer \"Gone\" is not available"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        dialogAnswer = c.chosen;
        auto printed = service->Print(Letter(), "t", c.printer);
        ASSERT_FALSE(printed.ok());
        EXPECT_EQ(printed.error().message, c.error);
    }
    EXPECT_EQ(jobs.size(), 1u);

    // A usable printer prints without a dialog.
    const size_t asked = dialogs.size();
    ASSERT_TRUE(service->Print(Letter(), "Request Form SMITH, JOHN", "OFFICE").ok());
    EXPECT_EQ(dialogs.size(), asked);
    EXPECT_EQ(jobs.back().queue, "Office");
}

} // namespace
} // namespace vvp
