#pragma once

#include "RtfDocument.h"

#include <string>
#include <string_view>
#include <vector>

namespace vvp::rtf {

enum UnitFlag : std::uint8_t {
    kOpenBefore = 1,  // the bytes before the unit end in an undelimited control word
    kOpenAfter = 2,   // the unit itself ends in an undelimited control word
    kPendingSkip = 4, // a \uN unit whose fallback characters were cut short by a brace
    // The unit ends in a '-' right after an undelimited control word: a digit written after it
    // would turn the '-' into that word's parameter.
    kDashAfterOpen = 8,
};

struct Layout {
    std::string visible;
    std::vector<Unit> units;
    std::uint32_t rootClose = 0;
    std::uint32_t firstUnitDepth = 0;
};

// Reads the whole document: checks its structure and finds its visible characters. When
// paragraphs is given, it also collects the formatted content.
Result<Layout> ReadRtf(std::string_view source, int maxDepth,
                       std::vector<RtfParagraph>* paragraphs = nullptr);

} // namespace vvp::rtf
