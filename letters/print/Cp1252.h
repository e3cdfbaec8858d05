#pragma once

// The single-byte text of printouts and messages is Windows-1252; Qt wants Unicode.

#include <QChar>

namespace vvp {

inline QChar Cp1252ToQChar(unsigned char c) {
    // Bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
    static constexpr char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                           0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (c >= 0x80 && c < 0xA0) return QChar(kHigh[c - 0x80]);
    return QChar(static_cast<char16_t>(c));
}

} // namespace vvp
