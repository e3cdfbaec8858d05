#include "StoreFile.h"

#include <openssl/err.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp::pki {

std::string lastOpenSslError() {
    const unsigned long code = ERR_peek_last_error();
    if (code == 0) return "no further detail";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

namespace {

bool macMatches(PKCS12* p12, const std::string& password) {
    if (!PKCS12_mac_present(p12)) return true;
    if (PKCS12_verify_mac(p12, password.c_str(), -1) == 1) return true;
    // An empty password is written either as no password or as an empty one.
    return password.empty() && PKCS12_verify_mac(p12, nullptr, 0) == 1;
}

std::string friendlyNameOf(X509* cert) {
    int len = 0;
    const unsigned char* alias = X509_alias_get0(cert, &len);
    return alias != nullptr && len > 0 ? std::string(reinterpret_cast<const char*>(alias), len) : "";
}

} // namespace

Result<std::string> readStoreBytes(const std::string& path) {
    if (path.empty()) return Failure{store_error::kNoPath};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return Failure{errno == ENOENT || errno == ENOTDIR ? store_error::kNotFound
                                                           : store_error::kUnreadable};
    }
    if (!S_ISREG(info.st_mode)) return Failure{store_error::kUnreadable};
    if (static_cast<std::size_t>(info.st_size) > kMaxStoreFileSize) return Failure{store_error::kTooLarge};

    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure{store_error::kUnreadable};
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size())) return Failure{store_error::kUnreadable};
    return bytes;
}

Result<SignerBundle> parsePkcs12(const std::string& der, const std::string& password) {
    ERR_clear_error();
    auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
    Pkcs12Ptr p12(d2i_PKCS12(nullptr, &cursor, static_cast<long>(der.size())));
    if (!p12) return Failure{store_error::kNotPkcs12};
    if (!macMatches(p12.get(), password)) return Failure{store_error::kWrongPassword};

    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    if (PKCS12_parse(p12.get(), password.c_str(), &key, &cert, &ca) != 1) {
        return Failure{store_error::kUndecryptable};
    }
    SignerBundle bundle;
    bundle.key.reset(key);
    bundle.certificate.reset(cert);
    X509StackPtr chain(ca);
    while (chain && sk_X509_num(chain.get()) > 0) {
        bundle.chain.emplace_back(sk_X509_shift(chain.get()));
    }
    if (bundle.certificate) bundle.friendlyName = friendlyNameOf(bundle.certificate.get());
    return bundle;
}

Result<SignerBundle> readPkcs12File(const std::string& path, const std::string& password) {
    auto bytes = readStoreBytes(path);
    if (!bytes) return Failure{bytes.error()};
    return parsePkcs12(bytes.value(), password);
}

Result<std::string> encodePkcs12(const SignerBundle& bundle, const std::string& password) {
    if (!bundle.key || !bundle.certificate) return Failure{"the store needs a key and a certificate"};
    X509StackPtr ca(sk_X509_new_null());
    if (!ca) return Failure{"out of memory"};
    for (const auto& cert : bundle.chain) {
        if (sk_X509_push(ca.get(), cert.get()) <= 0) return Failure{"out of memory"};
        X509_up_ref(cert.get());
    }
    ERR_clear_error();
    const char* name = bundle.friendlyName.empty() ? nullptr : bundle.friendlyName.c_str();
    Pkcs12Ptr p12(PKCS12_create(password.c_str(), name, bundle.key.get(), bundle.certificate.get(), ca.get(),
                                NID_aes_256_cbc, NID_aes_256_cbc, PKCS12_DEFAULT_ITER, PKCS12_DEFAULT_ITER,
                                0));
    if (!p12) return Failure{"cannot build the PKCS#12 store: " + lastOpenSslError()};
    // PKCS12_create's MAC digest depends on the OpenSSL version; state it.
    if (PKCS12_set_mac(p12.get(), password.c_str(), -1, nullptr, 0, PKCS12_DEFAULT_ITER, EVP_sha256()) != 1) {
        return Failure{"cannot protect the PKCS#12 store: " + lastOpenSslError()};
    }
    unsigned char* der = nullptr;
    const int len = i2d_PKCS12(p12.get(), &der);
    if (len <= 0) return Failure{"cannot encode the PKCS#12 store: " + lastOpenSslError()};
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(len));
    OPENSSL_free(der);
    return bytes;
}

Result<bool> writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
    const std::string temp = path + ".___";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return Failure{"cannot create " + temp + ": " + std::strerror(errno)};
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return Failure{"cannot write " + temp + ": " + reason};
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed) {
        const std::string reason = std::strerror(synced ? errno : syncErrno);
        ::unlink(temp.c_str());
        return Failure{"cannot write " + temp + ": " + reason};
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        ::unlink(temp.c_str());
        return Failure{"cannot rename " + temp + " to " + path + ": " + reason};
    }
    return true;
}

} // namespace vvp::pki
