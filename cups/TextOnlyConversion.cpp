#include "TextOnlyConversion.h"

#include "Windows1252.h"

#include <cctype>

namespace vvp::textonly {

std::optional<DocumentKind> DetectDocumentKind(const std::string& contentType, const std::string& document) {
    std::string type;
    for (char c : contentType.substr(0, contentType.find(';')))
        if (c != ' ' && c != '\t') type += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (type == "text/plain") return DocumentKind::PlainText;
    // Readers accept the header anywhere in the first kilobyte.
    if (document.substr(0, 1024).find("%PDF-") != std::string::npos) return DocumentKind::Pdf;
    return std::nullopt;
}

Result<std::string> ConvertToTextOnly(const std::string& document, DocumentKind kind,
                                      const ConversionLimits& limits) {
    if (document.size() > limits.maxInputBytes)
        return Error{"the document is larger than " + std::to_string(limits.maxInputBytes >> 20) + " MB"};
    if (kind == DocumentKind::PlainText) return PlainTextToWindows1252(document);
    auto pages = ReadPdfWords(document, limits.pdf);
    if (!pages) return pages.error();
    return LayOutOnGrid(*pages, limits.grid);
}

} // namespace vvp::textonly
