#include "EngineFixture.h"
#include "QZStringManip.h"

using namespace vvp;
using vvp::test::EngineFixture;

TEST(PrintedName, RecipientAndSenderVariants) {
    struct Case {
        const char* value;
        bool sender;
        const char *family, *given, *provider, *title;
    } cases[] = {
        {"Dr John Smith Provider: 123456AB", false, "John Smith", "", "123456AB", "Dr "},
        {"Smith, John Provider: 123456AB", false, "Smith", "John", "123456AB", ""},
        {"Dr Smith", false, "Dr Smith", "", "", ""},
        {"  Dr. Jones, Ann Provider:  0123456A ", false, "Jones", "Ann", "0123456A", "Dr "},
        {"Dr John Smith Provider: 1", true, "John Smith", "", "1", "Dr "},
        // The sender looks the title up with its trailing blank, so the last list word never matches.
        {"Professor Jones Provider: 1", true, "Professor Jones", "", "1", ""},
        {"Professor Jones Provider: 1", false, "Jones", "", "1", "Professor "},
        {"Mrs Provider: 2", false, "", "", "2", "Mrs "},
    };
    for (const auto& c : cases) {
        auto p = ParsePrintedName(c.value, c.sender);
        EXPECT_EQ(p.family, c.family) << c.value;
        EXPECT_EQ(p.given, c.given) << c.value;
        EXPECT_EQ(p.provider, c.provider) << c.value;
        EXPECT_EQ(p.title, c.title) << c.value;
    }
}

TEST(PrintedHeader, ReadsEveryLabelledLine) {
    const std::string job = test::ReadTestData("messages/referral_pit.prn");
    FixedClock clock(*EncodeDate(2026, 12, 8));
    letter::TPitFile r;
    ReadPrintedHeader(job, r, "LetterPrinter", true, clock);
    EXPECT_EQ(r.messageDateText, "08/12/2026 10:30");
    EXPECT_EQ(r.requestedDateText, r.messageDateText);
    EXPECT_EQ(r.reportPrinter, "LetterPrinter");
    EXPECT_FALSE(r.signingAsked);
    EXPECT_FALSE(r.paperCopyAsked);
    EXPECT_EQ(r.practiceName, "Harbour Medical Centre");
    EXPECT_EQ(r.addressee.title, "Dr ");
    EXPECT_EQ(r.addressee.familyName, "Anne Specialist");
    EXPECT_EQ(r.addressee.address,
              "Suite 4  12 Harbour Street\r\nLevel 2  Harbour Clinic\r\nSydney NSW, 2000");
    EXPECT_EQ(r.addressee.email, "anne.specialist@clinic.example.com.au");
    EXPECT_TRUE(r.addressee.flag);
    EXPECT_EQ(r.doctors[0].familyName, "Citizen");
    EXPECT_EQ(r.doctors[0].givenNames, "John");
    EXPECT_EQ(r.doctors[0].providerNumber, "0123456A");
    EXPECT_EQ(r.doctors[0].address, "1 Main Road Bondi NSW 2026");
    EXPECT_EQ(r.patientSurname, "SMITH");
    EXPECT_EQ(r.patientGivenNames, "Mary Jane");
    EXPECT_EQ(r.patientAddress, "5 Beach Street Bondi NSW 2026");
    EXPECT_EQ(r.dobText, "01/02/1950");
    EXPECT_EQ(r.sex, "F");
    ASSERT_FALSE(r.body.empty());
    EXPECT_EQ(r.body.front(), "Dear Anne,");
    EXPECT_EQ(r.body.back(), "John Citizen");
}

TEST(PrintedHeader, MissingDateTakesTheCurrentTimeAndFlagsAreRead) {
    FixedClock clock(*EncodeDate(2026, 12, 8) + *EncodeTime(9, 7, 0, 0));
    letter::TPitFile r;
    ReadPrintedHeader(
        "Vocanet Electronic Health Message V1.5\r\nDigital Signing : yes\r\nPRINT PAPER COPY: Y\r\n"
        "Message Format  :hl7\r\n",
        r, "", true, clock);
    EXPECT_EQ(r.messageDateText, "08/12/2026 09:07");
    EXPECT_TRUE(r.signingAsked);
    EXPECT_TRUE(r.paperCopyAsked);
    EXPECT_FALSE(r.addressee.flag);
    letter::TPitFile off;
    ReadPrintedHeader("Digital Signing :Y\r\n", off, "", false, clock);
    EXPECT_FALSE(off.signingAsked); // HeSA Tokens off
}

TEST(CriticalFields, ListNamesEachMissingItem) {
    letter::TPitFile r;
    r.dobText = "31/02/1950";
    EXPECT_EQ(CriticalFieldList(r),
              "CRITICAL Patient Surname\r\nCRITICAL Patient DOB Invalid: \"31/02/1950\"\r\n"
              "CRITICAL Recipient Surname\r\nCRITICAL Recipient E-mail Address\r\n"
              "DESIRABLE Patient Address\r\n");
}

TEST(MessageCreation, MissingRecipientEmailStopsWithTheCriticalBox) {
    EngineFixture f;
    EXPECT_EQ(f.creation.CreateResult(test::ReadTestData("messages/missing_recipient_email.prn")).status,
              Creation::Status::Refused);
    ASSERT_EQ(f.Boxes().size(), 1u);
    EXPECT_EQ(f.Boxes()[0].caption, "Vocanet Printer Error");
    EXPECT_EQ(f.Boxes()[0].text,
              "There is critical information missing.\r\nCRITICAL Recipient E-mail Address\r\n\r\n"
              "Please Correct the problem before retrying.");
}

TEST(MessageCreation, FormatWordFollowsTheFormatValue) {
    EngineFixture f;
    const std::string job = test::ReadTestData("messages/referral_pit.prn");
    auto routing = [&](const std::string& format) {
        std::string text = StrReplace(job, "Message Format  :PIT", "Message Format  :" + format);
        return StrBefore(test::ResultText(f.creation.CreateResult(text)), "\r\n");
    };
    EXPECT_EQ(routing("PIT"), "anne.specialist@clinic.example.com.au:PIT");
    EXPECT_EQ(routing("Hl7"), "anne.specialist@clinic.example.com.au:HL7");
    EXPECT_EQ(routing("Word"), "anne.specialist@clinic.example.com.au:PIT");
    EXPECT_EQ(routing(""), "anne.specialist@clinic.example.com.au:PIT");
}

TEST(MessageCreation, NoSignaturePlaceholderRemainsWhenUnsigned) {
    EngineFixture f;
    for (const char* name :
         {"messages/referral_pit.prn", "messages/referral_hl7.prn", "messages/signing_asked.prn"}) {
        std::string result = test::ResultText(f.creation.CreateResult(test::ReadTestData(name)));
        EXPECT_FALSE(result.empty()) << name;
        EXPECT_EQ(result.find("<#SIGNATURE DETAILS>"), std::string::npos) << name;
        EXPECT_EQ(result.find("[[[------ SIGNED MESSAGE"), std::string::npos) << name;
    }
}

TEST(MessageCreation, UnknownLetterPrinterIsOnlyInformation) {
    EngineFixture f;
    f.creation.CreateResult(test::ReadTestData("messages/referral_pit.prn"));
    ASSERT_EQ(f.Boxes().size(), 1u);
    EXPECT_EQ(f.Boxes()[0].text, "Report Printer \"VocaNet\" does not exist.");
    f.handler.Settings().Update([](VNPTRRegValues& v) { v.ReportPrinter.clear(); });
    f.creation.CreateResult(test::ReadTestData("messages/referral_pit.prn"));
    EXPECT_EQ(f.Boxes()[1].text, "Default Report Printer \"\" does not exist.\r\n\r\nUsing windows default.");
}

TEST(SigningNoteText, JoinsTheDetailLines) {
    EXPECT_EQ(SigningNote(""), "");
    EXPECT_EQ(
        SigningNote("Signed by  : Dr A <a@b.c>, Sydney NSW\r\n301 Certificate: 0A Token: T1 issued by CA"),
        "Vocanet has prepared an electronic version of this document digitally signed by:\r\n"
        " Dr A <a@b.c>, Sydney NSW Certificate: 0A Token: T1 issued by CA");
}

class ScriptedSigner final : public MessageSigner {
public:
    std::vector<std::string> details;
    std::vector<std::string> blocks;
    int clears = 0;
    std::string SignWithToken() override { return Next(details); }
    std::string BuildSignedBlock(const std::string& from, const std::string& to, const std::string& subject,
                                 const std::string& fileName, const std::string&,
                                 const std::string*) override {
        lastCall = from + "|" + to + "|" + subject + "|" + fileName;
        return Next(blocks);
    }
    void ClearTokenLogon() override { ++clears; }
    std::string lastCall;

private:
    static std::string Next(std::vector<std::string>& list) {
        if (list.empty()) return {};
        std::string v = list.front();
        if (list.size() > 1) list.erase(list.begin());
        return v;
    }
};

TEST(MessageCreation, SignedMessageCarriesDetailsAndEnvelope) {
    EngineFixture f;
    ScriptedSigner signer;
    signer.details = {"Signed by  : Dr J Citizen <john@harbour.au>, Bondi NSW\r\n301 Certificate: 1F Token: "
                      "AB issued by CA"};
    signer.blocks = {"", "[[[------ SIGNED MESSAGE ------]]]\r\nFrom: john@harbour.au\r\nS"};
    MessageCreation creation(f.handler, signer);
    std::string result =
        test::ResultText(creation.CreateResult(test::ReadTestData("messages/signing_asked.prn")));
    EXPECT_NE(
        result.find("301 Signed by  : Dr J Citizen <john@harbour.au>, Bondi NSW\r\n301 Certificate: 1F"),
        std::string::npos);
    EXPECT_NE(result.find("\r\n[[[------ SIGNED MESSAGE ------]]]\r\nFrom: john@harbour.au\r\nS"),
              std::string::npos);
    EXPECT_EQ(signer.clears, 1); // the first envelope came back empty and was retried
    EXPECT_EQ(signer.lastCall,
              "john@harbour.au|\"Anne Specialist,  2345671X\" <anne.specialist@clinic.example.com.au>|"
              "SMITH Referral letter|SMITH_01-Feb-1950_Referral l_261208103115.pit");
}

TEST(MessageCreation, CancelAtTheFirstSigningQuestionGivesTheJobUp) {
    EngineFixture f;
    ScriptedSigner signer;
    signer.details = {"ERROR: CANCEL"};
    MessageCreation creation(f.handler, signer);
    EXPECT_EQ(creation.CreateResult(test::ReadTestData("messages/signing_asked.prn")).status,
              Creation::Status::Cancelled);
}

TEST(MessageCreation, DecliningAnUnsignedSendSendsNothing) {
    EngineFixture f;
    ScriptedSigner signer;
    signer.details = {"ERROR: PRINT"};
    MessageCreation creation(f.handler, signer);
    // No letter service here: nothing printed stands in for the message, so the job is not dealt with.
    EXPECT_EQ(creation.CreateResult(test::ReadTestData("messages/signing_asked.prn")).status,
              Creation::Status::Failed);
    EXPECT_TRUE(f.Logged("not sent: sending it unsigned was declined and no paper copy was printed."));
}

TEST(ClassifyJob, FormFeedPagesAndRelayFrames) {
    EngineFixture f;
    std::vector<std::string> pages;
    f.creation.SetPathologyRequestCreator([&](const std::string& page, const std::string& printer) {
        pages.push_back(page + "|" + printer);
        return std::string();
    });
    JobText job("page one\fpage two\fpage three");
    auto c = f.creation.ClassifyJob(job);
    EXPECT_EQ(c.created.status, Creation::Status::Nothing);
    EXPECT_EQ(job.Whole().substr(c.next), "page two\fpage three");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0], "page one|VocaNet");
    EXPECT_TRUE(f.Logged("Not a Pathology Request"));
    pages.clear();
    JobText frame("\x02name:.pit\x03text");
    f.creation.ClassifyJob(frame);
    EXPECT_TRUE(pages.empty());
}

TEST(ReadPrintedHeader, ADateWithoutItsYearTakesTheEnginesYear) {
    const FixedClock clock(*EncodeDate(2030, 6, 1), 600);
    letter::TPitFile r;
    ReadPrintedHeader("Message Date    :12/03 10:00\r\nPatient DOB/Sex :01/02  Sex: F\r\n", r, "", false,
                      clock);
    EXPECT_EQ(DecodeDateTime(r.messageDate).year, 2030);
    EXPECT_EQ(DecodeDateTime(r.dob).year, 2030);
}
