// vvp-store from the command line: creating, importing and showing stores.

#include "PkiTestSupport.h"
#include "StoreFile.h"
#include "TestSupport.h"
#include "TokenStore.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vvp::pki::test {
namespace {

std::string tokenIdOf(const std::string& description) {
    const auto at = description.find("Token ID=");
    return at == std::string::npos ? "" : description.substr(at + 9, 16);
}

std::string storeDescription(const std::string& storePath) {
    TokenStore store;
    if (!store.open(storePath, kStorePassword)) return {};
    auto description = store.logon();
    return description ? description.value() : description.error();
}

class VvpStoreToolTest : public ::testing::Test {
protected:
    int tool(const std::string& arguments) { return runStoreTool(arguments, m_dir.Path()); }
    std::string folderOption(const std::string& folder) { return "--program-folder " + shellQuote(folder); }
    std::string err() { return m_dir.Read("tool.err"); }
    std::string out() { return m_dir.Read("tool.out"); }

    vvp::test::TempDir m_dir;
};

TEST_F(VvpStoreToolTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(tool(""), 2);
    EXPECT_EQ(tool("frobnicate"), 2);
    EXPECT_EQ(tool("show --bogus"), 2);
    EXPECT_EQ(tool("create-test 'Dr Only Name'"), 2);
    EXPECT_EQ(tool("import"), 2);
    EXPECT_EQ(tool("--program-folder"), 2);
    EXPECT_NE(err().find("Usage:"), std::string::npos);
}

TEST_F(VvpStoreToolTest, CreateTestWritesStoreAndCaAndKeepsAnExistingStore) {
    vvp::test::TempDir program;
    vvp::test::TempDir caFolder;
    ASSERT_EQ(tool(folderOption(program.Path()) + " create-test 'Dr New' dr.new@test.example --ca-out " +
                   shellQuote(caFolder.Path())),
              0)
        << err();
    EXPECT_NE(caFolder.Read("testca.pem").find("-----BEGIN CERTIFICATE-----"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(program.File("vvpstore.psi").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the store holds a private key";
    const std::string first = storeDescription(program.File("vvpstore.psi"));
    EXPECT_NE(first.find("CN=Dr New, emailAddress=dr.new@test.example"), std::string::npos) << first;

    // A second create-test would throw the practice's certificate away.
    EXPECT_EQ(tool(folderOption(program.Path()) + " create-test 'Dr Other' other@test.example"), 1);
    EXPECT_NE(err().find("already exists"), std::string::npos);
    EXPECT_EQ(storeDescription(program.File("vvpstore.psi")), first);
    EXPECT_EQ(tool(folderOption(program.Path()) + " create-test 'Dr Other' other@test.example --force"), 0);
    EXPECT_NE(storeDescription(program.File("vvpstore.psi")).find("CN=Dr Other"), std::string::npos);

    EXPECT_EQ(tool(folderOption(program.File("missing/")) + " create-test 'Dr X' x@test.example"), 1);
    EXPECT_EQ(tool(folderOption(program.Path()) + " create-test 'Dr X' not-an-address --force"), 1);
}

TEST_F(VvpStoreToolTest, ShowUsesTheProgramFolderFromOptionOrEnvironment) {
    vvp::test::TempDir program;
    ASSERT_EQ(tool(folderOption(program.Path()) + " create-test 'Dr Show' show@test.example"), 0) << err();
    ASSERT_EQ(tool(folderOption(program.Path()) + " show"), 0) << err();
    EXPECT_NE(out().find("Dr Show <show@test.example>\n"), std::string::npos) << out();
    EXPECT_EQ(out().find('\r'), std::string::npos);

    EXPECT_EQ(runCommand("VVP_PROGRAM_FOLDER=" + shellQuote(program.Path()) + " " +
                         shellQuote(VVP_STORE_TOOL_PATH) + " show >/dev/null 2>&1"),
              0);
    // The option wins over the environment.
    vvp::test::TempDir empty;
    EXPECT_EQ(runCommand("VVP_PROGRAM_FOLDER=" + shellQuote(program.Path()) + " " +
                         shellQuote(VVP_STORE_TOOL_PATH) + " " + folderOption(empty.Path()) +
                         " show >/dev/null 2>&1"),
              1);
}

TEST_F(VvpStoreToolTest, ImportRewritesACertificateFileUnderTheStorePassword) {
    vvp::test::TempDir source;
    ASSERT_EQ(tool(folderOption(source.Path()) + " create-test 'Dr Import' import@test.example"), 0) << err();
    const std::string sourceStore = source.File("vvpstore.psi");
    // The practice's file as a certificate authority would hand it out, once modern and once with
    // the old RC2/3DES algorithms of older tools.
    const std::string pem = source.File("all.pem");
    ASSERT_EQ(runCommand("openssl pkcs12 -in " + shellQuote(sourceStore) +
                         " -passin pass:StoreSecret -nodes -out " + shellQuote(pem) + " 2>/dev/null"),
              0);
    ASSERT_EQ(runCommand("openssl pkcs12 -export -in " + shellQuote(pem) +
                         " -passout pass:practice-pw -out " + shellQuote(source.File("modern.p12")) +
                         " 2>/dev/null"),
              0);
    const bool haveLegacy = runCommand("openssl pkcs12 -export -legacy -in " + shellQuote(pem) +
                                       " -passout pass:practice-pw -out " +
                                       shellQuote(source.File("legacy.p12")) + " 2>/dev/null") == 0;
    const std::string wantedId = tokenIdOf(storeDescription(sourceStore));
    ASSERT_EQ(wantedId.size(), 16u);

    for (const std::string file : {"modern.p12", "legacy.p12"}) {
        if (file == "legacy.p12" && !haveLegacy) continue;
        SCOPED_TRACE(file);
        vvp::test::TempDir program;
        EXPECT_EQ(tool(folderOption(program.Path()) + " import " + shellQuote(source.File(file)) +
                       " --password wrong"),
                  1);
        EXPECT_NE(err().find("wrong password"), std::string::npos) << err();
        ASSERT_EQ(tool(folderOption(program.Path()) + " import " + shellQuote(source.File(file)) +
                       " --password practice-pw"),
                  0)
            << err();
        EXPECT_EQ(tokenIdOf(storeDescription(program.File("vvpstore.psi"))), wantedId);
        // Without --password and without a terminal the password is read from standard input.
        EXPECT_EQ(runCommand("echo practice-pw | setsid " + shellQuote(VVP_STORE_TOOL_PATH) + " " +
                             folderOption(program.Path()) + " import " + shellQuote(source.File(file)) +
                             " >/dev/null 2>&1"),
                  0);
    }

    // A file without a key cannot sign; nothing is written.
    ASSERT_EQ(runCommand("openssl pkcs12 -export -nokeys -in " + shellQuote(pem) + " -passout pass:pw -out " +
                         shellQuote(source.File("nokey.p12")) + " 2>/dev/null"),
              0);
    vvp::test::TempDir program;
    EXPECT_EQ(tool(folderOption(program.Path()) + " import " + shellQuote(source.File("nokey.p12")) +
                   " --password pw"),
              1);
    EXPECT_NE(err().find("Store holds no signing key."), std::string::npos) << err();
    struct stat info {};
    EXPECT_NE(::stat(program.File("vvpstore.psi").c_str(), &info), 0);
    EXPECT_EQ(tool(folderOption(program.Path()) + " import " + shellQuote(source.File("none.p12")) +
                   " --password pw"),
              1);
    EXPECT_NE(err().find("file not found"), std::string::npos) << err();
}

} // namespace
} // namespace vvp::pki::test
