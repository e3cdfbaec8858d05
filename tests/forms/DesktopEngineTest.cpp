// The main window on the real engine: a print job over TCP whose question is open when the
// program ends, and the next start that delivers it; vvp under a real X server.
#include "DesktopEngineFactory.h"
#include "FakeCupsTools.h"
#include "FakeMainWindowEngine.h"
#include "FileUtil.h"
#include "GuiTestSupport.h"
#include "QtBackgroundRunner.h"
#include "QtEngineEvents.h"
#include "QtPrompter.h"
#include "TestSupport.h"
#include "TKXPrinterHandlerForm.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vvp;
using namespace std::chrono_literals;

namespace {

// Holds a port on the loopback address, as another program would.
class PortTaken {
public:
    explicit PortTaken(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  ::listen(m_fd, 1) == 0;
    }
    ~PortTaken() { ::close(m_fd); }
    bool Bound() const { return m_bound; }

private:
    int m_fd;
    bool m_bound = false;
};

// Prints the bytes to the port as a printer port does; true when the listener took them whole
// (it closes the connection once the job is in its spool file).
bool Print(int port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    for (size_t sent = 0; ok && sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        ok = n > 0;
        sent += ok ? static_cast<size_t>(n) : 0;
    }
    ::shutdown(fd, SHUT_WR);
    char buffer[256];
    while (ok && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
    return ok;
}

// vvp started by xvfb-run on a display of its own; stopped (and the server with it) at the end.
class VvpUnderXvfb {
public:
    VvpUnderXvfb(const test::TempDir& dir, const std::vector<std::string>& environment) : m_dir(dir) {
        const std::string script = dir.File("vvp.sh");
        dir.Write("vvp.sh", "echo \"$DISPLAY\" > '" + dir.File("display") + "'\necho $$ > '" +
                                dir.File("vvp.pid") + "'\nexec '" + test::BinDir() +
                                "/vvp' --program-folder '" + dir.File("prog") + "' --registry '" +
                                dir.File("registry.reg") + "'\n");
        const std::string log = dir.File("vvp.log");
        const std::string auth = dir.File("xauth");
        m_xvfbRun = ::fork();
        if (m_xvfbRun == 0) {
            for (const auto& e : environment) {
                const auto eq = e.find('=');
                ::setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
            }
            std::freopen(log.c_str(), "w", stdout);
            ::dup2(::fileno(stdout), 2);
            ::execlp("xvfb-run", "xvfb-run", "-a", "-f", auth.c_str(), "-s", "-screen 0 1024x768x24", "sh",
                     script.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~VvpUnderXvfb() {
        if (m_xvfbRun <= 0) return;
        if (const pid_t vvp = VvpPid(); vvp > 0) ::kill(vvp, SIGKILL);
        ::kill(m_xvfbRun, SIGTERM);
        ::waitpid(m_xvfbRun, nullptr, 0);
    }

    // The environment for X clients of that display; empty until the display is up.
    std::string X() const {
        if (!FileExists(m_dir.File("display"))) return {};
        std::string display = m_dir.Read("display");
        while (!display.empty() && display.back() == '\n')
            display.pop_back();
        return display.empty() ? std::string()
                               : "DISPLAY=" + display + " XAUTHORITY=" + m_dir.File("xauth") + " ";
    }
    pid_t VvpPid() const {
        return FileExists(m_dir.File("vvp.pid")) ? std::atoi(m_dir.Read("vvp.pid").c_str()) : 0;
    }
    // SIGTERM, as a session's end sends it; vvp's exit status, -1 when it did not end in time.
    int Stop() {
        ::kill(VvpPid(), SIGTERM);
        int status = -1;
        const bool ended =
            test::WaitUntil([&] { return ::waitpid(m_xvfbRun, &status, WNOHANG) == m_xvfbRun; }, 20s);
        if (!ended) return -1;
        m_xvfbRun = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Log() const { return m_dir.Read("vvp.log"); }

private:
    const test::TempDir& m_dir;
    pid_t m_xvfbRun = -1;
};

// vvp as VvpMain puts it together, on folders of the test's own.
struct DesktopRun {
    DesktopRun(const Folders& folders, const std::string& registry) {
        platform.printerAdministration = false; // the machine's printers stay out of it
        options.registryFile = registry;
        engine = MakeDesktopEngine(
            {options, folders, prompter, events, platform, [this] { events.LogLineAdded(); }});
        started = engine->Start().ok();
        form = std::make_unique<TKXPrinterHandlerForm>(*engine, prompter, platform, runner, DesktopInfo{},
                                                       [this] { prompter.Abandon(); });
        events.SetHandler([this] { form->EngineChanged(); });
        form->FormCreate();
        form->show();
    }
    // The end of VvpMain.
    ~DesktopRun() {
        prompter.Abandon();
        runner.WaitForDone();
        events.SetHandler({});
        engine->Stop();
        form.reset();
    }
    bool Logged(const std::string& text) const {
        for (const auto& line : engine->LogLines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    DesktopOptions options;
    QtPrompter prompter;
    QtEngineEvents events;
    test::FakePlatform platform;
    QtBackgroundRunner runner;
    std::unique_ptr<MainWindowEngine> engine;
    std::unique_ptr<TKXPrinterHandlerForm> form;
    bool started = false;
};

struct DesktopEngineTest : ::testing::Test, test::WithGuiApp {
    DesktopEngineTest() {
        (void)ForceDirectories(dir.File("prog"));
        (void)ForceDirectories(dir.File("tmp"));
        char values[256];
        std::snprintf(values, sizeof values, "\"Port\"=dword:%08x\r\n\"Save Mode\"=dword:00000001\r\n", port);
        dir.Write("registry.reg",
                  "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual "
                  "Printer]\r\n" +
                      std::string(values));
    }
    // Names of the files in the folder ending in the extension ("" for all).
    std::vector<std::string> Files(const std::string& folder, const std::string& extension) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir.File(folder), ec))
            if (extension.empty() || entry.path().extension() == extension)
                names.push_back(entry.path().filename().string());
        return names;
    }

    test::TempDir dir;
    const int port = test::FreePort();
    const Folders folders{dir.File("prog/"), dir.File("tmp/")};
};

} // namespace

TEST_F(DesktopEngineTest, ExitWhileAPromptIsOpenKeepsTheSpoolAndTheNextStartRecoversIt) {
    const std::string job = test::ReadTestData("messages/signing_asked.prn");
    {
        DesktopRun first(folders, dir.File("registry.reg"));
        ASSERT_TRUE(first.started);
        test::DialogRobot robot;
        QString caption;
        robot.Then([&](QDialog* dialog) {
            caption = dialog->windowTitle();
            test::SaveScreenshot(*dialog, "real-engine-digital-signing");
            first.form->Model().ExitClick();
        });
        ASSERT_TRUE(Print(port, job));
        ASSERT_TRUE(test::WaitUntil([&] { return robot.Done(); }, 20s));
        EXPECT_EQ(caption, "Digital Signing");
        first.runner.WaitForDone();
        first.engine->Stop();
        EXPECT_TRUE(first.Logged("it is left for the next start")) << first.engine->LogLines().front();
    }
    ASSERT_EQ(Files("tmp", ".prn").size(), 1u) << "the job's spool file stays";
    EXPECT_TRUE(Files("prog/VirtualPrinter", "").empty());

    DesktopRun second(folders, dir.File("registry.reg"));
    ASSERT_TRUE(second.started);
    test::DialogRobot robot;
    robot.Then([](QDialog* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) box->defaultButton()->click(); // Yes: unsigned
    });
    robot.Then([](QDialog* dialog) { dialog->reject(); }); // no paper copy, if one is offered
    ASSERT_TRUE(test::WaitUntil([&] { return Files("prog/VirtualPrinter", ".pit").size() == 1; }, 20s));
    EXPECT_TRUE(second.Logged("Recovered job"));
    EXPECT_TRUE(test::WaitUntil([&] { return Files("tmp", ".prn").empty(); }));
    second.form->Timer1Timer(); // the lamp of a listening printer
    second.form->Model().Restore();
    second.form->EngineChanged();
    test::WaitUntil([] { return false; }, 100ms);
    test::SaveScreenshot(*second.form, "main-window-real-engine");
}

TEST_F(DesktopEngineTest, UnderARealXServerAPrintedQuestionIsAnsweredInItsDialog) {
    for (const char* tool : {"xvfb-run", "xdotool"}) {
        if (test::RunCommand(std::string("command -v ") + tool).status == 0) continue;
        const char* ci = std::getenv("CI");
        if (ci && std::string(ci) == "true") FAIL() << tool << " is required in CI (scripts/setup-deps.sh)";
        GTEST_SKIP() << tool << " is missing";
    }
    // A queue "Vocanet" exists, so the printer check at start has nothing to ask.
    const test::FakeCups cups = test::InstallFakeCupsTools(dir);
    dir.Write("cups/printers", "Vocanet socket://127.0.0.1:" + std::to_string(port) + "\n");
    (void)ForceDirectories(dir.File("run"));
    ::chmod(dir.File("run").c_str(), 0700);
    // Sanitizer builds: D-Bus, which Qt's X11 platform opens, keeps a buffer for good.
    dir.Write("lsan.supp", "leak:libdbus-1.so\n");
    VvpUnderXvfb vvp(dir, {"TMP=" + dir.File("tmp/"), "XDG_RUNTIME_DIR=" + dir.File("run"),
                           "PATH=" + cups.bin + ":" + std::getenv("PATH"), "FAKE_CUPS=" + cups.state,
                           "QT_QPA_PLATFORM=xcb", "LSAN_OPTIONS=suppressions=" + dir.File("lsan.supp")});
    ASSERT_TRUE(test::WaitUntil([&] { return !vvp.X().empty(); }, 30s)) << vvp.Log();
    const std::string x = vvp.X();
    const std::string grab =
        x + "QT_QPA_PLATFORM=xcb '" + test::BinDir() + "/x11_grab' '" VVP_SCREENSHOT_DIR "/";
    const auto search = test::RunCommand(x + "timeout 30 xdotool search --sync --onlyvisible --name "
                                             "'^Vocanet Virtual Printer$'");
    ASSERT_EQ(search.status, 0) << search.output << vvp.Log();

    ASSERT_TRUE(Print(port, test::ReadTestData("messages/signing_asked.prn")));
    const auto dialog =
        test::RunCommand(x + "timeout 30 xdotool search --sync --onlyvisible --name '^Digital Signing$'");
    ASSERT_EQ(dialog.status, 0) << dialog.output << vvp.Log();
    EXPECT_EQ(test::RunCommand(grab + "xvfb-digital-signing.png'").status, 0);
    // Return takes the default button, Yes: send without signing.
    const std::string window = dialog.output.substr(0, dialog.output.find('\n'));
    const auto answer = test::RunCommand(x + "xdotool windowfocus --sync " + window + " key Return");
    ASSERT_EQ(answer.status, 0) << answer.output;

    ASSERT_TRUE(test::WaitUntil([&] { return Files("prog/VirtualPrinter", ".pit").size() == 1; }, 30s))
        << vvp.Log();
    const std::string saved = dir.Read("prog/VirtualPrinter/" + Files("prog/VirtualPrinter", ".pit")[0]);
    EXPECT_NE(saved.find("SMITH,Mary Jane"), std::string::npos) << saved.substr(0, 400);
    EXPECT_TRUE(Files("prog/VirtualPrinter", ".eml").empty()) << "sent unsigned, as answered";
    EXPECT_TRUE(test::WaitUntil([&] { return Files("tmp", ".prn").empty(); }));
    EXPECT_EQ(test::RunCommand(grab + "xvfb-main-window.png'").status, 0);
    EXPECT_EQ(vvp.Stop(), 0) << vvp.Log();
}

TEST_F(DesktopEngineTest, PortBoxMovesTheListenerAndGoesBackWhenItCannotListenThere) {
    DesktopRun run(folders, dir.File("registry.reg"));
    ASSERT_TRUE(run.started);
    auto* button = run.form->findChild<QToolButton*>("PPortButton");
    auto* edit = run.form->findChild<QLineEdit*>("PortEdit");
    ASSERT_TRUE(button && edit);
    const int taken = test::FreePort();
    PortTaken other(taken);
    ASSERT_TRUE(other.Bound());
    const int free = test::FreePort();
    // The printer check of the start runs first.
    ASSERT_TRUE(test::WaitUntil([&] { return button->isEnabled(); }));

    struct Case {
        int typed;
        int listening;    // afterwards
        const char* told; // start of the message shown; empty for none
    } cases[] = {
        {taken, port, "VVP cannot listen on port "},
        {70000, port, "70000 is not a port number (1 to 65535)"},
        {free, free, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        test::DialogRobot robot;
        QString told;
        robot.Then([](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            ASSERT_TRUE(box);
            EXPECT_EQ(box->windowTitle(), "Change Printer Port");
            box->button(QMessageBox::Yes)->click();
        });
        if (*c.told)
            robot.Then([&told](QDialog* dialog) {
                auto* box = qobject_cast<QMessageBox*>(dialog);
                told = box->text();
                box->defaultButton()->click();
            });
        button->click();
        ASSERT_TRUE(edit->isEnabled());
        edit->setText(QString::number(c.typed));
        QTest::keyClick(edit, Qt::Key_Return);
        ASSERT_TRUE(test::WaitUntil([&] { return robot.Done(); }));
        EXPECT_EQ(told.toStdString().rfind(c.told, 0), 0u) << told.toStdString();
        EXPECT_EQ(edit->text(), QString::number(c.listening));
        EXPECT_FALSE(edit->isEnabled());
        EXPECT_EQ(run.engine->Settings().Port, c.listening);
        EXPECT_TRUE(run.engine->ListenerActive()) << run.engine->StatusText();
        EXPECT_TRUE(Print(c.listening, "")) << "listening on " << c.listening;
    }
    EXPECT_NE(
        dir.Read("registry.reg").find("\"Port\"=dword:" + QString::asprintf("%08x", free).toStdString()),
        std::string::npos);
}
