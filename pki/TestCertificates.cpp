#include "TestCertificates.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <utility>

namespace vvp::pki {

namespace {

constexpr long kHour = 60L * 60L;
constexpr long kDay = 24L * kHour;

Result<EvpPkeyPtr> generateRsaKey() {
    EvpPkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
        EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), 2048) != 1 || EVP_PKEY_generate(ctx.get(), &key) != 1) {
        return Failure{"cannot generate a key: " + lastOpenSslError()};
    }
    return EvpPkeyPtr(key);
}

bool addEntry(X509_NAME* name, const char* field, const std::string& value) {
    return X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0) == 1;
}

X509NamePtr makeName(const std::string& org, const std::string& cn, const std::string& email) {
    X509NamePtr name(X509_NAME_new());
    if (!name) return nullptr;
    bool ok = addEntry(name.get(), "C", "AU") && addEntry(name.get(), "ST", "NSW") &&
              addEntry(name.get(), "L", "Sydney") && addEntry(name.get(), "O", org) &&
              addEntry(name.get(), "CN", cn);
    if (ok && !email.empty()) {
        ok =
            X509_NAME_add_entry_by_NID(name.get(), NID_pkcs9_emailAddress, MBSTRING_ASC,
                                       reinterpret_cast<const unsigned char*>(email.c_str()), -1, -1, 0) == 1;
    }
    return ok ? std::move(name) : nullptr;
}

bool setRandomSerial(X509* cert) {
    BIGNUM* serial = BN_new();
    bool ok = serial != nullptr && BN_rand(serial, 63, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert)) != nullptr;
    BN_free(serial);
    return ok;
}

bool addExtension(X509* cert, X509V3_CTX* ctx, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, ctx, nid, value.c_str());
    if (ext == nullptr) return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

struct CertificateRequest {
    const X509_NAME* subject;
    EVP_PKEY* subjectKey;
    X509* issuer; // null: self-signed
    EVP_PKEY* issuerKey;
    long validSeconds;
    bool authority;
    std::string email; // subject alternative name, when given
};

Result<X509Ptr> issueCertificate(const CertificateRequest& request) {
    X509Ptr cert(X509_new());
    if (!cert) return Failure{"out of memory"};
    X509* issuer = request.issuer != nullptr ? request.issuer : cert.get();
    bool ok =
        X509_set_version(cert.get(), X509_VERSION_3) == 1 && setRandomSerial(cert.get()) &&
        X509_set_subject_name(cert.get(), request.subject) == 1 &&
        X509_set_issuer_name(cert.get(), request.issuer != nullptr ? X509_get_subject_name(request.issuer)
                                                                   : request.subject) == 1 &&
        X509_set_pubkey(cert.get(), request.subjectKey) == 1 &&
        // Back-dated an hour so a receiver whose clock is a little behind still accepts it.
        X509_time_adj_ex(X509_getm_notBefore(cert.get()), 0, -kHour, nullptr) != nullptr &&
        X509_time_adj_ex(X509_getm_notAfter(cert.get()), 0, request.validSeconds, nullptr) != nullptr;
    if (!ok) return Failure{"cannot fill the certificate: " + lastOpenSslError()};

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert.get(), nullptr, nullptr, 0);
    if (request.authority) {
        ok = addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:TRUE") &&
             addExtension(cert.get(), &ctx, NID_key_usage, "critical,keyCertSign,cRLSign") &&
             addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash");
    } else {
        ok = addExtension(cert.get(), &ctx, NID_basic_constraints, "critical,CA:FALSE") &&
             addExtension(cert.get(), &ctx, NID_key_usage,
                          "critical,digitalSignature,nonRepudiation,keyEncipherment") &&
             addExtension(cert.get(), &ctx, NID_ext_key_usage, "emailProtection") &&
             addExtension(cert.get(), &ctx, NID_subject_key_identifier, "hash") &&
             addExtension(cert.get(), &ctx, NID_authority_key_identifier, "keyid:always") &&
             (request.email.empty() ||
              addExtension(cert.get(), &ctx, NID_subject_alt_name, "email:" + request.email));
    }
    if (!ok) return Failure{"cannot add the certificate extensions: " + lastOpenSslError()};
    if (X509_sign(cert.get(), request.issuerKey, EVP_sha256()) <= 0) {
        return Failure{"cannot sign the certificate: " + lastOpenSslError()};
    }
    return cert;
}

} // namespace

Result<TestIdentity> createTestIdentity(const std::string& name, const std::string& email) {
    if (name.empty()) return Failure{"the practitioner name is empty"};
    if (email.empty() || email.find('@') == std::string::npos)
        return Failure{"the e-mail address is not valid"};
    for (const char c : email) {
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F || c == ',' ||
            c == '<' || c == '>') {
            return Failure{"the e-mail address is not valid"};
        }
    }

    auto caKey = generateRsaKey();
    if (!caKey) return Failure{caKey.error()};
    auto signerKey = generateRsaKey();
    if (!signerKey) return Failure{signerKey.error()};

    X509NamePtr caName = makeName("Test Certificate Authority", "VVP Test CA", "");
    X509NamePtr signerName = makeName("Test Practice", name, email);
    if (!caName || !signerName) return Failure{"cannot build the certificate names: " + lastOpenSslError()};

    auto ca = issueCertificate(
        {caName.get(), caKey.value().get(), nullptr, caKey.value().get(), 10 * 365 * kDay, true, ""});
    if (!ca) return Failure{ca.error()};
    auto signer = issueCertificate({signerName.get(), signerKey.value().get(), ca.value().get(),
                                    caKey.value().get(), 2 * 365 * kDay, false, email});
    if (!signer) return Failure{signer.error()};

    TestIdentity identity;
    identity.signer.key = std::move(signerKey.value());
    identity.signer.certificate = std::move(signer.value());
    identity.signer.chain.push_back(shareCertificate(ca.value().get()));
    identity.signer.friendlyName = name;
    identity.caCertificate = std::move(ca.value());
    return identity;
}

std::string certificatePem(X509* cert) {
    BioPtr out(BIO_new(BIO_s_mem()));
    if (!out || PEM_write_bio_X509(out.get(), cert) != 1) return {};
    return bioText(out.get());
}

} // namespace vvp::pki
