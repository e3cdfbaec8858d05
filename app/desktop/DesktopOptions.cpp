#include "DesktopOptions.h"

#include "FileUtil.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace vvp {
namespace {

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return path;
    return IncludeTrailingSeparator(cwd) + path;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

bool ParseDesktopOptions(int argc, char** argv, DesktopOptions& options, std::string& error) {
    options = {};
    if (argc > 0) options.qtArguments.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
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
        } else if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else {
            options.qtArguments.push_back(a);
        }
    }
    const std::string folder =
        options.programFolder.empty() ? Env("VVP_PROGRAM_FOLDER") : options.programFolder;
    const std::string registry = options.registryFile.empty() ? Env("VVP_REGISTRY") : options.registryFile;
    if (!folder.empty())
        options.launchArguments.insert(options.launchArguments.end(), {"--program-folder", Absolute(folder)});
    if (!registry.empty())
        options.launchArguments.insert(options.launchArguments.end(), {"--registry", Absolute(registry)});
    return true;
}

std::string DesktopUsage() {
    return "Usage: vvp [options] [Qt options]\n"
           "\n"
           "Vocanet Virtual Printer: the desktop window and tray icon over the printer service.\n"
           "\n"
           "Options:\n"
           "  --program-folder DIR  program folder (default: VVP_PROGRAM_FOLDER, else the folder of vvp)\n"
           "  --registry FILE       settings file (default: VVP_REGISTRY, else\n"
           "                        $XDG_CONFIG_HOME/vvp/registry.reg or ~/.config/vvp/registry.reg)\n"
           "  --help, --version\n"
           "Qt's own options (-platform NAME, -style NAME, ...) are passed on to Qt.\n";
}

} // namespace vvp
