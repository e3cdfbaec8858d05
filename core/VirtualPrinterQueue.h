#pragma once

#include "PrintService.h"
#include "Settings.h"

#include <string>
#include <vector>

namespace vvp {

// What makes a print queue VVP's own: its name, or a raw socket device aimed at our port on this
// machine. Printing into it would feed the printout back to ourselves.
struct VirtualPrinterIdentity {
    std::vector<std::string> names; // compared without regard to letter case, as CUPS does
    int port = 0;
    std::vector<std::string> localHostNames; // besides the loopback addresses
};

// From the settings: PortName and each line of PrinterListText, the Port, and this machine's name.
VirtualPrinterIdentity VirtualPrinterIdentityFrom(const VNPTRRegValues& values);

bool SamePrinterName(const std::string& a, const std::string& b);
bool IsVirtualPrinterQueue(const PrinterQueue& queue, const VirtualPrinterIdentity& identity);

// The queue of that name among queues (letter case ignored); its device is empty when not listed.
PrinterQueue FindPrinterQueue(const std::vector<PrinterQueue>& queues, const std::string& name);

} // namespace vvp
