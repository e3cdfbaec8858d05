#include "PdfWords.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <climits>
#include <memory>

namespace vvp::textonly {
namespace {

void IgnorePopplerMessage(const std::string&, void*) {}

std::u32string FromUtf16(const poppler::ustring& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out += c;
    }
    return out;
}

} // namespace

Result<std::vector<GridPage>> ReadPdfWords(const std::string& pdf, const PdfLimits& limits) {
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    // Messages about damaged files would go to standard error, which is CUPS's log channel.
    poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
    if (pdf.size() > static_cast<size_t>(INT_MAX)) return Error{"the PDF is too large"};
    std::unique_ptr<poppler::document> doc(
        poppler::document::load_from_raw_data(pdf.data(), static_cast<int>(pdf.size())));
    if (!doc) return Error{"the document is not a readable PDF"};
    if (doc->is_locked()) return Error{"the PDF is protected by a password"};
    const int count = doc->pages();
    if (count < 0 || static_cast<size_t>(count) > limits.maxPages)
        return Error{"the PDF has more than " + std::to_string(limits.maxPages) + " pages"};
    std::vector<GridPage> pages;
    for (int i = 0; i < count; ++i) {
        if (std::chrono::steady_clock::now() > deadline)
            return Error{"reading the PDF took longer than " + std::to_string(limits.time.count() / 1000) +
                         " s"};
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        GridPage grid;
        if (page) {
            for (const auto& box : page->text_list()) {
                if (grid.words.size() >= limits.maxWordsPerPage) break;
                if (box.rotation() != 0 || box.get_wmode() == poppler::text_box::vertical_wmode) continue;
                GridWord word;
                const poppler::rectf r = box.bbox();
                word.left = r.left();
                word.top = r.top();
                word.right = r.right();
                word.bottom = r.bottom();
                const poppler::ustring text = box.text();
                word.text = FromUtf16(text);
                for (size_t g = 0; g < text.size(); ++g) {
                    const double w = box.char_bbox(g).width();
                    if (w > 0) word.glyphWidths.push_back(w);
                }
                word.spaceAfter = box.has_space_after();
                grid.words.push_back(std::move(word));
            }
        }
        pages.push_back(std::move(grid));
    }
    return pages;
}

} // namespace vvp::textonly
