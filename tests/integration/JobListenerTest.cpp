// The listener in process: what is stored, which lines are peer requests, the limits.
#include "ListenerFixture.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace vvp;
using namespace vvp::test;

namespace {

const std::string kNotServer = "Not in VVP Server mode.\r\n";
const std::string kAddr = "line one\r\nline two\r\n.\r\n";

std::string Bytes(const char* data, size_t size) {
    return std::string(data, size);
}

} // namespace

TEST(JobListener, StoresEveryByteAndAnswersRequestsOnlyAtTheStartOfARound) {
    struct Case {
        const char* name;
        std::string sent;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"request with CR LF", "SVRINFO\r\n", kNotServer},
        {"request with CR alone", "SVRINFO\r", kNotServer},
        {"LF alone ends no request", "SVRINFO\n", ""},
        {"letter case counts", "svrinfo\r\n", ""},
        {"text before the word", " SVRINFO\r\n", ""},
        {"second line is not the first", "ADDR\r\nSVRINFO\r\n", kAddr},
        {"CR does not empty the buffer", "SVR\rINFO\r\n", kNotServer},
        {"NUL starts a new round", Bytes("junk\r\n\0SVRINFO\r\n", 16), kNotServer},
        {"one answer per round", "SVRINFO\r\r\r\n", kNotServer},
        {"each round answers", Bytes("SVRINFO\r\n\0ADDR\r\n", 16), kNotServer + kAddr},
        {"a print job", "Hello\r\nWorld\x0c\r", ""},
    };
    ListenerFixture f;
    const int port = f.Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Exchange e = SendJob(port, c.sent);
        EXPECT_TRUE(e.cleanClose);
        EXPECT_EQ(Visible(e.reply), Visible(c.reply));
        ASSERT_TRUE(WaitUntil([&] { return !f.Jobs().empty(); }));
        const std::string spool = f.Jobs().back();
        EXPECT_EQ(Visible(f.dir.Read("tmp/" + ExtractFileName(spool))), Visible(c.sent));
        EXPECT_EQ(ExtractFileName(spool).rfind("127.0.0.1_", 0), 0u);
        std::lock_guard lock(f.mutex);
        f.jobs.clear();
    }
}

TEST(JobListener, RequestSplitAcrossReadsIsStillRecognised) {
    ListenerFixture f;
    Client c(f.Start());
    for (const char* part : {"SV", "RIN", "FO", "\r", "\n"}) {
        ASSERT_TRUE(c.Send(part));
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(c.Receive(kNotServer.size()), kNotServer);
}

TEST(JobListener, ServerModeAnswersTheDomainTextOfStartUp) {
    ListenerFixture f([](VNPTRRegValues& v) { v.SaveMode = 2; });
    f.dir.Write("prog/a.kxk", KxkAccount("Smith", "Practice.example"));
    const int port = f.Start();
    const std::string expected =
        "DOMAINS:" + std::to_string(port) + "\x01" + "smith@practice.example\r\n\r\n";
    EXPECT_EQ(Visible(SendJob(port, "SVRINFO\r\n").reply), Visible(expected));
    // Accounts added later count only once the text is worked out again.
    f.dir.Write("prog/b.kxk", KxkAccount("jones", "other.example"));
    EXPECT_EQ(SendJob(port, "SVRINFO\r\n").reply, expected);
    f.listener->RefreshDomainText();
    // Clients read one line: every account must be on it.
    EXPECT_EQ(Visible(SendJob(port, "SVRINFO\r\n").reply),
              Visible("DOMAINS:" + std::to_string(port) + "\x01" +
                      "smith@practice.example,jones@other.example\r\n\r\n"));
    EXPECT_TRUE(f.Logged("Return Domain list"));
    EXPECT_EQ(f.listener->StatusText(), "Listening to Vocanet port");
}

TEST(JobListener, ConnectionWithoutBytesIsNoJob) {
    ListenerFixture f;
    const int port = f.Start();
    { Client c(port); }
    EXPECT_TRUE(WaitUntil([&] { return f.Logged("closed without sending anything"); }));
    EXPECT_TRUE(f.Jobs().empty());
    EXPECT_FALSE(f.Logged("New job.."));
    EXPECT_TRUE(ListFolder(f.dir.Path() + "tmp", "*", false).empty());
}

TEST(JobListener, LimitsEndAConnectionAndKeepWhatArrived) {
    ListenerFixture f([](VNPTRRegValues& v) {
        v.IdleTimeoutSeconds = 1;
        v.MaxJobMegabytes = 1;
    });
    const int port = f.Start();
    Client silent(port);
    ASSERT_TRUE(silent.Send("partial job"));
    EXPECT_TRUE(silent.WaitClosed(10s));
    ASSERT_TRUE(WaitUntil([&] { return f.Jobs().size() == 1; }));
    EXPECT_EQ(f.dir.Read("tmp/" + ExtractFileName(f.Jobs()[0])), "partial job");

    // Cut off: the sender must not take it as delivered, and nobody gets half a letter. Its bytes
    // are kept aside, never handled.
    Exchange big = SendJob(port, std::string((1u << 20) + 5000, 'x'));
    EXPECT_FALSE(big.cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return f.Logged("is larger than 1 MB"); }));
    const auto kept = ListFolder(f.dir.Path() + "tmp", "*.incomplete", false);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(f.dir.Read("tmp/" + kept[0]).size(), 1u << 20);
    EXPECT_TRUE(
        f.Logged("(1048576 bytes) are kept in " + f.dir.Path() + "tmp/" + kept[0] + " and not handled."));
    EXPECT_EQ(f.Jobs().size(), 1u);
}

TEST(JobListener, PeersNotAllowedGetNoReplyButMayPrint) {
    ListenerFixture f([](VNPTRRegValues& v) { v.AllowedPeers = "10.1.2.3,10.1.2.4"; });
    const int port = f.Start();
    EXPECT_EQ(SendJob(port, "ADDR\r\n").reply, "");
    EXPECT_TRUE(f.Logged("Refused \"ADDR\" from 127.0.0.1: not an allowed peer."));
    EXPECT_TRUE(WaitUntil([&] { return f.Jobs().size() == 1; })); // still a job: the pipeline decides
}

TEST(JobListener, AllowedPeerListsParse) {
    EXPECT_EQ(ParseAllowedPeers(" 10.0.0.1; 10.0.0.2,::1\t"),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "::1"}));
    EXPECT_TRUE(ParseAllowedPeers(" ; ").empty());
    EXPECT_TRUE(PeerAllowed({}, "1.2.3.4"));
    EXPECT_TRUE(PeerAllowed({"1.2.3.4"}, "1.2.3.4"));
    EXPECT_FALSE(PeerAllowed({"1.2.3.4"}, "1.2.3.40"));
}

TEST(JobListener, BusyPortGivesTheErrorStatusAndShutdownDisables) {
    ListenerFixture a;
    const int port = a.Start();
    ListenerFixture b([port](VNPTRRegValues& v) { v.Port = port; });
    b.listener = std::make_unique<JobListener>(b.handler, b.engine->Spools(), [](const std::string&) {});
    EXPECT_FALSE(b.listener->Activate(b.handler.Settings().Get()));
    EXPECT_EQ(
        b.listener->StatusText().rfind("Error Could not bind socket to port " + std::to_string(port), 0), 0u);
    EXPECT_FALSE(b.listener->Active());
    a.listener->Deactivate();
    EXPECT_EQ(a.listener->StatusText(), "Disabled");
    EXPECT_FALSE(SendJob(port, "x").connected);
    // Binding again after a deactivation works.
    EXPECT_TRUE(b.listener->Activate(b.handler.Settings().Get()));
}

TEST(JobListener, ManyConnectionsAtOnceEachGetTheirOwnSpoolFile) {
    ListenerFixture f;
    const int port = f.Start();
    std::vector<std::thread> senders;
    for (int t = 0; t < 8; ++t)
        senders.emplace_back([port, t] {
            for (int i = 0; i < 25; ++i)
                SendJob(port, "job " + std::to_string(t) + "/" + std::to_string(i));
        });
    for (auto& s : senders)
        s.join();
    ASSERT_TRUE(WaitUntil([&] { return f.Jobs().size() == 200; }));
    std::set<std::string> contents;
    for (const auto& spool : f.Jobs())
        contents.insert(f.dir.Read("tmp/" + ExtractFileName(spool)));
    EXPECT_EQ(contents.size(), 200u);
}

TEST(JobListener, ReplyThePeerNeverReadsDoesNotHoldTheConnectionForever) {
    ListenerFixture f([](VNPTRRegValues& v) { v.IdleTimeoutSeconds = 3; });
    const int port = f.Start();
    // Far more than the socket buffers take, so the write stalls.
    f.listener->SetAddressReply([] { return std::string(16u << 20, 'a') + "\r\n.\r\n"; });
    Client c(port);
    ASSERT_TRUE(c.Send("ADDR\r\n"));
    c.ShutdownSend();
    ASSERT_TRUE(WaitUntil([&] { return f.Jobs().size() == 1; })); // the job itself is handed on at once
    EXPECT_EQ(f.listener->OpenConnections(), 1u);                 // the reply is still pending
    EXPECT_TRUE(WaitUntil([&] { return f.listener->OpenConnections() == 0; }, 15s));
}
