#pragma once

#include <string>
#include <vector>

namespace vvp {

// The command line of vvp: the options vvpd knows for its folders, everything else for Qt.
struct DesktopOptions {
    std::string programFolder; // --program-folder, else VVP_PROGRAM_FOLDER
    std::string registryFile;  // --registry, else VVP_REGISTRY
    bool help = false;
    bool version = false;
    // argv[0] and the arguments Qt takes (-platform, -style, ...), in their order.
    std::vector<std::string> qtArguments;
    // The folder options of this run as absolute paths, for the autostart entry (started at logon
    // from another folder and without this environment).
    std::vector<std::string> launchArguments;
};

// false with a message in error for an option without its value.
bool ParseDesktopOptions(int argc, char** argv, DesktopOptions& options, std::string& error);

std::string DesktopUsage();

} // namespace vvp
