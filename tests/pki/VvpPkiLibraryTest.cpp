// The signing library as the program uses it: loaded by path, entry points resolved by name.

#include "PkiTestSupport.h"
#include "SmimeSigner.h"
#include "TestSupport.h"

#include "vvpPKI.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vvp::pki::test {
namespace {

struct PkiLibrary {
    void* handle = nullptr;
    decltype(&::SetStore) SetStore = nullptr;
    decltype(&::Status) Status = nullptr;
    decltype(&::TokenLogon) TokenLogon = nullptr;
    decltype(&::SignBig) SignBig = nullptr;
    decltype(&::SignBigSize) SignBigSize = nullptr;
    decltype(&::CloseStore) CloseStore = nullptr;
    decltype(&::TokenPresent) TokenPresent = nullptr;
    decltype(&::Logoff) Logoff = nullptr;
    decltype(&::Signfile) Signfile = nullptr;

    template <typename Fn> void resolve(Fn& target, const char* name) {
        target = reinterpret_cast<Fn>(dlsym(handle, name));
        ASSERT_NE(target, nullptr) << "entry point " << name << " missing";
    }

    void load() {
        handle = dlopen(VVP_PKI_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        resolve(SetStore, "SetStore");
        resolve(Status, "Status");
        resolve(TokenLogon, "TokenLogon");
        resolve(SignBig, "SignBig");
        resolve(SignBigSize, "SignBigSize");
        resolve(CloseStore, "CloseStore");
        resolve(TokenPresent, "TokenPresent");
        resolve(Logoff, "Logoff");
        resolve(Signfile, "Signfile");
    }
};

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find("\r\n"));
}

class VvpPkiLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::make_unique<vvp::test::TempDir>();
        ASSERT_EQ(runStoreTool("--program-folder " + shellQuote(s_folder->Path()) +
                                   " create-test 'Dr A Person' a.person@test.example",
                               s_folder->Path()),
                  0)
            << s_folder->Read("tool.err");
        s_library.load();
    }
    static void TearDownTestSuite() {
        if (s_library.handle != nullptr) {
            s_library.CloseStore();
            dlclose(s_library.handle);
            s_library = PkiLibrary{};
        }
        s_folder.reset();
    }
    void TearDown() override {
        if (s_library.CloseStore != nullptr) s_library.CloseStore();
    }

    static std::string storePath() { return s_folder->File("vvpstore.psi"); }
    static std::string caPath() { return s_folder->File("testca.pem"); }
    static const PkiLibrary& lib() { return s_library; }

    void openStore() { ASSERT_EQ(std::string(lib().SetStore(storePath().c_str(), "StoreSecret")), "OK"); }

    std::string sign(const std::string& text) {
        std::vector<char> buffer(text.size() * 2 + 20000);
        const int n = lib().SignBig(text.c_str(), buffer.data(), static_cast<int>(buffer.size()));
        return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
    }

    static std::unique_ptr<vvp::test::TempDir> s_folder;
    static PkiLibrary s_library;
};

std::unique_ptr<vvp::test::TempDir> VvpPkiLibraryTest::s_folder;
PkiLibrary VvpPkiLibraryTest::s_library;

TEST_F(VvpPkiLibraryTest, StatusFollowsTheStore) {
    EXPECT_EQ(lib().Status() & 2, 0);
    openStore();
    EXPECT_NE(lib().Status() & 2, 0);
    EXPECT_EQ(lib().TokenPresent(), 1);
    lib().CloseStore();
    EXPECT_EQ(lib().Status() & 2, 0);
    EXPECT_EQ(lib().TokenPresent(), 0);
}

TEST_F(VvpPkiLibraryTest, FailedSetStoreNeverReadsAsSuccess) {
    // Callers take any reply containing "ok" in any case as success, so no failure may contain it,
    // whatever the path (these paths contain "ok" themselves).
    s_folder->Write("notastore.psi", "This is a book, not a store.");
    const std::string brokenPath = s_folder->File("broken_book.psi");
    s_folder->Write("broken_book.psi", "0\x82\x01");
    const struct {
        std::string path;
        const char* password;
        const char* reason;
    } cases[] = {
        {storePath(), "WrongSecret", "Error: Wrong store password."},
        {storePath(), "", "Error: Wrong store password."},
        {s_folder->File("brooke/vvpstore.psi"), "StoreSecret", "Error: Store file not found."},
        {s_folder->File("notastore.psi"), "StoreSecret", "Error: Store file is not a PKCS#12 store."},
        {brokenPath, "StoreSecret", "Error: Store file is not a PKCS#12 store."},
        {s_folder->Path(), "StoreSecret", "Error: Store file cannot be read."},
        {"", "StoreSecret", "Error: No store file given."},
    };
    for (const auto& c : cases) {
        const std::string reply = lib().SetStore(c.path.c_str(), c.password);
        EXPECT_EQ(reply, c.reason) << c.path;
        EXPECT_EQ(lower(reply).find("ok"), std::string::npos) << reply;
        EXPECT_EQ(lib().Status() & 2, 0) << c.path;
    }
    EXPECT_EQ(std::string(lib().SetStore(nullptr, nullptr)), "Error: No store file given.");
}

TEST_F(VvpPkiLibraryTest, TokenLogonDescribesTheToken) {
    EXPECT_EQ(firstLine(lib().TokenLogon()), "Error: Store not opened.");
    openStore();
    const std::string info = lib().TokenLogon();
    EXPECT_EQ(lower(info).find("error"), std::string::npos) << info;
    EXPECT_NE(info.find("SUBJECT=C=AU, ST=NSW, L=Sydney, O=Test Practice, CN=Dr A Person, "
                        "emailAddress=a.person@test.example\r\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Email=a.person@test.example\r\n"), std::string::npos);
    EXPECT_NE(info.find("ISSUER=C=AU, ST=NSW, L=Sydney, O=Test Certificate Authority, CN=VVP Test CA\r\n"),
              std::string::npos);
    // The program reads the holder between the first "<" and ">", the caption after "Token ID=",
    // serial and identifier from the upper-cased text.
    EXPECT_EQ(info.substr(0, info.find("\r\n")), "Dr A Person <a.person@test.example>");
    const auto id = info.find("Token ID=");
    ASSERT_NE(id, std::string::npos);
    EXPECT_EQ(info.substr(id + 9, info.find("\r\n", id) - id - 9).size(), 16u);
    const auto serial = info.find("SERIAL NUM=");
    ASSERT_NE(serial, std::string::npos);
    const std::string serialHex = info.substr(serial + 11, info.find("\r\n", serial) - serial - 11);
    EXPECT_FALSE(serialHex.empty());
    EXPECT_EQ(serialHex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << serialHex;
    EXPECT_EQ(info.substr(info.size() - 2), "\r\n");

    // The same token gives the same description, and logon state is reported.
    EXPECT_NE(lib().Status() & 8, 0);
    EXPECT_EQ(std::string(lib().TokenLogon()), info);
    EXPECT_EQ(lib().Logoff(), 1);
    EXPECT_EQ(lib().Logoff(), 0);
}

TEST_F(VvpPkiLibraryTest, StoreWithoutKeyOpensButCannotLogOnOrSign) {
    const std::string certsOnly = s_folder->File("certs.pem");
    const std::string noKey = s_folder->File("nokey.psi");
    ASSERT_EQ(runCommand("openssl pkcs12 -in " + shellQuote(storePath()) +
                         " -passin pass:StoreSecret -nokeys -out " + shellQuote(certsOnly) +
                         " 2>/dev/null && openssl pkcs12 -export -nokeys -in " + shellQuote(certsOnly) +
                         " -passout pass:StoreSecret -out " + shellQuote(noKey) + " 2>/dev/null"),
              0);
    EXPECT_EQ(std::string(lib().SetStore(noKey.c_str(), "StoreSecret")), "OK");
    EXPECT_EQ(firstLine(lib().TokenLogon()), "Error: Store holds no signing key.");
    EXPECT_EQ(lib().TokenPresent(), 0);
    EXPECT_EQ(sign(mimeEntity("letter")), "");
}

struct SignCase {
    const char* name;
    std::string text;
};

TEST_F(VvpPkiLibraryTest, SignedEnvelopeVerifiesAndCarriesTheAttachment) {
    std::string bigContent;
    for (int i = 0; bigContent.size() < 100000; ++i)
        bigContent += "Line " + std::to_string(i) + " of the letter.\r\n";
    const SignCase cases[] = {
        {"last line without line end", mimeEntity("Dear Doctor,\r\nThank you.\r\n")},
        {"last line with line end", mimeEntity("Dear Doctor,\r\nThank you.\r\n", true)},
        {"empty content", mimeEntity("")},
        {"57 bytes, one full line", mimeEntity(std::string(57, 'x'))},
        {"58 bytes, four characters on the last line", mimeEntity(std::string(58, 'y'))},
        {"large letter", mimeEntity(bigContent)},
        {"binary content", mimeEntity(std::string("\0\x01\xff\r\n\x80", 6))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        openStore();
        const std::string signedEntity = sign(c.text);
        ASSERT_FALSE(signedEntity.empty());
        EXPECT_EQ(
            signedEntity.rfind("MIME-Version: 1.0\r\nContent-Type: multipart/signed; "
                               "protocol=\"application/pkcs7-signature\"; micalg=\"sha-256\"; boundary=",
                               0),
            0u);
        for (std::size_t i = 0; i < signedEntity.size(); ++i) {
            if (signedEntity[i] == '\n') {
                ASSERT_TRUE(i > 0 && signedEntity[i - 1] == '\r') << "bare LF at " << i;
            }
        }
        EXPECT_EQ(firstPart(signedEntity), c.text);

        vvp::test::TempDir work;
        work.Write("message.sign.eml", signedEnvelope(signedEntity));
        ASSERT_TRUE(opensslVerifies(work.File("message.sign.eml"), caPath(), work.File("content")));
        EXPECT_EQ(work.Read("content"), c.text);
        EXPECT_EQ(decodedBody(firstPart(work.Read("message.sign.eml"))), decodedBody(c.text));
    }
}

TEST_F(VvpPkiLibraryTest, SignatureCoversTheCanonicalFormOfUnevenLineEnds) {
    // Lines ended by LF alone, by extra CRs, and a final CR: verifiers hash these as CR LF lines.
    const std::string text = "Content-Type: text/plain\n\nfirst line\nsecond\r\r\nthird\rstill third\r";
    openStore();
    const std::string signedEntity = sign(text);
    ASSERT_FALSE(signedEntity.empty());
    EXPECT_EQ(firstPart(signedEntity), text);
    vvp::test::TempDir work;
    work.Write("message.sign.eml", signedEnvelope(signedEntity));
    ASSERT_TRUE(opensslVerifies(work.File("message.sign.eml"), caPath(), work.File("content")));
    EXPECT_EQ(work.Read("content"), canonicalText(text));
}

TEST_F(VvpPkiLibraryTest, AlteredMessageFailsVerification) {
    openStore();
    const std::string text = mimeEntity("Potassium 4.1 mmol/L");
    std::string signedEntity = sign(text);
    const auto at = signedEntity.find(base64Encode("Potassium").substr(0, 8));
    ASSERT_NE(at, std::string::npos);
    signedEntity[at] = signedEntity[at] == 'A' ? 'B' : 'A';
    vvp::test::TempDir work;
    work.Write("message.sign.eml", signedEnvelope(signedEntity));
    EXPECT_FALSE(opensslVerifies(work.File("message.sign.eml"), caPath(), work.File("content")));
}

TEST_F(VvpPkiLibraryTest, SignBigNeedsRoomForTheWholeOutput) {
    const std::string text = mimeEntity("Results attached.");
    std::vector<char> buffer(20000, '#');
    EXPECT_EQ(lib().SignBig(text.c_str(), buffer.data(), static_cast<int>(buffer.size())), 0)
        << "store closed";
    openStore();

    const int needed = lib().SignBigSize(text.c_str());
    const int n = lib().SignBig(text.c_str(), buffer.data(), static_cast<int>(buffer.size()));
    ASSERT_GT(n, 0);
    EXPECT_GT(needed, n);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], '\0');

    std::vector<char> small(static_cast<std::size_t>(n), '#');
    EXPECT_EQ(lib().SignBig(text.c_str(), small.data(), n), 0) << "no room for the terminating zero";
    EXPECT_EQ(lib().SignBig(text.c_str(), small.data(), 100), 0);
    EXPECT_EQ(std::string(small.begin(), small.end()), std::string(static_cast<std::size_t>(n), '#'));
    std::vector<char> exact(static_cast<std::size_t>(needed));
    EXPECT_GT(lib().SignBig(text.c_str(), exact.data(), needed), 0);

    EXPECT_EQ(lib().SignBig(nullptr, buffer.data(), 20000), 0);
    EXPECT_EQ(lib().SignBig(text.c_str(), nullptr, 20000), 0);
    EXPECT_EQ(lib().SignBig(text.c_str(), buffer.data(), -5), 0);
}

TEST_F(VvpPkiLibraryTest, SignfileWritesAVerifiableEntity) {
    openStore();
    vvp::test::TempDir work;
    const std::string text = mimeEntity("Referral letter");
    work.Write("in.txt", text);
    EXPECT_EQ(lib().Signfile(work.File("in.txt").c_str(), work.File("out.eml").c_str()), 1);
    EXPECT_EQ(firstPart(work.Read("out.eml")), text);
    work.Write("message.sign.eml", signedEnvelope(work.Read("out.eml")));
    EXPECT_TRUE(opensslVerifies(work.File("message.sign.eml"), caPath(), work.File("content")));
    EXPECT_EQ(lib().Signfile(work.File("missing.txt").c_str(), work.File("out2.eml").c_str()), 0);
}

TEST_F(VvpPkiLibraryTest, CallsFromSeveralThreadsShareOneStore) {
    openStore();
    const std::string text = mimeEntity("Concurrent letter");
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                std::vector<char> buffer(20000);
                if (lib().SignBig(text.c_str(), buffer.data(), static_cast<int>(buffer.size())) <= 0)
                    ++failures;
                if (std::string(lib().TokenLogon()).find("Token ID=") == std::string::npos) ++failures;
                if ((lib().Status() & 2) == 0) ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
} // namespace vvp::pki::test
