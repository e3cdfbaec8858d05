#include "TokenDescription.h"

#include "OpenSslHandles.h"

#include <openssl/evp.h>

namespace vvp::pki {

namespace {

constexpr const char* kCrLf = "\r\n";

std::string toHex(const unsigned char* data, std::size_t len) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(len * 2);
    for (std::size_t i = 0; i < len; ++i) {
        hex += kDigits[data[i] >> 4];
        hex += kDigits[data[i] & 0x0F];
    }
    return hex;
}

std::string asn1Text(const ASN1_STRING* value) {
    unsigned char* utf8 = nullptr;
    const int len = ASN1_STRING_to_UTF8(&utf8, value);
    if (len < 0) return {};
    std::string text(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(len));
    OPENSSL_free(utf8);
    return text;
}

} // namespace

std::string formatName(const X509_NAME* name) {
    if (name == nullptr) return {};
    BioPtr out(BIO_new(BIO_s_mem()));
    if (!out) return {};
    // One-line form without blanks around "=" and with non-ASCII kept as UTF-8 rather than
    // escaped, so names read naturally.
    const unsigned long flags = XN_FLAG_ONELINE & ~XN_FLAG_SPC_EQ & ~ASN1_STRFLGS_ESC_MSB;
    if (X509_NAME_print_ex(out.get(), name, 0, flags) < 0) return {};
    return bioText(out.get());
}

std::string nameEntry(const X509_NAME* name, int nid) {
    if (name == nullptr) return {};
    int index = -1;
    int last = -1;
    while ((index = X509_NAME_get_index_by_NID(name, nid, index)) >= 0)
        last = index;
    if (last < 0) return {};
    return asn1Text(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, last)));
}

std::string certificateEmail(X509* cert) {
    if (cert == nullptr) return {};
    std::string email = nameEntry(X509_get_subject_name(cert), NID_pkcs9_emailAddress);
    if (!email.empty()) return email;
    STACK_OF(OPENSSL_STRING)* emails = X509_get1_email(cert);
    if (emails != nullptr && sk_OPENSSL_STRING_num(emails) > 0) email = sk_OPENSSL_STRING_value(emails, 0);
    X509_email_free(emails);
    return email;
}

std::string serialHex(const X509* cert) {
    const ASN1_INTEGER* serial = X509_get0_serialNumber(cert);
    if (serial == nullptr) return {};
    BIGNUM* number = ASN1_INTEGER_to_BN(serial, nullptr);
    if (number == nullptr) return {};
    char* hex = BN_bn2hex(number);
    std::string text = hex != nullptr ? hex : "";
    OPENSSL_free(hex);
    BN_free(number);
    return text;
}

std::string tokenId(const X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (cert == nullptr || X509_digest(cert, EVP_sha256(), digest, &len) != 1 || len < 8) return {};
    return toHex(digest, 8);
}

std::string describeToken(X509* cert) {
    const X509_NAME* subject = X509_get_subject_name(cert);
    const std::string email = certificateEmail(cert);
    std::string holder = nameEntry(subject, NID_commonName);
    if (holder.empty()) holder = nameEntry(subject, NID_organizationName);

    // The holder line comes first so that the first "<" of the text is the one around the address.
    std::string text = holder + " <" + email + ">" + kCrLf;
    text += "SUBJECT=" + formatName(subject) + kCrLf;
    text += "Email=" + email + kCrLf;
    text += "SERIAL NUM=" + serialHex(cert) + kCrLf;
    text += "Token ID=" + tokenId(cert) + kCrLf;
    text += "ISSUER=" + formatName(X509_get_issuer_name(cert)) + kCrLf;
    return text;
}

} // namespace vvp::pki
