#include "../formats/Hl7Interop.h"
#include "EngineFixture.h"
#include "QZStringManip.h"

#include <sys/stat.h>

using namespace vvp;
using vvp::test::EngineFixture;

namespace {

// Classifies each form-feed page by its first word: "MSG n" becomes a message, "CANCEL" a
// cancelled page, "ERR" an error.
class PageClassifier final : public JobClassifier {
public:
    Classification ClassifyJob(JobText& job) override {
        Classification c;
        const std::string page = StrBefore(std::string(job.Rest()), "\f");
        if (const size_t ff = job.Find("\f"); ff != std::string::npos) c.next = ff + 1;
        if (page.rfind("MSG", 0) == 0)
            c.created = {
                Creation::Status::Message, {"lab@path.example", "ORM", "MSH|" + page + "\r\n", ""}, ""};
        else if (page.rfind("CANCEL", 0) == 0)
            c.created.status = Creation::Status::Cancelled;
        else if (page.rfind("ERR", 0) == 0)
            c.created = {Creation::Status::Failed, {}, "ERROR: bad page"};
        return c;
    }
};

} // namespace

TEST(JobPipeline, PrintedPitLetterBecomesTheGoldenFile) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    const std::string spool = f.Spool(test::ReadTestData("messages/referral_pit.prn"));
    JobOutcome out = pipeline.HandleSpoolFile(spool);
    EXPECT_EQ(out.messages, 1);
    EXPECT_TRUE(out.DealtWith());
    EXPECT_FALSE(FileExists(spool));
    const std::string name = "anne.specialist@clinic.example.com.au_" + SpoolJobId(spool) + "1.pit";
    ASSERT_EQ(f.SavedFiles(), std::vector<std::string>{name});
    test::ExpectMatchesGolden(f.dir.Read("prog/VirtualPrinter/" + name),
                              "messages/referral_pit.expected.pit");
    EXPECT_TRUE(f.Logged("Generated Message for transmission."));
    EXPECT_TRUE(f.Logged("Saved message for anne.specialist@clinic.example.com.au\r\n to " + f.SavePath()));
}

TEST(JobPipeline, PrintedHl7LetterIsSavedWithoutLineFeeds) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    const std::string spool = f.Spool(test::ReadTestData("messages/referral_hl7.prn"));
    pipeline.HandleSpoolFile(spool);
    const std::string name = "anne.specialist@clinic.example.com.au_" + SpoolJobId(spool) + "1.hl7";
    const std::string hl7 = f.dir.Read("prog/VirtualPrinter/" + name);
    EXPECT_EQ(hl7.find('\n'), std::string::npos);
    EXPECT_EQ(hl7.rfind("FHS|^~\\&|", 0), 0u);
    test::ExpectMatchesGolden(hl7, "messages/referral_hl7.expected.hl7");

    VVP_REQUIRE_HL7_INTEROP();
    std::string error;
    auto parsed = test::ReadHl7WithInterop(f.SavePath() + name, false, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->Field("MSH", 12), "2.3.1");
    EXPECT_EQ(parsed->Field("MSH", 4), "Harbour Medical Centre");
    EXPECT_EQ(parsed->Field("PID", 5), "SMITH^Mary^Jane^^");
    EXPECT_EQ(parsed->Field("PID", 7), "19500201000000000");
    EXPECT_EQ(parsed->Field("PV1", 9), "2345671X^Anne Specialist^^^^Dr ");
    EXPECT_EQ(parsed->Field("OBR", 4), "^LETTER^^^^");
    EXPECT_EQ(parsed->Field("OBX", 5).rfind("\\.nf\\100 Start Patient", 0), 0u);
    EXPECT_EQ(parsed->Field("FHS", 9), "anne.specialist@clinic.example.com.au_20261208103115250.");
}

TEST(JobPipeline, MsgRecipientLineStartsTheSavedMessage) {
    // The name is recipient "_" id page: an address with "_" of its own stays whole, with or without "@".
    for (const std::string address :
         {"anne.specialist@clinic.example.com.au", "john_smith@clinic.example", "john_smith"}) {
        EngineFixture f;
        f.handler.Settings().Update([](VNPTRRegValues& v) { v.MsgRecipient = true; });
        JobPipeline pipeline(f.handler, f.creation);
        const std::string spool = f.Spool(StrReplace(test::ReadTestData("messages/referral_pit.prn"),
                                                     "anne.specialist@clinic.example.com.au", address));
        pipeline.HandleSpoolFile(spool);
        const std::string name = address + "_" + SpoolJobId(spool) + "1.pit";
        EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/" + name).rfind("MsgRecipient=" + address + "\r\n001 ", 0),
                  0u);
        EXPECT_TRUE(f.Logged("Saved message for " + address + "\r\n"));
    }
}

TEST(JobPipeline, UnrecognisedPrintoutGivesExactlyOneBox) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    // No health-message header, and too little for the pathology parser to find a request in.
    JobOutcome out = pipeline.HandleSpoolFile(f.Spool("Thank you for seeing this patient.\r\n"));
    EXPECT_TRUE(out.unrecognised);
    EXPECT_FALSE(out.DealtWith());
    ASSERT_EQ(f.Boxes().size(), 1u);
    EXPECT_EQ(f.Boxes()[0].caption, "Vocanet Virtual Printer Error.");
    EXPECT_EQ(f.Boxes()[0].text,
              "Printed document was not a  Health message and no suitable Cantor header was found.\r\n\r\n"
              "Please check that the document uses a monospace font like \"Courier New\" and that each line "
              "of text "
              "is of the same size.");
    EXPECT_TRUE(f.Logged("Printed document could not be handled by VVP."));
    EXPECT_TRUE(f.SavedFiles().empty());
}

TEST(JobPipeline, RefusedHealthMessageShowsOnlyItsOwnBox) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    JobOutcome out =
        pipeline.HandleSpoolFile(f.Spool(test::ReadTestData("messages/missing_recipient_email.prn")));
    EXPECT_TRUE(out.refused);
    ASSERT_EQ(f.Boxes().size(), 1u);
    EXPECT_EQ(f.Boxes()[0].caption, "Vocanet Printer Error");
}

TEST(JobPipeline, HeaderDefinitionHandsThePrintoutOn) {
    EngineFixture f;
    f.dir.Write("prog/cantor.kxh", "FORMATCHECK=  PATHOLOGY EXPORT V2  \r\nSRCDIR=" + f.dir.Path() +
                                       "cantor/\r\nFILETYPE=txt\r\n");
    f.dir.Write("prog/broken.kxh", "FORMATCHECK=\r\n");
    (void)ForceDirectories(f.dir.Path() + "cantor");
    JobPipeline pipeline(f.handler, f.creation);
    const std::string spool = f.Spool(test::ReadTestData("messages/cantor_export.prn"));
    JobOutcome out = pipeline.HandleSpoolFile(spool);
    EXPECT_TRUE(out.handedOn);
    EXPECT_TRUE(out.DealtWith());
    EXPECT_EQ(f.dir.Read("cantor/" + ExtractFileName(ChangeFileExt(spool, ".txt"))),
              test::ReadTestData("messages/cantor_export.prn"));
    EXPECT_FALSE(FileExists(spool));
    EXPECT_TRUE(f.Boxes().empty());
}

TEST(JobPipeline, PeerRequestsAreNotJobs) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    for (const char* request : {"SVRINFO\r\n", "ADDR\r\nSVRINFO\r\n"}) {
        const std::string spool = f.Spool(request);
        EXPECT_TRUE(pipeline.HandleSpoolFile(spool).peerRequest);
        EXPECT_FALSE(FileExists(spool));
    }
    EXPECT_TRUE(f.Boxes().empty());
}

TEST(JobPipeline, PagesAreNumberedAndACancelledPageSkipsItsNumber) {
    EngineFixture f;
    PageClassifier classifier;
    JobPipeline pipeline(f.handler, classifier);
    const std::string spool = f.Spool("MSG a\fCANCEL\fMSG c\f\r\n");
    JobOutcome out = pipeline.HandleSpoolFile(spool);
    EXPECT_EQ(out.messages, 2);
    EXPECT_EQ(out.cancelled, 1);
    const std::string id = SpoolJobId(spool);
    EXPECT_EQ(f.SavedFiles(), (std::vector<std::string>{"lab@path.example_" + id + "1.orm",
                                                        "lab@path.example_" + id + "2.orm"}));
    EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/lab@path.example_" + id + "2.orm"), "MSH|MSG c\r");
}

TEST(JobPipeline, FailedDeliveryKeepsTheSpoolFile) {
    EngineFixture f;
    // A Save Path that cannot be made: its parent is a file.
    f.dir.Write("blocked", "");
    f.handler.Settings().Update([&](VNPTRRegValues& v) { v.SavePath = f.dir.Path() + "blocked/out/"; });
    JobPipeline pipeline(f.handler, f.creation);
    const std::string spool = f.Spool(test::ReadTestData("messages/referral_pit.prn"));
    JobOutcome out = pipeline.HandleSpoolFile(spool);
    EXPECT_EQ(out.storeFailures, 1);
    EXPECT_TRUE(FileExists(spool));
    EXPECT_TRUE(f.Logged("Job kept in " + spool));
    EXPECT_TRUE(f.Logged("Unable to write electronic message to destination \r\n"));
}

TEST(JobPipeline, RecoveredJobWhoseMessageWasStoredIsNotAClash) {
    EngineFixture f;
    JobPipeline pipeline(f.handler, f.creation);
    const std::string job = test::ReadTestData("messages/referral_pit.prn");
    const std::string spool = f.Spool(job);
    const std::string name = "anne.specialist@clinic.example.com.au_" + SpoolJobId(spool) + "1.pit";
    f.dir.Write("prog/VirtualPrinter/" + name, "stored before the kill");
    // Handled again as a new job, the existing name is a clash: reported and the job kept.
    EXPECT_EQ(pipeline.HandleSpoolFile(spool).storeFailures, 1);
    EXPECT_TRUE(FileExists(spool));
    // Handled again after a restart, it is this job's own earlier delivery.
    JobOutcome recovered = pipeline.HandleSpoolFile(spool, true);
    EXPECT_EQ(recovered.messages, 1);
    EXPECT_FALSE(FileExists(spool));
    EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/" + name), "stored before the kill");
    EXPECT_EQ(f.SavedFiles(), std::vector<std::string>{name});
}

TEST(Spool, NamesComeFromPeerAndStemAndNeverClash) {
    EngineFixture f;
    auto a = f.engine->Spools().Create("10.0.0.5");
    auto b = f.engine->Spools().Create("10.0.0.5"); // same millisecond: the counter goes on
    ASSERT_TRUE(a && b);
    EXPECT_NE(a->path, b->path);
    EXPECT_EQ(SpoolJobId(b->path), "47fb761fb4d9f21021");
    EXPECT_EQ(ExtractFileName(a->path).rfind("10.0.0.5_", 0), 0u);
    EXPECT_EQ(SpoolJobId(a->path), "47fb761fb4d9f21020");
    EXPECT_EQ(SpoolJobId("/tmp/my_dir/127.0.0.1_abc1020.prn"), "abc1020");
    ::close(a->fd);
    ::close(b->fd);
}

TEST(Spool, BareCarriageReturnsBecomeByte255) {
    EXPECT_EQ(ToJobText("a\rb\r\nc\r"), "a\xFF"
                                        "b\r\nc\xFF");
}

TEST(JobPipeline, EachLetterAndEachRequestOfAJobIsItsOwnMessageAndBlankPagesAreSkipped) {
    const std::string letter = test::ReadTestData("messages/referral_pit.prn");
    const std::string other =
        StrReplace(StrReplace(letter, "anne.specialist@clinic.example.com.au", "bob@gp.example"),
                   "Dear Anne,", "Dear Bob,");
    const std::string requests = test::ReadTestData("pathology/three_pages.prn");
    const auto ff1 = requests.find('\f');
    const std::string request = requests.substr(0, ff1);
    // A letter's own later page, whose first line reads like a Medicare number to the request parser.
    const std::string letterPage2 = "0412 345 678 is Mary's mobile.\r\nPage two of the letter.\r\n";
    const std::string anne = "anne.specialist@clinic.example.com.au";
    struct Message {
        std::string file;                      // recipient, "_", page number and extension
        std::vector<std::string> holds, lacks; // texts the message must and must not carry
    };
    struct Case {
        const char* name;
        std::string job;
        std::vector<Message> messages; // in the order their names sort
    };
    const std::vector<Case> cases = {
        {"two letters to two doctors",
         letter + "\f" + other,
         {{anne + "_1.pit", {"Dear Anne,"}, {"Dear Bob,"}},
          {"bob@gp.example_2.pit", {"Dear Bob,"}, {"Dear Anne,"}}}},
        {"a request, then a letter",
         request + "\f" + letter,
         {{anne + "_2.pit", {"Dear Anne,"}, {"2123456701", "Chest pain"}},
          {"orders@acme.example_1.orm", {"2123456701"}, {"Dear Anne,"}}}},
        {"a letter of two pages, then a request",
         letter + "\f" + letterPage2 + "\f" + request,
         {{anne + "_1.pit", {"Dear Anne,", "Page two of the letter."}, {"2123456701", "Chest pain"}},
          {"orders@acme.example_2.orm", {"2123456701"}, {"Dear Anne,", "Page two"}}}},
        {"an empty page between two requests",
         request + "\f\f" + requests.substr(ff1 + 1),
         {{"orders@acme.example_1.orm", {}, {}},
          {"orders@acme.example_2.orm", {}, {}},
          {"orders@acme.example_3.orm", {}, {}}}},
        {"a page of blank lines between two requests",
         request + "\f   \r\n\r\n\t\r\n\f" + requests.substr(ff1 + 1),
         {{"orders@acme.example_1.orm", {}, {}},
          {"orders@acme.example_2.orm", {}, {}},
          {"orders@acme.example_3.orm", {}, {}}}},
        {"a first line that only begins like a peer request",
         "ADDRESSEE COPY\r\n" + letter,
         {{anne + "_1.pit", {}, {}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EngineFixture f;
        f.dir.Write("prog/ElectronicLabDetails.inf",
                    test::ReadTestData("pathology/ElectronicLabDetails.inf"));
        f.prompter.AddAnswer("Pathology Details", "ACME PATHOLOGY");
        const JobOutcome out = f.engine->SubmitJob("127.0.0.1", c.job);
        EXPECT_TRUE(out.DealtWith());
        EXPECT_FALSE(out.peerRequest);
        std::vector<std::string> saved, expected;
        for (const auto& name : f.SavedFiles())
            saved.push_back(StrBefore(name, "_") + "_" + name.substr(name.size() - 5));
        for (const auto& m : c.messages)
            expected.push_back(m.file);
        EXPECT_EQ(saved, expected);
        if (saved != expected) continue;
        for (size_t i = 0; i < saved.size(); ++i) {
            const std::string content = f.dir.Read("prog/VirtualPrinter/" + f.SavedFiles()[i]);
            for (const auto& text : c.messages[i].holds)
                EXPECT_NE(content.find(text), std::string::npos) << saved[i] << " lacks " << text;
            for (const auto& text : c.messages[i].lacks)
                EXPECT_EQ(content.find(text), std::string::npos) << saved[i] << " holds " << text;
        }
        EXPECT_TRUE(f.Boxes().empty() || f.Boxes()[0].caption != "Vocanet Virtual Printer Error.");
    }
}

TEST(JobPipeline, LettersWithLineFeedsAloneAreReadAsTheyArePrinted) {
    EngineFixture f;
    const std::string crlf = test::ReadTestData("messages/referral_pit.prn");
    const JobOutcome out = f.engine->SubmitJob("127.0.0.1", StrReplace(crlf, "\r\n", "\n"));
    EXPECT_TRUE(out.DealtWith());
    const auto saved = f.SavedFiles();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(ExtractFileExt(saved[0]), ".pit");
    test::ExpectMatchesGolden(f.dir.Read("prog/VirtualPrinter/" + saved[0]),
                              "messages/referral_pit.expected.pit");
}

TEST(JobPipeline, AJobThatStartsWithARelayFrameIsOneWhateverItHolds) {
    const std::string health = test::ReadTestData("messages/referral_pit.prn");
    EngineFixture f;
    f.handler.Settings().Update([](VNPTRRegValues& v) { v.SaveMode = 2; });
    EXPECT_TRUE(f.engine
                    ->SubmitJob("127.0.0.1", "\x02"
                                             "anne@x.example_abc10201:.pit\x03" +
                                                 health)
                    .relayFrame);
    EXPECT_EQ(f.SavedFiles(), std::vector<std::string>{"anne@x.example_abc10201.pit"});
    // A name whose temporary file would be its final file is refused once, not kept for ever.
    const JobOutcome refused = f.engine->SubmitJob("127.0.0.1", "\x02"
                                                                "anne@x.example_abc10202:.___\x03text");
    EXPECT_FALSE(refused.spoolKept);
    EXPECT_TRUE(f.Logged("Refused relay frame from 127.0.0.1: the extension \".___\"."));
    EXPECT_EQ(f.SavedFiles().size(), 1u);
}
