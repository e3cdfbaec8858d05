#include "SignedEnvelope.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vvp {
namespace {

using test::Visible;

const TDateTime kWhen = *EncodeDate(2009, 12, 8) + *EncodeTime(14, 5, 9, 0);

std::string Header(const std::string& subject = "Smith letter", const std::string& name = "letter.pit") {
    return "From: dr@a.example\r\nTo: \"Jones, Ann \" <ann@b.example>\r\nSubject: " + subject +
           "\r\nDate: Tue, 08 Dec 2009 14:05:09 +1100\r\n"
           "Content-Type: application/octet-stream;\r\n   name=\"" +
           name +
           "\"\r\n"
           "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n   filename=\"" +
           name + "\"\r\n\r\n";
}

TEST(BuildMimePart, BreaksTheBase64IntoLinesOf76) {
    FixedClock clock(kWhen, 660);
    const std::string to = "\"Jones, Ann \" <ann@b.example>";
    EXPECT_EQ(Visible(BuildMimePart(clock, "dr@a.example", to, "Smith letter", "letter.pit", "", nullptr)),
              Visible(Header()));
    EXPECT_EQ(BuildMimePart(clock, "dr@a.example", to, "Smith letter", "letter.pit", "abc", nullptr),
              Header() + "YWJj");

    std::string line76;
    for (int i = 0; i < 19; ++i)
        line76 += "eHh4";
    const std::string at57 =
        BuildMimePart(clock, "dr@a.example", to, "Smith letter", "letter.pit", std::string(57, 'x'), nullptr);
    EXPECT_EQ(at57, Header() + line76 + "\r\n");
    const std::string at58 =
        BuildMimePart(clock, "dr@a.example", to, "Smith letter", "letter.pit", std::string(58, 'x'), nullptr);
    EXPECT_EQ(at58, Header() + line76 + "\r\neA==");
}

TEST(BuildMimePart, TakesTheStreamOverTheContentAndNamesOnlyTheLastPathComponent) {
    FixedClock clock(kWhen, 660);
    const std::string stream("\x00\x01\xff", 3);
    const std::string text = BuildMimePart(clock, "dr@a.example", "\"Jones, Ann \" <ann@b.example>",
                                           "Smith letter", "/var/out/sub/letter.rtf", "ignored", &stream);
    EXPECT_EQ(text, Header("Smith letter", "letter.rtf") + "AAH/");
}

TEST(FormatMessageDate, WritesTheZoneFromTheOffsetWithTheBiasSign) {
    struct Case {
        int offsetMinutes;
        const char* expected;
    } cases[] = {
        {600, "Tue, 08 Dec 2009 14:05:09 +1000"}, // ten hours ahead, no daylight time
        {660, "Tue, 08 Dec 2009 14:05:09 +1100"}, // with one daylight hour in force
        {0, "Tue, 08 Dec 2009 14:05:09 -0000"},   // a zero bias is written with a minus sign
        {-300, "Tue, 08 Dec 2009 14:05:09 -0500"}, {330, "Tue, 08 Dec 2009 14:05:09 +0530"},
        {-570, "Tue, 08 Dec 2009 14:05:09 -0930"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatMessageDate(kWhen, c.offsetMinutes), c.expected) << c.offsetMinutes;
}

TEST(FormatMessageDate, UsesEnglishNamesWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "C"}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        EXPECT_EQ(FormatMessageDate(*EncodeDate(2026, 3, 1) + *EncodeTime(9, 0, 0, 0), 600),
                  "Sun, 01 Mar 2026 09:00:00 +1000")
            << name;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(BuildSignedBlock, WrapsTheSignatureAndShowsTheFileNameWithItsFolder) {
    FixedClock clock(kWhen, 660);
    std::string signedText;
    const SignFunction sign = [&](const std::string& attachment) {
        signedText = attachment;
        return std::string("MIME-Version: 1.0\r\nS");
    };
    const std::string block = BuildSignedBlock(clock, sign, "dr@a.example", "\"Jones, Ann \" <ann@b.example>",
                                               "Smith letter", "out/letter.pit", "abc", nullptr);
    EXPECT_EQ(Visible(block), Visible("[[[------ SIGNED MESSAGE ------]]]\r\nFrom: dr@a.example\r\n"
                                      "To: \"Jones, Ann \" <ann@b.example>\r\n"
                                      "Subject: Smith letter (File \"out/letter.pit\")\r\n"
                                      "X-VOCANETSIGNED: DUPLICATE\r\nMIME-Version: 1.0\r\nS"));
    // The attachment carries the extended subject, but names only the file.
    EXPECT_EQ(signedText, Header("Smith letter (File \"out/letter.pit\")", "letter.pit") + "YWJj");
}

TEST(DNField, FindsFirstMiddleAndLastAttributes) {
    struct Case {
        const char* key;
        const char* dn;
        const char* expected;
    } cases[] = {
        {"O", "C=AU, O = Practice, CN=Dr A Person", "Practice"}, // blanks around "=" are removed
        {"CN", "C=AU, O = Practice, CN=Dr A Person", "Dr A Person"},
        {"C", "C=AU, O = Practice, CN=Dr A Person", "AU"},
        {"cn", "C=AU, CN=Dr A Person", "Dr A Person"}, // the key is upper-cased
        {"CN", "C=AU, cn=Dr A Person", ""},            // the DN side is matched exactly
        {"L", "C=AU, O=Practice, CN=Dr A Person", ""},
        {"ST", "C=AU, ST=NSW, L=Sydney", "NSW"},
        {"O", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DNField(c.key, c.dn), c.expected) << c.key << " in " << c.dn;
}

TEST(SignatureDetailLines, ComposesTheSignerAndTokenLines) {
    const std::string info =
        "Dr A Person <a.person@test.example>\r\n"
        "SUBJECT=C=AU, ST=NSW, L=Sydney, O=Test Practice, CN=Dr A Person, "
        "emailAddress=a.person@test.example\r\n"
        "Email=a.person@test.example\r\n"
        "SERIAL NUM=7ca4c8480f80b605\r\n"
        "Token ID=F374CB6534FE1193\r\n"
        "ISSUER=C=AU, ST=NSW, L=Sydney, O=Test Certificate Authority, CN=VVP Test CA\r\n";
    EXPECT_EQ(SignatureDetailLines(info), "Signed by  : Dr A Person <a.person@test.example>, Sydney NSW\r\n"
                                          "301 Certificate: 7CA4C8480F80B605 Token: F374CB6534FE1193 "
                                          "issued by Test Certificate Authority");
}

TEST(SignatureDetailLines, KeepsTheFixedTextsWhenItemsAreMissing) {
    // No L in the subject: nothing between ">, " and the blank before ST; a ":" in the subject
    // becomes a blank.
    EXPECT_EQ(SignatureDetailLines("SUBJECT=C=AU, ST=VIC, CN=Dr B: Smith\r\nEmail=b@c.example\r\n"),
              "Signed by  : Dr B  Smith <b@c.example>,  VIC\r\n301 Certificate:  Token:  issued by ");
    EXPECT_EQ(SignatureDetailLines(""), "Signed by  :  <>,  \r\n301 Certificate:  Token:  issued by ");
}

} // namespace
} // namespace vvp
