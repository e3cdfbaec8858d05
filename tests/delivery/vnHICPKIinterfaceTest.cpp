// The signing library binding against a scripted stand-in library (every dialog path) and
// against the real library with stores made by vvp-store.

#include "vnHICPKIinterface.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"
#include "SigningTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <thread>

namespace vvp {
namespace {

using test::FakePki;
using test::TempDir;

const char* const kDescription = "Dr Q Tester <q.tester@clinic.example>\r\n"
                                 "SUBJECT=C=AU, ST=QLD, L=Cairns, O=Clinic, CN=Dr Q Tester\r\n"
                                 "Email=q.tester@clinic.example\r\n"
                                 "SERIAL NUM=0a1b\r\n"
                                 "Token ID=C0FFEE0000000001\r\n"
                                 "ISSUER=C=AU, O=Clinic CA, CN=Root\r\n";
const char* const kDetails = "Signed by  : Dr Q Tester <q.tester@clinic.example>, Cairns QLD\r\n"
                             "301 Certificate: 0A1B Token: C0FFEE0000000001 issued by Clinic CA";

const std::string kStoreBox =
    "VVP is not able to Sign this message.\r\n  Unable to intialise CryptoStore.\r\n\r\n"
    "Would you like to send the message without signing?";

std::string TokenBox(const std::string& label) {
    return "VVP can't find a signing token.\r\n" + label +
           "\r\n\r\nPlease Insert a Token and click Retry OR\r\n click Ignore to send the message without "
           "signing";
}

std::string NoTokenBox(const std::string& folder) {
    return "No Tokens present or VVP can't detect your Token\r\nYou may not have the Token reader drivers "
           "installed "
           "or the VVP CryptoStore \r\n(" +
           folder +
           "vvpstore.psi)\r\nmay not have the correct module for your token reader\r\n\r\n"
           "Contact your HeSA Token support provider for assistance";
}

// One program folder with a library, the binding and a signer answering through a scripted prompter.
struct SigningRig {
    TempDir dir;
    SettingsHolder settings;
    HeadlessPrompter prompter;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 0, 0, 0), 600};
    SigningLibrary library;
    TokenSigner signer{library, settings, prompter, clock, dir.Path()};
    std::unique_ptr<FakePki> fake;

    explicit SigningRig(const char* libraryPath) {
        if (libraryPath) test::InstallSigningLibrary(libraryPath, dir.Path());
    }
    // Loads the library as the program does and opens the scripted one's controls.
    FakePki& Fake() {
        EXPECT_TRUE(library.Load(dir.Path()).ok());
        if (!fake) fake = std::make_unique<FakePki>(dir.Path() + kSigningLibraryFile);
        return *fake;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : prompter.Transcript()) {
            EXPECT_EQ(r.caption, "Digital Signing");
            texts.push_back(r.text);
        }
        return texts;
    }
};

TEST(SigningLibraryLoad, ReportsWhatIsMissingAndFindsTheOptionalEntryPoints) {
    struct Case {
        const char* library;
        bool loads;
        const char* errorPart;
        bool optional;
    } cases[] = {
        {nullptr, false, "No signing library", false},
        {FAKE_PKI_NO_SIGNBIG_PATH, false, "has no entry point SignBig", false},
        {FAKE_PKI_MINIMAL_PATH, true, "", false},
        {FAKE_PKI_PATH, true, "", true},
    };
    for (const auto& c : cases) {
        SigningRig rig(c.library);
        auto loaded = rig.library.Load(rig.dir.Path());
        EXPECT_EQ(loaded.ok(), c.loads) << (c.library ? c.library : "none");
        EXPECT_EQ(rig.library.IsLoaded(), c.loads);
        EXPECT_EQ(rig.library.Display().groupVisible, c.loads);
        if (!c.loads) {
            EXPECT_NE(loaded.error().message.find(c.errorPart), std::string::npos) << loaded.error().message;
        }
        EXPECT_EQ(rig.library.HasOptionalEntryPoints(), c.optional);
    }
}

TEST(SigningLibraryStore, OpensWithTheStoreFileAndPasswordOnlyWhenNotOpen) {
    SigningRig rig(FAKE_PKI_PATH);
    FakePki& fake = rig.Fake();
    // The stand-in's first Status claims everything; only the second answer counts.
    ASSERT_TRUE(rig.library.OpenStore());
    EXPECT_EQ(fake.Count("Status"), 2);
    EXPECT_EQ(fake.Count("SetStore"), 1);
    EXPECT_EQ(fake.Get("lastStore"), rig.dir.Path() + "vvpstore.psi");
    EXPECT_EQ(fake.Get("lastPassword"), "StoreSecret");
    ASSERT_TRUE(rig.library.OpenStore());
    EXPECT_EQ(fake.Count("SetStore"), 1);

    struct Case {
        const char* reply;
        bool opens;
    } replies[] = {{"Error: Store file cannot be read.", false}, {"store ok", true}, {"", false}};
    for (const auto& c : replies) {
        rig.library.Unload();
        fake.Reset();
        ASSERT_TRUE(rig.library.Load(rig.dir.Path()).ok());
        fake.Set("setStoreReply", c.reply);
        EXPECT_EQ(rig.library.OpenStore(), c.opens) << c.reply;
    }
    rig.library.Unload();
    EXPECT_GE(fake.Count("CloseStore"), 1);
    EXPECT_FALSE(rig.library.OpenStore());
}

TEST(SigningLibraryLogon, ShowsTheTokenOrTheReason) {
    SigningRig rig(FAKE_PKI_PATH);
    FakePki& fake = rig.Fake();
    fake.Set("logon", std::string("Error: Token not present.\\r\\nSlot 1 empty|") +
                          StrReplace(kDescription, "\r\n", "\\r\\n"));
    EXPECT_FALSE(rig.library.Logon());
    TokenDisplay shown = rig.library.Display();
    EXPECT_EQ(shown.caption, "HeSA Token - Not logged on");
    EXPECT_EQ(shown.label, "Error: Token not present.");
    EXPECT_TRUE(shown.labelIsError);
    EXPECT_EQ(rig.library.TokenInfo(), "");

    EXPECT_TRUE(rig.library.Logon());
    shown = rig.library.Display();
    EXPECT_EQ(shown.caption, "HeSA Token - C0FFEE0000000001");
    EXPECT_EQ(shown.label, "q.tester@clinic.example");
    EXPECT_FALSE(shown.labelIsError);
    EXPECT_EQ(rig.library.TokenInfo(), kDescription);

    // A store that cannot be opened never reaches TokenLogon.
    rig.library.Unload();
    fake.Reset();
    ASSERT_TRUE(rig.library.Load(rig.dir.Path()).ok());
    fake.Set("setStoreReply", "Error: wrong password");
    EXPECT_FALSE(rig.library.Logon());
    EXPECT_EQ(rig.library.Display().label, "Error: Store not opened.");
    EXPECT_EQ(fake.Count("TokenLogon"), 0);
}

TEST(SigningLibraryLogon, TellsFailuresFromDescriptionsHoldingTheWordError) {
    struct Case {
        const char* reply;
        bool failure;
    } cases[] = {
        {"Error: Store not opened.", true},
        {"  ERROR no token", true},
        {"", true},
        {"Token logon error 0x80090016", true},
        {"Dr T Errorson <t@x.example>\r\nSUBJECT=C=AU, CN=Dr T Errorson\r\nToken ID=01\r\n", false},
        {kDescription, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLogonFailure(c.reply), c.failure) << c.reply;
}

TEST(SigningLibrarySignBig, GivesTheSignatureRoomAndAsksOnceMoreWhenItDidNotFit) {
    const std::string text8k(8000, 'm'); // 1.5 times this would not hold a signature with its chain
    const std::string text20k(20000, 'n');
    struct Case {
        const char* library;
        const std::string* text;
        const char* needed; // what the stand-in insists on; empty: its real output
        const char* fails;
        bool signs;
        int signBigCalls;
    } cases[] = {
        {FAKE_PKI_PATH, &text8k, "", "0", true, 1},
        {FAKE_PKI_PATH, &text20k, "200000", "0", true, 2},         // SignBigSize tells the size
        {FAKE_PKI_MINIMAL_PATH, &text20k, "200000", "0", true, 2}, // a bigger buffer, once
        {FAKE_PKI_MINIMAL_PATH, &text20k, "900000", "0", false, 2},
        {FAKE_PKI_PATH, &text8k, "", "1", false, 1}, // a failure is not retried in vain
    };
    for (const auto& c : cases) {
        SigningRig rig(c.library);
        FakePki& fake = rig.Fake();
        if (*c.needed) fake.Set("needed", c.needed);
        fake.Set("signFails", c.fails);
        const std::string signature = rig.library.SignBig(*c.text);
        EXPECT_EQ(signature, c.signs ? "SIGNED[" + *c.text + "]\r\n" : "") << c.library << " " << c.needed;
        EXPECT_EQ(fake.Count("SignBig"), c.signBigCalls) << c.library << " " << c.needed;
        EXPECT_GE(std::stoi(fake.Get("lastSize")), 10000);
    }
}

// Every row of the token dialogs, answered in turn.
TEST(TokenSignerDialogs, AnswerEveryFailureRow) {
    enum class Setup { NoLibrary, StoreFails, NoToken, NoTokenThenToken };
    struct Case {
        const char* name;
        Setup setup;
        std::vector<std::string> answers;
        std::string result;
        int boxes;        // how many dialogs were shown
        const char* last; // which was shown last: "store", "token", "none-found"
    } cases[] = {
        {"library missing, send unsigned", Setup::NoLibrary, {"Yes"}, "", 1, "store"},
        {"library missing, decline", Setup::NoLibrary, {"No"}, "ERROR: PRINT", 1, "store"},
        {"library missing, cancel", Setup::NoLibrary, {"Cancel"}, "ERROR: CANCEL", 1, "store"},
        {"store not opened, send unsigned", Setup::StoreFails, {"Yes"}, "", 1, "store"},
        {"store not opened, decline", Setup::StoreFails, {"No"}, "ERROR: PRINT", 1, "store"},
        {"store not opened, cancel", Setup::StoreFails, {"Cancel"}, "ERROR: CANCEL", 1, "store"},
        {"no token, abort", Setup::NoToken, {"Abort"}, "ERROR: CANCEL", 1, "token"},
        {"no token, ignore", Setup::NoToken, {"Ignore"}, "", 1, "token"},
        {"no token, retry in vain", Setup::NoToken, {"Retry", "OK"}, "", 2, "none-found"},
        {"token inserted before retry", Setup::NoTokenThenToken, {"Retry"}, kDetails, 1, "token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SigningRig rig(c.setup == Setup::NoLibrary ? nullptr : FAKE_PKI_PATH);
        if (c.setup != Setup::NoLibrary) {
            FakePki& fake = rig.Fake();
            rig.library.Unload(); // SignWithToken loads it again when a store is needed
            if (c.setup == Setup::StoreFails) fake.Set("setStoreReply", "Error: Store file cannot be read.");
            const std::string description = StrReplace(kDescription, "\r\n", "\\r\\n");
            if (c.setup == Setup::NoToken) fake.Set("logon", "Error: Token not present.");
            if (c.setup == Setup::NoTokenThenToken)
                fake.Set("logon", "Error: Token not present.|" + description);
        }
        for (const auto& a : c.answers)
            rig.prompter.AddAnswer("Digital Signing", a);
        EXPECT_EQ(rig.signer.SignWithToken(), c.result);
        const auto texts = rig.BoxTexts();
        ASSERT_EQ(texts.size(), static_cast<size_t>(c.boxes));
        const std::string last = c.last;
        const std::string expected = last == "store"   ? kStoreBox
                                     : last == "token" ? TokenBox("Error: Token not present.")
                                                       : NoTokenBox(rig.dir.Path());
        EXPECT_EQ(test::Visible(texts.back()), test::Visible(expected));
        if (c.boxes == 2) {
            EXPECT_EQ(texts.front(), TokenBox("Error: Token not present."));
        }
    }
}

TEST(TokenSignerDialogs, SignsQuietlyWithALoggedOnTokenAndNotAtAllWhenSwitchedOff) {
    SigningRig rig(FAKE_PKI_PATH);
    FakePki& fake = rig.Fake();
    fake.Set("logon", StrReplace(kDescription, "\r\n", "\\r\\n"));
    EXPECT_EQ(rig.signer.SignWithToken(), kDetails);
    EXPECT_EQ(rig.signer.SignWithToken(), kDetails);
    EXPECT_EQ(fake.Count("TokenLogon"), 1);
    rig.signer.ClearTokenLogon();
    EXPECT_EQ(rig.signer.SignWithToken(), kDetails);
    EXPECT_EQ(fake.Count("TokenLogon"), 2);
    EXPECT_TRUE(rig.prompter.Transcript().empty());

    rig.settings.Update([](VNPTRRegValues& v) { v.HeSATokens = false; });
    EXPECT_EQ(rig.signer.SignWithToken(), "");
    EXPECT_FALSE(rig.signer.SigningAvailable());
    EXPECT_FALSE(rig.library.IsLoaded());
    EXPECT_EQ(rig.library.Display().label, "No tokens logged on");
    EXPECT_TRUE(rig.prompter.Transcript().empty());
}

TEST(TokenSignerDialogs, AsksWhenSigningKeepsFailingWithATokenLoggedOn) {
    // Without the question a caller that retries until it gets a signature would never end.
    SigningRig rig(FAKE_PKI_PATH);
    FakePki& fake = rig.Fake();
    fake.Set("logon", StrReplace(kDescription, "\r\n", "\\r\\n"));
    fake.Set("signFails", "1");
    rig.prompter.AddAnswer("VVP is not able", "No");
    ASSERT_EQ(rig.signer.SignWithToken(), kDetails);
    std::string outcome;
    for (int round = 0; round < 5 && outcome.rfind("ERROR", 0) != 0; ++round) {
        EXPECT_EQ(rig.signer.BuildSignedBlock("a", "b", "s", "f.pit", "text", nullptr), "");
        rig.signer.ClearTokenLogon();
        outcome = rig.signer.SignWithToken();
    }
    EXPECT_EQ(outcome, "ERROR: PRINT");
    ASSERT_EQ(rig.BoxTexts().size(), 1u);
    EXPECT_EQ(rig.BoxTexts()[0], kStoreBox);
}

TEST(TokenSignerConcurrency, OneCallerAtATime) {
    SigningRig rig(FAKE_PKI_PATH);
    FakePki& fake = rig.Fake();
    fake.Set("logon", StrReplace(kDescription, "\r\n", "\\r\\n"));
    fake.Set("slow", "1");
    std::vector<std::thread> threads;
    std::atomic<int> signedCount{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                if (t == 0 && i % 3 == 0) rig.signer.ClearTokenLogon();
                if (rig.signer.SignWithToken() != kDetails) continue;
                if (!rig.signer.BuildSignedBlock("a", "b", "s", "f.pit", "text", nullptr).empty())
                    ++signedCount;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(fake.Count("overlap"), 0);
    EXPECT_GT(signedCount.load(), 30);
}

// The real library with stores made by its tool.
class RealLibraryTest : public ::testing::Test {
protected:
    SigningRig rig{nullptr};
};

TEST_F(RealLibraryTest, TokenDescriptionGivesTheTwoSignatureLines) {
    test::InstallSigningLibrary(test::RealSigningLibraryPath(), rig.dir.Path());
    std::string output;
    ASSERT_TRUE(test::CreateTestStore(rig.dir.Path(), &output)) << output;
    const std::string details = rig.signer.SignWithToken();
    EXPECT_TRUE(rig.prompter.Transcript().empty());
    const std::string first = StrBefore(details, "\r\n");
    const std::string second = StrAfter(details, "\r\n");
    EXPECT_EQ(first, "Signed by  : Dr A Person <a.person@test.example>, Sydney NSW");
    EXPECT_TRUE(
        std::regex_match(second, std::regex("301 Certificate: [0-9A-F]+ Token: [0-9A-F]{16} issued by "
                                            "Test Certificate Authority")))
        << second;
    const TokenDisplay shown = rig.library.Display();
    EXPECT_EQ(shown.caption, "HeSA Token - " + StrBetween(second, "Token: ", " "));
    EXPECT_EQ(shown.label, "a.person@test.example");
}

TEST_F(RealLibraryTest, FailureRowsFromRealStores) {
    // Library missing.
    rig.prompter.AddAnswer("Digital Signing", "Yes");
    EXPECT_EQ(rig.signer.SignWithToken(), "");
    // Library present, no store file.
    test::InstallSigningLibrary(test::RealSigningLibraryPath(), rig.dir.Path());
    rig.prompter.AddAnswer("Digital Signing", "No");
    EXPECT_EQ(rig.signer.SignWithToken(), "ERROR: PRINT");
    // A store holding a certificate but no key: no token to log on, and none after the retry.
    TempDir ca;
    ASSERT_TRUE(test::CreateTestStore(ca.Path()));
    const auto made =
        test::RunCommand("openssl pkcs12 -export -nokeys -in " + test::ShellQuote(ca.File("testca.pem")) +
                         " -passout pass:StoreSecret -out " + test::ShellQuote(rig.dir.File("vvpstore.psi")));
    ASSERT_EQ(made.status, 0) << made.output;
    rig.prompter.AddAnswer("Digital Signing", "Retry");
    rig.prompter.AddAnswer("Digital Signing", "OK");
    EXPECT_EQ(rig.signer.SignWithToken(), "");
    const auto texts = rig.BoxTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], kStoreBox);
    EXPECT_EQ(texts[1], kStoreBox);
    EXPECT_EQ(texts[2].substr(0, 33), "VVP can't find a signing token.\r\n");
    EXPECT_TRUE(rig.library.Display().labelIsError);
    EXPECT_EQ(texts[2], TokenBox(rig.library.Display().label));
    EXPECT_EQ(texts[3], NoTokenBox(rig.dir.Path()));
    // Nothing to sign with: the envelope stays empty.
    EXPECT_EQ(rig.signer.BuildSignedBlock("a", "b", "s", "f.pit", "text", nullptr), "");
}

} // namespace
} // namespace vvp
