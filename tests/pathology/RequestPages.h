#pragma once

// Printed request pages as a practice program lays them out, for the parser tests.

#include <string>
#include <vector>

namespace vvp::pathology::pages {

inline std::string Right(const std::string& left, const std::string& right) {
    std::string line = left;
    line.resize(42, ' ');
    return line + right;
}

inline std::string AtColumn50(const std::string& text) {
    return std::string(49, ' ') + text;
}

// A complete request: Medicare line, patient, address, tests, notes, date, foot and the second
// section, with the gaps the layout needs.
inline std::vector<std::string> StandardLines() {
    return {
        "2123456701 1",
        "",
        "SMITH, MR JOHN, M, 01/02/1960, 1234",
        "12 SMITH ST   (07) 3123 4567   0412 345 678",
        "NORTH SYDNEY NSW 2060",
        "",
        "FBC; LFT;",
        "UEC",
        "",
        "",
        "Chest pain for two days",
        "14:30",
        "",
        "",
        "",
        AtColumn50("01/03/2024"),
        Right("DR JANE DOE", "049960CT"),
        Right("Dr Paul Brown, Cardiology", "Dr John Citizen"),
        Right("", "Suite 4"),
        Right("", "1 MAIN RD"),
        Right("", "CARLTON VIC 3053"),
        Right("", "Ph: 03 9123 4567  Fax: 03 9123 4568"),
        "",
        "",
        "",
        "",
        "",
        "",
        "2123456701",
        "SMITH",
        "12 SMITH ST",
    };
}

inline std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\r\n";
    return text;
}

inline std::string StandardPage() {
    return Join(StandardLines());
}

} // namespace vvp::pathology::pages
