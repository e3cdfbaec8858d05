#pragma once

#include "Folders.h"
#include "PrinterProvisioning.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace vvp {

struct PrinterCommandContext {
    Folders folders;
    std::string registryFile;     // empty: VVP_REGISTRY, else the default settings file
    Platform* platform = nullptr; // empty: printer administration means the CUPS tools on PATH
    PrinterToolLimits limits;
};

// `vvpd printer check|create [--port N] [--name NAME]|list`; args start after "printer". Exit
// status 0 on success, 1 when the printer work failed, 2 for wrong usage.
int RunPrinterCommand(const std::vector<std::string>& args, const PrinterCommandContext& context,
                      std::ostream& out, std::ostream& err);

extern const char* const kPrinterCommandUsage;

} // namespace vvp
