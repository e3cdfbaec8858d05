// Signed copies made with the real signing library, checked by programs that are not ours:
// `openssl smime -verify` against the test CA and Python's email package for the attachment.

#include "FileUtil.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"
#include "SigningFolderMonitor.h"
#include "SigningTestSupport.h"
#include "Spool.h"
#include "TestEngine.h"
#include "vnHICPKIinterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

using test::TempDir;

// A program folder with the real library and a test store, and a signer using them.
struct RealSigning {
    TempDir dir;
    std::string program = dir.Path() + "prog/";
    SettingsHolder settings;
    HeadlessPrompter prompter;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 31, 15, 0), 660};
    SigningLibrary library;
    TokenSigner signer{library, settings, prompter, clock, program};

    RealSigning() {
        (void)ForceDirectories(program);
        test::InstallSigningLibrary(test::RealSigningLibraryPath(), program);
        std::string output;
        EXPECT_TRUE(test::CreateTestStore(program, &output)) << output;
    }
    std::string Ca() const { return program + "testca.pem"; }

    // Checks one signed copy: it verifies, and its attachment is exactly `plain`.
    void ExpectVerifiable(const std::string& emlPath, const std::string& plain, const std::string& fileName) {
        const auto verified = test::VerifySignedCopy(emlPath, Ca());
        EXPECT_EQ(verified.status, 0) << emlPath << "\n" << verified.output;
        // The routing line in front is the messaging client's, not part of the mail.
        std::string eml = *ReadWholeFile(emlPath);
        if (StartsText(eml, "MsgRecipient=")) eml = StrAfter(eml, "\r\n");
        const std::string mail = emlPath + ".mail";
        (void)WriteWholeFile(mail, eml);
        const auto extracted = test::ExtractAttachment(mail, emlPath + ".bin");
        EXPECT_EQ(extracted.status, 0) << extracted.output;
        EXPECT_EQ(extracted.output, fileName + "\n");
        const auto attachment = ReadWholeFile(emlPath + ".bin");
        ASSERT_TRUE(attachment.ok());
        EXPECT_TRUE(*attachment == plain) << emlPath << ": the attachment differs from the message";
    }
};

std::string RandomBytes(size_t n) {
    std::mt19937 random(static_cast<unsigned>(n));
    std::string bytes(n, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(random() & 0xff);
    return bytes;
}

TEST(SigningInterop, SignedEnvelopesVerifyAndCarryTheContent) {
    RealSigning s;
    ASSERT_NE(s.signer.SignWithToken(), "");
    struct Case {
        const char* name;
        std::string content;
        bool asStream;
    } cases[] = {
        {"empty", "", false},
        {"57 bytes, one full base64 line", std::string(57, 'a'), false},
        {"58 bytes", std::string(58, 'b'), false},
        {"2 KB letter", std::string(2048, 'c'), false},
        {"8 KB, beyond 1.5 times the text", RandomBytes(8000), true},
        {"11 KB", RandomBytes(11000), true},
        {"100 KB", RandomBytes(100000), true},
        {"report lines", "001 Report\r\n100 Smith\r\n301 Text\r\n999 End\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string block = s.signer.BuildSignedBlock(
            "a.person@test.example", "\"Specialist, Anne \" <anne@clinic.example>", "SMITH Referral",
            "out/letter.pit", c.asStream ? std::string() : c.content, c.asStream ? &c.content : nullptr);
        ASSERT_EQ(block.rfind(kSignedMessageMarkerLine, 0), 0u);
        const std::string eml = s.dir.File("x.sign.eml");
        (void)WriteWholeFile(eml, block.substr(std::string(kSignedMessageMarkerLine).size()));
        s.ExpectVerifiable(eml, c.content, "letter.pit");
    }
}

// Message creation and delivery with a real token, Save Mode 1.
struct SigningEngine {
    RealSigning s;
    test::TestEngine engine{[&](test::TestEngineSetup& setup) {
        setup.signer = &s.signer;
        setup.settings = [&](VNPTRRegValues& v) { v.SavePath = s.dir.Path() + "out/"; };
    }};

    SigningEngine() { (void)ForceDirectories(s.dir.Path() + "out"); }
    std::vector<std::string> Saved() const {
        auto names = ListFolder(s.dir.Path() + "out", "*", false);
        std::sort(names.begin(), names.end());
        return names;
    }
    JobOutcome Convert(const std::string& jobBytes) {
        return engine.engine->SubmitJob("127.0.0.1", jobBytes);
    }
};

TEST(SigningInterop, PrintedMessagesTravelWithAVerifiableSignedCopy) {
    const std::string job = *ReadWholeFile(test::TestDataPath("messages/signing_asked.prn"));
    struct Case {
        const char* format;
        const char* ext;
    } cases[] = {{"PIT", ".pit"}, {"HL7", ".hl7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        SigningEngine e;
        const JobOutcome outcome =
            e.Convert(StrReplace(job, "Message Format  :PIT", std::string("Message Format  :") + c.format));
        EXPECT_EQ(outcome.messages, 1);
        const auto saved = e.Saved();
        ASSERT_EQ(saved.size(), 2u);
        EXPECT_EQ(ExtractFileExt(saved[0]), c.ext);
        EXPECT_EQ(saved[1], saved[0] + ".sign.eml");
        const std::string message = *ReadWholeFile(e.s.dir.Path() + "out/" + saved[0]);
        EXPECT_EQ(message.find("<#SIGNATURE DETAILS>"), std::string::npos);
        EXPECT_NE(message.find("Dr A Person"), std::string::npos)
            << "the signature details are in the message";
        const std::string eml = e.s.dir.Path() + "out/" + saved[1];
        EXPECT_EQ(ReadWholeFile(eml)->rfind(
                      "From: a.person@test.example\r\nTo: \"Anne Specialist,  2345671X\" "
                      "<anne.specialist@clinic.example.com.au>\r\nSubject: SMITH Referral letter (File \"",
                      0),
                  0u);
        // The signed copy names the file it was made for: the file base, not the delivery name.
        const std::string signedName = StrBetween(*ReadWholeFile(eml), "(File \"", "\")");
        EXPECT_EQ(ExtractFileExt(signedName), c.ext);
        e.s.ExpectVerifiable(eml, message, signedName);
        for (const auto& box : e.s.prompter.Transcript())
            EXPECT_NE(box.caption, kDigitalSigningCaption);
    }
}

TEST(SigningInterop, DroppedFilesAreSignedVerifiablyAndDelivered) {
    SigningEngine e;
    const std::string in = e.s.dir.Path() + "in/";
    (void)ForceDirectories(in);
    e.engine.handler.Settings().Update([&](VNPTRRegValues& v) {
        v.MonitorSigning = true;
        v.MonitorPath = in;
    });
    SigningFolderMonitor& monitor = e.engine.engine->Monitor();
    monitor.SetSettleSeconds(0);
    (void)WriteWholeFile(in + "anne@clinic.example_letter.txt", "Dear Anne,\r\nThank you.\r\n");
    (void)WriteWholeFile(in + "report.txt", "MsgRecipient=lab@path.example\r\nAuthor=Dr A Person\r\n"
                                            "001 Report\r\n100 Smith\r\n301 Text\r\n999 End\r\n");
    (void)WriteWholeFile(in + "scan.pdf", "MsgRecipient=lab@path.example\r\n%PDF-1.4\n" + RandomBytes(3000));
    monitor.MonitorTick();
    EXPECT_TRUE(ListFolder(in, "*", false).empty());
    const std::string out = e.s.dir.Path() + "out/";
    const auto saved = e.Saved();
    ASSERT_EQ(saved.size(), 6u) << saved.size();

    e.s.ExpectVerifiable(out + "anne@clinic.example_letter.txt.sign.eml", "Dear Anne,\r\nThank you.\r\n",
                         "anne@clinic.example_letter.txt");

    const std::string report = *ReadWholeFile(out + "lab@path.example_report.txt");
    EXPECT_EQ(
        report.rfind("MsgRecipient=lab@path.example\r\n001 Report\r\n100 Smith\r\n301 Text\r\n"
                     "301 Signed by  : Dr A Person <a.person@test.example>, Sydney NSW\r\n301 Certificate: ",
                     0),
        0u)
        << report;
    // The delivered file is the routing line and then exactly the signed content.
    e.s.ExpectVerifiable(out + "lab@path.example_report.txt.sign.eml", StrAfter(report, "\r\n"),
                         "report.txt");

    const std::string scan = *ReadWholeFile(out + "lab@path.example_scan.pdf");
    EXPECT_EQ(scan.substr(0, 40),
              ("MsgRecipient=lab@path.example\r\n%PDF-1.4\n" + RandomBytes(3000)).substr(0, 40));
    EXPECT_EQ(scan.size(), std::string("MsgRecipient=lab@path.example\r\n%PDF-1.4\n").size() + 3000);
    e.s.ExpectVerifiable(out + "lab@path.example_scan.pdf.sign.eml", StrAfter(scan, "\r\n"), "scan.pdf");
}

TEST(SigningInterop, VvpdConvertWritesTheMessageAndItsVerifiableSignedCopy) {
    RealSigning s;
    const std::string out = s.dir.Path() + "out/";
    (void)ForceDirectories(s.dir.Path() + "tmp");
    const std::string vvpd = "TMP=" + s.dir.Path() + "tmp TEMP= " + test::BinDir() +
                             "/vvpd --program-folder " + s.program + " --registry " + s.dir.Path() +
                             "registry.reg ";
    ASSERT_EQ(test::RunCommand(vvpd + "set \"Save Mode\" 1").status, 0);
    ASSERT_EQ(test::RunCommand(vvpd + "set \"Save Path\" " + out).status, 0);
    const auto converted =
        test::RunCommand(vvpd + "convert " + test::TestDataPath("messages/signing_asked.prn"));
    ASSERT_EQ(converted.status, 0) << converted.output;
    EXPECT_NE(converted.output.find("Certificate Details:Signed by  : Dr A Person"), std::string::npos)
        << converted.output;
    auto saved = ListFolder(out, "*", false);
    std::sort(saved.begin(), saved.end());
    ASSERT_EQ(saved.size(), 2u) << converted.output;
    EXPECT_EQ(ExtractFileExt(saved[0]), ".pit");
    ASSERT_EQ(saved[1], saved[0] + ".sign.eml");
    const std::string eml = *ReadWholeFile(out + saved[1]);
    s.ExpectVerifiable(out + saved[1], *ReadWholeFile(out + saved[0]), StrBetween(eml, "(File \"", "\")"));
}

TEST(SigningInterop, SigningAskedWithoutAStoreIsHeldThenSentSignedOnceThereIsOne) {
    test::TempDir dir;
    const std::string program = dir.Path() + "prog/", out = dir.Path() + "out/";
    (void)ForceDirectories(program);
    (void)ForceDirectories(dir.Path() + "tmp");
    test::InstallSigningLibrary(test::RealSigningLibraryPath(), program);
    const std::string vvpd = "TMP=" + dir.Path() + "tmp TEMP= " + test::BinDir() + "/vvpd --program-folder " +
                             program + " --registry " + dir.Path() + "registry.reg ";
    ASSERT_EQ(test::RunCommand(vvpd + "set \"Save Mode\" 1").status, 0);
    ASSERT_EQ(test::RunCommand(vvpd + "set \"Save Path\" " + out).status, 0);

    // No store yet: nothing goes out unsigned, the job waits.
    const auto converted =
        test::RunCommand(vvpd + "convert " + test::TestDataPath("messages/signing_asked.prn"));
    EXPECT_EQ(converted.status, 1) << converted.output;
    EXPECT_NE(converted.output.find("is held: signing was asked for"), std::string::npos) << converted.output;
    EXPECT_TRUE(ListFolder(out, "*", false).empty());
    const auto jobs = test::RunCommand(vvpd + "jobs");
    EXPECT_NE(jobs.output.find("token: signing was asked for"), std::string::npos) << jobs.output;

    std::string output;
    ASSERT_TRUE(test::CreateTestStore(program, &output)) << output;
    const auto retried = test::RunCommand(vvpd + "retry");
    EXPECT_EQ(retried.status, 0) << retried.output;
    auto saved = ListFolder(out, "*", false);
    std::sort(saved.begin(), saved.end());
    ASSERT_EQ(saved.size(), 2u) << retried.output;
    ASSERT_EQ(saved[1], saved[0] + ".sign.eml");
    EXPECT_EQ(test::VerifySignedCopy(out + saved[1], program + "testca.pem").status, 0);
    EXPECT_NE(test::RunCommand(vvpd + "jobs").output.find("No held jobs"), std::string::npos);
}

TEST(SigningInterop, EngineTickSignsAndDeliversADroppedFile) {
    RealSigning s;
    const std::string in = s.dir.Path() + "in/";
    const std::string out = s.dir.Path() + "out/";
    (void)ForceDirectories(in);
    (void)ForceDirectories(out);
    // The engine's own token signer, loading the library from the program folder.
    test::TestEngine e{[&](test::TestEngineSetup& setup) {
        setup.tokenSigning = true;
        setup.programFolder = s.program;
        setup.settings = [&](VNPTRRegValues& v) {
            v.SavePath = out;
            v.MonitorSigning = true;
            v.MonitorPath = in;
        };
    }};
    const std::string letter = "Dear Anne,\r\nThe results are normal.\r\n";
    (void)WriteWholeFile(in + "anne@clinic.example_results.txt", letter);
    // Written a while ago: the writer has finished with it.
    const timespec past[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (in + "anne@clinic.example_results.txt").c_str(), past, 0), 0);
    e.engine->Tick();
    EXPECT_TRUE(ListFolder(in, "*", false).empty());
    EXPECT_EQ(*ReadWholeFile(out + "anne@clinic.example_results.txt"), letter);
    s.ExpectVerifiable(out + "anne@clinic.example_results.txt.sign.eml", letter,
                       "anne@clinic.example_results.txt");
    EXPECT_EQ(e.engine->Monitor().Display().caption, "Monitor Path for Signing");
}

} // namespace
} // namespace vvp
