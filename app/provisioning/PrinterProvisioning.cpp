#include "PrinterProvisioning.h"

#include "FileUtil.h"
#include "Folders.h"
#include "PrinterReports.h"
#include "ScriptRunner.h"
#include "TextLines.h"

#include <cctype>
#include <cstdlib>
#include <unistd.h>

namespace vvp {
namespace {

const char* const kCaption = "Vocanet Virtual Printer";
const char* const kPortCaption = "Create Vocanet Printer: TCP Port Number";
const char* const kNameCaption = "Create Vocanet Printer: Port Name";
const char* const kChangeCaption = "Change Printer Port";
const char* const kCreatedText = "Printer Created successfully";
const char* const kCreateFailedText = "There was a problem creating the Printer object.";
const char* const kPpdName = "vvp-textonly.ppd";

// "a\r\nb\r\n" as "a, b".
std::string CommaList(const std::string& lines) {
    std::string out;
    for (char c : lines) {
        if (c == '\r') continue;
        if (c == '\n')
            out += ", ";
        else
            out += c;
    }
    return out.size() >= 2 ? out.substr(0, out.size() - 2) : out;
}

std::string WithoutBlanks(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t') out += c;
    return out;
}

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin";
    std::string::size_type start = 0;
    while (start <= dirs.size()) {
        auto end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty()) dir = ".";
        if (::access((dir + "/" + tool).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

} // namespace

bool CupsAdministrationAvailable() {
    return OnPath("lpadmin") && OnPath("lpstat");
}

PrinterProvisioning::PrinterProvisioning(Services services, PrinterToolLimits limits)
    : m_services(std::move(services)), m_limits(limits) {
    m_services.tempFolder = IncludeTrailingSeparator(m_services.tempFolder);
}

void PrinterProvisioning::Log(const std::string& text) const {
    if (m_services.log) m_services.log(text);
}

void PrinterProvisioning::LogReport(const std::string& report) const {
    std::string::size_type start = 0;
    while (start < report.size()) {
        auto end = report.find('\n', start);
        if (end == std::string::npos) end = report.size();
        std::string line = report.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) Log("  " + line);
        start = end + 1;
    }
}

std::string PrinterProvisioning::FindFile(const std::string& name) const {
    std::vector<std::string> folders = m_services.scriptFolders;
    // Installed, the scripts live in the package's library folder and the PPD among CUPS's PPDs.
    if (const std::string prefix = InstalledPrefix(); !prefix.empty()) {
        folders.push_back(prefix + "lib/vvp/");
        folders.push_back(prefix + "share/ppd/vvp/");
    }
    for (const auto& folder : folders)
        if (!folder.empty() && FileExists(IncludeTrailingSeparator(folder) + name))
            return IncludeTrailingSeparator(folder) + name;
    return {};
}

std::string PrinterProvisioning::CreatePrinter(int32_t port, const std::string& name) {
    if (!Available()) return {};
    auto fail = [&](const std::string& why) {
        Log("Printer creation failed: " + why);
        m_services.prompter.Show(kCaption, kCreateFailedText, Icon::Error);
        return std::string("ERROR");
    };
    if (const std::string problem = PrinterNameProblem(name); !problem.empty())
        return fail("\"" + name + "\" cannot be a printer name: " + problem);
    if (!IsTcpPort(port)) return fail(std::to_string(port) + " is not a port number (1 to 65535)");
    const std::string script = FindFile(kCreateScript.script);
    const std::string ppd = FindFile(kPpdName);
    if (script.empty() || ppd.empty())
        return fail(std::string(script.empty() ? kCreateScript.script : kPpdName) +
                    " was not found beside the program");

    Log("Creating printer " + name + " on socket://127.0.0.1:" + std::to_string(port));
    const ToolRun run = RunToReport({"/bin/sh", script, name, std::to_string(port), ppd},
                                    m_services.tempFolder, kCreateScript.report, m_limits.create);
    if (!run.problem.empty()) Log(run.problem);
    const auto result = run.finished ? CreationResultFromReport(run.report) : std::nullopt;
    if (result && *result == "OK" && run.exitStatus == 0) {
        m_services.prompter.Show(kCaption, kCreatedText, Icon::Information);
        return "OK";
    }
    LogReport(run.report);
    if (!run.finished) Log("The printer creation did not finish in time and was stopped");
    return fail("see the report above");
}

std::string PrinterProvisioning::ListPorts() {
    if (!Available()) return {};
    const std::string script = FindFile(kPortListScript.script);
    if (script.empty()) {
        Log(std::string(kPortListScript.script) + " was not found beside the program");
        return {};
    }
    const ToolRun run =
        RunToReport({"/bin/sh", script}, m_services.tempFolder, kPortListScript.report, m_limits.listPorts);
    if (!run.problem.empty()) Log(run.problem);
    if (!run.finished) Log("Listing the printer ports did not finish in time and was stopped");
    // What the tools said besides the records ("Scheduler is not running", ...).
    std::string::size_type start = 0;
    while (start < run.report.size()) {
        auto end = run.report.find('\n', start);
        if (end == std::string::npos) end = run.report.size();
        const std::string line = run.report.substr(start, end - start);
        bool record = line.empty() || line.find(kPortListScript.marker) != std::string::npos;
        for (const char* label : {"Server name", "Port name", "Host address", "Port number"})
            record = record || line.rfind(label, 0) == 0;
        if (!record) Log(line);
        start = end + 1;
    }
    return ParsePortList(run.report);
}

std::vector<std::string> PrinterProvisioning::PrinterNames() {
    std::vector<std::string> names;
    if (!Available()) return names;
    const ToolRun run =
        RunToReport({"lpstat", "-e"}, m_services.tempFolder, "PTRNAMES.txt", m_limits.listPrinters);
    if (!run.finished || run.exitStatus != 0) return names;
    std::string::size_type start = 0;
    while (start < run.report.size()) {
        auto end = run.report.find('\n', start);
        if (end == std::string::npos) end = run.report.size();
        std::string line = run.report.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Instances ("queue/instance") share their queue's device.
        if (!line.empty() && line.find_first_of(" \t/") == std::string::npos) names.push_back(line);
        start = end + 1;
    }
    return names;
}

std::string PrinterProvisioning::FindPrintersForPort(const std::string& portValue) {
    std::string result;
    if (!Available()) return result;
    const std::string script = FindFile(kPrinterInfoScript.script);
    if (script.empty()) {
        Log(std::string(kPrinterInfoScript.script) + " was not found beside the program");
        return result;
    }
    for (const auto& printer : PrinterNames()) {
        if (printer.rfind("\\\\", 0) == 0 || AsciiLower(printer).find("(from ") != std::string::npos)
            continue;
        const ToolRun run = RunToReport({"/bin/sh", script, printer}, m_services.tempFolder,
                                        kPrinterInfoScript.report, m_limits.printerInfo);
        if (InfoReportUsesPort(run.report, portValue)) result += printer + "\r\n";
    }
    return result;
}

std::string PrinterProvisioning::CheckPrinter() {
    const VNPTRRegValues values = m_services.settings.Get();
    const std::string portValue = LookupPortValue(ListPorts(), values.Port);
    std::string result = Available() ? "OK" : "";
    if (portValue.empty()) {
        if (Available())
            Log("No printer sends to port " + std::to_string(values.Port) + "; creating " + values.PortName);
        result = CreatePrinter(values.Port, values.PortName);
        m_services.settings.Update([&](VNPTRRegValues& v) { v.PrinterListText = values.PortName; });
    } else if (values.PrinterListText.empty()) {
        const std::string printers = FindPrintersForPort(portValue);
        m_services.settings.Update([&](VNPTRRegValues& v) { v.PrinterListText = printers; });
        Log("Printers on port " + std::to_string(values.Port) + ": " +
            (printers.empty() ? std::string("none found") : CommaList(printers)));
    }
    if (m_services.saveSettings) {
        if (auto saved = m_services.saveSettings(); !saved) Log(saved.error().message);
    }
    return result;
}

void PrinterProvisioning::CheckPrinterAtLoad() {
    if (!Available()) return;
    // Nobody asked for this check: without a scheduler to talk to it would only end in a box at
    // every start.
    const ToolRun scheduler =
        RunToReport({"lpstat", "-r"}, m_services.tempFolder, "SCHEDULER.txt", m_limits.listPrinters);
    if (!scheduler.finished || scheduler.report.find("scheduler is running") == std::string::npos) {
        Log("No CUPS scheduler answers; the printer check is left until one does.");
        return;
    }
    for (const auto& name : PrinterNames())
        if (AsciiLower(name) == "vocanet") return;
    CheckPrinter();
}

std::string PrinterProvisioning::CreateVocanetPrinter() {
    const auto asked = AskVocanetPrinter();
    return asked ? CreatePrinter(asked->port, asked->name) : std::string();
}

std::optional<PrinterProvisioning::NewPrinter> PrinterProvisioning::AskVocanetPrinter() {
    if (!Available()) return std::nullopt;
    int32_t port = 0;
    for (;;) {
        auto answer = m_services.prompter.Input(kPortCaption, "Enter a number between 9100 and 9200", "9105");
        // Cancel ends the operation as an empty answer does.
        if (!answer || answer->empty()) return std::nullopt;
        // Any whole number is taken, as long as it can be a TCP port.
        if (auto n = ParseWholeNumber(*answer); n && IsTcpPort(*n)) {
            port = static_cast<int32_t>(*n);
            break;
        }
    }
    std::string name;
    for (;;) {
        auto answer = m_services.prompter.Input(
            kNameCaption, "Enter a name for the port (must be unique on this computer)", "Vocanet2");
        if (!answer || answer->empty()) return std::nullopt;
        name = WithoutBlanks(*answer);
        if (name.empty()) continue;
        if (const std::string problem = PrinterNameProblem(name); !problem.empty()) {
            m_services.prompter.Show(kNameCaption, "\"" + name + "\" cannot be used: " + problem + ".",
                                     Icon::Warning);
            continue;
        }
        break;
    }
    return NewPrinter{port, name};
}

std::string PrinterProvisioning::ChangePortManually(const std::string& editText,
                                                    const RestartListener& restart) {
    const int32_t oldPort = m_services.settings.Get().Port;
    const Answer answer = m_services.prompter.Message(
        {kChangeCaption,
         "Are you certain you want to manually change the printer port?\r\n You must have a Windows Printer "
         "configured for use with the new port \r\nbefore VVP can accept jobs.",
         Buttons::YesNo, Icon::Stop});
    if (answer != Answer::Yes) return std::to_string(oldPort);

    int32_t newPort = oldPort;
    if (auto n = ParseWholeNumber(editText)) {
        if (IsTcpPort(*n)) {
            newPort = static_cast<int32_t>(*n);
        } else {
            // A port no socket can have would be saved and fail at every start.
            m_services.prompter.Show(kChangeCaption,
                                     std::to_string(*n) +
                                         " is not a port number (1 to 65535); the printer port stays " +
                                         std::to_string(oldPort) + ".",
                                     Icon::Warning);
        }
    }
    int32_t listening = newPort;
    if (auto started = restart(newPort); !started) {
        listening = oldPort;
        if (newPort != oldPort) {
            m_services.prompter.Show(kChangeCaption,
                                     "VVP cannot listen on port " + std::to_string(newPort) + ": " +
                                         started.error().message + "\r\nIt goes back to port " +
                                         std::to_string(oldPort) + ".",
                                     Icon::Error);
            if (auto back = restart(oldPort); !back)
                Log("Listening on port " + std::to_string(oldPort) +
                    " again failed: " + back.error().message);
        }
    }
    m_services.settings.Update([&](VNPTRRegValues& v) { v.Port = listening; });
    if (m_services.saveSettings) {
        if (auto saved = m_services.saveSettings(); !saved) Log(saved.error().message);
    }
    return std::to_string(listening);
}

} // namespace vvp
