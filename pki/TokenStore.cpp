#include "TokenStore.h"

#include "SmimeSigner.h"
#include "StoreFile.h"
#include "TokenDescription.h"

namespace vvp::pki {

Result<bool> TokenStore::open(const std::string& path, const std::string& password) {
    close();
    auto bundle = readPkcs12File(path, password);
    if (!bundle) return Failure{bundle.error()};
    m_bundle = std::move(bundle.value());
    return true;
}

void TokenStore::open(SignerBundle bundle) {
    close();
    m_bundle = std::move(bundle);
}

void TokenStore::close() {
    m_bundle.reset();
    m_loggedOn = false;
}

Result<bool> checkSigner(const SignerBundle* bundle) {
    if (bundle == nullptr) return Failure{token_error::kStoreNotOpened};
    if (!bundle->key) return Failure{token_error::kNoKey};
    if (!bundle->certificate) return Failure{token_error::kNoCertificate};
    X509* cert = bundle->certificate.get();
    if (X509_check_private_key(cert, bundle->key.get()) != 1) return Failure{token_error::kKeyMismatch};
    // A signature by a certificate outside its validity would not verify at the receiver.
    if (X509_cmp_current_time(X509_get0_notAfter(cert)) <= 0) return Failure{token_error::kExpired};
    if (X509_cmp_current_time(X509_get0_notBefore(cert)) >= 0) return Failure{token_error::kNotYetValid};
    return true;
}

Result<bool> TokenStore::checkToken() const {
    return checkSigner(m_bundle ? &*m_bundle : nullptr);
}

Result<std::string> TokenStore::logon() {
    m_loggedOn = false;
    auto usable = checkToken();
    if (!usable) return Failure{usable.error()};
    m_loggedOn = true;
    return describeToken(m_bundle->certificate.get());
}

Result<std::string> TokenStore::sign(std::string_view text) const {
    auto usable = checkToken();
    if (!usable) return Failure{usable.error()};
    return signDetached(*m_bundle, text);
}

} // namespace vvp::pki
