#include "Windows1252.h"

namespace vvp::textonly {
namespace {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
constexpr char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const char* SpeltOut(char32_t c) {
    switch (c) {
    case 0xFB00:
        return "ff";
    case 0xFB01:
        return "fi";
    case 0xFB02:
        return "fl";
    case 0xFB03:
        return "ffi";
    case 0xFB04:
        return "ffl";
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2212:
        return "-";
    case 0x2002:
    case 0x2003:
    case 0x2007:
    case 0x2009:
    case 0x202F:
        return " ";
    default:
        return nullptr;
    }
}

} // namespace

void AppendWindows1252(std::string& out, char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out += static_cast<char>(c);
        return;
    }
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] != 0 && kHigh[i] == c) {
            out += static_cast<char>(0x80 + i);
            return;
        }
    if (const char* text = SpeltOut(c))
        out += text;
    else
        out += '?';
}

bool DecodeUtf8(const std::string& bytes, std::u32string& out) {
    std::u32string result;
    result.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            result += b;
            ++i;
            continue;
        }
        size_t n = 0;
        char32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0)
            n = 1, c = b & 0x1F, min = 0x80;
        else if ((b & 0xF0) == 0xE0)
            n = 2, c = b & 0x0F, min = 0x800;
        else if ((b & 0xF8) == 0xF0)
            n = 3, c = b & 0x07, min = 0x10000;
        else
            return false;
        if (i + n >= bytes.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const auto cont = static_cast<unsigned char>(bytes[i + k]);
            if ((cont & 0xC0) != 0x80) return false;
            c = (c << 6) | (cont & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        result += c;
        i += n + 1;
    }
    out = std::move(result);
    return true;
}

std::string PlainTextToWindows1252(const std::string& bytes) {
    std::string text;
    std::u32string decoded;
    if (DecodeUtf8(bytes, decoded)) {
        size_t start = !decoded.empty() && decoded[0] == 0xFEFF ? 1 : 0;
        text.reserve(decoded.size());
        for (size_t i = start; i < decoded.size(); ++i)
            AppendWindows1252(text, decoded[i]);
    } else {
        text = bytes;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace vvp::textonly
