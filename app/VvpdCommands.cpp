#include "VvpdCommands.h"

#include "FileUtil.h"
#include "KXPrintHandler.h"

#include <cstdlib>
#include <iostream>

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
    "  settings              print every stored setting as Name=value\n"
    "  set NAME VALUE        store one setting (Booleans 0/1) and save\n"
    "\n"
    "Options (every command):\n"
    "  --program-folder DIR  program folder (default: VVP_PROGRAM_FOLDER, else the folder of vvpd)\n"
    "  --registry FILE       settings file (default: VVP_REGISTRY, else\n"
    "                        $XDG_CONFIG_HOME/vvp/registry.reg or ~/.config/vvp/registry.reg)\n"
    "  --answers FILE        answers for prompts, lines KEY=ANSWER\n"
    "  --help, --version\n";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

struct Runtime {
    explicit Runtime(const VvpdOptions& options)
        : folders(ResolveFolders(options.programFolder)),
          registry(options.registryFile.empty() ? EnvOr("VVP_REGISTRY", RegFileStore::DefaultPath())
                                                : options.registryFile),
          log(clock), prompter(&std::cout),
          handler({clock, log, prompter, printService, registry, events, folders}) {}

    Folders folders;
    RegFileStore registry;
    SystemClock clock;
    ActivityLog log;
    HeadlessPrompter prompter;
    NullPrintService printService;
    EngineEvents events;
    KXPrintHandler handler;
};

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
        } else if (a.size() > 2 && a.rfind("--", 0) == 0 && a != "--help" && a != "--version") {
            error = "unknown option " + a;
            return false;
        } else {
            options.args.push_back(a);
        }
    }
    return true;
}

int RunSettingsCommand(const VvpdOptions& options, std::ostream& out, std::ostream& err) {
    Runtime rt(options);
    LoadOutcome loaded = rt.handler.LoadSettings();
    for (const auto& problem : loaded.problems) err << "vvpd: " << problem << "\n";
    for (const auto& field : RegFields()) out << field.name << "=" << DisplayValue(field, loaded.values) << "\n";
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
        for (const auto& f : RegFields()) err << " \"" << f.name << "\"";
        err << "\n";
        return 2;
    }
    auto value = ParseUserValue(*field, options.args[2]);
    Runtime rt(options);
    rt.handler.PrepareStartup(false);
    rt.handler.LoadSettings();
    bool accepted = false;
    if (value) rt.handler.Settings().Update([&](VNPTRRegValues& v) { accepted = field->set(v, *value); });
    if (!accepted) {
        err << "vvpd: \"" << options.args[2] << "\" is not a valid value for \"" << field->name << "\"\n";
        return 2;
    }
    if (auto r = rt.handler.SaveSettings(); !r) {
        err << "vvpd: " << r.error().message << "\n";
        return 1;
    }
    out << field->name << "=" << DisplayValue(*field, rt.handler.Settings().Get()) << "\n";
    return 0;
}

int VvpdMain(int argc, char** argv) {
    VvpdOptions options;
    std::string error;
    if (!ParseVvpdOptions(argc, argv, options, error)) {
        std::cerr << "vvpd: " << error << "\n" << kUsage;
        return 2;
    }
    const std::string command = options.args.empty() ? std::string() : options.args[0];
    if (command == "--help" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "vvpd " << VVP_VERSION << "\n";
        return 0;
    }
    if (command == "settings") return RunSettingsCommand(options, std::cout, std::cerr);
    if (command == "set") return RunSetCommand(options, std::cout, std::cerr);
    std::cerr << "vvpd: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
}

} // namespace vvp
