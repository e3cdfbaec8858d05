#include "PrinterCommand.h"

#include "FileUtil.h"
#include "PrinterReports.h"
#include "RegistryStore.h"
#include "Settings.h"

#include <cstdlib>
#include <ostream>

namespace vvp {

const char* const kPrinterCommandUsage =
    "  printer check         make sure a CUPS queue sends to the Port setting, creating one named\n"
    "                        after PortName when none does; lists the queues that do\n"
    "  printer create [--port N] [--name NAME]\n"
    "                        create the CUPS queue NAME (default: PortName) sending to\n"
    "                        127.0.0.1:N (default: Port); an existing queue is never changed\n"
    "  printer list          the raw socket ports of the CUPS queues and the queues on Port\n";

namespace {

// Messages become lines; nothing is asked.
class ConsolePrompter final : public Prompter {
public:
    ConsolePrompter(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}
    Answer Message(const MessageRequest& request) override {
        (request.icon == Icon::Error ? m_err : m_out) << Flat(request.text) << "\n";
        return HeadlessPrompter::DefaultAnswer(request);
    }
    std::optional<std::string> Input(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::string BrowseFolder(const std::string&) override { return {}; }
    std::optional<std::string> ChoosePrinter(const std::string&) override { return std::nullopt; }
    std::optional<std::string> Dialog(const std::string&, const std::string&,
                                      const std::optional<std::string>&) override {
        return std::nullopt;
    }

private:
    static std::string Flat(std::string text) {
        std::string out;
        for (char c : text)
            if (c != '\r') out += c;
        return out;
    }
    std::ostream& m_out;
    std::ostream& m_err;
};

void PrintLines(std::ostream& out, const std::string& crlfLines) {
    for (char c : crlfLines)
        if (c != '\r') out << c;
}

} // namespace

int RunPrinterCommand(const std::vector<std::string>& args, const PrinterCommandContext& context,
                      std::ostream& out, std::ostream& err) {
    const std::string sub = args.empty() ? std::string() : args[0];
    std::optional<int64_t> port;
    std::optional<std::string> name;
    for (size_t i = 1; i < args.size(); ++i) {
        if (sub == "create" && (args[i] == "--port" || args[i] == "--name") && i + 1 < args.size()) {
            if (args[i] == "--port") {
                port = ParseWholeNumber(args[++i]);
                if (!port || !IsTcpPort(*port)) {
                    err << "vvpd: \"" << args[i] << "\" is not a port number (1 to 65535)\n";
                    return 2;
                }
            } else {
                name = args[++i];
            }
            continue;
        }
        err << "vvpd: unexpected \"" << args[i] << "\"\nUsage:\n" << kPrinterCommandUsage;
        return 2;
    }
    if (sub != "check" && sub != "create" && sub != "list") {
        err << "vvpd: usage:\n" << kPrinterCommandUsage;
        return 2;
    }
    if (name) {
        if (const std::string problem = PrinterNameProblem(*name); !problem.empty()) {
            err << "vvpd: \"" << *name << "\" cannot be a printer name: " << problem << "\n";
            return 2;
        }
    }

    CupsToolsPlatform cups;
    Platform& platform = context.platform ? *context.platform : cups;
    if (!platform.PrinterAdministrationAvailable()) {
        err << "vvpd: printer administration is not available: lpadmin and lpstat (packages cups-client, "
               "cups) were not found on PATH\n";
        return 1;
    }

    if (!DirectoryExists(context.folders.temp)) (void)ForceDirectories(context.folders.temp);
    const char* env = std::getenv("VVP_REGISTRY");
    RegFileStore registry(!context.registryFile.empty() ? context.registryFile
                          : env && *env                 ? std::string(env)
                                                        : RegFileStore::DefaultPath());
    LoadOutcome loaded = LoadRegValues(registry, context.folders);
    for (const auto& problem : loaded.problems)
        err << "vvpd: " << problem << "\n";
    SettingsHolder settings;
    settings.Set(loaded.values);

    ConsolePrompter prompter(out, err);
    PrinterProvisioning printers(
        {platform,
         prompter,
         settings,
         [&]() -> Result<void> {
             StringList info = ReadInfoFile(context.folders).value_or(DefaultInfoLines(context.folders));
             return SaveRegValues(registry, settings.Get(), info, context.folders);
         },
         context.folders.temp,
         {RunningProgramFolder(), context.folders.program},
         [&err](const std::string& line) { err << line << "\n"; }},
        context.limits);

    const VNPTRRegValues values = settings.Get();
    if (sub == "create") {
        const int32_t createPort = port ? static_cast<int32_t>(*port) : values.Port;
        const std::string result = printers.CreatePrinter(createPort, name ? *name : values.PortName);
        if (result == "OK" && createPort != values.Port)
            out << "vvpd listens on port " << values.Port
                << " (the Port setting): change it with vvpd set Port " << createPort << "\n";
        return result == "OK" ? 0 : 1;
    }
    if (sub == "check") {
        const std::string result = printers.CheckPrinter();
        out << "Printers sending to port " << values.Port << ":\n";
        PrintLines(out, settings.Get().PrinterListText);
        if (!settings.Get().PrinterListText.empty() && settings.Get().PrinterListText.back() != '\n')
            out << "\n";
        return result == "OK" ? 0 : 1;
    }
    const std::string ports = printers.ListPorts();
    out << "Ports (number=port name,host):\n";
    PrintLines(out, ports);
    const std::string value = LookupPortValue(ports, values.Port);
    if (value.empty()) {
        out << "No printer sends to port " << values.Port
            << " (the Port setting); vvpd printer create makes one.\n";
    } else {
        out << "Printers sending to port " << values.Port << " (the Port setting):\n";
        PrintLines(out, printers.FindPrintersForPort(value));
    }
    return 0;
}

} // namespace vvp
