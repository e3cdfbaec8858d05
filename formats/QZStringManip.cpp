#include "QZStringManip.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace vvp {

std::string StrBefore(const std::string& text, const std::string& marker) {
    if (marker.empty()) return text;
    auto p = text.find(marker);
    return p == std::string::npos ? text : text.substr(0, p);
}

std::string StrAfter(const std::string& text, const std::string& marker) {
    if (marker.empty()) return {};
    auto p = text.find(marker);
    return p == std::string::npos ? std::string() : text.substr(p + marker.size());
}

std::string StrBetween(const std::string& text, const std::string& first, const std::string& second) {
    return StrBefore(StrAfter(text, first), second);
}

int StrCount(const std::string& text, const std::string& marker) {
    if (marker.empty()) return 0;
    int n = 0;
    for (auto p = text.find(marker); p != std::string::npos; p = text.find(marker, p + marker.size()))
        ++n;
    return n;
}

std::string StrStrip(const std::string& text, const std::string& characters) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (characters.find(c) == std::string::npos) out += c;
    return out;
}

std::string StrReplace(const std::string& text, const std::string& search, const std::string& replacement) {
    if (search.empty()) return text;
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (auto p = text.find(search); p != std::string::npos; p = text.find(search, pos)) {
        out.append(text, pos, p - pos);
        out += replacement;
        pos = p + search.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

std::string StrField(const std::string& text, char delimiter, int index) {
    if (index < 1 || text.empty() || delimiter == '\0') return {};
    size_t start = 0;
    for (int i = 1; i < index; ++i) {
        auto p = text.find(delimiter, start);
        if (p == std::string::npos) return {};
        start = p + 1;
    }
    auto end = text.find(delimiter, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string UpperCase(std::string text) {
    for (auto& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

std::string LowerCase(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

namespace {
bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
} // namespace

std::string Trim(const std::string& text) {
    return TrimLeft(TrimRight(text));
}

std::string TrimLeft(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsTrimmed(text[i]))
        ++i;
    return text.substr(i);
}

std::string TrimRight(const std::string& text) {
    size_t n = text.size();
    while (n > 0 && IsTrimmed(text[n - 1]))
        --n;
    return text.substr(0, n);
}

std::string ReplaceAllNoCase(const std::string& text, const std::string& search,
                             const std::string& replacement) {
    if (search.empty()) return text;
    const std::string lowerText = LowerCase(text), lowerSearch = LowerCase(search);
    std::string out;
    size_t pos = 0;
    for (auto p = lowerText.find(lowerSearch); p != std::string::npos; p = lowerText.find(lowerSearch, pos)) {
        out.append(text, pos, p - pos);
        out += replacement;
        pos = p + search.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

bool ContainsText(const std::string& text, const std::string& part) {
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

bool StartsText(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && LowerCase(text.substr(0, prefix.size())) == LowerCase(prefix);
}

bool SameText(const std::string& a, const std::string& b) {
    return LowerCase(a) == LowerCase(b);
}

std::optional<int> StrToIntOpt(const std::string& text) {
    // Leading blanks are skipped and a sign allowed, as the platform's conversion did.
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        int d;
        char c = text[i];
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            d = std::tolower(c) - 'a' + 10;
        else
            return std::nullopt;
        value = value * base + d;
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return static_cast<int>(value);
}

int StrToIntDef(const std::string& text, int fallback) {
    return StrToIntOpt(text).value_or(fallback);
}

std::string PadTo(const std::string& text, size_t n) {
    std::string out = text.substr(0, n);
    out.resize(n, ' ');
    return out;
}

} // namespace vvp
