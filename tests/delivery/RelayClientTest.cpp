#include "RelayClient.h"

#include "FileUtil.h"
#include "TcpClient.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <asio.hpp>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vvp {
namespace {

using asio::ip::tcp;
using namespace std::chrono_literals;
using test::Visible;

// A server on 127.0.0.1 that hands each accepted connection, one after the other, to a handler
// and remembers what each connection sent.
class FakeServer {
public:
    // Gets the socket and returns what the client sent.
    using Handler = std::function<std::string(tcp::socket&)>;

    explicit FakeServer(Handler handler)
        : m_handler(std::move(handler)),
          m_acceptor(m_io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        m_thread = std::thread([this] { Loop(); });
    }
    ~FakeServer() {
        m_stop = true;
        asio::io_context io;
        tcp::socket wake(io);
        asio::error_code ec;
        wake.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), Port()), ec);
        m_thread.join();
    }

    int Port() const { return m_acceptor.local_endpoint().port(); }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }
    int Accepted() const { return m_accepted; }

    // What the n-th connection (from 0) sent, once its handler has finished.
    std::string Received(size_t n) {
        std::unique_lock lock(m_mutex);
        m_done.wait_for(lock, 5s, [&] { return m_received.size() > n; });
        return n < m_received.size() ? m_received[n] : "<no connection>";
    }

private:
    void Loop() {
        for (;;) {
            tcp::socket socket(m_io);
            asio::error_code ec;
            m_acceptor.accept(socket, ec);
            if (m_stop || ec) return;
            ++m_accepted;
            std::string got = m_handler(socket);
            std::lock_guard lock(m_mutex);
            m_received.push_back(std::move(got));
            m_done.notify_all();
        }
    }

    Handler m_handler;
    asio::io_context m_io;
    tcp::acceptor m_acceptor;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<std::string> m_received;
};

// Reads until the client closes.
std::string ReadAll(tcp::socket& socket, std::string got = {}) {
    char buf[4096];
    asio::error_code ec;
    for (;;) {
        size_t n = socket.read_some(asio::buffer(buf), ec);
        got.append(buf, n);
        if (ec) return got;
    }
}

std::string ReadRequestLine(tcp::socket& socket) {
    std::string got;
    char c;
    asio::error_code ec;
    while (asio::read(socket, asio::buffer(&c, 1), ec) == 1 && !ec) {
        got += c;
        if (c == '\n') break;
    }
    return got;
}

// Answers the request line with reply, then either closes or waits for the client to close.
FakeServer::Handler Reply(std::string reply, bool holdOpen = false) {
    return [reply, holdOpen](tcp::socket& socket) {
        std::string got = ReadRequestLine(socket);
        asio::error_code ec;
        asio::write(socket, asio::buffer(reply), ec);
        if (holdOpen) return ReadAll(socket, got);
        return got;
    };
}

int RefusedPort() {
    asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    return acceptor.local_endpoint().port();
}

RelayTimeouts FastTimeouts() {
    RelayTimeouts t;
    t.frameConnect = 2000ms;
    t.frameWriteStall = 2000ms;
    t.infoConnect = 1000ms;
    t.infoRead = 300ms;
    t.addressConnect = 1000ms;
    t.addressRead = 100ms;
    return t;
}

struct CountingEvents : EngineEvents {
    std::atomic<int> domainChanges{0};
    void DomainListChanged() override { ++domainChanges; }
};

class RelayClientTest : public ::testing::Test {
protected:
    RelayClientTest() {
        VNPTRRegValues values;
        values.AddressExchangeSeconds = 1;
        m_settings.Set(values);
    }
    void SetServer(const std::string& text) {
        m_settings.Update([&](VNPTRRegValues& v) { v.VocanetServer = text; });
    }
    std::string Setting() const { return m_settings.Get().VocanetServer; }

    test::TempDir m_temp;
    SettingsHolder m_settings;
    CountingEvents m_events;
    RelayTimeouts m_timeouts = FastTimeouts();
    RelayClient m_client{m_settings, Folders{m_temp.Path(), m_temp.Path()}, &m_events, m_timeouts};
};

// ---- Relay frames ----

TEST_F(RelayClientTest, FramesArriveByteForByte) {
    std::string binary;
    for (int i = 0; i < 300000; ++i)
        binary += static_cast<char>(i * 7);
    struct Case {
        const char* what;
        std::string fileName, content;
        bool isBinary;
        std::string stream, expected;
    } cases[] = {
        {"text frame", "x.pit", "T", false, "", "\x02x:.pit\x03T"},
        {"binary frame of an empty stream", "a@b.au_1f1.hl7", "", true, "",
         "\x02"
         "a@b.au_1f1:BIN:.hl7\x03"},
        {"binary frame with bytes", "r.rtf", "", true, std::string("{\\rtf\0\r\n}", 9),
         std::string("\x02r:BIN:.rtf\x03") + std::string("{\\rtf\0\r\n}", 9)},
        {"signed copy keeps the inner extensions", "d@x_11.rtf.sign.eml", "L1\r\nL2\r\n", false, "",
         "\x02"
         "d@x_11.rtf.sign:.eml\x03L1\r\nL2\r\n"},
        {"name without extension", "plain", "C", false, "",
         "\x02plain:\x03"
         "C"},
        {"a folder is never sent", "some/dir\\y.orm", "", true, "Z", "\x02y:BIN:.orm\x03Z"},
        {"large binary stream", "big.bin", "", true, binary,
         "\x02"
         "big:BIN:.bin\x03" +
             binary},
    };
    FakeServer server([](tcp::socket& s) { return ReadAll(s); });
    size_t n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const THostIP host{"127.0.0.1", server.Port()};
        const std::string result = c.isBinary
                                       ? m_client.SendFileToServer(c.fileName, c.content, host, c.stream)
                                       : m_client.SendTextToServer(c.fileName, c.content, host);
        EXPECT_EQ(result, "OK");
        const std::string got = server.Received(n++);
        EXPECT_EQ(got.size(), c.expected.size());
        EXPECT_TRUE(got == c.expected) << Visible(got.substr(0, 200));
    }
}

TEST_F(RelayClientTest, UndeliveredFrameReportsTheReason) {
    const THostIP refused{"127.0.0.1", RefusedPort()};
    for (const THostIP& host :
         {refused, THostIP{"", 9105}, THostIP{"127.0.0.1", 0}, THostIP{"127.0.0.1", 70000}}) {
        SCOPED_TRACE(host.host + ":" + std::to_string(host.port));
        const std::string text = m_client.SendTextToServer("x.pit", "T", host);
        const std::string file = m_client.SendFileToServer("x.hl7", "", host, "S");
        for (const auto& r : {text, file}) {
            EXPECT_EQ(r.rfind("ERROR: ", 0), 0u) << r;
            EXPECT_GT(r.size(), 7u);
        }
    }
}

TEST_F(RelayClientTest, ServerThatDoesNotAcceptFailsAfterTheConnectTimeOut) {
    // A listener with a full backlog leaves further connects unanswered.
    asio::io_context io;
    tcp::acceptor busy(io);
    busy.open(tcp::v4());
    busy.bind(tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    busy.listen(0);
    const THostIP host{"127.0.0.1", busy.local_endpoint().port()};
    TcpClient filler;
    ASSERT_TRUE(filler.Connect(host.host, host.port, 1000ms));

    RelayTimeouts t = m_timeouts;
    t.frameConnect = 300ms;
    RelayClient client(m_settings, Folders{m_temp.Path(), m_temp.Path()}, nullptr, t);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.SendTextToServer("x.pit", "T", host), "ERROR: Connect timed out.");
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 1500ms);
}

// ---- Server information ----

TEST_F(RelayClientTest, ServerSettingTextGivesHostAndPort) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    } cases[] = {
        {"VVPCOMPUTER:9105", "VVPCOMPUTER", 9105},
        {"server", "server", 9105},
        {"server:abc", "server", 9105},
        {"10.0.0.2:9200", "10.0.0.2", 9200},
        {"server:", "server", 9105},
        {"a:1:2", "a", 9105},
    };
    for (const auto& c : cases) {
        const THostIP h = RelayClient::ParseServerSetting(c.text);
        EXPECT_EQ(h.host, c.host) << c.text;
        EXPECT_EQ(h.port, c.port) << c.text;
    }
}

TEST_F(RelayClientTest, DomainsReplyFillsServerListSettingAndDomainList) {
    struct Case {
        const char* what;
        std::string reply;
        std::string value;
        std::vector<std::string> domains;
    } cases[] = {
        {"upper-case prefix",
         "DOMAINS:9105\x01"
         "dr.smith,lab.path\r\n",
         "9105\x01"
         "dr.smith,lab.path",
         {"dr.smith", "lab.path"}},
        {"lower-case prefix, LF alone",
         "domains:9106\x01"
         "one\n",
         "9106\x01"
         "one",
         {"one"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServer server(Reply(c.reply));
        SetServer(server.HostPort());
        RelayClient client(m_settings, Folders{m_temp.Path(), m_temp.Path()}, &m_events, m_timeouts);
        const int before = m_events.domainChanges;
        client.QueryServerInfo();
        EXPECT_EQ(server.Received(0), "SVRINFO\r\n");
        EXPECT_EQ(client.ServerList(), StringList{server.HostPort() + ":0=" + c.value});
        EXPECT_EQ(client.DomainList(), c.domains);
        EXPECT_EQ(Setting(), server.HostPort());
        EXPECT_EQ(m_events.domainChanges.load(), before + 1);
    }
}

TEST_F(RelayClientTest, OtherRepliesAndSilenceChangeNothing) {
    struct Case {
        const char* what;
        FakeServer::Handler handler;
        std::chrono::milliseconds atMost;
    } cases[] = {
        {"not a server", Reply("Not in VVP Server mode.\r\n"), 1000ms},
        {"closes without a reply", Reply(""), 1000ms},
        {"reply without line end",
         Reply("DOMAINS:9105\x01"
               "a"),
         1000ms},
        {"silent server", Reply("", true), 1500ms},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeServer server(c.handler);
        const std::string setting = "127.0.0.1:" + std::to_string(server.Port());
        SetServer(setting);
        const auto start = std::chrono::steady_clock::now();
        m_client.QueryServerInfo();
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.atMost);
        EXPECT_EQ(server.Accepted(), 1);
        EXPECT_TRUE(m_client.ServerList().empty());
        EXPECT_TRUE(m_client.DomainList().empty());
        EXPECT_EQ(Setting(), setting);
    }
    SetServer("127.0.0.1:" + std::to_string(RefusedPort()));
    m_client.QueryServerInfo();
    EXPECT_TRUE(m_client.ServerList().empty());
    EXPECT_EQ(m_events.domainChanges.load(), 0);
}

// The user may enter another server while the old one is still answering.
TEST_F(RelayClientTest, ReplyDoesNotOverwriteAServerTheUserEnteredMeanwhile) {
    FakeServer server([this](tcp::socket& socket) {
        std::string got = ReadRequestLine(socket);
        SetServer("other.example:9200");
        asio::error_code ec;
        asio::write(socket, asio::buffer(std::string("DOMAINS:9105\x01old\r\n")), ec);
        return got;
    });
    SetServer(server.HostPort());
    m_client.QueryServerInfo();
    EXPECT_EQ(server.Received(0), "SVRINFO\r\n");
    EXPECT_EQ(Setting(), "other.example:9200");
}

TEST_F(RelayClientTest, NoServerConfiguredQueriesNothing) {
    FakeServer server(Reply("DOMAINS:9105\x01"
                            "acc\r\n"));
    SetServer("");
    m_client.QueryServerInfo();
    EXPECT_EQ(server.Accepted(), 0);
    EXPECT_EQ(Setting(), "");
    EXPECT_TRUE(m_client.DomainList().empty());
}

TEST_F(RelayClientTest, ServerQueriedAgainReplacesItsOwnLine) {
    FakeServer first(Reply("DOMAINS:9105\x01"
                           "old\r\n"));
    FakeServer second(Reply("DOMAINS:9107\x01"
                            "other\r\n"));
    SetServer(first.HostPort());
    m_client.QueryServerInfo();
    SetServer(second.HostPort());
    m_client.QueryServerInfo();
    m_client.SetServerListLine(first.HostPort() + ":0", "9105\x01"
                                                        "new");
    EXPECT_EQ(m_client.ServerList(), (StringList{first.HostPort() + ":0=9105\x01"
                                                                    "new",
                                                 second.HostPort() + ":0=9107\x01"
                                                                     "other"}));
}

TEST_F(RelayClientTest, FindServerForDomain) {
    m_client.SetServerListLine("x=y:9105:0", "9105\x01"
                                             "lab.example"); // field 3 is not "0"
    m_client.SetServerListLine("alpha:9105:0", "9107\x01"
                                               "Dr.Smith,lab.example");
    m_client.SetServerListLine("beta:9200:0", "junk\x01"
                                              "beta.example");
    m_client.SetServerListLine("gamma:9300:0", "9301\x01"
                                               "reject.example");
    m_client.SetServerListLine("delta:9400:0", "9401\x01"
                                               "reject.example");
    struct Case {
        const char* domain;
        const char* host;
        int port;
    } cases[] = {
        {"LAB.example", "alpha", 9107},    // the first line is rejected, the second matches
        {"dr.smith", "alpha", 9107},       // letter case ignored; the server's own port
        {"beta.example", "beta", 9200},    // an unreadable reply port falls back to the connected one
        {"nowhere.example", "", 0},        // no line: the remembered server's port
        {"", "", 0},                       // a recipient without "@"
        {"reject.example", "gamma", 9301}, // the first matching line wins
    };
    for (const auto& c : cases) {
        const THostIP h = m_client.FindServerForDomain(c.domain);
        EXPECT_EQ(h.host, c.host) << c.domain;
        EXPECT_EQ(h.port, c.port) << c.domain;
    }
    RelayClient only(m_settings, Folders{m_temp.Path(), m_temp.Path()}, nullptr, m_timeouts);
    only.SetServerListLine("x=y:9105:0", "9105\x01"
                                         "lab.example");
    const THostIP rejected = only.FindServerForDomain("lab.example");
    EXPECT_EQ(rejected.host, "");
    EXPECT_EQ(rejected.port, 9105);
}

// ---- Domain list ----

TEST_F(RelayClientTest, ShowDomainsParsesAccountLists) {
    struct Case {
        std::string reply;
        std::vector<std::string> items;
    } cases[] = {
        {"9105\x01"
         "a@x,b@y",
         {"a@x", "b@y"}},
        {"9105\x01 a , b ,,c", {"a", "b"}}, // an empty item ends the list
        {"9105\x01"
         "a\x01"
         "ignored,x",
         {"a"}}, // up to a second SOH
        {"9105\x01"
         "a,",
         {"a"}},
        {"no separator here", {}},
        {"", {}},
        {"9105\x01", {}},
        {"1\x01"
         "a\r\n2\x01"
         "b,c",
         {"a", "b", "c"}}, // every line adds its items
    };
    for (const auto& c : cases) {
        m_client.ShowDomains(c.reply);
        EXPECT_EQ(m_client.DomainList(), c.items) << Visible(c.reply);
    }
    EXPECT_EQ(m_events.domainChanges.load(), 8);
}

TEST_F(RelayClientTest, RefreshQueriesAtTheSixteenthTickThenEveryThirtyFirst) {
    FakeServer server(Reply("Not in VVP Server mode.\r\n"));
    SetServer(server.HostPort());
    for (int tick = 1; tick <= 15; ++tick)
        m_client.RefreshDomainList();
    EXPECT_EQ(m_client.DomainList(), std::vector<std::string>{kNoServerItem});
    EXPECT_EQ(server.Accepted(), 0);
    EXPECT_EQ(m_events.domainChanges.load(), 1); // shown once, not at every tick
    m_client.RefreshDomainList();
    EXPECT_EQ(server.Accepted(), 1);
    for (int tick = 1; tick <= 30; ++tick)
        m_client.RefreshDomainList();
    EXPECT_EQ(server.Accepted(), 1);
    m_client.RefreshDomainList();
    EXPECT_EQ(server.Accepted(), 2);
}

TEST_F(RelayClientTest, RefreshStopsOnceAccountsAreKnown) {
    FakeServer server(Reply("DOMAINS:9105\x01"
                            "acc\r\n"));
    SetServer(server.HostPort());
    for (int tick = 1; tick <= 16; ++tick)
        m_client.RefreshDomainList();
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_EQ(m_client.DomainList(), std::vector<std::string>{"acc"});
    for (int tick = 1; tick <= 62; ++tick)
        m_client.RefreshDomainList();
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_EQ(m_client.DomainList(), std::vector<std::string>{"acc"});
}

// ---- Address book ----

class AddressFetchTest : public RelayClientTest {
protected:
    void KnowServer(const FakeServer& server) {
        m_client.SetServerListLine(server.HostPort() + ":0", std::to_string(server.Port()) + "\x01"
                                                                                             "acc");
    }
    std::string AddressIn() const { return m_temp.Read("Address.in"); }
};

TEST_F(AddressFetchTest, KeepsLinesUntilTheDotAndRemembersTheServer) {
    FakeServer server(Reply("Dr|A|Smith\r\n\r\nDr|B|Jones\n.\r\nafter|the|dot\r\n"));
    KnowServer(server);
    const auto outcome = m_client.FetchAddressBook();
    EXPECT_EQ(outcome.status, AddressFetchOutcome::Status::Fetched) << outcome.message;
    EXPECT_EQ(outcome.lines, 2u);
    EXPECT_EQ(server.Received(0), "ADDR\r\n");
    EXPECT_EQ(AddressIn(), "Dr|A|Smith\r\nDr|B|Jones\r\n");
    // Every later delivery goes to that server, whatever the domain.
    for (const char* domain : {"anything.example", ""}) {
        const THostIP h = m_client.FindServerForDomain(domain);
        EXPECT_EQ(h.host, "127.0.0.1");
        EXPECT_EQ(h.port, server.Port());
    }
}

TEST_F(AddressFetchTest, FailuresLeaveTheLocalBookAsItWas) {
    std::string endless;
    for (int i = 0; i < 4000; ++i)
        endless += "Dr|Never|Ending\r\n";
    struct Case {
        const char* what;
        FakeServer::Handler handler;
        AddressFetchOutcome::Status status;
        std::chrono::milliseconds atMost;
    } cases[] = {
        {"only the dot", Reply(".\r\n"), AddressFetchOutcome::Status::Fetched, 500ms},
        {"closes before the dot", Reply("Dr|A|Smith\r\n"), AddressFetchOutcome::Status::Failed, 500ms},
        {"never sends the dot, too much", Reply(endless, true), AddressFetchOutcome::Status::Failed, 500ms},
        {"one endless line", Reply(std::string(40000, 'x'), true), AddressFetchOutcome::Status::Failed,
         500ms},
        {"silent until the exchange time is up", Reply("Dr|A|Smith\r\n", true),
         AddressFetchOutcome::Status::Failed, 2000ms},
    };
    m_timeouts.maxAddressBytes = 32 * 1024;
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_temp.Write("Address.in", "local\r\n");
        FakeServer server(c.handler);
        RelayClient client(m_settings, Folders{m_temp.Path(), m_temp.Path()}, nullptr, m_timeouts);
        client.SetServerListLine(server.HostPort() + ":0", std::to_string(server.Port()) + "\x01"
                                                                                           "acc");
        const auto start = std::chrono::steady_clock::now();
        const auto outcome = client.FetchAddressBook();
        EXPECT_LT(std::chrono::steady_clock::now() - start, c.atMost);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.lines, 0u);
        if (c.status == AddressFetchOutcome::Status::Failed) {
            EXPECT_FALSE(outcome.message.empty());
        }
        EXPECT_EQ(AddressIn(), "local\r\n");
    }
}

TEST_F(AddressFetchTest, NoServerOrUnreachableServer) {
    EXPECT_EQ(m_client.FetchAddressBook().status, AddressFetchOutcome::Status::NoServer);
    const int port = RefusedPort();
    m_client.SetServerListLine("127.0.0.1:" + std::to_string(port) + ":0", std::to_string(port) + "\x01"
                                                                                                  "acc");
    const auto outcome = m_client.FetchAddressBook();
    EXPECT_EQ(outcome.status, AddressFetchOutcome::Status::Unreachable);
    EXPECT_FALSE(outcome.message.empty());
    // The server was remembered before the connection was tried.
    EXPECT_EQ(m_client.RememberedServer().port, port);
    EXPECT_FALSE(FileExists(m_temp.File("Address.in")));
}

// ---- TcpClient ----

TEST(TcpClientTest, PartialLineSurvivesAReadTimeOut) {
    FakeServer server([](tcp::socket& s) {
        asio::write(s, asio::buffer(std::string("par")));
        std::this_thread::sleep_for(300ms);
        asio::write(s, asio::buffer(std::string("tial\r\nnext\nlast")));
        return ReadAll(s);
    });
    TcpClient client;
    ASSERT_TRUE(client.Connect("127.0.0.1", server.Port(), 1000ms));
    auto first = client.ReadLine(50ms, 1000);
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().code, kTcpTimedOut);
    auto line = client.ReadLine(2000ms, 1000);
    ASSERT_TRUE(line) << line.error().message;
    EXPECT_EQ(*line, "partial");
    EXPECT_EQ(client.ReadLine(100ms, 1000).value_or("?"), "next");
    auto tooLong = client.ReadLine(100ms, 2);
    ASSERT_FALSE(tooLong);
    EXPECT_EQ(tooLong.error().code, kTcpTooLong);
}

} // namespace
} // namespace vvp
