#pragma once

// Printing on the machine's CUPS queues: the document is rendered to PDF (as PdfPrintService
// does) and handed to the scheduler under its job title, on A4. The header is free of Qt.

#include "ActivityLog.h"
#include "PrintService.h"
#include "Result.h"
#include "VirtualPrinterQueue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// The print system: its queues and a way to print a PDF file on one.
class PrintQueues {
public:
    virtual ~PrintQueues() = default;
    virtual std::vector<PrinterQueue> Queues() = 0;
    virtual std::string DefaultQueue() = 0;
    virtual Result<void> PrintPdf(const std::string& queue, const std::string& pdfPath,
                                  const std::string& title) = 0;
};

// The local CUPS scheduler through libcups.
std::unique_ptr<PrintQueues> MakeCupsQueues();

class CupsPrintService final : public PrintService {
public:
    struct Hooks {
        // What makes a queue VVP's own; nothing is ever printed there.
        std::function<VirtualPrinterIdentity()> identity;
        // The print dialog, asked only when a printout is due and the printer given cannot be
        // used; nullopt when cancelled.
        std::function<std::optional<std::string>(const std::string& title)> choosePrinter;
        // Where the rendered PDF waits until the scheduler has taken it.
        std::function<std::string()> workFolder;
        ActivityLog* log = nullptr;
    };

    explicit CupsPrintService(Hooks hooks, std::unique_ptr<PrintQueues> queues = MakeCupsQueues());

    std::vector<std::string> PrinterNames() override;
    std::string DefaultPrinter() override;
    std::vector<PrinterQueue> PrinterQueues() override;
    // VVP's own printer counts as present: a letter printer left at the default name of the
    // virtual printer is no reason for a message on every job.
    bool HasPrinter(const std::string& name) override;
    // An empty printer means the default queue. A printer that is VVP's own or does not exist
    // makes the print dialog come up; a choice that is VVP's own again is refused.
    Result<void> Print(const RtfDocument& document, const std::string& jobTitle,
                       const std::string& printer) override;

private:
    VirtualPrinterIdentity Identity() const;
    // The queue's real name when it exists and is not VVP's own; empty otherwise.
    std::string Usable(const std::vector<PrinterQueue>& queues, const std::string& name) const;
    void Log(const std::string& line) const;

    Hooks m_hooks;
    std::unique_ptr<PrintQueues> m_queues;
};

} // namespace vvp
