#pragma once

#include <string>

namespace vvp {

// The program folder and the per-user temporary folder, both with a trailing separator.
struct Folders {
    std::string program;
    std::string temp;
};

// Program folder: the override when given, else VVP_PROGRAM_FOLDER, else the running program's
// folder. Temporary folder: TMP, else TEMP, else the program folder.
Folders ResolveFolders(const std::string& programFolderOverride = {});
std::string RunningProgramFolder();

} // namespace vvp
