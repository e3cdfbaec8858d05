#pragma once

// Printing to PDF files in a folder: for tests, and for an installation without printers.
// The header is free of Qt; the rendering behind it uses Qt Gui offscreen.

#include "ActivityLog.h"
#include "PrintService.h"
#include "Result.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

class RtfDocument;

// Renders the document on A4 pages into a PDF file (fonts, sizes, bold, italic, underline,
// colours, alignment, indents, tab stops, paragraph spacing, line and paragraph breaks).
Result<void> RenderRtfToPdf(const RtfDocument& document, const std::string& title, const std::string& path);

// The PDF file name for a job title: characters outside letters, digits, blank and ".,-_()+&"
// become "_", at most 100 characters, "Printout" when nothing is left; ".pdf" appended.
std::string PdfFileName(const std::string& jobTitle);

// One printer, named kPrinterName unless told otherwise; every print becomes a PDF file in the
// folder the source names at print time (created when missing), named after the job title and
// numbered " (2)", " (3)", ... rather than replacing an earlier printout.
class PdfPrintService final : public PrintService {
public:
    static constexpr const char* kPrinterName = "PDF";
    using FolderSource = std::function<std::string()>;

    // Creates an offscreen Qt Gui application when the process has none: construct it on the
    // main thread.
    explicit PdfPrintService(FolderSource folder, std::string printerName = kPrinterName,
                             ActivityLog* log = nullptr);

    std::vector<std::string> PrinterNames() override { return {m_printerName}; }
    std::string DefaultPrinter() override { return m_printerName; }
    // Refuses printers other than its own (an empty name means its own).
    Result<void> Print(const RtfDocument& document, const std::string& jobTitle,
                       const std::string& printer) override;

    // Where printouts are logged; set before the first print.
    void SetLog(ActivityLog* log) { m_log = log; }

    // The file the last successful print wrote.
    std::string LastFile() const;

private:
    FolderSource m_folder;
    std::string m_printerName;
    ActivityLog* m_log;
    mutable std::mutex m_mutex;
    std::string m_lastFile;
};

} // namespace vvp
