#pragma once

#include "PdfWords.h"
#include "Result.h"
#include "TextGrid.h"

#include <optional>
#include <string>

namespace vvp::textonly {

enum class DocumentKind { PlainText, Pdf };

// What the document is: plain text when its MIME type says so (parameters such as
// "; charset=..." ignored), else a PDF when it looks like one. CUPS names the type of the job's
// document, not of the input of the last filter: PostScript arrives here converted to PDF.
std::optional<DocumentKind> DetectDocumentKind(const std::string& contentType, const std::string& document);

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
