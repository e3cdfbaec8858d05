#include "TextEncoding.h"

#include <cstdint>

namespace vvp {
namespace {

// Code points of the bytes 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined keep their
// C1 code point, so nothing is lost.
constexpr char32_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

uint8_t Byte(char c) {
    return static_cast<uint8_t>(c);
}

// Length of the well-formed UTF-8 sequence at text[i] (1 for ASCII), 0 when there is none.
size_t Utf8SequenceAt(std::string_view text, size_t i) {
    const uint8_t b = Byte(text[i]);
    if (b < 0x80) return 1;
    size_t length;
    uint8_t low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0) low = 0xA0;
        if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0) low = 0x90;
        if (b == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (Byte(text[i + 1]) < low || Byte(text[i + 1]) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((Byte(text[i + k]) & 0xC0) != 0x80) return 0;
    return length;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceAt(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string MixedTextToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = Utf8SequenceAt(text, i);
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += Windows1252ToUtf8(text.substr(i, 1));
            ++i;
        }
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        const uint8_t b = Byte(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
    }
    return out;
}

std::string DecodeText(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

std::string LowerCaseLatin(std::string_view text) {
    std::string out(text);
    if (IsValidUtf8(text)) {
        for (size_t i = 0; i < out.size(); ++i) {
            const uint8_t b = Byte(out[i]);
            if (b >= 'A' && b <= 'Z') {
                out[i] = static_cast<char>(b + 32);
            } else if (i + 1 < out.size()) {
                const uint8_t next = Byte(out[i + 1]);
                if (b == 0xC3 && next >= 0x80 && next <= 0x9E && next != 0x97) {
                    out[i + 1] = static_cast<char>(next + 0x20); // À..Þ
                } else if (b == 0xC5 && (next == 0x92 || next == 0xA0 || next == 0xBD)) {
                    out[i + 1] = static_cast<char>(next + 1); // Œ Š Ž
                } else if (b == 0xC5 && next == 0xB8) {
                    out[i] = static_cast<char>(0xC3); // Ÿ becomes ÿ
                    out[i + 1] = static_cast<char>(0xBF);
                }
            }
        }
        return out;
    }
    for (auto& c : out) {
        const uint8_t b = Byte(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
            c = static_cast<char>(b + 0x20);
        else if (b == 0x8A || b == 0x8C || b == 0x8E)
            c = static_cast<char>(b + 0x10);
        else if (b == 0x9F)
            c = static_cast<char>(0xFF);
    }
    return out;
}

} // namespace vvp
