#include "TokenDescription.h"
#include "OpenSslHandles.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>

namespace vvp::pki {
namespace {

X509NamePtr nameOf(const std::vector<std::pair<const char*, std::string>>& entries) {
    X509NamePtr name(X509_NAME_new());
    for (const auto& [field, value] : entries) {
        X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
    }
    return name;
}

TEST(TokenDescriptionTest, NamesReadInCertificateOrderWithoutBlanksAroundEquals) {
    auto plain = nameOf({{"C", "AU"}, {"O", "Practice"}, {"CN", "Dr A Person"}});
    EXPECT_EQ(formatName(plain.get()), "C=AU, O=Practice, CN=Dr A Person");
    // A comma inside a value must not split the value for readers that split at ", ".
    auto comma = nameOf({{"C", "AU"}, {"O", "Smith, Jones and Partners"}});
    EXPECT_EQ(formatName(comma.get()), "C=AU, O=\"Smith, Jones and Partners\"");
    auto accent = nameOf({{"CN", "Dr Zo\xC3\xAB Person"}});
    EXPECT_EQ(formatName(accent.get()), "CN=Dr Zo\xC3\xAB Person");
    EXPECT_EQ(nameEntry(plain.get(), NID_organizationName), "Practice");
    EXPECT_EQ(nameEntry(plain.get(), NID_localityName), "");
}

TEST(TokenDescriptionTest, EmailComesFromTheSubjectElseTheAlternativeName) {
    X509Ptr cert(X509_new());
    auto subject = nameOf({{"C", "AU"}, {"CN", "Dr Alt Name"}});
    X509_set_subject_name(cert.get(), subject.get());
    EXPECT_EQ(certificateEmail(cert.get()), "");

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, nullptr, cert.get(), nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "email:alt@test.example");
    ASSERT_NE(san, nullptr);
    X509_add_ext(cert.get(), san, -1);
    X509_EXTENSION_free(san);
    EXPECT_EQ(certificateEmail(cert.get()), "alt@test.example");
}

TEST(TokenDescriptionTest, TestIdentityIsDescribedOneItemALine) {
    auto identity = createTestIdentity("Dr Test", "dr.test@test.example");
    ASSERT_TRUE(identity) << identity.error();
    X509* cert = identity.value().signer.certificate.get();
    const std::string text = describeToken(cert);
    EXPECT_EQ(
        text,
        "Dr Test <dr.test@test.example>\r\n"
        "SUBJECT=C=AU, ST=NSW, L=Sydney, O=Test Practice, CN=Dr Test, emailAddress=dr.test@test.example\r\n"
        "Email=dr.test@test.example\r\n"
        "SERIAL NUM=" +
            serialHex(cert) +
            "\r\n"
            "Token ID=" +
            tokenId(cert) +
            "\r\n"
            "ISSUER=C=AU, ST=NSW, L=Sydney, O=Test Certificate Authority, CN=VVP Test CA\r\n");
    EXPECT_EQ(tokenId(cert).size(), 16u);
    EXPECT_NE(tokenId(cert), tokenId(identity.value().caCertificate.get()));

    EXPECT_FALSE(createTestIdentity("", "a@b"));
    EXPECT_FALSE(createTestIdentity("Dr X", "no-at-sign"));
    EXPECT_FALSE(createTestIdentity("Dr X", "a b@c"));
}

} // namespace
} // namespace vvp::pki
