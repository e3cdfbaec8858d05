// Message creation with RTF letters: the routing line, the base64 letter, signing and paper copies.

#include "../app/EngineFixture.h"
#include "LetterTestSupport.h"
#include "QZStringManip.h"
#include "RtfLetterService.h"
#include "simplebase64.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

class ScriptedSigner final : public MessageSigner {
public:
    std::string details;
    std::string block = "[[[------ SIGNED MESSAGE ------]]]\r\nsigned\r\n";
    std::string fileName, content, stream;
    std::string SignWithToken() override { return details; }
    std::string BuildSignedBlock(const std::string&, const std::string&, const std::string&,
                                 const std::string& name, const std::string& text,
                                 const std::string* bytes) override {
        fileName = name;
        content = text;
        stream = bytes ? *bytes : "<none>";
        return block;
    }
    void ClearTokenLogon() override {}
};

class FailingLetters final : public LetterService {
public:
    bool MakeLetter(const letter::TPitFile&, std::string*, const std::string&) override { return false; }
};

struct RtfEngine {
    test::RecordingPrintService printing;
    ScriptedSigner signer;
    test::EngineFixture f{[this](test::TestEngineSetup& setup) {
        setup.signer = &signer;
        setup.printService = &printing;
    }};
    EngineContext& handler = f.handler;
    MessageCreation& creation = f.creation;

    std::string Job(const std::string& name = "messages/referral_rtf.prn") {
        return test::ReadTestData(name);
    }
};

std::string LetterOf(const std::string& result) {
    const std::string base64 = StrBefore(StrAfter(result, "\r\n"), "\r\n");
    auto doc = RtfDocument::FromString(Base64Decode(base64));
    EXPECT_TRUE(doc.ok()) << result;
    return doc.ok() ? doc->PlainText() : std::string();
}

TEST(RtfMessage, ResultIsTheRoutingLineAndTheBase64Letter) {
    RtfEngine e;
    const std::string result = test::ResultText(e.creation.CreateResult(e.Job()));
    EXPECT_EQ(StrBefore(result, "\r\n"), "anne.specialist@clinic.example.com.au:RTF");
    const std::string lines = StrAfter(result, "\r\n");
    EXPECT_EQ(lines.find("\r\n"), lines.size() - 2) << "one base64 line";
    const std::string letter = LetterOf(result);
    for (const char* value : {"John Citizen\tjohn.citizen@harbour.example.com.au", "Dr Anne Specialist\r\n",
                              "Suite 4  12 Harbour Street\r\nLevel 2  Harbour Clinic\r\nSydney NSW 2000\r\n",
                              "Dear Dr Anne Specialist,", "\t\tSMITH, Mary Jane \r\n",
                              "\t\t01/02/1950  F\r\n", "Thank you for seeing Mary"})
        EXPECT_NE(letter.find(value), std::string::npos) << value << "\n" << letter;
    EXPECT_EQ(letter.find("<<"), std::string::npos);
    EXPECT_TRUE(e.printing.jobs.empty());
}

TEST(RtfMessage, SignedLetterCarriesTheNoteAndIsTheSignedContent) {
    RtfEngine e;
    e.signer.details =
        "Signed by  : Dr J Citizen <john@harbour.au>, Bondi NSW\r\n301 Certificate: 1F Token: AB";
    const std::string job = StrReplace(e.Job(), "Digital Signing :N", "Digital Signing :Y");
    const std::string result = test::ResultText(e.creation.CreateResult(job));
    EXPECT_NE(result.find(":RTF\r\n"), std::string::npos);
    EXPECT_EQ(e.signer.fileName.substr(e.signer.fileName.size() - 4), ".rtf");
    EXPECT_EQ(e.signer.content, "");
    const std::string base64 = StrBefore(StrAfter(result, "\r\n"), "\r\n");
    EXPECT_EQ(e.signer.stream, Base64Decode(base64));
    EXPECT_NE(result.find("\r\n[[[------ SIGNED MESSAGE ------]]]\r\nsigned\r\n"), std::string::npos);
    EXPECT_NE(
        test::Squeezed(LetterOf(result))
            .find("Vocanet has prepared an electronic version of this document digitally signed by: Dr J "
                  "Citizen john@harbour.au, Bondi NSW Certificate: 1F Token: AB"), // "<" and ">" are dropped
        std::string::npos)
        << LetterOf(result);
}

TEST(RtfMessage, PaperCopyIsPrintedOnTheJobsLetterPrinter) {
    RtfEngine e;
    e.printing.printers = {"Letters"};
    std::string job = StrReplace(e.Job("messages/referral_rtf_paper_copy.prn"), "Report Printer  :\r\n",
                                 "Report Printer  :Letters\r\n");
    e.creation.CreateResult(job);
    ASSERT_EQ(e.printing.jobs.size(), 1u);
    EXPECT_EQ(e.printing.jobs[0].title, "SMITH for Anne Specialist");
    EXPECT_EQ(e.printing.jobs[0].printer, "Letters");
    EXPECT_NE(e.printing.jobs[0].plainText.find("Thank you for seeing Mary"), std::string::npos);
    EXPECT_TRUE(e.f.prompter.Transcript().empty()); // the letter printer is known: no message
}

TEST(RtfMessage, LetterThatCannotBeMadeIsSentAsPit) {
    test::EngineFixture f;
    FailingLetters failing;
    MessageCreation creation(f.handler, f.signer, &failing);
    const std::string result =
        test::ResultText(creation.CreateResult(test::ReadTestData("messages/referral_rtf.prn")));
    EXPECT_EQ(StrBefore(result, "\r\n"), "anne.specialist@clinic.example.com.au:PIT");
    EXPECT_TRUE(f.Logged("The RTF letter could not be made: the message is written as PIT instead."));
}

TEST(RtfMessage, PipelineStoresTheDecodedLetter) {
    RtfEngine e;
    JobPipeline pipeline(e.handler, e.creation);
    JobOutcome out = pipeline.HandleSpoolFile(e.f.Spool(e.Job()));
    EXPECT_EQ(out.messages, 1);
    const auto files = ListFolder(e.handler.Settings().Get().SavePath, "*.rtf", false);
    ASSERT_EQ(files.size(), 1u);
    const std::string bytes = *ReadWholeFile(e.handler.Settings().Get().SavePath + files[0]);
    EXPECT_EQ(bytes.rfind("{\\rtf1\\ansi", 0), 0u);
    EXPECT_TRUE(RtfDocument::FromString(bytes).ok());
}

// The messaging client routes a saved file by its first line when MsgRecipient is on: the RTF
// letter keeps the line in front of its decoded bytes, and the signed copy carries it too.
TEST(RtfMessage, SavedLetterAndSignedCopyStartWithTheRecipientLine) {
    RtfEngine e;
    e.handler.Settings().Update([](VNPTRRegValues& v) { v.MsgRecipient = true; });
    e.signer.details = "Signed by  : Dr J Citizen <john@harbour.au>";
    e.signer.block =
        "[[[------ SIGNED MESSAGE ------]]]\r\nFrom: john@harbour.au\r\nMIME-Version: 1.0\r\n\r\nsigned\r\n";
    JobPipeline pipeline(e.handler, e.creation);
    const JobOutcome out =
        pipeline.HandleSpoolFile(e.f.Spool(StrReplace(e.Job(), "Digital Signing :N", "Digital Signing :Y")));
    EXPECT_EQ(out.messages, 1);
    const std::string folder = e.handler.Settings().Get().SavePath;
    const auto letters = ListFolder(folder, "*.rtf", false);
    const auto signedCopies = ListFolder(folder, "*.rtf.sign.eml", false);
    ASSERT_EQ(letters.size(), 1u);
    ASSERT_EQ(signedCopies.size(), 1u);
    const std::string line = "MsgRecipient=anne.specialist@clinic.example.com.au\r\n";
    EXPECT_EQ(ReadWholeFile(folder + letters[0])->rfind(line + "{\\rtf1", 0), 0u);
    EXPECT_EQ(ReadWholeFile(folder + signedCopies[0])->rfind(line, 0), 0u);
}

} // namespace
} // namespace vvp
