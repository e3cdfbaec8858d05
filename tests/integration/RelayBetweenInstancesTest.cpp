// A client instance (Save Mode 0) hands its messages to a server instance (Save Mode 2), and
// falls back as the delivery rules say when it cannot.
#include "NetTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vvp;
using namespace vvp::test;

namespace {

const std::string kRecipient = "anne.specialist@clinic.example.com.au";

struct Pair {
    VvpdProcess server, client;
    Pair() {
        server.Set("Save Mode", "2");
        server.dir.Write("prog/anne.kxk", KxkAccount("anne.specialist", "clinic.example.com.au"));
        client.Set("Save Mode", "0");
        client.Set("VocanetServer", "127.0.0.1:" + std::to_string(server.port));
    }
};

// Answers one "SVRINFO" as a server for the recipient's domain, then stops listening, so the
// relay frame that follows cannot be delivered.
class VanishingServer {
public:
    VanishingServer() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        port = FreePort();
        addr.sin_port = htons(static_cast<uint16_t>(port));
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_fd, 4);
        m_thread = std::thread([this] {
            int c = ::accept(m_fd, nullptr, nullptr);
            ::close(m_fd);
            if (c < 0) return;
            char buf[64];
            (void)::recv(c, buf, sizeof buf, 0);
            const std::string reply = "DOMAINS:" + std::to_string(port) + "\x01" + kRecipient + "\r\n";
            (void)::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(c);
        });
    }
    ~VanishingServer() {
        ::shutdown(m_fd, SHUT_RDWR);
        if (m_thread.joinable()) m_thread.join();
    }
    int port = 0;

private:
    int m_fd = -1;
    std::thread m_thread;
};

} // namespace

TEST(RelayBetweenInstances, PrintedMessagesLandInTheServersSavePath) {
    Pair p;
    ASSERT_TRUE(p.server.Start()) << p.server.Output();
    ASSERT_TRUE(p.client.Start()) << p.client.Output();
    EXPECT_TRUE(SendJob(p.client.port, HealthMessageJob()).cleanClose);
    EXPECT_TRUE(SendJob(p.client.port, ReadTestData("messages/referral_hl7.prn")).cleanClose);
    ASSERT_TRUE(WaitUntil([&] {
        return p.server.Saved("*.pit").size() + p.server.Saved("*.hl7").size() == 2;
    })) << p.client.Output()
        << "\n----\n"
        << p.server.Output();
    const auto pit = p.server.Saved("*.pit"), hl7 = p.server.Saved("*.hl7");
    ASSERT_EQ(pit.size(), 1u);
    ASSERT_EQ(hl7.size(), 1u);
    EXPECT_EQ(pit[0].rfind(kRecipient + "_", 0), 0u);
    const std::string pitText = p.server.dir.Read("prog/VirtualPrinter/" + pit[0]);
    EXPECT_NE(pitText.find("Dear Anne,"), std::string::npos);
    EXPECT_EQ(p.server.dir.Read("prog/VirtualPrinter/" + hl7[0]).find('\n'), std::string::npos);
    EXPECT_EQ(p.client.CountLogged("Transfer to Vocanet for sending :OK"), 2u);
    EXPECT_EQ(p.server.CountLogged("Accepted Message for " + kRecipient), 2u);
    EXPECT_TRUE(p.client.Saved().empty());
    EXPECT_FALSE(p.client.Logged("PROMPT message [Addressing Problem]"));
    EXPECT_TRUE(WaitUntil([&] { return p.client.Spools().empty() && p.server.Spools().empty(); }));
}

TEST(RelayBetweenInstances, ConvertRelaysLikeAJobPrintedToThePort) {
    Pair p;
    ASSERT_TRUE(p.server.Start()) << p.server.Output();
    p.client.dir.Write("job.prn", HealthMessageJob());
    const CommandResult r =
        RunCommand("TMP=" + p.client.TempFolder() + " TEMP= " + VvpdBinary() + " --program-folder " +
                   p.client.ProgramFolder() + " --registry " + p.client.dir.Path() + "registry.reg convert " +
                   p.client.dir.File("job.prn"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Transfer to Vocanet for sending :OK"), std::string::npos) << r.output;
    EXPECT_TRUE(WaitUntil([&] { return p.server.Saved("*.pit").size() == 1; })) << p.server.Output();
}

TEST(RelayBetweenInstances, UnreachableServerAsksAndTheAnswerDecides) {
    struct Case {
        const char* name;
        std::string answers;
        bool savedInSavePath;
        bool savedInChosenFolder;
    };
    for (const Case& c :
         {Case{"no", "Addressing Problem=No\n", false, false},
          Case{"yes, browser cancelled", "Addressing Problem=Yes\nSelect a Output path=Cancel\n", false,
               false},
          Case{"yes, folder chosen", "Addressing Problem=Yes\nSelect a Output path=@CHOSEN@\n", false, true},
          Case{"headless default: held", "", false, false}}) {
        SCOPED_TRACE(c.name);
        VvpdProcess client;
        client.Set("Save Mode", "0");
        client.Set("VocanetServer", "127.0.0.1:" + std::to_string(FreePort()));
        const std::string chosen = client.dir.Path() + "chosen";
        (void)ForceDirectories(chosen);
        // A fresh install: the Save Path a Save Mode 0 client falls back to is made when needed.
        std::string answers = c.answers;
        if (auto at = answers.find("@CHOSEN@"); at != std::string::npos) answers.replace(at, 8, chosen);
        client.dir.Write("answers.txt", answers);
        ASSERT_TRUE(client.Start({"--answers", client.dir.File("answers.txt")}));
        SendJob(client.port, HealthMessageJob());
        ASSERT_TRUE(WaitUntil([&] { return client.Logged("PROMPT message [Addressing Problem]"); }))
            << client.Output();
        EXPECT_TRUE(client.Logged("Cant find an Vocanet able to send to clinic.example.com.au"));
        EXPECT_TRUE(WaitUntil([&] { return client.Spools().empty(); })) << client.Output();
        EXPECT_EQ(client.Saved("*.pit").size(), c.savedInSavePath ? 1u : 0u) << client.Output();
        EXPECT_EQ(VvpdProcess::Files(chosen, "*.pit").size(), c.savedInChosenFolder ? 1u : 0u)
            << client.Output();
        EXPECT_FALSE(client.Logged("Transfer to Vocanet for sending"));
    }
}

TEST(RelayBetweenInstances, MessagesTheServerDidNotTakeAreHeldAndForwardedWhenItIsBack) {
    VvpdProcess client;
    std::unique_ptr<VvpdProcess> server;
    {
        VanishingServer vanishing;
        client.Set("Save Mode", "0");
        client.Set("VocanetServer", "127.0.0.1:" + std::to_string(vanishing.port));
        ASSERT_TRUE(client.Start());
        SendJob(client.port, HealthMessageJob());
        ASSERT_TRUE(WaitUntil([&] {
            return client.Logged("is held: the VVP server did not take the message");
        })) << client.Output();
        EXPECT_TRUE(
            client.Logged("Sorry, the message could not be transferred to Vocanet for transmission."));
        EXPECT_TRUE(client.Saved("*.pit").empty()) << "not saved where no messaging client collects it";
        EXPECT_EQ(VvpdProcess::Files(client.TempFolder() + "held", "*.prn").size(), 1u);
        // The server comes back on the same port.
        server = std::make_unique<VvpdProcess>();
        server->port = vanishing.port;
    }
    server->Set("Save Mode", "2");
    server->dir.Write("prog/anne.kxk", KxkAccount("anne.specialist", "clinic.example.com.au"));
    ASSERT_TRUE(server->Start()) << server->Output();
    EXPECT_TRUE(WaitUntil([&] { return server->Saved("*.pit").size() == 1; }, 60s)) << client.Output();
    EXPECT_TRUE(WaitUntil([&] { return VvpdProcess::Files(client.TempFolder() + "held").empty(); }));
    EXPECT_TRUE(client.Logged("Trying held job"));
}

// Of a job's two letters the server took the first; the second waited for a server for its
// domain. Tried again, the job sends only the second: the server never gets the first twice.
TEST(RelayBetweenInstances, AHeldJobSendsOnlyWhatDidNotGoOut) {
    Pair p;
    ASSERT_TRUE(p.server.Start()) << p.server.Output();
    ASSERT_TRUE(p.client.Start()) << p.client.Output();
    std::string toBob = HealthMessageJob("Dear Bob,");
    toBob.replace(toBob.find(kRecipient), kRecipient.size(), "bob@other.example");
    SendJob(p.client.port, HealthMessageJob() + "\f" + toBob);
    ASSERT_TRUE(WaitUntil([&] { return p.client.Logged("is held: no VVP server answers"); }))
        << p.client.Output();
    ASSERT_TRUE(WaitUntil([&] { return p.server.Saved("*.pit").size() == 1; })) << p.server.Output();

    // The server starts to serve bob's domain.
    ASSERT_EQ(p.server.Stop(), 0);
    p.server.dir.Write("prog/bob.kxk", KxkAccount("bob", "other.example"));
    ASSERT_TRUE(p.server.Start()) << p.server.Output();
    ASSERT_EQ(p.client.Command("retry").status, 0);
    ASSERT_TRUE(WaitUntil([&] { return p.server.Saved("*.pit").size() == 2; }, 60s)) << p.server.Output();
    EXPECT_TRUE(WaitUntil([&] { return VvpdProcess::Files(p.client.TempFolder() + "held").empty(); }));
    EXPECT_TRUE(p.client.Logged("went out before the job was held; not sent again"));
    EXPECT_EQ(p.server.Saved("anne.specialist*").size(), 1u);
    EXPECT_EQ(p.server.Saved("bob@other.example*").size(), 1u);
}
