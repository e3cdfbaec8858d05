#pragma once

#include "Result.h"

#include <string>
#include <vector>

namespace vvp {

class RtfDocument; // letters/RtfDocument.h

// A print queue as the print system names it, and where it sends its jobs ("socket://host:port"
// for a raw TCP printer); the device is empty when unknown.
struct PrinterQueue {
    std::string name;
    std::string deviceUri;
};

// Printers and printing of rich-text documents.
class PrintService {
public:
    virtual ~PrintService() = default;
    virtual std::vector<std::string> PrinterNames() = 0;
    virtual std::string DefaultPrinter() = 0;
    // Prints the document under the job title on the named printer.
    virtual Result<void> Print(const RtfDocument& document, const std::string& jobTitle,
                               const std::string& printer) = 0;

    virtual std::vector<PrinterQueue> PrinterQueues() {
        std::vector<PrinterQueue> queues;
        for (auto& name : PrinterNames())
            queues.push_back({std::move(name), {}});
        return queues;
    }

    virtual bool HasPrinter(const std::string& name) {
        for (const auto& p : PrinterNames())
            if (p == name) return true;
        return false;
    }
};

// A machine without printers: every print is refused with a clear error.
class NullPrintService final : public PrintService {
public:
    std::vector<std::string> PrinterNames() override { return {}; }
    std::string DefaultPrinter() override { return {}; }
    Result<void> Print(const RtfDocument&, const std::string& jobTitle, const std::string&) override {
        return Error{"No printer is available to print \"" + jobTitle + "\""};
    }
};

} // namespace vvp
