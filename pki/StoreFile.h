#pragma once

// Reading and writing the store file: a PKCS#12 file under the store password.

#include "PkiResult.h"
#include "SignerBundle.h"

#include <string>

namespace vvp::pki {

inline constexpr const char* kStoreFileName = "vvpstore.psi";
inline constexpr const char* kStorePassword = "StoreSecret";

// Store files are a few kilobytes; anything far larger is not a store.
inline constexpr std::size_t kMaxStoreFileSize = 1024 * 1024;

// Error texts of the store. Callers test a reply for "OK" in any letter case, so none of them
// may contain those two letters, and none names the file (its path could contain them).
namespace store_error {
inline constexpr const char* kNoPath = "Error: No store file given.";
inline constexpr const char* kNotFound = "Error: Store file not found.";
inline constexpr const char* kUnreadable = "Error: Store file cannot be read.";
inline constexpr const char* kTooLarge = "Error: Store file is too large.";
inline constexpr const char* kNotPkcs12 = "Error: Store file is not a PKCS#12 store.";
inline constexpr const char* kWrongPassword = "Error: Wrong store password.";
inline constexpr const char* kUndecryptable = "Error: Store file cannot be decrypted.";
} // namespace store_error

// Reads a file's bytes, failing with one of the texts above.
Result<std::string> readStoreBytes(const std::string& path);

// Parses PKCS#12 bytes. Key and certificate may be absent in a valid store; callers check.
Result<SignerBundle> parsePkcs12(const std::string& der, const std::string& password);

Result<SignerBundle> readPkcs12File(const std::string& path, const std::string& password);

// Encodes a bundle as PKCS#12 under the password with AES-256 and PBKDF2, SHA-256 MAC.
Result<std::string> encodePkcs12(const SignerBundle& bundle, const std::string& password);

// Writes bytes to path through a temporary file in the same folder and a rename, so a reader
// never sees half a file. The store is written with mode 0600: it holds the private key under a
// password that every installation shares.
Result<bool> writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

} // namespace vvp::pki
