// The printer menu items and checks, with the real scripts running fake lpstat and lpadmin
// found first on PATH.
#include "PrinterProvisioning.h"

#include "FakeCupsTools.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

using namespace vvp;
using namespace vvp::test;

namespace {

class FakePlatform final : public Platform {
public:
    bool available = true;
    bool AcquireSingleInstance(const std::string&) override { return true; }
    bool IsAutoStartEnabled() override { return false; }
    bool SetAutoStart(bool, const std::string&) override { return false; }
    bool OpenDocument(const std::string&) override { return false; }
    bool BringWindowToFront(const std::string&) override { return false; }
    bool PrinterAdministrationAvailable() override { return available; }
};

class PrinterProvisioningTest : public ::testing::Test {
protected:
    void SetUp() override {
        const FakeCups cups = InstallFakeCupsTools(dir);
        (void)ForceDirectories(dir.File("tmp"));
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (cups.bin + ":" + m_path).c_str(), 1);
        ::setenv("FAKE_CUPS", cups.state.c_str(), 1);
        settings.Set(VNPTRRegValues{});
    }
    void TearDown() override { ::setenv("PATH", m_path.c_str(), 1); }

    PrinterProvisioning Make(PrinterToolLimits limits = {}) {
        return PrinterProvisioning({platform,
                                    prompter,
                                    settings,
                                    [this]() -> Result<void> {
                                        ++saves;
                                        return Ok();
                                    },
                                    dir.File("tmp/"),
                                    {BinDir()},
                                    [this](const std::string& l) { log += l + "\n"; }},
                                   limits);
    }
    std::string Lpadmin() const {
        return FileExists(dir.File("cups/lpadmin.log")) ? dir.Read("cups/lpadmin.log") : "";
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : prompter.Transcript())
            if (r.kind == "message") texts.push_back(r.text);
        return texts;
    }
    size_t Asked(const std::string& caption) const {
        size_t n = 0;
        for (const auto& r : prompter.Transcript())
            n += r.caption == caption;
        return n;
    }

    TempDir dir;
    FakePlatform platform;
    HeadlessPrompter prompter;
    SettingsHolder settings;
    int saves = 0;
    std::string log;

private:
    std::string m_path;
};

const char* const kPortCaption = "Create Vocanet Printer: TCP Port Number";
const char* const kNameCaption = "Create Vocanet Printer: Port Name";

} // namespace

TEST_F(PrinterProvisioningTest, MenuItemAsksUntilItHasANumberAndANameThenCreatesTheQueue) {
    prompter.AddAnswer(kPortCaption, "ninety");
    prompter.AddAnswer(kPortCaption, "70000");
    prompter.AddAnswer(kPortCaption, "9300"); // outside the range the prompt names, and taken
    prompter.AddAnswer(kNameCaption, "   ");
    prompter.AddAnswer(kNameCaption, "a/b");
    prompter.AddAnswer(kNameCaption, " $(id >x) ");
    EXPECT_EQ(Make().CreateVocanetPrinter(), "OK") << log;
    EXPECT_EQ(Asked(kPortCaption), 3u);
    EXPECT_EQ(Asked(kNameCaption), 4u); // the refused name is told and asked again
    // The typed name reaches lpadmin as it is, never as shell text.
    EXPECT_NE(Lpadmin().find("-p\n$(id>x)\n-E\n-v\nsocket://127.0.0.1:9300\n"), std::string::npos)
        << Lpadmin();
    EXPECT_EQ(Messages().back(), "Printer Created successfully");
    EXPECT_EQ(settings.Get().Port, 9105); // the listener keeps its port
}

TEST_F(PrinterProvisioningTest, CancelOrAnEmptyAnswerEndsTheMenuItem) {
    for (const char* answer : {"Cancel", ""}) {
        prompter.AddAnswer(kPortCaption, "9105");
        prompter.AddAnswer(kNameCaption, answer);
        EXPECT_EQ(Make().CreateVocanetPrinter(), "") << answer;
    }
    EXPECT_EQ(Lpadmin(), "");
    EXPECT_TRUE(Messages().empty());
}

TEST_F(PrinterProvisioningTest, FailuresAreReportedNeverAsCreated) {
    const char* const failed = "There was a problem creating the Printer object.";
    // A queue of that name exists (letter case ignored): lpadmin would re-point it.
    dir.Write("cups/printers", "vocanet socket://192.168.1.50:9100\n");
    EXPECT_EQ(Make().CreatePrinter(9105, "Vocanet"), "ERROR");
    EXPECT_EQ(Lpadmin(), "");
    EXPECT_NE(log.find("A printer named Vocanet already exists"), std::string::npos) << log;

    // lpadmin fails.
    dir.Write("cups/lpadmin.fail", "");
    EXPECT_EQ(Make().CreatePrinter(9105, "Vocanet2"), "ERROR");
    EXPECT_NE(log.find("lpadmin: Forbidden"), std::string::npos) << log;

    // lpadmin never returns: given up at the limit, killed with what it started.
    dir.Write("cups/lpadmin.hang", "");
    const auto start = std::chrono::steady_clock::now();
    PrinterToolLimits quick;
    quick.create = std::chrono::milliseconds(1500);
    EXPECT_EQ(Make(quick).CreatePrinter(9105, "Vocanet3"), "ERROR");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    const std::string pid = dir.Read("cups/lpadmin.pid");
    ASSERT_FALSE(pid.empty());
    const std::string state =
        RunCommand("awk '{ print $3 }' /proc/" + pid.substr(0, pid.find('\n')) + "/stat").output;
    EXPECT_TRUE(state.empty() || state.find("No such file") != std::string::npos || state[0] == 'Z') << state;

    EXPECT_EQ(Messages(), std::vector<std::string>(3, failed));
    EXPECT_EQ(Make().CreatePrinter(0, "Vocanet4"), "ERROR");
}

TEST_F(PrinterProvisioningTest, CheckFindsThePrintersOnTheListenersPort) {
    dir.Write("cups/printers", "Vocanet socket://127.0.0.1:9105/\n"
                               "Front SOCKET://127.0.0.1:9105?waiteof=false\n"
                               "Remote socket://10.1.1.1:9105\n"
                               "Office ipp://localhost/printers/office\n"
                               "Other socket://127.0.0.1:9106\n");
    PrinterProvisioning printers = Make();
    EXPECT_EQ(printers.ListPorts(),
              "9105=socket://127.0.0.1:9105,127.0.0.1\r\n9106=socket://127.0.0.1:9106,127.0.0.1\r\n");
    EXPECT_EQ(printers.CheckPrinter(), "OK");
    EXPECT_EQ(settings.Get().PrinterListText, "Vocanet\r\nFront\r\n");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Lpadmin(), "");

    // A filled list is kept; a missing port makes the printer from Port and PortName.
    settings.Update([](VNPTRRegValues& v) { v.Port = 9200, v.PortName = "VVP"; });
    EXPECT_EQ(printers.CheckPrinter(), "OK");
    EXPECT_NE(Lpadmin().find("-p\nVVP\n-E\n-v\nsocket://127.0.0.1:9200\n"), std::string::npos) << Lpadmin();
    EXPECT_EQ(settings.Get().PrinterListText, "VVP");
    EXPECT_EQ(saves, 2);
}

TEST_F(PrinterProvisioningTest, WithoutPrinterAdministrationNothingIsRunOrCreated) {
    platform.available = false;
    dir.Write("cups/printers", "Vocanet socket://127.0.0.1:9105\n");
    PrinterProvisioning printers = Make();
    EXPECT_EQ(printers.ListPorts(), "");
    EXPECT_EQ(printers.CreateVocanetPrinter(), "");
    EXPECT_EQ(printers.CheckPrinter(), "");
    EXPECT_EQ(settings.Get().PrinterListText, "Vocanet");
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Lpadmin(), "");
    EXPECT_TRUE(prompter.Transcript().empty());
}

TEST_F(PrinterProvisioningTest, ManualPortChange) {
    const struct {
        const char* what;
        const char* answer;
        std::string typed;
        std::vector<int> bindFails;
        std::vector<int> restarts;
        int port;
        size_t messages;
    } cases[] = {
        {"No changes nothing", "No", "9200", {}, {}, 9105, 1},
        {"a new port", "Yes", " 9200 ", {}, {9200}, 9200, 1},
        {"not a number: the current port", "Yes", "abc", {}, {9105}, 9105, 1},
        {"port 0 is refused", "Yes", "0", {}, {9105}, 9105, 2},
        {"a port that cannot be used: back to the old one", "Yes", "9200", {9200}, {9200, 9105}, 9105, 2},
    };
    for (const auto& c : cases) {
        HeadlessPrompter answers;
        answers.AddAnswer("Change Printer Port", c.answer);
        settings.Set(VNPTRRegValues{});
        saves = 0;
        PrinterProvisioning printers({platform,
                                      answers,
                                      settings,
                                      [this]() -> Result<void> {
                                          ++saves;
                                          return Ok();
                                      },
                                      dir.File("tmp/"),
                                      {BinDir()},
                                      {}});
        std::vector<int> restarts;
        const std::string shown = printers.ChangePortManually(c.typed, [&](int32_t port) -> Result<void> {
            restarts.push_back(port);
            for (int bad : c.bindFails)
                if (bad == port) return Error{"Address already in use"};
            return Ok();
        });
        EXPECT_EQ(restarts, c.restarts) << c.what;
        EXPECT_EQ(settings.Get().Port, c.port) << c.what;
        EXPECT_EQ(shown, std::to_string(c.port)) << c.what;
        EXPECT_EQ(saves, c.restarts.empty() ? 0 : 1) << c.what;
        EXPECT_EQ(answers.Transcript().size(), c.messages) << c.what;
    }
}
