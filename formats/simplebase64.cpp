#include "simplebase64.h"

#include "FileUtil.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>

namespace vvp {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';

// Two output characters for every 12-bit value: three input bytes take two lookups.
constexpr auto kEncodePairs = [] {
    std::array<std::array<char, 2>, 4096> pairs{};
    for (size_t i = 0; i < pairs.size(); ++i)
        pairs[i] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
    return pairs;
}();

// For each position in a group, the character's bits already shifted into place; "=" sets a
// flag bit above the 24 data bits (bit 24 + position) instead, so one OR gives both the bytes
// and where the padding starts.
constexpr auto kDecodeTables = [] {
    std::array<std::array<uint32_t, 256>, 4> tables{};
    for (unsigned position = 0; position < 4; ++position) {
        for (unsigned v = 1; v < 64; ++v) // "A" adds no bits
            tables[position][static_cast<unsigned char>(kAlphabet[v])] = v << (6 * (3 - position));
        tables[position][static_cast<unsigned char>(kPad)] = 1u << (24 + position);
    }
    return tables;
}();

void EncodeInto(const unsigned char* src, size_t n, char* dst) {
    size_t i = 0;
    for (; i + 3 <= n; i += 3, dst += 4) {
        const uint32_t v =
            static_cast<uint32_t>(src[i]) << 16 | static_cast<uint32_t>(src[i + 1]) << 8 | src[i + 2];
        std::memcpy(dst, kEncodePairs[v >> 12].data(), 2);
        std::memcpy(dst + 2, kEncodePairs[v & 0xFFF].data(), 2);
    }
    if (n - i == 1) {
        const uint32_t v = static_cast<uint32_t>(src[i]) << 16;
        dst[0] = kAlphabet[v >> 18];
        dst[1] = kAlphabet[(v >> 12) & 63];
        dst[2] = kPad;
        dst[3] = kPad;
    } else if (n - i == 2) {
        const uint32_t v = static_cast<uint32_t>(src[i]) << 16 | static_cast<uint32_t>(src[i + 1]) << 8;
        dst[0] = kAlphabet[v >> 18];
        dst[1] = kAlphabet[(v >> 12) & 63];
        dst[2] = kAlphabet[(v >> 6) & 63];
        dst[3] = kPad;
    }
}

// Whether a stream can seek; a pipe or terminal cannot and is used from where it stands.
bool RewindInput(std::istream& in) {
    in.clear();
    if (in.tellg() == std::istream::pos_type(-1)) {
        in.clear();
        return false;
    }
    in.seekg(0);
    return true;
}

void RewindOutput(std::ostream& out) {
    if (out.tellp() != std::ostream::pos_type(-1)) out.seekp(0);
}

} // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string out((bytes.size() + 2) / 3 * 4, '\0');
    EncodeInto(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out.data());
    return out;
}

std::string Base64EncodeStream(std::istream& in) {
    RewindInput(in);
    std::string bytes;
    char buffer[48 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    return Base64Encode(bytes);
}

std::string Base64Decode(std::string_view text) {
    const size_t groups = text.size() / 4; // a short final group yields nothing
    std::string out(groups * 3, '\0');
    const auto* src = reinterpret_cast<const unsigned char*>(text.data());
    char* dst = out.data();
    for (size_t g = 0; g < groups; ++g, src += 4) {
        const uint32_t v = kDecodeTables[0][src[0]] | kDecodeTables[1][src[1]] | kDecodeTables[2][src[2]] |
                           kDecodeTables[3][src[3]];
        if (v >> 24) [[unlikely]] {
            const int firstPad = std::countr_zero(v >> 24) + 1; // 1-based position in the group
            const int count = firstPad - 2;
            if (count >= 1) *dst++ = static_cast<char>(v >> 16);
            if (count >= 2) *dst++ = static_cast<char>(v >> 8);
            continue;
        }
        dst[0] = static_cast<char>(v >> 16);
        dst[1] = static_cast<char>(v >> 8);
        dst[2] = static_cast<char>(v);
        dst += 3;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

size_t Base64DecodeToStream(std::string_view text, std::ostream& out) {
    const std::string bytes = Base64Decode(text);
    RewindOutput(out);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return 0;
    RewindOutput(out);
    return bytes.size();
}

Result<void> Base64DecodeToFile(std::string_view text, const std::string& path) {
    return WriteWholeFile(path, Base64Decode(text));
}

std::string WrapLines(const std::string& text, size_t width) {
    if (width == 0) return text;
    std::string out;
    out.reserve(text.size() + text.size() / width * 2);
    size_t i = 0;
    for (; text.size() - i >= width; i += width) {
        out.append(text, i, width);
        out += "\r\n";
    }
    out.append(text, i, std::string::npos);
    return out;
}

} // namespace vvp
