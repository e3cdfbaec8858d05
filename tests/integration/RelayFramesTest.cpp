// Accepting relay frames and finding leftover jobs, in process.
#include "RelayFrames.h"
#include "HeldJobs.h"
#include "ListenerFixture.h"
#include "Spool.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vvp;
using namespace vvp::test;

namespace {

struct FrameFixture : ListenerFixture {
    FrameFixture() : ListenerFixture([](VNPTRRegValues& v) { v.SaveMode = 2; }) {
        savePath = handler.Settings().Get().SavePath;
        (void)ForceDirectories(savePath);
    }
    // The frame as a received job's spool file, and whether it was stored.
    bool Accept(const std::string& frame, const std::string& peer = "127.0.0.1") {
        auto spool = engine->Spools().Create(peer);
        ::close(spool->fd);
        (void)WriteWholeFile(spool->path, frame);
        spoolPath = spool->path;
        return AcceptRelayFrame(handler, spool->path, ToJobText(frame));
    }
    std::vector<std::string> Saved() const { return VvpdProcess::Files(savePath); }
    std::string savePath, spoolPath;
};

} // namespace

TEST(RelayFrames, NamesFromTheNetworkStayInsideTheSavePath) {
    struct Case {
        std::string header;
        std::string stored; // empty: refused
    };
    const std::vector<Case> cases = {
        {"plain_1:.pit", "plain_1.pit"},
        {"folder/sub/cut_1:.pit", "cut_1.pit"},
        {"Users\\x\\win_1:BIN:.rtf", "win_1.rtf"},
        {"C:\\Users\\x\\drive_1:BIN:.rtf", ""},
        {"noext_1", "noext_1"},
        {"..:.pit", ""},
        {"a/..:.pit", ""},
        {".", ""},
        {"ok_1:../../x.pit", ""},
        {"ok_2:BIN:..\\x.pit", ""},
        {"bad\nname:.pit", ""},
        {"bad" + std::string(1, '\0') + "nul:.pit", ""},
        {std::string(250, 'n') + ":.pit", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Visible(c.header));
        FrameFixture f;
        EXPECT_TRUE(f.Accept("\x02" + c.header +
                             "\x03"
                             "body"));
        EXPECT_EQ(f.Saved(),
                  c.stored.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.stored});
        EXPECT_EQ(f.Logged("Refused relay frame from 127.0.0.1"), c.stored.empty());
        EXPECT_EQ(VvpdProcess::Files(f.dir.Path() + "prog"), std::vector<std::string>{});
    }
}

TEST(RelayFrames, TextIsWrittenAsLinesAndBinaryByteForByte) {
    FrameFixture f;
    EXPECT_TRUE(f.Accept("\x02t@x_1:.pit\x03"
                         "one\r\ntwo\rlf\nlast"));
    // A CR alone is no line end in a job; it is kept as byte 255.
    EXPECT_EQ(Visible(f.dir.Read("prog/VirtualPrinter/t@x_1.pit")), Visible("one\r\ntwo\xFFlf\r\nlast\r\n"));
    std::string payload = "\x03\x02\r\n\r\0\xFF";
    payload += std::string(200000, 'z');
    EXPECT_TRUE(f.Accept(std::string("\x02"
                                     "b@x_1:BIN:.rtf\x03") +
                         payload));
    EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/b@x_1.rtf"), payload);
    EXPECT_TRUE(f.Accept("\x02"
                         "empty@x_1:BIN:.hl7\x03"));
    EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/empty@x_1.hl7"), "");
    EXPECT_TRUE(f.Logged("Accepted Message for b@x"));
}

TEST(RelayFrames, ExistingNamesGetANewIdAndNothingIsReplaced) {
    FrameFixture f;
    EXPECT_TRUE(f.Accept("\x02"
                         "c@x_1:.pit\x03"
                         "first"));
    EXPECT_TRUE(f.Accept("\x02"
                         "c@x_1:.pit\x03"
                         "second"));
    EXPECT_TRUE(f.Accept("\x02"
                         "c@x_1:BIN:.pit\x03"
                         "third"));
    const auto saved = f.Saved();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(f.dir.Read("prog/VirtualPrinter/c@x_1.pit"), "first\r\n");
    for (const auto& name : saved) {
        EXPECT_EQ(name.rfind("c@x_1", 0), 0u);
        EXPECT_EQ(ExtractFileExt(name), ".pit");
    }
    // A leftover temporary file of the same name does not stop the frame either.
    f.dir.Write("prog/VirtualPrinter/d@x_1.___", "stale");
    EXPECT_TRUE(f.Accept("\x02"
                         "d@x_1:.pit\x03"
                         "fresh"));
    EXPECT_EQ(VvpdProcess::Files(f.savePath, "d@x_1*.pit").size(), 1u);
}

TEST(RelayFrames, FailedWriteIsLoggedAndReportedSoTheJobIsKept) {
    FrameFixture f;
    f.handler.Settings().Update([&](VNPTRRegValues& v) { v.SavePath = f.dir.Path() + "missing/"; });
    EXPECT_FALSE(f.Accept("\x02"
                          "e@x_1:.pit\x03"
                          "text"));
    EXPECT_FALSE(f.Accept("\x02"
                          "e@x_1:BIN:.pit\x03"
                          "bytes"));
    EXPECT_TRUE(f.Logged("Unable to write electronic message to destination \r\n"));
    EXPECT_TRUE(FileExists(f.spoolPath));
}

// The client counts a frame as delivered once sent: the server keeps it until it can store it.
TEST(RelayFrames, FrameTheSavePathCannotTakeIsHeldUntilItCan) {
    FrameFixture f;
    const std::string missing = f.dir.Path() + "missing/";
    f.handler.Settings().Update([&](VNPTRRegValues& v) { v.SavePath = missing; });
    auto spool = f.engine->Spools().Create("127.0.0.1");
    ::close(spool->fd);
    ASSERT_TRUE(WriteWholeFile(spool->path, "\x02"
                                            "e@x_1:.pit\x03"
                                            "text")
                    .ok());
    auto complete = CompleteSpool(spool->path);
    ASSERT_TRUE(complete.ok());
    JobOutcome out = f.engine->HandleReceivedJob(*complete);
    EXPECT_TRUE(out.held);
    EXPECT_EQ(out.holdCause, "destination");
    const auto held = f.engine->Held().List();
    ASSERT_EQ(held.size(), 1u);

    ASSERT_TRUE(ForceDirectories(missing).ok());
    auto released = f.engine->Held().Release(held[0]);
    ASSERT_TRUE(released.ok()) << released.error().message;
    out = f.engine->HandleReceivedJob(*released, true);
    EXPECT_TRUE(out.DealtWith());
    EXPECT_EQ(VvpdProcess::Files(missing, "e@x_1*.pit").size(), 1u);
}

TEST(RelayFrames, RefusedForASenderNotAllowed) {
    FrameFixture f;
    f.handler.Settings().Update([](VNPTRRegValues& v) { v.AllowedPeers = "10.0.0.9"; });
    EXPECT_TRUE(f.Accept("\x02"
                         "f@x_1:.pit\x03"
                         "text",
                         "10.0.0.8"));
    EXPECT_TRUE(f.Saved().empty());
    EXPECT_TRUE(f.Logged("Refused relay frame from 10.0.0.8: not an allowed peer."));
    EXPECT_TRUE(f.Accept("\x02"
                         "f@x_1:.pit\x03"
                         "text",
                         "10.0.0.9"));
    EXPECT_EQ(f.Saved().size(), 1u);
}

TEST(Recovery, OnlyOurSpoolFilesAreLeftoversAndOnlyTheJobsTemporaryFilesGo) {
    TempDir d;
    for (const char* name :
         {"127.0.0.1_19b0e8a2f3c1020.prn", "::1_19b0e8a2f3c1021.prn", "notes.prn", "127.0.0.1_XYZ.prn",
          "host_19b0e8a2f3c1020.prn", "127.0.0.1_19b0e8a2f3c1020.txt"})
        d.Write(std::string("tmp/") + name, "x");
    auto found = LeftoverSpoolFiles(d.Path() + "tmp/");
    for (auto& f : found)
        f = ExtractFileName(f);
    EXPECT_EQ(found, (std::vector<std::string>{"127.0.0.1_19b0e8a2f3c1020.prn", "::1_19b0e8a2f3c1021.prn"}));

    for (const char* name : {"a@x_19b0e8a2f3c10201.___", "a@x_19b0e8a2f3c10202.pit.sign.___",
                             "a@x_19b0e8a2f3c10201.pit", "a@x_19b0e8a2f3c1021.___", "b@y_other.___"})
        d.Write(std::string("save/") + name, "x");
    auto temps = InterruptedTempFiles(d.Path() + "save/", "19b0e8a2f3c1020");
    for (auto& f : temps)
        f = ExtractFileName(f);
    std::sort(temps.begin(), temps.end());
    EXPECT_EQ(temps,
              (std::vector<std::string>{"a@x_19b0e8a2f3c10201.___", "a@x_19b0e8a2f3c10202.pit.sign.___"}));
}
