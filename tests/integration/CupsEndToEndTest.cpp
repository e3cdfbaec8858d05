// A health message printed through a real CUPS queue (Generic Text-Only Printer, socket device)
// arrives at vvpd and becomes the expected PIT file.
//
// The test runs a CUPS scheduler of its own: its own configuration, spool and socket. It used to
// share the system's scheduler, starting one when none ran and stopping it at the end; a second
// test run on the same machine (another build or checkout) then stopped the scheduler under the
// first run's job, which waited for a file that never came.
#include "NetTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vvp;
using namespace vvp::test;

namespace {

class PrivateScheduler {
public:
    explicit PrivateScheduler(const TempDir& dir) : m_folder(dir.Path() + "cups/") {
        if (RunCommand("command -v cupsd").status != 0) {
            m_problem = "cupsd is not installed";
            return;
        }
        for (const char* sub : {"ppd", "spool/temp", "cache", "state", "log"})
            (void)ForceDirectories(m_folder + sub);
        // A scheduler started as root runs the filters as "lp", which must reach the spool.
        for (const std::string& folder : {dir.Path(), m_folder})
            ::chmod(folder.c_str(), 0755);
        (void)WriteWholeFile(m_folder + "cupsd.conf", "Listen " + Socket() +
                                                          "\nBrowsing Off\nLogLevel debug\n"
                                                          "<Policy default>\n<Limit All>\nOrder Allow,Deny\n"
                                                          "</Limit>\n</Policy>\n");
        (void)WriteWholeFile(m_folder + "cups-files.conf",
                             "ServerRoot " + m_folder + "\nStateDir " + m_folder + "state\nCacheDir " +
                                 m_folder + "cache\nRequestRoot " + m_folder + "spool\nTempDir " + m_folder +
                                 "spool/temp\nAccessLog " + m_folder + "log/access_log\nErrorLog " +
                                 m_folder + "log/error_log\nPageLog " + m_folder + "log/page_log\n");
        const std::string conf = m_folder + "cupsd.conf", files = m_folder + "cups-files.conf";
        m_pid = fork();
        if (m_pid == 0) {
            const int out = ::open((m_folder + "log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                ::dup2(out, STDOUT_FILENO);
                ::dup2(out, STDERR_FILENO);
            }
            ::execlp("cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(),
                     static_cast<char*>(nullptr));
            _exit(127);
        }
        if (m_pid < 0 || !WaitUntil([this] { return Running(); }, 20s))
            m_problem = "the test's own cupsd did not start:\n" + Log();
    }
    ~PrivateScheduler() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    PrivateScheduler(const PrivateScheduler&) = delete;
    PrivateScheduler& operator=(const PrivateScheduler&) = delete;

    const std::string& Problem() const { return m_problem; }
    // Runs a CUPS command against this scheduler.
    CommandResult Run(const std::string& command) const {
        return RunCommand("CUPS_SERVER=" + Socket() + " " + command + " 2>&1");
    }
    bool Running() const { return Run("lpstat -r").output.find("scheduler is running") != std::string::npos; }
    // What the scheduler says about its queues and jobs, for a failure message.
    std::string Log() const {
        return Run("lpstat -t").output + RunCommand("tail -n 40 " + m_folder + "log/error_log").output;
    }

private:
    std::string Socket() const { return m_folder + "cups.sock"; }

    std::string m_folder;
    pid_t m_pid = -1;
    std::string m_problem;
};

// Skips when CUPS cannot be used here, except in CI, where it must be.
#define VVP_REQUIRE_CUPS(problem)                                                                            \
    do {                                                                                                     \
        if (!(problem).empty()) {                                                                            \
            const char* ci = std::getenv("CI");                                                              \
            if (ci && std::string(ci) == "true") FAIL() << "CUPS is required in CI: " << (problem);          \
            GTEST_SKIP() << (problem);                                                                       \
        }                                                                                                    \
    } while (0)

} // namespace

TEST(CupsEndToEnd, TextFilePrintedWithLpBecomesTheExpectedPitFile) {
    VvpdProcess v;
    PrivateScheduler cups(v.dir);
    VVP_REQUIRE_CUPS(cups.Problem());
    const std::string model = "drv:///cupsfilters.drv/textonly.ppd";
    VVP_REQUIRE_CUPS(cups.Run("lpinfo -m").output.find(model) != std::string::npos
                         ? std::string()
                         : std::string("the Generic Text-Only Printer driver (cups-filters) is missing"));

    v.Set("Save Mode", "1");
    ASSERT_TRUE(v.Start({}, {"VVP_FIXED_TIME=20261208103115"})) << v.Output();

    // A Unix text file: the driver sends it with CR LF line ends. Margins, pagination and
    // wrapping are switched off so the printout reaches vvpd as the practice software wrote it.
    std::string text = ReadTestData("messages/referral_pit.prn");
    std::string unixText;
    for (char c : text)
        if (c != '\r') unixText += c;
    v.dir.Write("letter.txt", unixText);
    CommandResult add =
        cups.Run("lpadmin -p VVPTest -E -v socket://127.0.0.1:" + std::to_string(v.port) + " -m " + model +
                 " -o page-left=0 -o page-right=0 -o page-top=0 -o page-bottom=0"
                 " -o Pagination=False -o LetterNumColumns=200 -o A4NumColumns=200");
    ASSERT_EQ(add.status, 0) << add.output;
    CommandResult print = cups.Run("lp -d VVPTest " + v.dir.File("letter.txt"));
    ASSERT_EQ(print.status, 0) << print.output;

    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; }, 90s)) << v.Output() << cups.Log();
    const auto saved = v.Saved("*.pit");
    EXPECT_EQ(saved[0].rfind("anne.specialist@clinic.example.com.au_", 0), 0u);
    EXPECT_EQ(Visible(v.dir.Read("prog/VirtualPrinter/" + saved[0])),
              Visible(ReadTestData("messages/referral_pit.expected.pit")));
    EXPECT_EQ(v.Stop(SIGTERM), 0);
}
