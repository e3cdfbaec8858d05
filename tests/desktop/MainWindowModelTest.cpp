#include "MainWindowModel.h"
#include "FakeMainWindowEngine.h"

#include <gtest/gtest.h>

using namespace vvp;
using vvp::test::FakeMainWindowEngine;
using vvp::test::FakePlatform;
using vvp::test::HeldRunner;

namespace {

struct ModelFixture : ::testing::Test {
    FakeMainWindowEngine engine;
    HeadlessPrompter prompter;
    FakePlatform platform;
    HeldRunner runner;
    bool trayAvailable = true;
    int quits = 0;
    MainWindowModel model{engine,
                          prompter,
                          platform,
                          runner,
                          {[this] { return trayAvailable; }, [this] { ++quits; }, [] {}},
                          {"/opt/vvp/bin/vvp", "/opt/vvp/README.md"}};

    void SetUp() override {
        ASSERT_TRUE(engine.Start().ok());
        model.FormCreate();
        runner.RunAll();
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : prompter.Transcript())
            if (r.kind == "message") texts.push_back(r.text);
        return texts;
    }
};

} // namespace

TEST_F(ModelFixture, RefreshShowsTheBoxesOfEachSaveMode) {
    struct Case {
        uint8_t mode;
        const char* caption;
        bool domainList;
        bool savePathLabel;
    } cases[] = {{0, "Vocanet Location", true, false},
                 {1, "File Path for outbound files", false, true},
                 {2, "File Path for outbound files", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.mode));
        engine.SetSaveMode(c.mode);
        model.RefreshDisplay();
        runner.RunAll();
        const MainWindowView& v = model.View();
        EXPECT_EQ(v.outputGroupCaption, c.caption);
        EXPECT_EQ(v.domainListVisible, c.domainList);
        EXPECT_EQ(v.saveToPathVisible, c.savePathLabel);
        EXPECT_EQ(v.saveModeChecked, c.mode);
        EXPECT_EQ(v.saveToPathText, "/srv/vvp/VirtualPrinter/");
    }
    EXPECT_EQ(engine.domainRefreshes, 1); // only Save Mode 0 refreshes the domain list
}

TEST_F(ModelFixture, ModeItemsSaveAndTheServerModeComputesItsDomainText) {
    model.UseVocanetVirtualPrinter1Click();
    runner.RunAll();
    EXPECT_EQ(engine.Settings().SaveMode, 0);
    EXPECT_TRUE(model.View().domainListVisible);
    model.VocanetClientMode1Click();
    EXPECT_EQ(engine.Settings().SaveMode, 2);
    EXPECT_EQ(engine.domainTextRefreshes, 1);
    model.SavetoFile1Click();
    EXPECT_EQ(engine.Settings().SaveMode, 1);
    EXPECT_EQ(engine.saves, 3);
}

TEST(StatusLampTest, BlinksByTheTagArithmeticAndIsLimeWhileListening) {
    StatusLamp created;
    std::vector<LampColour> seen;
    for (int i = 0; i < 4; ++i)
        seen.push_back(created.Tick(false));
    EXPECT_EQ(seen, (std::vector<LampColour>{LampColour::ButtonFace, LampColour::Red, LampColour::ButtonFace,
                                             LampColour::Red}));
    EXPECT_EQ(created.Tag(), 0x22);

    StatusLamp loaded;
    loaded.SettingsLoaded();
    EXPECT_EQ(loaded.Tick(false), LampColour::ButtonFace);
    EXPECT_EQ(loaded.Tag(), 0xFFE2);
    EXPECT_EQ(loaded.Tick(false), LampColour::Red);
    EXPECT_EQ(loaded.Tag(), 0xFF22);
    EXPECT_EQ(loaded.Tick(true), LampColour::Lime);
    EXPECT_EQ(loaded.Tag(), 0xFF22); // listening leaves the blink state alone
}

TEST_F(ModelFixture, UncheckingEnabledShowsDisabledAndBlinksCheckingItListensAgain) {
    EXPECT_TRUE(model.View().enabledChecked);
    model.Enable1Click();
    EXPECT_FALSE(model.View().enabledChecked);
    EXPECT_EQ(model.View().statusText, "Disabled");
    model.Tick();
    const LampColour first = model.View().lamp;
    model.Tick();
    EXPECT_NE(model.View().lamp, first);
    EXPECT_NE(model.View().lamp, LampColour::Lime);

    model.Enable1Click();
    EXPECT_EQ(engine.reloads, 1);
    EXPECT_TRUE(model.View().enabledChecked);
    model.Tick();
    EXPECT_EQ(model.View().statusText, "Listening to Vocanet port");
    EXPECT_EQ(model.View().lamp, LampColour::Lime);
}

TEST_F(ModelFixture, HeldJobsShowInTheWindowWhileThereAreAny) {
    model.Tick();
    EXPECT_EQ(model.View().heldJobsText, "");
    engine.heldJobs = 2;
    model.Tick();
    EXPECT_EQ(model.View().heldJobsText, "2 jobs wait for a fix and will be tried again (see the log)");
}

TEST_F(ModelFixture, FirstTickHidesToTheTrayOrMinimisesWithoutOne) {
    EXPECT_EQ(model.View().place, WindowPlace::Shown);
    model.Tick();
    EXPECT_EQ(model.View().place, WindowPlace::InTray);
    EXPECT_TRUE(model.View().trayIconVisible);
    model.Restore();
    model.Tick();
    EXPECT_EQ(model.View().place, WindowPlace::Shown) << "only the first tick hides";
    EXPECT_FALSE(model.View().trayIconVisible);

    trayAvailable = false;
    model.Hide1Click();
    EXPECT_EQ(model.View().place, WindowPlace::Minimised);
    EXPECT_FALSE(model.View().trayIconVisible);
}

TEST_F(ModelFixture, CloseBoxHidesExitEndsSessionEndEndsAtOnce) {
    EXPECT_FALSE(model.FormCloseQuery());
    EXPECT_EQ(model.View().place, WindowPlace::InTray);
    EXPECT_FALSE(model.FormCloseQuery()) << "the tray is not the end";
    EXPECT_EQ(quits, 0);

    model.ExitClick();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(model.View().place, WindowPlace::Hidden);
    EXPECT_TRUE(model.FormCloseQuery());
    EXPECT_FALSE(model.View().trayIconVisible);

    model.EndSession();
    EXPECT_FALSE(engine.ListenerActive());
    EXPECT_EQ(quits, 2);
    EXPECT_TRUE(model.FormCloseQuery());
}

TEST_F(ModelFixture, TickWorkRunsOffTheWindowAndIsSkippedWhileTheLastOneRuns) {
    model.Tick();
    model.Tick();
    EXPECT_EQ(runner.Held(), 1u);
    EXPECT_EQ(engine.ticks, 0);
    runner.RunAll();
    EXPECT_EQ(engine.ticks, 1);
    model.Tick();
    runner.RunAll();
    EXPECT_EQ(engine.ticks, 2);
}

TEST_F(ModelFixture, TokenLogonAndServerQueryShowBusyAndDisableTheirActions) {
    model.TokenLogonClick();
    EXPECT_TRUE(model.View().busy);
    EXPECT_FALSE(model.View().tokenActionsEnabled);
    EXPECT_TRUE(model.View().serverActionsEnabled);
    runner.RunAll();
    EXPECT_FALSE(model.View().busy);
    EXPECT_TRUE(model.View().tokenActionsEnabled);
    EXPECT_EQ(model.View().tokenGroupCaption, "HeSA Token - 1234");
    EXPECT_EQ(model.View().tokenLabel, "Dr Example");

    engine.SetSaveMode(0);
    model.DomainListClick();
    EXPECT_FALSE(model.View().serverActionsEnabled);
    runner.RunAll();
    EXPECT_EQ(model.View().domainList, std::vector<std::string>{"practice@example.test"});
}

TEST_F(ModelFixture, AddressBookIsFetchedBesideTheWindowThenShownWithTheWindowInTheTray) {
    engine.SetSaveMode(0);
    engine.fetchAddressBook = [] { return AddressFetchResult{AddressFetchResult::Status::Fetched, 3, {}}; };
    int shown = 0;
    model.AddressBookClick([&shown] { ++shown; });
    model.AddressBookClick([&shown] { ++shown; }); // the second click while the first runs
    EXPECT_TRUE(model.View().busy);
    EXPECT_EQ(runner.Held(), 1u);
    runner.RunAll();
    EXPECT_FALSE(model.View().busy);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(engine.addressFetches, 1);
    EXPECT_EQ(model.View().place, WindowPlace::InTray);
    ASSERT_FALSE(engine.LogLines().empty());
    EXPECT_EQ(engine.LogLines().front(), "09:00:00 Address book fetched from the server: 3 entries");

    engine.SetSaveMode(2); // the server itself is never asked
    model.AddressBookClick([&shown] { ++shown; });
    runner.RunAll();
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(engine.addressFetches, 1);
}

TEST_F(ModelFixture, LetterPrinterRefusesTheVirtualPrinterHoweverItIsNamedOrReached) {
    (void)engine.ChangeSettings([](VNPTRRegValues& v) {
        v.Port = 9105;
        v.PrinterListText = "VocanetCopy\r\n";
    });
    engine.queues = {{"Office", "ipp://printer.example.test/ipp/print"},
                     {"RawToUs", "socket://127.0.0.1:9105"},
                     {"RawViaName", "socket://LOCALHOST:9105/?waiteof=false"},
                     {"RawElsewhere", "socket://127.0.0.1:9106"},
                     {"RemoteRaw", "socket://10.0.0.7:9105"}};
    struct Case {
        const char* chosen;
        bool refused;
    } cases[] = {{"vocanet", true},    {"VOCANET", true},       {"VocanetCopy", true}, {"RawToUs", true},
                 {"RawViaName", true}, {"RawElsewhere", false}, {"RemoteRaw", false},  {"Office", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        (void)engine.ChangeSettings([](VNPTRRegValues& v) { v.ReportPrinter = "Before"; });
        const size_t before = Messages().size();
        prompter.AddAnswer("Letter Printer", c.chosen);
        const int lookups = engine.queueLookups;
        model.ReportPrinterClick();
        // The CUPS server is asked off the GUI thread: a slow one never freezes the window.
        EXPECT_EQ(engine.queueLookups, lookups);
        EXPECT_TRUE(model.View().busy);
        EXPECT_EQ(Messages().size(), before);
        EXPECT_EQ(engine.Settings().ReportPrinter, "Before");
        ASSERT_EQ(runner.Held(), 1u);
        runner.RunAll();
        EXPECT_EQ(engine.queueLookups, lookups + 1);
        EXPECT_FALSE(model.View().busy);
        const auto messages = Messages();
        if (c.refused) {
            ASSERT_EQ(messages.size(), before + 1);
            EXPECT_EQ(messages.back(), kLetterPrinterRefused);
            EXPECT_EQ(engine.Settings().ReportPrinter, "Before");
        } else {
            EXPECT_EQ(messages.size(), before);
            EXPECT_EQ(engine.Settings().ReportPrinter, c.chosen);
            EXPECT_EQ(model.View().reportPrinterText, c.chosen);
        }
    }
}

TEST_F(ModelFixture, AutoStartCheckMarkFollowsTheDiskAndAFailureIsShown) {
    EXPECT_FALSE(model.View().autoStartChecked);
    model.AutoStartClick();
    EXPECT_TRUE(model.View().autoStartChecked);
    EXPECT_EQ(platform.lastProgram, "/opt/vvp/bin/vvp");
    platform.failWrites = true;
    model.AutoStartClick();
    EXPECT_TRUE(model.View().autoStartChecked) << "the entry is still on disk";
    ASSERT_FALSE(Messages().empty());
    EXPECT_NE(Messages().back().find("Cannot create the autostart entry"), std::string::npos);
}

TEST_F(ModelFixture, ServerDialogIgnoresThePlaceholderAndQueriesANewServer) {
    engine.SetSaveMode(0);
    prompter.AddAnswer(kServerCaption, kServerPlaceholder);
    model.SaveToPathClick();
    runner.RunAll();
    EXPECT_EQ(engine.serverQueries, 0);
    EXPECT_EQ(engine.Settings().VocanetServer, "");

    prompter.AddAnswer(kServerCaption, " vvpserver:9200 ");
    model.SaveToPathClick();
    runner.RunAll();
    EXPECT_EQ(engine.Settings().VocanetServer, "vvpserver:9200");
    EXPECT_EQ(engine.serverQueries, 1);
}

TEST_F(ModelFixture, FolderBrowsersSetPathsWithATrailingSeparatorAndCancelKeepsThem) {
    prompter.AddAnswer(kSavePathTitle, "/data/out");
    model.SaveToPathClick();
    EXPECT_EQ(engine.Settings().SavePath, "/data/out/");
    prompter.AddAnswer(kMonitorPathTitle, "cancel");
    model.MonitorFileBtnClick();
    EXPECT_EQ(engine.Settings().MonitorPath, "");
    EXPECT_EQ(model.View().monitorPathText, "No Monitor File Path set");
}

TEST_F(ModelFixture, SwitchingSigningOffHidesTheTokenAndMonitorBoxes) {
    (void)engine.ChangeSettings([](VNPTRRegValues& v) { v.MonitorSigning = true; });
    model.RefreshDisplay();
    EXPECT_TRUE(model.View().signingGroupVisible);
    model.SignusingHeSAToken1Click();
    EXPECT_FALSE(engine.Settings().HeSATokens);
    EXPECT_FALSE(model.View().signingChecked);
    EXPECT_FALSE(model.View().tokenGroupVisible);
    EXPECT_FALSE(model.View().signingGroupVisible);
    EXPECT_EQ(model.View().tokenLabel, "No tokens logged on");
    model.SignusingHeSAToken1Click();
    EXPECT_TRUE(model.View().tokenGroupVisible);
}

TEST_F(ModelFixture, PrinterToolsRunBesideTheWindowOneAtATimeAndFillThePrinterList) {
    EXPECT_EQ(engine.printerChecksAtLoad, 1) << "the printer check of the settings load";
    model.VerifyVocanetDetails1Click();
    EXPECT_TRUE(model.View().busy);
    EXPECT_FALSE(model.View().printerActionsEnabled);
    EXPECT_FALSE(model.View().createPrinterEnabled);
    model.VerifyVocanetDetails1Click();
    model.PPortButtonClick();
    EXPECT_FALSE(model.View().portEditEnabled) << "the port waits for the printer tools";
    EXPECT_EQ(runner.Held(), 1u);
    runner.RunAll();
    EXPECT_EQ(engine.printerChecks, 1);
    EXPECT_FALSE(model.View().busy);
    EXPECT_TRUE(model.View().createPrinterEnabled);
    EXPECT_EQ(model.View().printerList, (std::vector<std::string>{"Vocanet", "Front Desk"}));

    model.CreateVocanetPrinter1Click(); // cancelled
    EXPECT_EQ(engine.printerQuestions, 1);
    EXPECT_EQ(runner.Held(), 0u);
    engine.newPrinter = MainWindowEngine::NewPrinter{9300, "Vocanet2"};
    model.CreateVocanetPrinter1Click();
    EXPECT_EQ(runner.Held(), 1u) << "only the tools run in the background, not the questions";
    runner.RunAll();
    EXPECT_EQ(engine.created, std::vector<std::string>{"Vocanet2:9300"});

    model.Enable1Click();
    model.Enable1Click();
    runner.RunAll();
    EXPECT_EQ(engine.printerChecksAtLoad, 2) << "each settings load checks again";

    platform.printerAdministration = false;
    model.RefreshDisplay();
    EXPECT_FALSE(model.View().createPrinterEnabled);
    model.VerifyVocanetDetails1Click();
    EXPECT_EQ(Messages().back(), kNoPrinterAdministration);
    EXPECT_EQ(runner.Held(), 0u);
}

TEST_F(ModelFixture, PortBoxAsksOnlyAfterItsButtonAndOncePerEdit) {
    model.PortEditExit("9200");
    EXPECT_TRUE(engine.portsTyped.empty()) << "the box is disabled until its button is clicked";
    model.PPortButtonClick();
    EXPECT_TRUE(model.View().portEditEnabled);
    model.PortEditExit("bound-elsewhere");
    model.PortEditExit("bound-elsewhere"); // the question took the focus from the box
    EXPECT_EQ(engine.portsTyped, std::vector<std::string>{"bound-elsewhere"});
    EXPECT_FALSE(model.View().portEditEnabled);
    EXPECT_EQ(model.View().portText, "9105");
    EXPECT_FALSE(model.View().enabledChecked);
    EXPECT_EQ(model.View().statusText, "Disabled");
}
