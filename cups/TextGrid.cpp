#include "TextGrid.h"

#include "Windows1252.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace vvp::textonly {
namespace {

bool Usable(const GridWord& w) {
    return std::isfinite(w.left) && std::isfinite(w.top) && std::isfinite(w.right) &&
           std::isfinite(w.bottom) && w.right >= w.left && w.bottom >= w.top && !w.text.empty();
}

// The most frequent value after rounding to the step; fallback when there is none.
double Mode(const std::vector<double>& values, double step, double fallback) {
    std::map<long long, size_t> counts;
    for (double v : values)
        if (std::isfinite(v) && v > 0 && v < 1e6) ++counts[std::llround(v / step)];
    long long best = 0;
    size_t bestCount = 0;
    for (const auto& [key, count] : counts)
        if (count > bestCount) best = key, bestCount = count;
    return bestCount ? static_cast<double>(best) * step : fallback;
}

// The distinct line positions (word bottoms) of a page, close ones merged.
std::vector<double> LinePositions(const GridPage& page) {
    std::vector<double> bottoms;
    for (const auto& w : page.words)
        if (Usable(w)) bottoms.push_back(w.bottom);
    std::sort(bottoms.begin(), bottoms.end());
    std::vector<double> lines;
    for (double b : bottoms)
        if (lines.empty() || b - lines.back() > 1.0) lines.push_back(b);
    return lines;
}

} // namespace

std::string LayOutOnGrid(const std::vector<GridPage>& pages, const GridLimits& limits) {
    std::vector<double> widths, heights, gaps;
    double left = INFINITY, top = INFINITY;
    for (const auto& page : pages) {
        for (const auto& w : page.words) {
            if (!Usable(w)) continue;
            for (double g : w.glyphWidths)
                widths.push_back(g);
            heights.push_back(w.bottom - w.top);
            left = std::min(left, w.left);
        }
        const auto lines = LinePositions(page);
        if (!lines.empty()) top = std::min(top, lines.front());
        for (size_t i = 1; i < lines.size(); ++i)
            gaps.push_back(lines[i] - lines[i - 1]);
    }
    // A monospace font has one advance for every glyph; the commonest width is that advance.
    const double advance = std::max(1.0, Mode(widths, 0.01, 6.0));
    // Blank lines make gaps of several pitches; the commonest gap is one.
    const double pitch = std::max(1.0, Mode(gaps, 0.1, Mode(heights, 0.1, 12.0)));

    std::string out;
    for (size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) out += '\f';
        std::vector<const GridWord*> words;
        for (const auto& w : pages[p].words)
            if (Usable(w)) words.push_back(&w);
        struct Placed {
            size_t row;
            double left;
            const GridWord* word;
        };
        std::vector<Placed> placed;
        for (const GridWord* w : words) {
            const double row = std::round((w->bottom - top) / pitch);
            if (row < 0 || row >= static_cast<double>(limits.maxRows)) continue;
            placed.push_back({static_cast<size_t>(row), w->left, w});
        }
        std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
            return a.row != b.row ? a.row < b.row : a.left < b.left;
        });
        std::vector<std::string> rows;
        bool spaceBefore = true;
        size_t lastRow = SIZE_MAX;
        for (const auto& item : placed) {
            if (item.row != lastRow) spaceBefore = true;
            lastRow = item.row;
            if (rows.size() <= item.row) rows.resize(item.row + 1);
            std::string& line = rows[item.row];
            const double wanted = std::round((item.left - left) / advance);
            if (!(wanted >= 0) || wanted >= static_cast<double>(limits.maxColumns)) continue;
            size_t column = static_cast<size_t>(wanted);
            // Overlapping words (a proportional font) keep their order and a blank between them.
            if (!line.empty()) column = std::max(column, line.size() + (spaceBefore ? 1 : 0));
            std::string text;
            for (char32_t c : item.word->text)
                AppendWindows1252(text, c == '\t' || c < 0x20 ? U' ' : c);
            if (column + text.size() > limits.maxColumns) continue;
            line.resize(column, ' ');
            line += text;
            spaceBefore = item.word->spaceAfter;
        }
        for (auto& line : rows) {
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            out += line;
            out += "\r\n";
        }
    }
    return out;
}

} // namespace vvp::textonly
