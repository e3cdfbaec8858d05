#include "VvpdCommands.h"

#include "FileUtil.h"
#include "PrinterCommand.h"
#include "VvpdRuntime.h"
#include "VvpdService.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

#ifndef VVP_VERSION
#define VVP_VERSION "0.0.0"
#endif

namespace vvp {
namespace {

const char* const kUsage =
    "Usage: vvpd [options] [command]\n"
    "\n"
    "Vocanet Virtual Printer, headless service and tools.\n"
    "\n"
    "Commands:\n"
    "  run (or no command)   the service: listens on the Port setting for print jobs and\n"
    "                        peer requests until SIGINT or SIGTERM, then stops accepting,\n"
    "                        finishes the jobs in hand and exits 0; SIGHUP reads the settings\n"
    "                        again; activity log lines on stdout; exit 1 when the port\n"
    "                        cannot be used\n"
    "  settings              print every stored setting as Name=value\n"
    "  set NAME VALUE        store one setting (Booleans 0/1) and save\n"
    "  convert [--peer ADDR] JOBFILE...\n"
    "                        handle each file as a print job received from ADDR\n"
    "                        (default 127.0.0.1); exit 1 when a job was refused,\n"
    "                        not recognised or could not be stored\n"
    "  printer check         make sure a CUPS queue sends to the Port setting, creating one named\n"
    "                        after PortName when none does; lists the queues that do\n"
    "  printer create [--port N] [--name NAME]\n"
    "                        create the CUPS queue NAME (default: PortName) sending to\n"
    "                        127.0.0.1:N (default: Port); an existing queue is never changed\n"
    "  printer list          the raw socket ports of the CUPS queues and the queues on Port\n"
    "  jobs                  the held jobs: why each waits and when it is tried next\n"
    "  retry [ID]            try a held job (all without ID) again now: the running service\n"
    "                        does it, or this command when none runs\n"
    "  discard ID            remove a held job and its spool file\n"
    "  reload                the running service reads its settings again (as SIGHUP does)\n"
    "  status                whether a service runs for these folders, its port, mode, held\n"
    "                        jobs and last error; exit 3 when none runs\n"
    "\n"
    "Options (every command):\n"
    "  --program-folder DIR  program folder (default: VVP_PROGRAM_FOLDER, else when installed\n"
    "                        $XDG_DATA_HOME/vvp or ~/.local/share/vvp, else the folder of vvpd)\n"
    "  --registry FILE       settings file (default: VVP_REGISTRY, else\n"
    "                        $XDG_CONFIG_HOME/vvp/registry.reg or ~/.config/vvp/registry.reg)\n"
    "  --answers FILE        answers for prompts, lines KEY=ANSWER\n"
    "  --help, --version\n";

} // namespace

bool ParseVvpdOptions(int argc, char** argv, VvpdOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                error = "option " + a + " needs a value";
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (a == "--program-folder") {
            if (!value(options.programFolder)) return false;
        } else if (a == "--registry") {
            if (!value(options.registryFile)) return false;
        } else if (a == "--answers") {
            if (!value(options.answersFile)) return false;
        } else if (a == "--peer") {
            if (!value(options.peer)) return false;
        } else if (a.size() > 2 && a.rfind("--", 0) == 0 && a != "--help" && a != "--version" &&
                   !(!options.args.empty() && options.args[0] == "printer")) { // its own options
            error = "unknown option " + a;
            return false;
        } else {
            options.args.push_back(a);
        }
    }
    return true;
}

int RunSettingsCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    VvpdRuntime rt(options, err);
    auto loaded = rt.Start(StartMode::Settings);
    for (const auto& problem : loaded->problems)
        err << "vvpd: " << problem << "\n";
    for (const auto& field : RegFields())
        out << field.name << "=" << DisplayValue(field, loaded->values) << "\n";
    return 0;
}

int RunSetCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    if (options.args.size() != 3) {
        err << "vvpd: usage: vvpd set NAME VALUE\n";
        return 2;
    }
    const RegField* field = FindRegField(options.args[1]);
    if (!field) {
        err << "vvpd: unknown setting \"" << options.args[1] << "\"; known settings:";
        for (const auto& f : RegFields())
            err << " \"" << f.name << "\"";
        err << "\n";
        return 2;
    }
    auto value = ParseUserValue(*field, options.args[2]);
    VvpdRuntime rt(options, err);
    (void)rt.Start(StartMode::Settings);
    KXPrintHandler& engine = rt.Engine();
    bool accepted = false;
    if (value) engine.Settings().Update([&](VNPTRRegValues& v) { accepted = field->set(v, *value); });
    if (!accepted) {
        err << "vvpd: \"" << options.args[2] << "\" is not a valid value for \"" << field->name << "\"\n";
        return 2;
    }
    if (auto r = engine.SaveSettings(); !r) {
        err << "vvpd: " << r.error().message << "\n";
        return 1;
    }
    out << field->name << "=" << DisplayValue(*field, engine.Settings().Get()) << "\n";
    return 0;
}

int RunConvertCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    if (options.args.size() < 2) {
        err << "vvpd: usage: vvpd convert [--peer ADDR] JOBFILE...\n";
        return 2;
    }
    VvpdRuntime rt(options, out);
    if (!rt.StartForJobs(err)) return 2;
    bool allDealtWith = true;
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& file = options.args[i];
        auto bytes = ReadWholeFile(file);
        if (!bytes) {
            err << "vvpd: " << bytes.error().message << "\n";
            allDealtWith = false;
            continue;
        }
        if (!rt.Engine().SubmitJob(options.peer, *bytes).DealtWith()) allDealtWith = false;
    }
    return allDealtWith ? 0 : 1;
}

int VvpdMain(int argc, char** argv) {
    // A file size limit (ulimit -f) makes the write fail and the job stay; the signal would end us.
    std::signal(SIGXFSZ, SIG_IGN);
    VvpdOptions options;
    std::string error;
    if (!ParseVvpdOptions(argc, argv, options, error)) {
        std::cerr << "vvpd: " << error << "\n" << kUsage;
        return 2;
    }
    const std::string command = options.args.empty() ? std::string("run") : options.args[0];
    if (command == "--help" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "vvpd " << VVP_VERSION << "\n";
        return 0;
    }
    if (command == "run") return RunServiceCommand(options, std::cerr);
    if (command == "settings") return RunSettingsCommand(options, std::cout, std::cerr);
    if (command == "set") return RunSetCommand(options, std::cout, std::cerr);
    if (command == "convert") return RunConvertCommand(options, std::cout, std::cerr);
    if (command == "jobs") return RunJobsCommand(options, std::cout, std::cerr);
    if (command == "retry") return RunRetryCommand(options, std::cout, std::cerr);
    if (command == "discard") return RunDiscardCommand(options, std::cout, std::cerr);
    if (command == "reload") return RunReloadCommand(options, std::cout, std::cerr);
    if (command == "status") return RunStatusCommand(options, std::cout, std::cerr);
    if (command == "printer")
        return RunPrinterCommand({options.args.begin() + 1, options.args.end()},
                                 {ResolveFolders(options.programFolder), options.registryFile, nullptr, {}},
                                 std::cout, std::cerr);
    std::cerr << "vvpd: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
}

} // namespace vvp
