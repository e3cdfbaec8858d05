#pragma once

#include "Result.h"
#include "TextGrid.h"

#include <chrono>
#include <string>
#include <vector>

namespace vvp::textonly {

struct PdfLimits {
    size_t maxPages = 2000;
    size_t maxWordsPerPage = 200000;
    std::chrono::milliseconds time{60000}; // checked between pages
};

// The words of each page of a PDF and their positions, read with poppler. Upright text only:
// rotated and vertical text cannot sit on a line printer's grid.
Result<std::vector<GridPage>> ReadPdfWords(const std::string& pdf, const PdfLimits& limits = {});

} // namespace vvp::textonly
