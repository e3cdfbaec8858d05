#include "SmimeSigner.h"

#include <openssl/err.h>
#include <openssl/rand.h>

namespace vvp::pki {

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string randomBoundary() {
    unsigned char noise[12];
    if (RAND_bytes(noise, sizeof noise) != 1) return {};
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string boundary = "----VVP-";
    for (const unsigned char byte : noise) {
        boundary += kDigits[byte >> 4];
        boundary += kDigits[byte & 0x0F];
    }
    return boundary;
}

// Drops the CRs that end a line (before its LF, or at the end of the text).
void appendWithoutTrailingCr(std::string& out, std::string_view line) {
    std::size_t len = line.size();
    while (len > 0 && line[len - 1] == '\r')
        --len;
    out.append(line.substr(0, len));
}

Result<std::string> pkcs7Der(const SignerBundle& bundle, const std::string& content) {
    const int flags = PKCS7_DETACHED | PKCS7_BINARY | PKCS7_PARTIAL;
    ERR_clear_error();
    Pkcs7Ptr p7(PKCS7_sign(nullptr, nullptr, nullptr, nullptr, flags));
    if (!p7) return Failure{"cannot start the signature: " + lastOpenSslError()};
    if (PKCS7_sign_add_signer(p7.get(), bundle.certificate.get(), bundle.key.get(), EVP_sha256(), flags) ==
        nullptr) {
        return Failure{"cannot add the signer: " + lastOpenSslError()};
    }
    for (const auto& cert : bundle.chain) {
        if (X509_cmp(cert.get(), bundle.certificate.get()) == 0) continue;
        if (PKCS7_add_certificate(p7.get(), cert.get()) != 1) {
            return Failure{"cannot add a chain certificate: " + lastOpenSslError()};
        }
    }
    BioPtr data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    if (!data || PKCS7_final(p7.get(), data.get(), flags) != 1) {
        return Failure{"cannot compute the signature: " + lastOpenSslError()};
    }
    unsigned char* der = nullptr;
    const int len = i2d_PKCS7(p7.get(), &der);
    if (len <= 0) return Failure{"cannot encode the signature: " + lastOpenSslError()};
    std::string bytes(reinterpret_cast<const char*>(der), static_cast<std::size_t>(len));
    OPENSSL_free(der);
    return bytes;
}

} // namespace

std::string canonicalText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            appendWithoutTrailingCr(out, text.substr(start));
            break;
        }
        appendWithoutTrailingCr(out, text.substr(start, lf - start));
        out.append(kCrLf);
        start = lf + 1;
    }
    return out;
}

std::string base64Lines(std::string_view bytes, std::size_t width) {
    if (bytes.empty()) return {};
    std::string flat(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int len =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(flat.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    flat.resize(static_cast<std::size_t>(len));
    std::string out;
    out.reserve(flat.size() + (flat.size() / width + 1) * 2);
    for (std::size_t pos = 0; pos < flat.size(); pos += width) {
        out.append(flat, pos, width);
        out.append(kCrLf);
    }
    return out;
}

Result<std::string> signDetached(const SignerBundle& bundle, std::string_view text) {
    if (!bundle.key || !bundle.certificate) return Failure{"no signing key"};
    // BIO and DER lengths are ints.
    if (text.size() > 0x3FFFFFFF) return Failure{"text too large to sign"};

    auto der = pkcs7Der(bundle, canonicalText(text));
    if (!der) return Failure{der.error()};

    std::string boundary;
    do {
        boundary = randomBoundary();
        if (boundary.empty()) return Failure{"no random numbers for the boundary"};
    } while (text.find(boundary) != std::string_view::npos);

    const std::string signature = base64Lines(der.value());
    std::string out;
    out.reserve(text.size() + signature.size() + 600);
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; micalg=\"sha-256\"; "
           "boundary=\"" +
           boundary + "\"\r\n";
    out += "\r\n";
    out += "This is an S/MIME signed message\r\n";
    out += "\r\n";
    out += "--" + boundary + "\r\n";
    out.append(text);
    // This CR LF belongs to the delimiter, not to the part, whether or not the text ends with one.
    out += "\r\n--" + boundary + "\r\n";
    out += "Content-Type: application/pkcs7-signature; name=\"smime.p7s\"\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Disposition: attachment; filename=\"smime.p7s\"\r\n";
    out += "\r\n";
    out += signature; // ends with the CR LF that opens the closing delimiter
    out += "--" + boundary + "--\r\n";
    return out;
}

} // namespace vvp::pki
