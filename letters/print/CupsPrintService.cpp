#include "CupsPrintService.h"

#include "FileUtil.h"
#include "PdfPrintService.h"

#include <atomic>
#include <cups/cups.h>
#include <unistd.h>

namespace vvp {
namespace {

class CupsQueues final : public PrintQueues {
public:
    std::vector<PrinterQueue> Queues() override {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        std::vector<PrinterQueue> queues;
        for (int i = 0; i < count; ++i) {
            if (dests[i].instance) continue; // an instance prints on its queue's device
            const char* device = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
            queues.push_back({dests[i].name, device ? device : ""});
        }
        cupsFreeDests(count, dests);
        return queues;
    }

    std::string DefaultQueue() override {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        std::string name;
        if (const cups_dest_t* dest = cupsGetDest(nullptr, nullptr, count, dests)) name = dest->name;
        cupsFreeDests(count, dests);
        return name;
    }

    Result<void> PrintPdf(const std::string& queue, const std::string& pdfPath,
                          const std::string& title) override {
        cups_option_t* options = nullptr;
        int count = cupsAddOption("media", "A4", 0, &options);
        const int job =
            cupsPrintFile2(CUPS_HTTP_DEFAULT, queue.c_str(), pdfPath.c_str(), title.c_str(), count, options);
        cupsFreeOptions(count, options);
        if (job <= 0)
            return Error{"The printer \"" + queue + "\" did not take the job: " + cupsLastErrorString()};
        return Ok();
    }
};

std::atomic<unsigned> g_printNumber{0};

} // namespace

std::unique_ptr<PrintQueues> MakeCupsQueues() {
    return std::make_unique<CupsQueues>();
}

CupsPrintService::CupsPrintService(Hooks hooks, std::unique_ptr<PrintQueues> queues)
    : m_hooks(std::move(hooks)), m_queues(std::move(queues)) {}

VirtualPrinterIdentity CupsPrintService::Identity() const {
    return m_hooks.identity ? m_hooks.identity() : VirtualPrinterIdentity{};
}

void CupsPrintService::Log(const std::string& line) const {
    if (m_hooks.log) m_hooks.log->LogLine(line);
}

std::vector<std::string> CupsPrintService::PrinterNames() {
    std::vector<std::string> names;
    for (auto& queue : m_queues->Queues())
        names.push_back(std::move(queue.name));
    return names;
}

std::string CupsPrintService::DefaultPrinter() {
    return m_queues->DefaultQueue();
}

std::vector<PrinterQueue> CupsPrintService::PrinterQueues() {
    return m_queues->Queues();
}

bool CupsPrintService::HasPrinter(const std::string& name) {
    for (const auto& own : Identity().names)
        if (SamePrinterName(name, own)) return true;
    for (const auto& queue : m_queues->Queues())
        if (SamePrinterName(queue.name, name)) return true;
    return false;
}

std::string CupsPrintService::Usable(const std::vector<PrinterQueue>& queues, const std::string& name) const {
    if (name.empty()) return {};
    const VirtualPrinterIdentity identity = Identity();
    for (const auto& queue : queues)
        if (SamePrinterName(queue.name, name))
            return IsVirtualPrinterQueue(queue, identity) ? std::string() : queue.name;
    return {};
}

Result<void> CupsPrintService::Print(const RtfDocument& document, const std::string& jobTitle,
                                     const std::string& printer) {
    const std::vector<PrinterQueue> queues = m_queues->Queues();
    const std::string wanted = printer.empty() ? m_queues->DefaultQueue() : printer;
    std::string target = Usable(queues, wanted);
    if (target.empty()) {
        if (!m_hooks.choosePrinter) return Error{"There is no printer to print \"" + jobTitle + "\" on"};
        const auto chosen = m_hooks.choosePrinter(jobTitle);
        if (!chosen) return Error{"No printer was chosen for \"" + jobTitle + "\""};
        target = Usable(queues, *chosen);
        if (target.empty()) {
            const PrinterQueue queue = FindPrinterQueue(queues, *chosen);
            if (!chosen->empty() && IsVirtualPrinterQueue(queue, Identity()))
                return Error{"Your Letter printer cannot be the Virtual Printer!"};
            return Error{"The printer \"" + *chosen + "\" is not available"};
        }
    }

    std::string folder = m_hooks.workFolder ? m_hooks.workFolder() : std::string();
    if (folder.empty()) folder = "/tmp/";
    const std::string pdf = IncludeTrailingSeparator(folder) + "vvp-print-" + std::to_string(getpid()) + "-" +
                            std::to_string(++g_printNumber) + ".pdf";
    auto rendered = RenderRtfToPdf(document, jobTitle, pdf);
    if (!rendered) {
        DeleteFileIfExists(pdf);
        return rendered;
    }
    // The scheduler has its own copy once the job is accepted.
    auto printed = m_queues->PrintPdf(target, pdf, jobTitle);
    DeleteFileIfExists(pdf);
    if (printed) Log("Printed \"" + jobTitle + "\" on " + target);
    return printed;
}

} // namespace vvp
