// Printouts written to make VVP write where they choose: through `vvpd convert`, the same steps as
// a job printed to the port, in a scratch tree that is searched afterwards.
#include "FileUtil.h"
#include "NetTestSupport.h"
#include "QZStringManip.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace vvp;
using namespace vvp::test;

namespace {

struct Scratch {
    TempDir dir;
    Scratch() {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
        EXPECT_EQ(Vvpd("set \"Save Mode\" 1").status, 0);
    }
    CommandResult Vvpd(const std::string& args) const {
        return RunCommand("TMP=" + dir.Path() + "tmp TEMP= " + VvpdBinary() + " --program-folder " +
                          dir.Path() + "prog --registry " + dir.Path() + "registry.reg " + args);
    }
    CommandResult Convert(const std::string& job, const std::string& name) const {
        dir.Write(name, job);
        return Vvpd("convert " + dir.File(name));
    }
    // Every file the runs made outside the Save Path and the temporary folder.
    std::vector<std::string> Escaped() const {
        std::vector<std::string> found;
        const std::string root = dir.Path();
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            if (e.is_directory()) continue;
            const std::string rel = e.path().string().substr(root.size());
            if (rel.rfind("prog/VirtualPrinter/", 0) == 0 || rel.rfind("tmp/", 0) == 0) continue;
            if (rel == "prog/VNptr.inf" || rel == "registry.reg" || rel == "job.prn" || rel == "magic.prn")
                continue;
            found.push_back(rel);
        }
        return found;
    }
};

std::string WithRecipientEmail(const std::string& value) {
    return StrReplace(HealthMessageJob(), "Recipient Email :anne.specialist@clinic.example.com.au",
                      "Recipient Email :" + value);
}

} // namespace

TEST(HostileJobs, RecipientAddressesNeverBecomePathsOrHeaderLines) {
    struct Case {
        const char* name;
        std::string email;
    };
    const std::vector<Case> cases = {
        {"folders up and out", "../../../../outside/evil@x.com"},
        {"backslash folders", "..\\..\\outside\\evil@x.com"},
        {"LF splits the routing line",
         "../evil:x.kxh\nSRCDIR=SCRATCH/outside/\nFILETYPE=sh\nFORMATCHECK=MAGICWORD"},
        {"routing separator", "evil:x.kxh"},
        {"control byte", "evil\x01@x.com"},
        {"NUL", std::string("evil\0@x.com", 11)},
        {"dots alone", ".."},
        {"longer than a file name", std::string(240, 'a') + "@x.com"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch s;
        const CommandResult r =
            s.Convert(WithRecipientEmail(StrReplace(c.email, "SCRATCH/", s.dir.Path())), "job.prn");
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("CRITICAL Recipient E-mail Address Invalid: \""), std::string::npos)
            << r.output;
        // A job carrying the marker a planted header definition would look for.
        EXPECT_EQ(s.Convert("MAGICWORD:PIT\r\n" + HealthMessageJob(), "magic.prn").status, 0);
        EXPECT_EQ(s.Escaped(), std::vector<std::string>{});
        EXPECT_EQ(VvpdProcess::Files(s.dir.Path() + "prog/VirtualPrinter", "*.pit").size(), 1u);
    }
}

TEST(HostileJobs, LetterheadOutsideItsFoldersIsNotMerged) {
    Scratch s;
    s.dir.Write("secret/letterhead.rtf", R"({\rtf1 CONFIDENTIAL PLANS\par})");
    std::string job = StrReplace(HealthMessageJob(), "Message Format  :PIT", "Message Format  :RTF");
    job = StrReplace(job, "Letter Head     :", "Letter Head     :" + s.dir.Path() + "secret/letterhead.rtf");
    const CommandResult r = s.Convert(job, "job.prn");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("is not a file in the letterhead folder or the program folder"),
              std::string::npos);
    for (const auto& name : VvpdProcess::Files(s.dir.Path() + "prog/VirtualPrinter"))
        EXPECT_EQ(ReadWholeFile(s.dir.Path() + "prog/VirtualPrinter/" + name)->find("CONFIDENTIAL"),
                  std::string::npos);
}

// Over the limits of one job: refused at once, kept for someone to look at, never tried again.
TEST(HostileJobs, PagesOverTheLimitsAreSetAsideNotHandledAgain) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"more lines than a page may have", HealthMessageJob() + std::string(250000, '\n')},
        {"more bytes than a page may have", HealthMessageJob() + std::string(9 * 1024 * 1024, 'x') + "\r\n"},
    };
    for (const auto& [name, job] : cases) {
        SCOPED_TRACE(name);
        Scratch s;
        const CommandResult r = s.Convert(job, "job.prn");
        EXPECT_EQ(r.status, 1) << r.output.substr(0, 2000);
        EXPECT_NE(r.output.find("Job refused: a page "), std::string::npos) << r.output.substr(0, 2000);
        EXPECT_TRUE(VvpdProcess::Files(s.dir.Path() + "prog/VirtualPrinter").empty());
        EXPECT_EQ(VvpdProcess::Files(s.dir.Path() + "tmp", "*.refused").size(), 1u);
        EXPECT_TRUE(VvpdProcess::Files(s.dir.Path() + "tmp", "*.prn").empty())
            << "a start would take it again";
    }
}

// A file size limit (a full quota behaves alike) fails the spool write: the job is reported and
// vvpd ends normally instead of being killed by SIGXFSZ.
TEST(HostileJobs, FileSizeLimitFailsTheWriteNotTheProgram) {
    Scratch s;
    s.dir.Write("big.prn", HealthMessageJob() + std::string(200 * 1024, 'x'));
    const CommandResult r = RunCommand("ulimit -f 128; TMP=" + s.dir.Path() + "tmp TEMP= " + VvpdBinary() +
                                       " --program-folder " + s.dir.Path() + "prog --registry " +
                                       s.dir.Path() + "registry.reg convert " + s.dir.File("big.prn"));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Cannot write spool file"), std::string::npos) << r.output;
    EXPECT_TRUE(VvpdProcess::Files(s.dir.Path() + "prog/VirtualPrinter").empty());
}
