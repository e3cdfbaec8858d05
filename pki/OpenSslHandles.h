#pragma once

// Owning handles for the OpenSSL objects the store and the signer use.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

namespace vvp::pki {

template <auto FreeFn> struct OpenSslDeleter {
    template <typename T> void operator()(T* p) const noexcept { FreeFn(p); }
};

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using X509NamePtr = std::unique_ptr<X509_NAME, OpenSslDeleter<X509_NAME_free>>;
using Pkcs12Ptr = std::unique_ptr<PKCS12, OpenSslDeleter<PKCS12_free>>;
using Pkcs7Ptr = std::unique_ptr<PKCS7, OpenSslDeleter<PKCS7_free>>;

struct X509StackDeleter {
    void operator()(STACK_OF(X509) * s) const noexcept { sk_X509_pop_free(s, X509_free); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeleter>;

// Takes another reference on a certificate so two owners can hold it.
inline X509Ptr shareCertificate(X509* cert) {
    if (cert != nullptr) X509_up_ref(cert);
    return X509Ptr(cert);
}

// Copies a memory BIO's contents into a string.
inline std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long len = BIO_get_mem_data(bio, &data);
    return len > 0 ? std::string(data, static_cast<std::size_t>(len)) : std::string();
}

// The latest OpenSSL error as a short text, for tool messages and logs (never for texts
// that callers scan for fixed words).
std::string lastOpenSslError();

} // namespace vvp::pki
