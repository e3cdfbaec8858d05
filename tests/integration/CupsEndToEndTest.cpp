// A health message printed through a real CUPS queue (Generic Text-Only Printer, socket device)
// arrives at vvpd and becomes the expected PIT file.
#include "NetTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

using namespace vvp;
using namespace vvp::test;

namespace {

bool SchedulerRunning() {
    return RunCommand("lpstat -r").output.find("scheduler is running") != std::string::npos;
}

// The CUPS scheduler for the test: the running one, else one started here (needs root).
class Scheduler {
public:
    Scheduler() {
        if (SchedulerRunning()) return;
        if (geteuid() != 0) {
            m_problem = "no CUPS scheduler runs and starting one needs root";
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            ::execlp("cupsd", "cupsd", "-f", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (!WaitUntil(SchedulerRunning, 20s)) m_problem = "cupsd did not start";
    }
    ~Scheduler() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& Problem() const { return m_problem; }

private:
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
    Scheduler scheduler;
    VVP_REQUIRE_CUPS(scheduler.Problem());
    const std::string model = "drv:///cupsfilters.drv/textonly.ppd";
    VVP_REQUIRE_CUPS(RunCommand("lpinfo -m").output.find(model) != std::string::npos
                         ? std::string()
                         : std::string("the Generic Text-Only Printer driver (cups-filters) is missing"));

    VvpdProcess v;
    v.Set("Save Mode", "1");
    ASSERT_TRUE(v.Start({}, {"VVP_FIXED_TIME=20261208103115"})) << v.Output();

    // A Unix text file: the driver sends it with CR LF line ends. Margins, pagination and
    // wrapping are switched off so the printout reaches vvpd as the practice software wrote it.
    std::string text = ReadTestData("messages/referral_pit.prn");
    std::string unixText;
    for (char c : text)
        if (c != '\r') unixText += c;
    v.dir.Write("letter.txt", unixText);
    const std::string queue = "VVPTest-" + std::to_string(getpid());
    CommandResult add = RunCommand("lpadmin -p " + queue +
                                   " -E -v socket://127.0.0.1:" + std::to_string(v.port) + " -m " + model +
                                   " -o page-left=0 -o page-right=0 -o page-top=0 -o page-bottom=0"
                                   " -o Pagination=False -o LetterNumColumns=200 -o A4NumColumns=200");
    ASSERT_EQ(add.status, 0) << add.output;
    CommandResult print = RunCommand("lp -d " + queue + " " + v.dir.File("letter.txt"));
    EXPECT_EQ(print.status, 0) << print.output;

    const bool arrived = WaitUntil([&] { return v.Saved("*.pit").size() == 1; }, 90s);
    RunCommand("cancel -a " + queue);
    RunCommand("lpadmin -x " + queue);
    ASSERT_TRUE(arrived) << v.Output();
    const auto saved = v.Saved("*.pit");
    EXPECT_EQ(saved[0].rfind("anne.specialist@clinic.example.com.au_", 0), 0u);
    EXPECT_EQ(Visible(v.dir.Read("prog/VirtualPrinter/" + saved[0])),
              Visible(ReadTestData("messages/referral_pit.expected.pit")));
    EXPECT_EQ(v.Stop(SIGTERM), 0);
}
