#pragma once

#include "PdfWords.h"
#include "Result.h"
#include "TextGrid.h"

#include <optional>
#include <string>

namespace vvp::textonly {

enum class DocumentKind { PlainText, Pdf };

// The document kinds we take, by MIME type (parameters such as "; charset=..." ignored).
std::optional<DocumentKind> KindOfContentType(const std::string& contentType);

struct ConversionLimits {
    size_t maxInputBytes = 64u << 20;
    PdfLimits pdf;
    GridLimits grid;
};

// What the Windows "Generic / Text Only" driver sends for the document: its text in
// Windows-1252 with CR LF line ends, pages separated by form feeds. Independent of how the
// filter is hosted (CUPS filter, printer application).
Result<std::string> ConvertToTextOnly(const std::string& document, DocumentKind kind,
                                      const ConversionLimits& limits = {});

} // namespace vvp::textonly
