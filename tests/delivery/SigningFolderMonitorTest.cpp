#include "SigningFolderMonitor.h"

#include "FileUtil.h"
#include "msgcommsd7.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

using test::TempDir;
using test::Visible;

const std::string kDetails = "Signed by  : Dr Q Tester <q@clinic.example>, Cairns QLD\r\n"
                             "301 Certificate: 0A1B Token: C0FFEE issued by Clinic CA";

TEST(RecipientFromHeaderLine, AcceptsOnlyUsableAddresses) {
    struct Case {
        const char* line;
        const char* recipient;
    } cases[] = {
        {"MsgRecipient=anne@clinic.example.com", "anne@clinic.example.com"},
        {"msgrecipient =  anne ", "anne@"}, // no "@": one is added, and an empty domain is accepted
        {"To=anne@clinic", ""},             // a domain of one word is no domain
        {"Author=someone@x.example", "someone@x.example"},
        {"anne@clinic.example", "anne@clinic.example"}, // a bare address line
        {"Dear Anne,", ""},
        {"MsgRecipient=an ne@x.example", ""},
        {"MsgRecipient=o'neil@x.example", ""},
        {"MsgRecipient=a(b)@x.example", ""},
        {"MsgRecipient=a|b@x.example", ""},
        {" anne@x.example", ""}, // the whole line is the value, its blank is in the local part
        {"MsgRecipient=a@x.example/../../etc", ""}, // must not lead out of the output folder
    };
    for (const auto& c : cases)
        EXPECT_EQ(RecipientFromHeaderLine(c.line), c.recipient) << c.line;
}

TEST(ReadMsgRecipient, ReadsOnlyTheFirstLine) {
    TempDir dir;
    dir.Write("a.txt", "MsgRecipient=anne@clinic.example\r\nTo=bob@x.example\r\n");
    dir.Write("b.txt", "Letter\nMsgRecipient=anne@clinic.example\n");
    dir.Write("c.txt", "MsgRecipient=anne@clinic.example\rrest");
    EXPECT_EQ(ReadMsgRecipient(dir.File("a.txt")), "anne@clinic.example");
    EXPECT_EQ(ReadMsgRecipient(dir.File("b.txt")), "");
    EXPECT_EQ(ReadMsgRecipient(dir.File("c.txt")), "anne@clinic.example");
    EXPECT_EQ(ReadMsgRecipient(dir.File("missing.txt")), "");
}

TEST(FileContainsAny, FindsAnyItemIgnoringCaseAcrossBlocks) {
    TempDir dir;
    // "Pathology" straddles the first two 1000-byte blocks.
    dir.Write("straddle.txt", std::string(995, 'x') + "PATHOLOGY" + std::string(50, 'y'));
    dir.Write("nul.txt", std::string("abc\0def Referral", 16));
    dir.Write("plain.txt", "A referral letter");
    struct Case {
        const char* file;
        const char* texts;
        bool found;
    } cases[] = {
        {"straddle.txt", "pathology", true},
        {"straddle.txt", "referral;Pathology", true},
        {"straddle.txt", "xxxxxP", true},
        {"straddle.txt", "zzz", false},
        {"plain.txt", ";", false}, // empty items never match
        {"plain.txt", "", false},
        {"plain.txt", "x;;LETTER", true},
        {"plain.txt", " letter", true}, // items are not trimmed
        {"plain.txt", "letter ", false},
        {"nul.txt", "referral", true}, // text after a NUL byte is text too
        {"missing.txt", "a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileContainsAny(dir.File(c.file), c.texts), c.found) << c.file << " " << c.texts;
}

TEST(InsertSignatureLines, FollowsTheLastLineOfEach301BlockBelowTheHeader) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    } cases[] = {
        {"two 301 lines", "001 A\r\n100 B\r\n301 C\r\n301 D\r\n999 E\r\n",
         "001 A\r\n100 B\r\n301 C\r\n301 D\r\nS1\r\nS2\r\n999 E\r\n"},
        {"two blocks", "001 A\r\n301 C\r\n302 X\r\n301 D\r\n999 E\r\n",
         "001 A\r\n301 C\r\nS1\r\nS2\r\n302 X\r\n301 D\r\nS1\r\nS2\r\n999 E\r\n"},
        {"stops below 100", "301 Z\r\n050 H\r\n301 D\r\n999 E\r\n",
         "301 Z\r\n050 H\r\n301 D\r\nS1\r\nS2\r\n999 E\r\n"},
        {"unnumbered lines are passed over", "301 D\r\nfree text\r\n999 E",
         "301 D\r\nS1\r\nS2\r\nfree text\r\n999 E\r\n"},
        {"the last line is not looked at", "100 A\r\n301 D", "100 A\r\n301 D\r\n"},
        {"plain text only gets CR LF", "Dear Anne,\nThanks\rBye", "Dear Anne,\r\nThanks\r\nBye\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Visible(InsertSignatureLines("S1\r\nS2", c.text)), Visible(c.expected)) << c.name;
}

TEST(PrepareContent, DropsTheHeaderMarksTheAcknowledgementAndAddsSignatureLines) {
    struct HeaderCase {
        std::string in, out;
    } headers[] = {
        {"MsgRecipient=a@b.example\r\nAuthor=Dr X\r\nBody", "Body"},
        {"MsgRecipient=a@b.example\nBody\r\n", "Body\r\n"},
        {"msgrecipient=a@b.example\r\n\r\nBody", "\r\nBody"}, // one line break goes with the line
        {"MsgRecipient=a@b.example", ""},
        {"Hello\r\nAuthor=x\r\n", "Hello\r\nAuthor=x\r\n"},
    };
    for (const auto& c : headers)
        EXPECT_EQ(Visible(RemoveRecipientHeader(c.in)), Visible(c.out)) << Visible(c.in);

    struct AckCase {
        std::string in, out;
    } acks[] = {
        {"001 x\r\n009 ---12345rest\r\n019 ---zzzzz", "001 x\r\n009 --- ACK rest\r\n019 ---zzzzz"},
        {"019 ---abcde", "019 --- ACK "},
        // A short line grows; its line break and the next line stay.
        {"029 ---ab\r\nnext", "029 --- ACK \r\nnext"},
        {"029 ---\nnext", "029 --- ACK \nnext"},
        {"x009 ---12345", "x009 ---12345"},
        {"", ""},
    };
    for (auto& c : acks) {
        std::string buffer = c.in;
        MarkAcknowledgement(buffer);
        EXPECT_EQ(Visible(buffer), Visible(c.out)) << Visible(c.in);
    }

    const std::string numbered = "001 A\r\n100 B\r\n301 C\r\n301 D\r\n999 E\r\n";
    EXPECT_EQ(
        AddSignatureLines(numbered, kDetails),
        "001 A\r\n100 B\r\n301 C\r\n301 D\r\n301 Signed by  : Dr Q Tester <q@clinic.example>, Cairns QLD\r\n"
        "301 Certificate: 0A1B Token: C0FFEE issued by Clinic CA\r\n999 E\r\n");
    EXPECT_EQ(AddSignatureLines("a\nb", kDetails), "a\r\nb\r\n");
    EXPECT_EQ(AddSignatureLines("a\nb", ""), "a\nb");
    const std::string binary("%PDF\n\x00\x01\n301 x\r", 13);
    EXPECT_EQ(AddSignatureLines(binary, kDetails), binary);
}

// Signs with a stand-in library: the attachment text comes back behind "SIGNED:".
class ScriptedSigner final : public MessageSigner {
public:
    std::vector<std::string> details{kDetails};
    std::vector<bool> signs{true};
    std::function<void()> duringSigning;
    int clears = 0;
    std::vector<std::string> streams;

    std::string SignWithToken() override {
        if (duringSigning) duringSigning();
        return Next(details, m_detailCalls);
    }
    std::string BuildSignedBlock(const std::string& from, const std::string& to, const std::string& subject,
                                 const std::string& fileName, const std::string& content,
                                 const std::string* stream) override {
        streams.push_back(stream ? *stream : content);
        const bool ok = Next(signs, m_signCalls);
        FixedClock clock(*EncodeDate(2026, 12, 8), 600);
        return vvp::BuildSignedBlock(
            clock, [ok](const std::string& a) { return ok ? "SIGNED:" + a : std::string(); }, from, to,
            subject, fileName, content, stream);
    }
    void ClearTokenLogon() override { ++clears; }

private:
    template <typename T> static T Next(const std::vector<T>& items, size_t& used) {
        const T item = items[std::min(used, items.size() - 1)];
        ++used;
        return item;
    }
    size_t m_detailCalls = 0, m_signCalls = 0;
};

class ScriptedRelay final : public MessageRelay {
public:
    THostIP server{"10.0.0.9", 9105};
    std::vector<std::string> results{"OK"};
    std::vector<std::pair<std::string, std::string>> frames; // name, content

    THostIP FindServerForDomain(const std::string&) override { return server; }
    std::string SendTextToServer(const std::string& name, const std::string& content,
                                 const THostIP&) override {
        return Record(name, content);
    }
    std::string SendFileToServer(const std::string& name, const std::string&, const THostIP&,
                                 const std::string& stream) override {
        return Record(name, stream);
    }

private:
    std::string Record(const std::string& name, const std::string& content) {
        frames.emplace_back(name, content);
        return results[std::min(frames.size() - 1, results.size() - 1)];
    }
};

struct CaptionEvents final : EngineEvents {
    std::vector<std::string> captions;
    void MonitorCaptionChanged(const std::string& caption) override { captions.push_back(caption); }
};

struct MonitorRig {
    TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 0, 0, 0), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    SettingsHolder settings;
    ScriptedSigner signer;
    ScriptedRelay relay;
    CaptionEvents events;
    bool available = true;
    int saves = 0;
    SigningFolderMonitor monitor{{settings, prompter, log, clock, signer, [this] { return available; },
                                  &relay, &events, [this] { ++saves; }}};

    MonitorRig() {
        (void)ForceDirectories(dir.Path() + "in");
        (void)ForceDirectories(dir.Path() + "out");
        settings.Update([&](VNPTRRegValues& v) {
            v.MonitorSigning = true;
            v.MonitorPath = dir.Path() + "in/";
            v.SaveMode = 1;
            v.SavePath = dir.Path() + "out/";
        });
        monitor.SetSettleSeconds(0);
    }
    void Drop(const std::string& name, const std::string& bytes) { dir.Write("in/" + name, bytes); }
    std::vector<std::string> Files(const std::string& sub) const {
        auto names = ListFolder(dir.Path() + sub, "*", false);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Out(const std::string& name) const { return dir.Read("out/" + name); }
    bool Logged(const std::string& part) const {
        for (const auto& l : log.Lines())
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

TEST(SigningFolderMonitor, HeaderRecipientLeadsBothFilesButIsNotSigned) {
    MonitorRig rig;
    rig.Drop("report.txt", "MsgRecipient=lab@path.example\r\nResult line\r\n");
    rig.monitor.MonitorTick();
    ASSERT_EQ(rig.Files("out"), (std::vector<std::string>{"lab@path.example_report.txt",
                                                          "lab@path.example_report.txt.sign.eml"}));
    EXPECT_EQ(rig.Out("lab@path.example_report.txt"), "MsgRecipient=lab@path.example\r\nResult line\r\n");
    EXPECT_EQ(
        rig.Out("lab@path.example_report.txt.sign.eml").rfind("MsgRecipient=lab@path.example\r\nFrom: ", 0),
        0u);
    ASSERT_EQ(rig.signer.streams.size(), 1u);
    EXPECT_EQ(rig.signer.streams[0], "Result line\r\n");
}

TEST(SigningFolderMonitor, CountsFilesWithoutRecipientAndHonoursTheFilter) {
    MonitorRig rig;
    rig.Drop("letter.txt", "Dear Anne");
    rig.Drop("memo.txt", "internal");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 2u);
    EXPECT_EQ(rig.monitor.Display().caption, "Monitor Path for Signing - 2 unprocessed.");
    EXPECT_EQ(rig.events.captions.back(), "Monitor Path for Signing - 2 unprocessed.");

    rig.settings.Update([](VNPTRRegValues& v) { v.SignOnlyText = ";"; });
    rig.Drop("anne@clinic.example_x.txt", "text");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 3u); // ";" matches no file
    EXPECT_EQ(rig.monitor.Display().caption, "Monitor Path for Signing");
}

TEST(SigningFolderMonitor, TakesOnlyPlainFilesOfTheFolderAndSafeRecipients) {
    MonitorRig rig;
    // The practitioner's key store, protected only by its mode, must not be sent to anyone.
    rig.dir.Write("vvpstore.psi", "secret key store");
    ASSERT_EQ(symlink((rig.dir.Path() + "vvpstore.psi").c_str(),
                      (rig.dir.Path() + "in/spy@evil.example_store.psi").c_str()),
              0);
    // A name that would add header lines to the signed copy and split a log line.
    rig.Drop("bob@clinic.example\r\nBcc: spy@evil.example_letter.txt", "Dear Bob");
    rig.monitor.MonitorTick();
    EXPECT_TRUE(rig.Files("out").empty());
    EXPECT_TRUE(rig.signer.streams.empty());
    EXPECT_EQ(rig.monitor.Display().caption, "Monitor Path for Signing - 1 unprocessed.");
    EXPECT_EQ(rig.dir.Read("vvpstore.psi"), "secret key store");
    // Told once, on one line, however many ticks find it.
    rig.monitor.MonitorTick();
    const auto lines = rig.log.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.find("File bob@clinic.example??Bcc: spy@evil.example_letter.txt is "
                                              "left in the monitored folder: its recipient cannot be used in "
                                              "a message name.") != std::string::npos;
                            }),
              1);
}

// A name that already begins with the recipient, or with its local part, is not prefixed again.
TEST(SigningFolderMonitor, NameAlreadyAfterTheRecipientKeepsIt) {
    MonitorRig rig;
    rig.Drop("LAB_results.txt", "MsgRecipient=lab@path.example\r\none\r\n");
    rig.Drop("Lab@Path.example_x.txt", "MsgRecipient=lab@path.example\r\ntwo\r\n");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("out"),
              (std::vector<std::string>{"LAB_results.txt", "LAB_results.txt.sign.eml",
                                        "Lab@Path.example_x.txt", "Lab@Path.example_x.txt.sign.eml"}));
}

TEST(SigningFolderMonitor, RecipientFromTheNameKeepsTheUnderscoresOfItsAddress) {
    MonitorRig rig;
    rig.Drop("john_smith@clinic.example_my_letter.txt", "Dear John");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("out"),
              (std::vector<std::string>{"john_smith@clinic.example_my_letter.txt",
                                        "john_smith@clinic.example_my_letter.txt.sign.eml"}));
    EXPECT_TRUE(rig.Logged("Saved message for john_smith@clinic.example\r\n"));
}

TEST(SigningFolderMonitor, SecondFileOfTheSameNameGetsAMessageIdStem) {
    MonitorRig rig;
    rig.dir.Write("out/lab@path.example_report.txt.sign.eml", "earlier");
    rig.dir.Write("out/lab@path.example_report.txt", "earlier message");
    rig.Drop("report.txt", "MsgRecipient=lab@path.example\r\nnew\r\n");
    rig.monitor.MonitorTick();
    const auto files = rig.Files("out");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(rig.Out("lab@path.example_report.txt"), "earlier message");
    EXPECT_EQ(rig.Out("lab@path.example_report.txt.sign.eml"), "earlier");
    const std::string stem = MakeMessageId(rig.clock).substr(0, 12); // the time part
    const auto renamed = std::find_if(files.begin(), files.end(), [&](const std::string& n) {
        return n.rfind("lab@path.example_report." + stem, 0) == 0 && ExtractFileExt(n) == ".txt";
    });
    ASSERT_NE(renamed, files.end());
    EXPECT_EQ(rig.Out(*renamed), "MsgRecipient=lab@path.example\r\nnew\r\n");
    EXPECT_TRUE(FileExists(rig.dir.Path() + "out/" + *renamed + ".sign.eml"));
}

TEST(SigningFolderMonitor, MissingFolderTurnsTheLabelRed) {
    MonitorRig rig;
    rig.settings.Update([&](VNPTRRegValues& v) { v.MonitorPath = rig.dir.Path() + "nowhere/"; });
    rig.monitor.MonitorTick();
    EXPECT_TRUE(rig.monitor.Display().folderMissing);
    rig.settings.Update([&](VNPTRRegValues& v) { v.MonitorPath = rig.dir.Path() + "in"; });
    rig.monitor.MonitorTick();
    EXPECT_FALSE(rig.monitor.Display().folderMissing);
}

TEST(SigningFolderMonitor, ATickInsideATickDoesNothing) {
    MonitorRig rig;
    rig.Drop("anne@clinic.example_a.txt", "a");
    int nested = 0;
    rig.signer.duringSigning = [&] {
        ++nested;
        rig.monitor.MonitorTick(); // a timer event arriving while a dialog is open
    };
    rig.monitor.MonitorTick();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(rig.Files("out").size(), 2u);
}

TEST(SigningFolderMonitor, FilesWaitWhileTheSigningLibraryIsNotLoaded) {
    MonitorRig rig;
    rig.available = false;
    rig.Drop("anne@clinic.example_a.txt", "a");
    rig.Drop("anne@clinic.example_b.txt", "b");
    rig.monitor.MonitorTick();
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 2u);
    EXPECT_EQ(rig.Files("out").size(), 0u);
    EXPECT_EQ(rig.monitor.Display().caption, "Monitor Path for Signing - 2 unprocessed.");
    int told = 0;
    for (const auto& l : rig.log.Lines())
        told += l.find("signing library is not loaded") != std::string::npos;
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(rig.signer.streams.empty());
    rig.available = true;
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 0u);
}

TEST(SigningFolderMonitor, SigningRetriesUntilItWorksOrTheUserGivesUp) {
    struct Case {
        const char* name;
        std::vector<std::string> details;
        std::vector<bool> signs;
        size_t outFiles; // in the output folder after the tick
        bool dropped;    // removed from the monitored folder
        bool monitoring;
    } cases[] = {
        {"works on the retry", {kDetails}, {false, true}, 4, true, true},
        {"gives up at the first question", {"ERROR: CANCEL"}, {true}, 0, false, false},
        {"declines during the retry", {kDetails, "ERROR: PRINT"}, {false}, 0, false, false},
        {"chooses to send unsigned", {kDetails, ""}, {false}, 2, true, true}, // no signed copies
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorRig rig;
        rig.signer.details = c.details;
        rig.signer.signs = c.signs;
        rig.Drop("anne@clinic.example_a.txt", "a");
        rig.Drop("anne@clinic.example_b.txt", "b");
        rig.monitor.MonitorTick();
        EXPECT_EQ(rig.Files("out").size(), c.outFiles);
        EXPECT_EQ(rig.Files("in").size(), c.dropped ? 0u : 2u);
        EXPECT_EQ(rig.settings.Get().MonitorSigning, c.monitoring);
        EXPECT_EQ(rig.saves, c.monitoring ? 0 : 1);
    }
}

TEST(SigningFolderMonitor, RelaysBothFramesInSaveModeZero) {
    MonitorRig rig;
    rig.settings.Update([](VNPTRRegValues& v) { v.SaveMode = 0; });
    rig.Drop("report.txt", "MsgRecipient=lab@path.example\r\nResult\r\n");
    rig.monitor.MonitorTick();
    ASSERT_EQ(rig.relay.frames.size(), 2u);
    EXPECT_EQ(rig.relay.frames[0].first, "lab@path.example_report.txt.sign.eml");
    EXPECT_EQ(rig.relay.frames[0].second.rfind("MsgRecipient=lab@path.example\r\nFrom: ", 0), 0u);
    EXPECT_EQ(rig.relay.frames[1],
              (std::pair<std::string, std::string>{"lab@path.example_report.txt", "Result\r\n"}));
    EXPECT_TRUE(rig.Logged("Transfer to Vocanet for sending :OK"));
    EXPECT_EQ(rig.Files("in").size(), 0u);
    EXPECT_EQ(rig.Files("out").size(), 0u);
}

TEST(SigningFolderMonitor, FailedRelayLeavesTheFileForTheNextTick) {
    MonitorRig rig;
    rig.settings.Update([](VNPTRRegValues& v) { v.SaveMode = 0; });
    rig.relay.results = {"ERROR: refused"};
    rig.Drop("anne@clinic.example_a.txt", "a");
    rig.Drop("anne@clinic.example_b.txt", "b");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.relay.frames.size(), 1u); // the tick ended at the first refusal
    EXPECT_EQ(rig.Files("in").size(), 2u);
    EXPECT_TRUE(rig.Logged("Transfer to Vocanet for sending :ERROR: refused"));
}

TEST(SigningFolderMonitor, AddressingAnswers) {
    struct Case {
        const char* name;
        const char* answer;
        const char* folder;
        bool dropped;
        bool savedInChosen;
    } cases[] = {
        {"No deletes the dropped file", "No", "", true, false},
        {"Yes saves into the chosen folder", "Yes", "chosen", true, true},
        {"Yes with the browser cancelled", "Yes", "cancel", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MonitorRig rig;
        rig.settings.Update([](VNPTRRegValues& v) { v.SaveMode = 0; });
        rig.relay.server = THostIP{};
        (void)ForceDirectories(rig.dir.Path() + "chosen");
        rig.prompter.AddAnswer("Addressing Problem", c.answer);
        const std::string folder = std::string(c.folder) == "chosen" ? rig.dir.Path() + "chosen" : c.folder;
        if (*c.folder) rig.prompter.AddAnswer("Select a Output path", folder);
        rig.Drop("anne@clinic.example_a.txt", "a");
        rig.monitor.MonitorTick();
        EXPECT_EQ(rig.Files("in").empty(), c.dropped);
        EXPECT_EQ(rig.Files("chosen").size(), c.savedInChosen ? 2u : 0u);
        EXPECT_TRUE(rig.relay.frames.empty());
    }
}

TEST(SigningFolderMonitor, LeavesFilesThatAreStillBeingWritten) {
    MonitorRig rig;
    rig.Drop("anne@clinic.example_locked.txt", "a");
    const int fd = open(rig.dir.File("in/anne@clinic.example_locked.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 1u);
    close(fd);

    rig.monitor.SetSettleSeconds(60); // modified just now
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 1u);
    rig.monitor.SetSettleSeconds(0);
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 0u);

    // A time stamp far ahead of the clock does not keep a file waiting for ever.
    rig.monitor.SetSettleSeconds(2);
    rig.Drop("anne@clinic.example_future.txt", "b");
    const timespec future[2] = {{std::time(nullptr) + 3600, 0}, {std::time(nullptr) + 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, rig.dir.File("in/anne@clinic.example_future.txt").c_str(), future, 0), 0);
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("in").size(), 0u);
}

TEST(SigningFolderMonitor, MessageThatCannotBeWrittenTakesItsSignedCopyAlong) {
    MonitorRig rig;
    // A folder in the way of the temporary file makes the message file impossible to create.
    (void)ForceDirectories(rig.dir.Path() + "out/anne@clinic.example_a.txt.___");
    rig.Drop("anne@clinic.example_a.txt", "a");
    rig.monitor.MonitorTick();
    EXPECT_EQ(rig.Files("out").size(), 0u);
    EXPECT_EQ(rig.Files("in").size(), 1u);
    EXPECT_TRUE(rig.Logged("Unable to write electronic message to destination"));
}

} // namespace
} // namespace vvp
