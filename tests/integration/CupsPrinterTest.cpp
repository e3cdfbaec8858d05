// The Vocanet queue in a CUPS scheduler of the test's own (its own configuration, spool and
// socket): `vvpd printer create` makes it, and what programs print to it (UTF-8 text, a PDF made
// by LibreOffice, PostScript) reaches a running vvpd as the printed text.
#include "NetTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vvp;
using namespace vvp::test;

namespace {

// Skips when the scheduler or LibreOffice cannot be used here, except in CI, where they must.
#define VVP_REQUIRE(problem)                                                                                 \
    do {                                                                                                     \
        if (!(problem).empty()) {                                                                            \
            const char* ci = std::getenv("CI");                                                              \
            if (ci && std::string(ci) == "true") FAIL() << "required in CI: " << (problem);                  \
            GTEST_SKIP() << (problem);                                                                       \
        }                                                                                                    \
    } while (0)

// cupsd with everything in a temporary folder, reached through CUPS_SERVER (a private socket).
// Its filter folder holds CUPS's own filters and ours, vvp-textonly from this build.
class PrivateScheduler {
public:
    PrivateScheduler() {
        const std::string d = m_dir.Path();
        // Filters run as the scheduler's user ("lp" when it is started by root).
        ::chmod(d.c_str(), 0755);
        for (const char* sub : {"conf/ppd", "spool/tmp", "cache", "state", "log", "bin/filter"})
            (void)ForceDirectories(d + sub);
        for (const char* sub : {"backend", "cgi-bin", "daemon", "monitor", "notifier", "driver"})
            if (DirectoryExists(std::string("/usr/lib/cups/") + sub))
                (void)::symlink((std::string("/usr/lib/cups/") + sub).c_str(), (d + "bin/" + sub).c_str());
        for (const auto& filter : ListFolder("/usr/lib/cups/filter/", "*", false))
            (void)::symlink(("/usr/lib/cups/filter/" + filter).c_str(), (d + "bin/filter/" + filter).c_str());
        (void)::symlink((BinDir() + "/vvp-textonly").c_str(), (d + "bin/filter/vvp-textonly").c_str());
        m_dir.Write("conf/cupsd.conf",
                    "LogLevel debug\nListen " + d +
                        "cups.sock\nBrowsing Off\n"
                        "WebInterface No\nDefaultAuthType None\n"
                        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                        "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                        "</Policy>\n");
        m_dir.Write("conf/cups-files.conf", "ServerRoot " + d + "conf\nAccessLog " + d + "log/access_log\n" +
                                                "ErrorLog " + d + "log/error_log\nPageLog " + d +
                                                "log/page_log\nCacheDir " + d + "cache\nStateDir " + d +
                                                "state\nRequestRoot " + d + "spool\nTempDir " + d +
                                                "spool/tmp\nServerBin " + d + "bin\nFileDevice No\n");
        ::setenv("CUPS_SERVER", (d + "cups.sock").c_str(), 1);
        if (RunCommand("command -v cupsd").status != 0) {
            m_problem = "cupsd is not installed (package cups-daemon)";
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            const int log = ::open((d + "log/cupsd.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            ::dup2(log, 1);
            ::dup2(log, 2);
            ::execlp("cupsd", "cupsd", "-f", "-c", (d + "conf/cupsd.conf").c_str(), "-s",
                     (d + "conf/cups-files.conf").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (!WaitUntil([] { return RunCommand("lpstat -r").output.find("is running") != std::string::npos; },
                       20s))
            m_problem = "cupsd did not start: " + Log();
    }
    ~PrivateScheduler() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::unsetenv("CUPS_SERVER");
    }
    const std::string& Problem() const { return m_problem; }
    std::string Log() const {
        std::string log = m_dir.Read("log/cupsd.out");
        if (FileExists(m_dir.File("log/error_log"))) log += m_dir.Read("log/error_log");
        return log.size() > 6000 ? log.substr(log.size() - 6000) : log;
    }

private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_problem;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Latin-1 (the Windows-1252 letters of these names) as UTF-8, with Unix line ends.
std::string UnixUtf8(const std::string& cp1252) {
    std::string out;
    for (unsigned char c : cp1252) {
        if (c == '\r') continue;
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            out += static_cast<char>(0xC0 | (c >> 6)), out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// A PostScript printout as a program printing in Courier writes it.
std::string CourierPostScript(const std::string& cp1252) {
    std::string ps =
        "%!PS-Adobe-3.0\n%%Pages: 1\n%%EndComments\n"
        "/Courier findfont dup length dict begin { 1 index /FID ne { def } { pop pop } ifelse } "
        "forall /Encoding ISOLatin1Encoding def currentdict end /CourierLatin1 exch definefont pop\n"
        "%%Page: 1 1\n/CourierLatin1 findfont 7 scalefont setfont\n";
    int y = 810;
    std::string::size_type start = 0;
    const std::string text = Replace(cp1252, "\r\n", "\n");
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string escaped;
        for (char c : text.substr(start, end - start)) {
            if (c == '(' || c == ')' || c == '\\') escaped += '\\';
            escaped += c;
        }
        ps += "20 " + std::to_string(y) + " moveto (" + escaped + ") show\n";
        y -= 9;
        start = end + 1;
    }
    return ps + "showpage\n%%EOF\n";
}

// The lines of a PIT report that come from the header: all but the message text.
std::string HeaderLines(const std::string& pit) {
    std::string out;
    std::string::size_type start = 0;
    while (start < pit.size()) {
        auto end = pit.find('\n', start);
        if (end == std::string::npos) end = pit.size() - 1;
        const std::string line = pit.substr(start, end + 1 - start);
        if (line.rfind("301 ", 0) != 0) out += line;
        start = end + 1;
    }
    return out;
}

std::string NewFile(const std::vector<std::string>& before, const std::vector<std::string>& after) {
    for (const auto& name : after)
        if (std::find(before.begin(), before.end(), name) == before.end()) return name;
    return {};
}

} // namespace

TEST(CupsPrinter, QueueMadeByVvpdDeliversTextPdfAndPostScriptAsPrintedText) {
    PrivateScheduler cups;
    VVP_REQUIRE(cups.Problem());
    VVP_REQUIRE(
        std::string(RunCommand("command -v soffice").status == 0 ? "" : "LibreOffice (soffice) is missing"));

    VvpdProcess v;
    v.Set("Save Mode", "1");
    v.dir.Write("prog/ElectronicLabDetails.inf", ReadTestData("pathology/ElectronicLabDetails.inf"));
    ASSERT_TRUE(v.Start({}, {"VVP_FIXED_TIME=20240301090507", "VVP_FIXED_UTC_OFFSET=600"})) << v.Output();
    const std::string vvpd = "TMP=" + v.TempFolder() + " " + VvpdBinary() + " --program-folder " +
                             v.ProgramFolder() + " --registry " + v.dir.File("registry.reg");
    CommandResult create = RunCommand(vvpd + " printer create --name VVPTest");
    ASSERT_EQ(create.status, 0) << create.output << cups.Log();
    EXPECT_NE(create.output.find("Printer Created successfully"), std::string::npos) << create.output;
    CommandResult again = RunCommand(vvpd + " printer create --name vvptest");
    EXPECT_EQ(again.status, 1) << again.output;
    EXPECT_NE(again.output.find("There was a problem creating the Printer object."), std::string::npos);
    EXPECT_NE(RunCommand(vvpd + " printer list").output.find("VVPTest"), std::string::npos);

    // The reference: the printout as the Windows driver delivered it, straight to the port.
    const std::string message =
        Replace(ReadTestData("messages/referral_pit.prn"), "SMITH, Mary Jane", "M\xDCLLER, Zo\xEB Jos\xE9");
    ASSERT_TRUE(SendJob(v.port, message).cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; }, 30s)) << v.Output();
    const std::string reference = v.dir.Read("prog/VirtualPrinter/" + v.Saved("*.pit")[0]);
    ASSERT_NE(reference.find("M\xDCLLER,Zo\xEB Jos\xE9"), std::string::npos) << Visible(reference);

    v.dir.Write("letter.txt", UnixUtf8(message));
    v.dir.Write("letter.ps", CourierPostScript(message));
    v.dir.Write("requests.txt", UnixUtf8(ReadTestData("pathology/three_pages.prn")));
    const std::string office = "soffice -env:UserInstallation=file://" + v.dir.Path() +
                               "office --headless --convert-to pdf --outdir " + v.dir.Path() + " ";
    CommandResult pdf = RunCommand(office + v.dir.File("letter.txt") + " " + v.dir.File("requests.txt"));
    ASSERT_TRUE(FileExists(v.dir.File("letter.pdf")) && FileExists(v.dir.File("requests.pdf"))) << pdf.output;

    const struct {
        const char* file;
        bool wholeReport; // else the lines from the header
    } prints[] = {{"letter.txt", true}, {"letter.pdf", false}, {"letter.ps", false}};
    for (const auto& p : prints) {
        const auto before = v.Saved("*.pit");
        CommandResult lp = RunCommand("lp -d VVPTest " + v.dir.File(p.file));
        ASSERT_EQ(lp.status, 0) << lp.output;
        const bool arrived = WaitUntil([&] { return v.Saved("*.pit").size() == before.size() + 1; }, 90s);
        ASSERT_TRUE(arrived) << p.file << "\n" << v.Output() << cups.Log();
        const std::string pit = v.dir.Read("prog/VirtualPrinter/" + NewFile(before, v.Saved("*.pit")));
        if (p.wholeReport)
            EXPECT_EQ(Visible(pit), Visible(reference)) << p.file;
        else
            EXPECT_EQ(Visible(HeaderLines(pit)), Visible(HeaderLines(reference))) << p.file;
    }

    // One order per page of a multi-page PDF.
    CommandResult lp = RunCommand("lp -d VVPTest " + v.dir.File("requests.pdf"));
    ASSERT_EQ(lp.status, 0) << lp.output;
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.orm").size() == 3; }, 90s)) << v.Output() << cups.Log();
    const auto orders = v.Saved("*.orm");
    for (size_t i = 0; i < orders.size(); ++i)
        EXPECT_EQ(Visible(v.dir.Read("prog/VirtualPrinter/" + orders[i])),
                  Visible(ReadTestData("pathology/three_pages_" + std::to_string(i + 1) + ".orm")))
            << orders[i];
    EXPECT_EQ(v.Stop(SIGTERM), 0);
}
