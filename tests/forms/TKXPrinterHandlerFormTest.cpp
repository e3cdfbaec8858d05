#include "TKXPrinterHandlerForm.h"
#include "FakeMainWindowEngine.h"
#include "FileUtil.h"
#include "GuiTestSupport.h"
#include "LinuxPlatform.h"
#include "QtBackgroundRunner.h"
#include "QtPrompter.h"
#include "Spool.h"
#include "TestSupport.h"
#include "TVVPSplash.h"
#include "VvpTrayIcon.h"

#include <QAction>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <future>
#include <iostream>
#include <sys/stat.h>

using namespace vvp;
using namespace std::chrono_literals;

namespace {

struct FormFixture : ::testing::Test, test::WithGuiApp {
    ~FormFixture() override {
        for (QDialog* d : test::OpenDialogs())
            d->done(QDialog::Rejected);
        prompter.Abandon();
        runner.WaitForDone();
    }

    test::FakeMainWindowEngine engine;
    test::FakePlatform platform;
    QtPrompter prompter;
    test::DialogRobot robot;
    QtBackgroundRunner runner;
    int quits = 0;
    TKXPrinterHandlerForm form{engine, prompter, platform, runner, {"/opt/vvp/bin/vvp", ""}, [this] {
                                   prompter.Abandon();
                                   ++quits;
                               }};

    template <typename T> T* Find(const char* name) { return test::FindNamed<T>(form, name); }
    QString Text(const char* name) {
        QObject* o = form.findChild<QObject*>(QString::fromLatin1(name));
        if (!o) o = form.TrayIcon().Menu()->findChild<QObject*>(QString::fromLatin1(name));
        return test::ShownText(o, name);
    }
};

} // namespace

TEST_F(FormFixture, ComponentsCarryTheirNamesAndFirstTexts) {
    const std::pair<const char*, const char*> texts[] = {
        {"GroupBox3", "Status"},
        {"VPStatusLabel", "Inactive"},
        {"GroupBox2", "Printer Port"},
        {"PPortButton", ".."},
        {"PortEdit", "9105"},
        {"GroupBox4", "Virtual Printers"},
        {"GroupBox1", "Letter Printer"},
        {"ReportPrinterBtn", ".."},
        {"Report_PrinterLabel", "No Letter Printer Set"},
        {"FilePathOrVocanetGroup", "File path/Vocanet Client "},
        {"Button1", ".."},
        {"SaveToPathLabel", "No File Path or Vocanet Server Detected"},
        {"HeSATokenGroup", "HeSA Tokens - Not logged on "},
        {"TokenLogonbtn", ".."},
        {"TokenLabel", "Not logged on"},
        {"SigningPathGroup", "Monitor Path for Signing"},
        {"MonitorFileBtn", ".."},
        {"MonitorPathLabel", "No Monitor File Path set"},
        {"Label1", "Sign only Files containing :"},
        {"Enable1", "Vocanet Printer &Enabled"},
        {"AutoStart", "&Auto Start at logon"},
        {"UseMsgRecipientHeader1", "&Use MsgRecipient Header"},
        {"SignusingHeSAToken1", "&Sign using HeSA Token"},
        {"MonitorPathforfilestoSign1", "&Monitor Path for files to Sign"},
        {"VerifyVocanetDetails1", "&Verify Vocanet Printer Details"},
        {"CreateVocanetPrinter1", "&Create Vocanet Printer"},
        {"Hide1", "&Hide"},
        {"Exit1", "E&xit"},
        {"LetterHeads1", "&Letter Heads"},
        {"SavetoFile1", "&Save to File path"},
        {"UseVocanetVirtualPrinter1", "S&end to Vocanet Virtual Printer"},
        {"VocanetClientMode1", "&Act as Vocanet Virtual Printer"},
        {"AddressBook1", "&Address Book"},
        {"OnLinehelp1", "On-Line &Help"},
        {"UpdateVVP1", "&Update VVP"},
        {"Entities1", "&Entities"},
        {"AddressBook2", "&Address Book"},
        {"Restore1", "&Restore"},
        {"Exit2", "E&xit"},
    };
    for (const auto& [name, text] : texts)
        EXPECT_EQ(Text(name), QString::fromLatin1(text)) << name;

    EXPECT_EQ(form.windowTitle(), "Vocanet Virtual Printer");
    EXPECT_EQ(form.toolTip(), "Vocanet Virtual Printer Manager");
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(Find<QLineEdit>("PortEdit")->isEnabled());
    EXPECT_EQ(Find<QListWidget>("PrinterList")->toolTip(), "I am connected to these Windows printers");
    EXPECT_EQ(Find<QListWidget>("DomainList")->toolTip(), "I can send via these VocaNet Accounts");
    EXPECT_EQ(Find<QLineEdit>("SignOnlyText")->toolTip(),
              "Ignore files Not containing this text.  Separate Text to look for with ;");
    EXPECT_EQ(Find<QAction>("Hide1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    EXPECT_EQ(Find<QAction>("VocanetClientMode1")->toolTip(),
              "Accept Messages From other Vocanet Printers on the network");
    EXPECT_FALSE(Find<QGroupBox>("GroupBox4")->isVisibleTo(&form));
    EXPECT_EQ(Find<QTimer>("Timer1")->interval(), 1000);
    EXPECT_FALSE(Find<QTimer>("Timer1")->isActive()) << "the timer starts when the window is first shown";
    EXPECT_EQ(form.TrayIcon().objectName(), "TrayIcon1");
    EXPECT_EQ(form.TrayIcon().Menu()->objectName(), "TrayPopup");
}

TEST_F(FormFixture, CloseBoxHidesExitEndsAndAnOpenJobPromptIsAbandoned) {
    form.FormCreate();
    form.show();
    ASSERT_TRUE(test::WaitUntil([&] { return form.isVisible(); }));
    EXPECT_TRUE(Find<QTimer>("Timer1")->isActive());
    form.close();
    test::WaitUntil([] { return false; }, 50ms);
    if (VvpTrayIcon::Available())
        EXPECT_FALSE(form.isVisible());
    else
        EXPECT_TRUE(form.isMinimized()) << "without a tray the window is minimised, never lost";
    EXPECT_EQ(quits, 0);

    robot.Then([this](QDialog*) { form.TrayIcon().Menu()->findChild<QAction*>("Exit2")->trigger(); });
    auto job = std::async(std::launch::async, [this] {
        return prompter.Message({"Addressing Problem", "save instead?", Buttons::YesNo, Icon::Error});
    });
    ASSERT_TRUE(test::WaitUntil([this] { return quits == 1; }));
    ASSERT_TRUE(test::WaitUntil([&] { return job.wait_for(0ms) == std::future_status::ready; }, 5s));
    EXPECT_THROW(job.get(), PromptAbandoned);
    EXPECT_TRUE(test::WaitUntil([] { return test::OpenDialogs().isEmpty(); }));
    EXPECT_FALSE(form.isVisible());
}

TEST_F(FormFixture, ScreenshotsOfEachSaveModeAndEachDialogKind) {
    ASSERT_TRUE(engine.Start().ok());
    engine.LogLine("Service started");
    engine.LogLine("Saved message for someone@example.test\r\n to /srv/vvp/VirtualPrinter/");
    form.FormCreate();
    auto* memo = Find<QPlainTextEdit>("Memo1");
    EXPECT_EQ(memo->blockCount(), 2) << "one line an entry";
    EXPECT_TRUE(memo->toPlainText().contains(QChar(0x21B5)));
    form.show();
    form.Timer1Timer(); // the lamp, as a listening printer shows it
    form.Model().Restore();
    for (const uint8_t mode : {0, 1, 2}) {
        engine.SetSaveMode(mode);
        if (mode == 0)
            (void)engine.ChangeSettings([](VNPTRRegValues& v) { v.VocanetServer = "vvpserver:9105"; });
        form.Model().RefreshDisplay();
        if (mode == 0) form.Model().DomainListClick();
        runner.WaitForDone();
        test::WaitUntil([&] { return form.Model().View().serverActionsEnabled; });
        form.EngineChanged();
        test::WaitUntil([] { return false; }, 50ms);
        const std::string path = test::SaveScreenshot(form, "main-window-save-mode-" + std::to_string(mode));
        EXPECT_TRUE(FileExists(path)) << path;
    }

    struct Shot {
        const char* name;
        std::function<void()> ask;
    } shots[] = {
        {"message-yes-no",
         [this] {
             (void)prompter.Message(
                 {"Addressing Problem",
                  "I was unable to find a server able to accept messages for x@example.test\r\n\r\n"
                  "Do you want to save the Electronic Message instead?",
                  Buttons::YesNo, Icon::Error});
         }},
        {"message-yes-no-cancel",
         [this] {
             (void)prompter.Message(
                 {"Digital Signing",
                  "VVP is not able to Sign this message.\r\n  Unable to intialise CryptoStore.\r\n\r\n"
                  "Would you like to send the message without signing?",
                  Buttons::YesNoCancel, Icon::Error});
         }},
        {"message-abort-retry-ignore",
         [this] {
             (void)prompter.Message(
                 {"Digital Signing",
                  "VVP can't find a signing token.\r\nNot logged on\r\n\r\nPlease Insert a Token and "
                  "click Retry OR\r\n click Ignore to send the message without signing",
                  Buttons::AbortRetryIgnore, Icon::Error});
         }},
        {"message-ok", [this] { prompter.Show("Vocanet Virtual Printer", kLetterPrinterRefused); }},
        {"input", [this] { (void)prompter.Input(kServerCaption, kServerPrompt, kServerPlaceholder); }},
        {"folder", [this] { (void)prompter.BrowseFolder(kSavePathTitle); }},
        {"print", [this] { (void)prompter.ChoosePrinter("SMITH for Example"); }},
    };
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.name);
        std::string saved;
        robot.Then([&saved, &shot](QDialog* dialog) {
            test::WaitUntil([] { return false; }, 50ms);
            saved = test::SaveScreenshot(*dialog, std::string("dialog-") + shot.name);
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                box->defaultButton()->click();
            else
                dialog->reject();
        });
        auto job = std::async(std::launch::async, shot.ask);
        ASSERT_TRUE(test::WaitUntil([&] { return job.wait_for(0ms) == std::future_status::ready; }));
        job.get();
        EXPECT_TRUE(FileExists(saved)) << saved;
    }
}

TEST_F(FormFixture, TheWindowKeepsAnsweringWhileTheServerDoesNot) {
    ASSERT_TRUE(engine.Start().ok());
    engine.SetSaveMode(0);
    engine.networkDelay = 2000ms; // each exchange waits out the server
    form.FormCreate();
    form.show();
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    probe.start();
    form.Model().DomainListClick();
    test::WaitUntil([] { return false; }, 4500ms); // Timer1 ticks meanwhile
    probe.stop();
    std::cout << "longest GUI thread stall while the server does not answer: " << longest << " ms\n";
    EXPECT_LT(longest, 250);
    EXPECT_GE(engine.ticks + engine.serverQueries, 2) << "the work did run, beside the window";
    EXPECT_LE(engine.ticks, 3) << "a tick that finds the last one running is skipped";
}

TEST(SplashTest, OurPictureShowsAndABadOneMeansNoSplash) {
    test::GuiApp();
    TVVPSplash splash;
    EXPECT_TRUE(splash.Load(TVVPSplash::Picture()));
    EXPECT_EQ(splash.findChild<QLabel*>("VVPImage")->pixmap().size(), QSize(420, 240));
    EXPECT_FALSE(splash.Load(QByteArray("\xFF\xD8\xFF not really a jpeg")));
}

TEST(VvpProcessTest, ASecondCopyEndsAtOnceAndALockThatCannotBeMadeIsAnError) {
    test::TempDir runtime;
    const std::string vvp = test::BinDir() + "/vvp";
    ASSERT_EQ(setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1), 0);
    LinuxPlatform running;
    ASSERT_EQ(running.LockSingleInstance("VNPrinterHandlerForm"), InstanceLock::Acquired);
    const auto start = std::chrono::steady_clock::now();
    const auto second = test::RunCommand("XDG_RUNTIME_DIR='" + runtime.Path() +
                                         "' QT_QPA_PLATFORM=offscreen '" + vvp + "' 2>&1");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(second.output, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

    const auto broken =
        test::RunCommand("XDG_RUNTIME_DIR=/nonexistent-vvp QT_QPA_PLATFORM=offscreen '" + vvp + "' 2>&1");
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(
        broken.output.find("vvp: Cannot create the lock file /nonexistent-vvp/VNPrinterHandlerForm.lock"),
        std::string::npos)
        << broken.output;
}

// A vvpd (or any holder of the spool lock) on the same temporary folder: vvp says so in its box
// and ends with 1. Offscreen nobody can click the box; SIGTERM answers it, as at the session's end.
TEST(VvpProcessTest, AnotherHolderOfTheTemporaryFolderIsToldInABoxAndVvpEndsWith1) {
    test::TempDir dir;
    for (const char* folder : {"prog", "tmp", "run"})
        ASSERT_TRUE(ForceDirectories(dir.Path() + folder).ok());
    ASSERT_EQ(::chmod((dir.Path() + "run").c_str(), 0700), 0); // Qt wants its runtime folder private
    SpoolFolderLock vvpd;
    ASSERT_TRUE(vvpd.Acquire(dir.Path() + "tmp/").ok());
    dir.Write("start.sh", R"SH(set -u
"$VVP" --program-folder "$WORK/prog/" --registry "$WORK/registry.reg" 2>"$WORK/err" &
vvp=$!
for i in $(seq 100); do grep -q "cannot start" "$WORK/err" && break; sleep 0.1; done
sleep 0.5
kill -0 $vvp 2>/dev/null && echo "box waits"
kill -TERM $vvp
for i in $(seq 100); do kill -0 $vvp 2>/dev/null || break; sleep 0.1; done
kill -0 $vvp 2>/dev/null && { echo "box outlived SIGTERM"; kill -KILL $vvp; }
wait $vvp
echo "vvp exit: $?"
)SH");
    const auto run = test::RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen VVP='" +
                                      test::BinDir() + "/vvp' WORK='" + dir.Path() + "' TMP='" + dir.Path() +
                                      "tmp' XDG_RUNTIME_DIR='" + dir.Path() + "run' XDG_CONFIG_HOME='" +
                                      dir.Path() + "cfg' bash '" + dir.Path() + "start.sh' 2>&1");
    const std::string err = dir.Read("err");
    EXPECT_NE(run.output.find("box waits"), std::string::npos) << run.output << err;
    EXPECT_NE(run.output.find("vvp exit: 1\n"), std::string::npos) << run.output << err;
    EXPECT_NE(err.find("another vvpd is running with the temporary folder " + dir.Path() + "tmp/"),
              std::string::npos)
        << err;
}

TEST_F(FormFixture, PrinterItemsRunTheirToolsBesideTheWindowAndFillThePrinterList) {
    form.FormCreate();
    auto* verify = Find<QAction>("VerifyVocanetDetails1");
    auto* create = Find<QAction>("CreateVocanetPrinter1");
    ASSERT_TRUE(test::WaitUntil([&] { return verify->isEnabled() && create->isEnabled(); }));
    EXPECT_EQ(engine.printerChecksAtLoad, 1);

    verify->trigger();
    EXPECT_FALSE(create->isEnabled()) << "one printer tool at a time";
    EXPECT_EQ(form.cursor().shape(), Qt::WaitCursor);
    auto* printers = Find<QListWidget>("PrinterList");
    ASSERT_TRUE(test::WaitUntil([&] { return printers->count() == 2; }));
    EXPECT_EQ(printers->item(1)->text(), "Front Desk");
    EXPECT_NE(form.cursor().shape(), Qt::WaitCursor);

    engine.newPrinter = MainWindowEngine::NewPrinter{9300, "Vocanet2"};
    create->trigger();
    ASSERT_TRUE(test::WaitUntil([&] { return create->isEnabled(); }));
    EXPECT_EQ(engine.created, std::vector<std::string>{"Vocanet2:9300"});
}
