#pragma once

// The software token: an opened store file with the signer's key, certificate and chain.
// Not thread-safe; the C entry points serialise access.

#include "PkiResult.h"
#include "SignerBundle.h"

#include <optional>
#include <string>
#include <string_view>

namespace vvp::pki {

namespace token_error {
inline constexpr const char* kStoreNotOpened = "Error: Store not opened.";
inline constexpr const char* kNoKey = "Error: Store holds no signing key.";
inline constexpr const char* kNoCertificate = "Error: Store holds no certificate.";
inline constexpr const char* kKeyMismatch = "Error: Certificate does not match the signing key.";
inline constexpr const char* kExpired = "Error: Certificate has expired.";
inline constexpr const char* kNotYetValid = "Error: Certificate is not yet valid.";
} // namespace token_error

// Checks that a bundle holds a key and a matching certificate valid now; the "Error: ..." text
// otherwise (a null bundle is a store that is not open).
Result<bool> checkSigner(const SignerBundle* bundle);

class TokenStore {
public:
    // Opens the store file, closing any store opened before. On failure the store stays closed
    // and the result holds an "Error: ..." text.
    Result<bool> open(const std::string& path, const std::string& password);

    // Opens an already parsed bundle (the import and test tools use it).
    void open(SignerBundle bundle);

    void close();

    bool isOpen() const { return m_bundle.has_value(); }
    bool loggedOn() const { return m_loggedOn; }

    // Checks that the store holds a usable key and certificate; the "Error: ..." text otherwise.
    Result<bool> checkToken() const;

    // Logs the token on and describes it (see describeToken), or gives an "Error: ..." text.
    Result<std::string> logon();
    void logoff() { m_loggedOn = false; }

    // The signed entity for the text (see signDetached). Signing needs a usable token but no
    // explicit logon, as a software token has no PIN.
    Result<std::string> sign(std::string_view text) const;

private:
    std::optional<SignerBundle> m_bundle;
    bool m_loggedOn = false;
};

} // namespace vvp::pki
