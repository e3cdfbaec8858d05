// C entry points of the signing library. Every call takes the one lock, so the window thread
// and job threads can share one store and one logon.

#define VVP_PKI_BUILDING 1
#include "vvpPKI.h"

#include "StoreFile.h"
#include "TokenStore.h"

#include <openssl/crypto.h>

#include <array>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

namespace {

using vvp::pki::TokenStore;

// Files handed to Signfile are messages; this bounds the memory one call may take.
constexpr std::size_t kMaxSignFileSize = 256u * 1024u * 1024u;

std::mutex& lock() {
    static std::mutex mutex;
    return mutex;
}

TokenStore& store() {
    // OpenSSL must be initialised before the store exists, so that at exit the store frees its
    // key before OpenSSL cleans up.
    static TokenStore instance = (OPENSSL_init_crypto(0, nullptr), TokenStore{});
    return instance;
}

const char* reply(std::string text) {
    // A ring of buffers rather than thread-local ones: a reply stays valid for the next several
    // calls from any thread, and no thread-local storage outlives the library when it is unloaded.
    static std::mutex ringLock;
    static std::array<std::string, 16> ring;
    static std::size_t next = 0;
    std::lock_guard guard(ringLock);
    std::string& buffer = ring[next];
    next = (next + 1) % ring.size();
    buffer = std::move(text);
    return buffer.c_str();
}

bool readWholeFile(const char* path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::size_t>(size) > kMaxSignFileSize) return false;
    in.seekg(0, std::ios::beg);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    in.read(bytes.data(), size);
    return in.gcount() == size;
}

} // namespace

extern "C" {

const char* SetStore(const char* storePath, const char* password) {
    try {
        std::lock_guard guard(lock());
        auto opened =
            store().open(storePath != nullptr ? storePath : "", password != nullptr ? password : "");
        return reply(opened ? "OK" : opened.error());
    } catch (...) {
        return "Error: Store file cannot be read.";
    }
}

int Status(void) {
    std::lock_guard guard(lock());
    int bits = VVP_PKI_STATUS_READY;
    if (store().isOpen()) bits |= VVP_PKI_STATUS_STORE_OPEN;
    if (store().checkToken()) bits |= VVP_PKI_STATUS_TOKEN;
    if (store().loggedOn()) bits |= VVP_PKI_STATUS_LOGGED_ON;
    return bits;
}

const char* TokenLogon(void) {
    try {
        std::lock_guard guard(lock());
        auto description = store().logon();
        return reply(description ? description.value() : description.error());
    } catch (...) {
        return "Error: Token logon failed.";
    }
}

int SignBig(const char* text, char* outBuffer, int outSize) {
    if (text == nullptr || outBuffer == nullptr || outSize <= 0) return 0;
    try {
        std::lock_guard guard(lock());
        auto signedText = store().sign(text);
        if (!signedText) return 0;
        const std::string& out = signedText.value();
        if (out.size() >= static_cast<std::size_t>(outSize)) return 0;
        std::memcpy(outBuffer, out.data(), out.size());
        outBuffer[out.size()] = '\0';
        return static_cast<int>(out.size());
    } catch (...) {
        return 0;
    }
}

int SignBigSize(const char* text) {
    if (text == nullptr) return 0;
    try {
        std::lock_guard guard(lock());
        auto signedText = store().sign(text);
        if (!signedText) return 0;
        // Signature lengths vary by a few bytes between runs; the margin covers that.
        const std::size_t needed = signedText.value().size() + 1 + 256;
        return needed > INT_MAX ? 0 : static_cast<int>(needed);
    } catch (...) {
        return 0;
    }
}

void CloseStore(void) {
    std::lock_guard guard(lock());
    store().close();
}

int TokenPresent(void) {
    std::lock_guard guard(lock());
    return store().checkToken() ? 1 : 0;
}

int Logoff(void) {
    std::lock_guard guard(lock());
    const bool was = store().loggedOn();
    store().logoff();
    return was ? 1 : 0;
}

int Signfile(const char* inPath, const char* outPath) {
    if (inPath == nullptr || outPath == nullptr || *outPath == '\0') return 0;
    try {
        std::string text;
        if (!readWholeFile(inPath, text)) return 0;
        std::lock_guard guard(lock());
        auto signedText = store().sign(text);
        if (!signedText) return 0;
        return vvp::pki::writeFileAtomically(outPath, signedText.value(), 0644) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
