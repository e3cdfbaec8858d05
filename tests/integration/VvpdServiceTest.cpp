// vvpd as a service over real TCP: print jobs, peer requests, relay frames, limits.
#include "NetTestSupport.h"

#include "FakeCupsTools.h"
#include "FileUtil.h"
#include "QZStringManip.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

using namespace vvp;
using namespace vvp::test;

namespace {

std::string Domains(int port, const std::string& accounts) {
    return "DOMAINS:" + std::to_string(port) + "\x01" + accounts + "\r\n";
}

// A running service in the given Save Mode.
struct Service : VvpdProcess {
    explicit Service(int saveMode, const std::vector<std::pair<std::string, std::string>>& settings = {}) {
        Set("Save Mode", std::to_string(saveMode));
        for (const auto& [name, value] : settings)
            Set(name, value);
    }
};

} // namespace

TEST(VvpdService, PrintedHealthMessageBecomesAPitFileAndStopIsClean) {
    Service v(1);
    ASSERT_TRUE(v.Start()) << v.Output();
    Exchange e = SendJob(v.port, HealthMessageJob());
    EXPECT_TRUE(e.cleanClose);
    EXPECT_EQ(e.reply, "");
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; })) << v.Output();
    EXPECT_EQ(v.Saved("*.pit")[0].rfind("anne.specialist@clinic.example.com.au_", 0), 0u);
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
    EXPECT_EQ(v.Stop(SIGTERM), 0) << v.Output();
    const std::string out = v.Output();
    EXPECT_NE(out.find("Status: Listening to Vocanet port"), std::string::npos);
    EXPECT_LT(out.find("New job.."), out.find("Generated Message for transmission."));
    EXPECT_NE(out.find("Stopped."), std::string::npos);
}

TEST(VvpdService, SvrinfoAnswersDomainsOnlyInServerMode) {
    Service server(2);
    server.dir.Write("prog/smith.kxk", KxkAccount("smith", "practice.example.com.au"));
    server.dir.Write("prog/jones.kxk", KxkAccount("Jones", "Other.example.org"));
    ASSERT_TRUE(server.Start()) << server.Output();
    Exchange e = SendJob(server.port, "SVRINFO\r\n");
    EXPECT_TRUE(e.cleanClose);
    // Every account on the one line a client reads, lower-cased, in the order of their files.
    EXPECT_EQ(Visible(e.reply),
              Visible(Domains(server.port, "jones@other.example.org,smith@practice.example.com.au\r\n")));
    EXPECT_TRUE(WaitUntil([&] { return server.Spools().empty(); }));
    EXPECT_EQ(server.CountLogged("Return Domain list"), 1u);
    EXPECT_FALSE(server.Logged("PROMPT"));

    Service file(1);
    ASSERT_TRUE(file.Start());
    EXPECT_EQ(SendJob(file.port, "SVRINFO\r\n").reply, "Not in VVP Server mode.\r\n");
    EXPECT_EQ(SendJob(file.port, "SVRINFO\r").reply, "Not in VVP Server mode.\r\n");
    EXPECT_TRUE(WaitUntil([&] { return file.CountLogged("Return Domain list") == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return file.Spools().empty(); }));
    EXPECT_FALSE(file.Logged("PROMPT"));
}

TEST(VvpdService, AddrAnswersTheAddressBookAndALaterSvrinfoIsNotAnswered) {
    Service v(2);
    v.dir.Write("tmp/Address.in",
                "Dr|Anne|Specialist||Cardiology|1 St||||anne@x.example|1|2|||| 123X note\r\n"
                "Dr|Bob|Brown||GP|2 St||||bob@y.example|3|4||||456Y\r\n");
    ASSERT_TRUE(v.Start());
    Exchange e = SendJob(v.port, "ADDR\r\nSVRINFO\r\n");
    EXPECT_TRUE(e.cleanClose);
    EXPECT_EQ(Visible(e.reply),
              Visible("Dr|Anne|Specialist||Cardiology|1 St||||anne@x.example|1|2|||| 123X note\r\n"
                      "Dr|Bob|Brown||GP|2 St||||bob@y.example|3|4||||456Y\r\n.\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return v.Logged("Return Address File"); }));
    EXPECT_FALSE(v.Logged("Return Domain list"));
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
    // The reply is built once and sent again until the book changes.
    v.dir.Write("tmp/Address.in", "Dr|Carol|New||GP|3 St||||carol@z.example|5|6||||789Z\r\n");
    EXPECT_EQ(SendJob(v.port, "ADDR\r\n").reply,
              "Dr|Carol|New||GP|3 St||||carol@z.example|5|6||||789Z\r\n.\r\n");
}

long ResidentKb(pid_t pid) {
    const std::string status = ReadWholeFile("/proc/" + std::to_string(pid) + "/status").value_or("");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// Peers that ask for the address book again and again and never read hold one reply each at most
// (it once grew by megabytes per request), and a print job beside them goes through at once.
TEST(VvpdService, AddrFloodFromPeersThatNeverReadHasABoundedCost) {
    Service v(2);
    std::string book;
    for (int i = 0; book.size() < 2 * 1024 * 1024; ++i)
        book += "Dr|Anne" + std::to_string(i) + "|Specialist||Cardiology|1 St||||anne" + std::to_string(i) +
                "@x.example|1|2|||| note\r\n";
    v.dir.Write("tmp/Address.in", book);
    ASSERT_TRUE(v.Start()) << v.Output();
    ASSERT_EQ(SendJob(v.port, "ADDR\r\n").reply.size(), book.size() + 3);
    const long before = ResidentKb(v.Pid());

    std::string requests;
    for (int i = 0; i < 2000; ++i)
        requests += std::string("ADDR\0", 5);
    std::vector<std::unique_ptr<Client>> flood;
    for (int i = 0; i < 20; ++i) {
        flood.push_back(std::make_unique<Client>(v.port));
        ASSERT_TRUE(flood.back()->Send(requests));
    }
    std::this_thread::sleep_for(2s);
    const long during = ResidentKb(v.Pid());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(SendJob(v.port, HealthMessageJob()).cleanClose);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; })) << v.Output();
    // 20 peers x 2000 requests x 2 MB was gigabytes; one shared reply is a few megabytes.
    EXPECT_LT(during - before, 64 * 1024) << "before " << before << " KB, during " << during << " KB";
}

TEST(VvpdService, ListensOnLoopbackUnlessItIsAServerOrToldOtherwise) {
    struct Case {
        int saveMode;
        std::string listenAddress;
        std::string where;
    };
    for (const Case& c : {Case{1, "", "127.0.0.1:PORT, [::1]:PORT"}, Case{2, "", "every address:PORT"},
                          Case{1, "*", "every address:PORT"}, Case{2, "127.0.0.1", "127.0.0.1:PORT"}}) {
        SCOPED_TRACE(std::to_string(c.saveMode) + " " + c.listenAddress);
        Service v(c.saveMode, {{"Listen Address", c.listenAddress}});
        ASSERT_TRUE(v.Start()) << v.Output();
        const std::string where = StrReplace(c.where, "PORT", std::to_string(v.port));
        // Without IPv6 the IPv4 loopback alone is listened on.
        EXPECT_TRUE(v.Logged("Status: Listening to Vocanet port on " + where) ||
                    v.Logged("Status: Listening to Vocanet port on " + StrBefore(where, ",")))
            << v.Output();
        EXPECT_TRUE(SendJob(v.port, HealthMessageJob()).cleanClose);
    }
}

TEST(VvpdService, OnePeerCannotTakeEveryConnection) {
    Service v(1, {{"Max Connections Per Peer", "3"}});
    ASSERT_TRUE(v.Start()) << v.Output();
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 3; ++i)
        idle.push_back(std::make_unique<Client>(v.port));
    ASSERT_TRUE(WaitUntil([&] { return v.CountLogged("New job..") == 0 && idle.back()->Connected(); }));
    for (int i = 0; i < 3; ++i) {
        Client extra(v.port);
        EXPECT_TRUE(extra.WaitClosed(10s));
    }
    EXPECT_EQ(v.CountLogged("Refused connections from 127.0.0.1"), 1u)
        << "logged once a minute, not per connection";
    idle.pop_back();
    EXPECT_TRUE(WaitUntil([&] { return SendJob(v.port, HealthMessageJob()).cleanClose; }));
    EXPECT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; })) << v.Output();
}

TEST(VvpdService, JobsCutShortKeepTheirBytesAndAreNeverDelivered) {
    Service v(1);
    // Left by a run that was killed while a job arrived.
    v.dir.Write("tmp/127.0.0.1_19b0e8a2f3c1020.part", "Vocanet Electronic Health Message V1.5\r\nRecip");
    ASSERT_TRUE(v.Start()) << v.Output();
    EXPECT_TRUE(v.Logged("its bytes (45 bytes) are kept in " + v.TempFolder() +
                         "127.0.0.1_19b0e8a2f3c1020.incomplete"));

    const std::string half = HealthMessageJob().substr(0, 600);
    Client sender(v.port);
    ASSERT_TRUE(sender.Send(half));
    ASSERT_TRUE(WaitUntil([&] { return v.Logged("New job.. from 127.0.0.1"); }));
    sender.Reset();
    ASSERT_TRUE(WaitUntil([&] { return v.Logged("broke off"); })) << v.Output();
    EXPECT_TRUE(v.Logged("(600 bytes) are kept in")) << v.Output();
    const auto kept = VvpdProcess::Files(v.TempFolder(), "*.incomplete");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_TRUE(ReadWholeFile(v.TempFolder() + kept[0]).value_or("") == half ||
                ReadWholeFile(v.TempFolder() + kept[1]).value_or("") == half);

    // Still arriving when the service stops: after the grace time it is kept, never delivered.
    Client slow(v.port);
    ASSERT_TRUE(slow.Send(half));
    ASSERT_TRUE(WaitUntil([&] { return v.CountLogged("New job.. from 127.0.0.1") == 2; }));
    EXPECT_EQ(v.Stop(SIGTERM), 0);
    EXPECT_TRUE(
        v.Logged("Stopping: the job from 127.0.0.1 was still arriving; its bytes (600 bytes) are kept in"))
        << v.Output();
    EXPECT_EQ(VvpdProcess::Files(v.TempFolder(), "*.incomplete").size(), 3u);
    EXPECT_TRUE(v.Saved("*.pit").empty());
    EXPECT_FALSE(v.Logged("Generated Message"));
}

TEST(VvpdService, AllowedPeersThatCannotBeReadAllowNoOne) {
    Service v(2);
    // The closing quote is missing.
    v.dir.Write("registry.reg", v.dir.Read("registry.reg") + "\"Allowed Peers\"=\"127.0.0.1\n");
    ASSERT_TRUE(v.Start()) << v.Output();
    EXPECT_TRUE(v.Logged("Setting \"Allowed Peers\" cannot be read; no peer is allowed")) << v.Output();
    EXPECT_EQ(SendJob(v.port, "ADDR\r\n").reply, "");
    EXPECT_TRUE(WaitUntil([&] { return v.Logged("Refused \"ADDR\" from 127.0.0.1: not an allowed peer."); }));
}

TEST(VvpdService, ConnectionWithoutBytesIsNotAJob) {
    Service v(1);
    ASSERT_TRUE(v.Start());
    { Client c(v.port); }
    EXPECT_TRUE(WaitUntil([&] { return v.Logged("closed without sending anything; not a print job."); }));
    EXPECT_FALSE(v.Logged("New job.."));
    EXPECT_FALSE(v.Logged("PROMPT"));
    EXPECT_TRUE(v.Spools().empty());
}

TEST(VvpdService, TextAndBinaryFramesAreStoredByteForByteAndAClashGetsANewId) {
    Service v(2);
    ASSERT_TRUE(v.Start());
    std::string binary;
    for (int i = 0; i < 256; ++i)
        binary += static_cast<char>(i);
    binary += "\r alone\x03 second ETX\r\n";
    EXPECT_TRUE(SendJob(v.port, "\x02"
                                "bin@x.example_ab1:BIN:.rtf\x03" +
                                    binary)
                    .cleanClose);
    EXPECT_TRUE(SendJob(v.port, "\x02"
                                "txt@x.example_ab1:.pit\x03"
                                "line 1\r\nline 2\nline 3")
                    .cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.rtf").size() + v.Saved("*.pit").size() == 2; }))
        << v.Output();
    EXPECT_EQ(Visible(v.dir.Read("prog/VirtualPrinter/bin@x.example_ab1.rtf")), Visible(binary));
    EXPECT_EQ(v.dir.Read("prog/VirtualPrinter/txt@x.example_ab1.pit"), "line 1\r\nline 2\r\nline 3\r\n");
    EXPECT_TRUE(v.Logged("Accepted Message for bin@x.example"));

    EXPECT_TRUE(SendJob(v.port, "\x02"
                                "txt@x.example_ab1:.pit\x03"
                                "again")
                    .cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 2; }));
    const auto names = v.Saved("txt@x.example_ab1.*.pit");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(v.dir.Read("prog/VirtualPrinter/" + names[0]), "again\r\n");
    EXPECT_TRUE(v.Saved("*.___").empty());
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
}

TEST(VvpdService, HostileFrameNamesWriteNothingOutsideTheSavePath) {
    Service v(2);
    ASSERT_TRUE(v.Start());
    const auto before = VvpdProcess::Files(v.ProgramFolder());
    const auto beforeRoot = VvpdProcess::Files(v.dir.Path());
    // Cut to the file name: stored inside the Save Path.
    SendJob(v.port, "\x02../../escaped_1:.pit\x03"
                    "a");
    SendJob(v.port, "\x02..\\..\\win_1:BIN:.pit\x03"
                    "b");
    // Refused outright: nothing is written.
    SendJob(v.port, "\x02..:.pit\x03"
                    "c");
    SendJob(v.port, "\x02name_1:/../../../outside.pit\x03"
                    "d");
    SendJob(v.port, "\x02name_2:BIN:/../x\x03"
                    "e");
    ASSERT_TRUE(WaitUntil([&] { return v.CountLogged("Refused relay frame") == 3; })) << v.Output();
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 2; })) << v.Output();
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
    EXPECT_EQ(v.Saved(), (std::vector<std::string>{"escaped_1.pit", "win_1.pit"}));
    EXPECT_EQ(VvpdProcess::Files(v.ProgramFolder()), before);
    EXPECT_EQ(VvpdProcess::Files(v.dir.Path()), beforeRoot);
    EXPECT_FALSE(FileExists(v.dir.Path() + "../outside.pit"));
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
}

TEST(VvpdService, FramesAndRequestsFromPeersNotAllowedAreRefused) {
    Service v(2, {{"Allowed Peers", "192.0.2.7; 198.51.100.1"}});
    ASSERT_TRUE(v.Start());
    EXPECT_EQ(SendJob(v.port, "SVRINFO\r\n").reply, "");
    SendJob(v.port, "\x02x@y_1:.pit\x03"
                    "text");
    EXPECT_TRUE(
        WaitUntil([&] { return v.Logged("Refused relay frame from 127.0.0.1: not an allowed peer."); }));
    EXPECT_TRUE(v.Logged("Refused \"SVRINFO\" from 127.0.0.1: not an allowed peer."));
    EXPECT_TRUE(v.Saved().empty());
    // Print jobs are still anyone's.
    SendJob(v.port, HealthMessageJob());
    EXPECT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; }));
}

TEST(VvpdService, SilentSenderIsHandledAfterTheIdleTimeAndLargeJobsAreSetAside) {
    Service v(1, {{"Idle Timeout", "1"}, {"Max Job MB", "1"}});
    ASSERT_TRUE(v.Start());
    Client silent(v.port);
    ASSERT_TRUE(silent.Send(HealthMessageJob()));
    // The sender never closes; after the idle time the job is handled as received.
    EXPECT_TRUE(silent.WaitClosed(20s));
    EXPECT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; })) << v.Output();
    EXPECT_TRUE(v.Logged("the job is handled as received"));

    const std::string big = HealthMessageJob() + std::string(3u << 20, 'x');
    Exchange e = SendJob(v.port, big);
    EXPECT_FALSE(e.cleanClose);
    EXPECT_TRUE(WaitUntil([&] { return v.Logged("is larger than 1 MB"); })) << v.Output();
    EXPECT_TRUE(v.Logged("and not handled."));
    EXPECT_EQ(v.Saved("*.pit").size(), 1u) << "a job cut short is never delivered";
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().empty(); }));
}

TEST(VvpdService, LeftoverSpoolFilesAreHandledAtStart) {
    Service v(1);
    v.dir.Write("tmp/127.0.0.1_19b0e8a2f3c1020.prn", HealthMessageJob("Recovered marker"));
    v.dir.Write("tmp/not-ours.prn", "someone else's file");
    ASSERT_TRUE(v.Start());
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() == 1; })) << v.Output();
    EXPECT_TRUE(v.Logged("Recovered job " + v.TempFolder() + "127.0.0.1_19b0e8a2f3c1020.prn"));
    EXPECT_EQ(v.Saved("*.pit")[0], "anne.specialist@clinic.example.com.au_19b0e8a2f3c10201.pit");
    EXPECT_EQ(v.Spools(), std::vector<std::string>{"not-ours.prn"});
}

TEST(VvpdService, RecoveredJobsReplaceTheirOwnInterruptedTemporaryFiles) {
    Service v(2);
    // A message and a relay frame whose storing was cut short by a kill.
    v.dir.Write("tmp/127.0.0.1_19b0e8a2f3c1020.prn", HealthMessageJob());
    v.dir.Write("prog/VirtualPrinter/anne.specialist@clinic.example.com.au_19b0e8a2f3c10201.___", "half");
    v.dir.Write("tmp/127.0.0.1_19b0e8a2f3c1021.prn", "\x02"
                                                     "frame@x.example_7:.pit\x03"
                                                     "relayed");
    v.dir.Write("prog/VirtualPrinter/frame@x.example_7.___", "half");
    v.dir.Write("prog/VirtualPrinter/someone@else_1.___", "not ours");
    ASSERT_TRUE(v.Start());
    ASSERT_TRUE(WaitUntil([&] { return v.Spools().empty(); })) << v.Output();
    EXPECT_EQ(v.Saved(),
              (std::vector<std::string>{"anne.specialist@clinic.example.com.au_19b0e8a2f3c10201.pit",
                                        "frame@x.example_7.pit", "someone@else_1.___"}));
    EXPECT_EQ(v.dir.Read("prog/VirtualPrinter/frame@x.example_7.pit"), "relayed\r\n");
}

TEST(VvpdService, PortInUseIsAnErrorAndASecondServiceOnTheSameFoldersIsRefused) {
    Service v(1);
    ASSERT_TRUE(v.Start());
    // Same folders: the temporary folder is held.
    CommandResult second =
        RunCommand("TMP=" + v.TempFolder() + " timeout 20 " + VvpdBinary() + " --program-folder " +
                   v.ProgramFolder() + " --registry " + v.dir.Path() + "registry.reg");
    EXPECT_EQ(second.status, 1) << second.output;
    EXPECT_NE(second.output.find("another vvpd is running"), std::string::npos) << second.output;

    Service other(1);
    other.port = v.port;
    EXPECT_FALSE(other.Start());
    EXPECT_TRUE(WaitUntil([&] { return !other.Running(); }));
    EXPECT_EQ(other.Stop(), 1);
    EXPECT_TRUE(other.Logged("Status: Error Could not bind socket to port " + std::to_string(v.port)))
        << other.Output();
}

TEST(VvpdService, IdleConnectionsDoNotHoldUpAStop) {
    Service v(1);
    ASSERT_TRUE(v.Start());
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 50; ++i)
        idle.push_back(std::make_unique<Client>(v.port));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(v.Stop(SIGINT), 0) << v.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
    EXPECT_TRUE(v.Logged("Stopping (SIGINT)."));
}

TEST(VvpdService, FrameThatCannotBeWrittenIsHeld) {
    Service v(2);
    // A Save Path below a plain file can never be created or written.
    v.dir.Write("blocker", "not a folder");
    v.Set("Save Path", v.dir.Path() + "blocker/out/");
    ASSERT_TRUE(v.Start()) << v.Output();
    EXPECT_TRUE(SendJob(v.port, "\x02kept@x.example_1:.pit\x03"
                                "the message")
                    .cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return v.Logged("is held: a relayed message could not be stored in "); }))
        << v.Output();
    // vvpd shows the entry on one line.
    EXPECT_TRUE(v.Logged("Unable to write electronic message to destination  | "));
    const auto held = VvpdProcess::Files(v.TempFolder() + "held", "*.prn");
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(v.dir.Read("tmp/held/" + held[0]), "\x02kept@x.example_1:.pit\x03"
                                                 "the message");
}

// The messaging client collects whatever appears under a message's name, so a frame is written
// under a temporary name and renamed: no final name is ever open for writing.
TEST(VvpdService, FramesAppearUnderTheirNameOnlyWhenComplete) {
    Service v(2);
    ASSERT_TRUE(ForceDirectories(v.SavePath()).ok());
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_GE(
        inotify_add_watch(fd, v.SavePath().c_str(), IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO), 0);
    ASSERT_TRUE(v.Start()) << v.Output();
    EXPECT_TRUE(SendJob(v.port, "\x02txt@x.example_ab1:.pit\x03"
                                "line 1\r\nline 2")
                    .cleanClose);
    EXPECT_TRUE(SendJob(v.port, "\x02"
                                "bin@x.example_ab1:BIN:.rtf\x03" +
                                    std::string(300000, 'b'))
                    .cleanClose);
    ASSERT_TRUE(WaitUntil([&] { return v.Saved("*.pit").size() + v.Saved("*.rtf").size() == 2; }))
        << v.Output();

    std::map<std::string, uint32_t> events;
    alignas(inotify_event) char buffer[16384];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->len > 0) events[event->name] |= event->mask;
            p += sizeof(inotify_event) + event->len;
        }
    }
    ::close(fd);
    size_t writtenElsewhere = 0;
    for (const auto& [name, mask] : events) {
        const bool final = name == "txt@x.example_ab1.pit" || name == "bin@x.example_ab1.rtf";
        if (final)
            EXPECT_EQ(mask & (IN_MODIFY | IN_CLOSE_WRITE), 0u) << name << " was written under its final name";
        else if (mask & IN_CLOSE_WRITE)
            ++writtenElsewhere;
    }
    EXPECT_EQ(writtenElsewhere, 2u);
    EXPECT_EQ(v.dir.Read("prog/VirtualPrinter/txt@x.example_ab1.pit"), "line 1\r\nline 2\r\n");
}

TEST(VvpdService, StartCreatesAMissingVocanetQueueBesideTheServiceAndOnlyLogs) {
    Service v(1);
    const FakeCups cups = InstallFakeCupsTools(v.dir);
    const std::vector<std::string> env = {"PATH=" + cups.bin + ":" + std::getenv("PATH"),
                                          "FAKE_CUPS=" + cups.state};
    ASSERT_TRUE(v.Start({}, env)) << v.Output();
    ASSERT_TRUE(WaitUntil([&] { return v.Logged("Printer Created successfully"); })) << v.Output();
    EXPECT_EQ(v.dir.Read("cups/printers"), "Vocanet socket://127.0.0.1:" + std::to_string(v.port) + "\n");
    EXPECT_EQ(v.Stop(SIGTERM), 0) << v.Output();

    // With a queue "Vocanet" there, the next start leaves CUPS alone.
    ASSERT_TRUE(v.Start({}, env)) << v.Output();
    EXPECT_EQ(v.Stop(SIGTERM), 0) << v.Output();
    EXPECT_EQ(v.CountLogged("Creating printer"), 1u) << v.Output();
}

TEST(VvpdService, ReloadReadsTheSettingsAgainAndStatusTellsWhatRuns) {
    Service v(1);
    ASSERT_TRUE(v.Start()) << v.Output();
    const CommandResult status = v.Command("status");
    EXPECT_EQ(status.status, 0) << status.output;
    const std::vector<std::string> lines = {
        "Service: running (pid " + std::to_string(v.Pid()) + ")", "Save Mode: 1",
        "Status: Listening to Vocanet port on 127.0.0.1:" + std::to_string(v.port), "Held jobs: 0",
        "Last error: none"};
    for (const auto& line : lines)
        EXPECT_NE(status.output.find(line), std::string::npos) << line << "\n" << status.output;

    // A closed terminal (SIGHUP) no longer ends the printer; a changed limit takes effect.
    v.Set("Max Connections Per Peer", "1");
    ASSERT_EQ(::kill(v.Pid(), SIGHUP), 0);
    ASSERT_TRUE(WaitUntil([&] { return v.Logged("Reading the settings again (SIGHUP)."); })) << v.Output();
    EXPECT_EQ(v.Command("reload").status, 0);
    ASSERT_TRUE(WaitUntil([&] { return v.CountLogged("Reading the settings again (SIGHUP).") == 2; }));
    Client idle(v.port);
    ASSERT_TRUE(WaitUntil([&] { return idle.Connected(); }));
    Client refused(v.port);
    EXPECT_TRUE(refused.WaitClosed(10s));
    EXPECT_TRUE(WaitUntil([&] { return v.Logged("Refused connections from 127.0.0.1"); }));
    EXPECT_TRUE(v.Running());

    EXPECT_EQ(v.Stop(SIGTERM), 0);
    const CommandResult stopped = v.Command("status");
    EXPECT_EQ(stopped.status, 3);
    EXPECT_NE(stopped.output.find("Service: not running"), std::string::npos) << stopped.output;
    EXPECT_EQ(v.Command("reload").status, 1);
}
