// Malformed PDFs and text through the text-only conversion of the CUPS filter: no crash, no
// hang, output only on the grid.
#include "TextOnlyConversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    vvp::textonly::ConversionLimits limits;
    limits.pdf.maxPages = 50;
    limits.pdf.time = std::chrono::milliseconds(5000);
    limits.grid = {200, 200};
    // A leading "T" makes it text, anything else a PDF.
    const bool text = size && data[0] == 'T';
    auto out = vvp::textonly::ConvertToTextOnly(
        input, text ? vvp::textonly::DocumentKind::PlainText : vvp::textonly::DocumentKind::Pdf, limits);
    if (!out || text) return 0;
    // Every line within the grid: at most 200 columns, 200 rows and 50 pages.
    size_t column = 0, rows = 0;
    for (char c : *out) {
        if (c == '\n')
            column = 0, ++rows;
        else if (c != '\r' && c != '\f' && ++column > 200)
            std::abort();
    }
    if (rows > 200 * 50) std::abort();
    return 0;
}
