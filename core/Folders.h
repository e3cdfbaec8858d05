#pragma once

#include "Result.h"

#include <string>

namespace vvp {

// The program folder and the per-user temporary folder, both with a trailing separator.
struct Folders {
    std::string program;
    std::string temp;
};

// Program folder: the override when given, else VVP_PROGRAM_FOLDER, else for an installed program
// the user's data folder (UserDataFolder, created when missing), else the running program's
// folder (a build folder). Temporary folder: TMP, else TEMP, else the program folder. An
// installed program first fills a program folder that holds no files yet with the shipped
// defaults (SeedProgramFolder).
Folders ResolveFolders(const std::string& programFolderOverride = {});
// The same, for a program running from runningFolder.
Folders ResolveFolders(const std::string& programFolderOverride, const std::string& runningFolder);

std::string RunningProgramFolder();

// The folders of an installation beside the running program's "bin" folder: PREFIX/lib/vvp/
// (signing library, printer scripts) and PREFIX/share/vvp/ (shipped defaults). A program counts
// as installed when the latter exists; run from a build folder it does not. InstalledPrefix is
// PREFIX with a trailing separator, empty when the program's folder is not named "bin".
std::string InstalledPrefix(const std::string& runningFolder = RunningProgramFolder());
std::string InstalledLibraryFolder(const std::string& runningFolder = RunningProgramFolder());
std::string InstalledDataFolder(const std::string& runningFolder = RunningProgramFolder());
bool IsInstalledProgram(const std::string& runningFolder);

// $XDG_DATA_HOME/vvp/ (only an absolute XDG_DATA_HOME counts), else ~/.local/share/vvp/.
std::string UserDataFolder();

// Copies each file of defaultsFolder into programFolder when programFolder exists and holds no
// files yet (a new installation's first start); an emptied folder is filled again the same way.
// Files already there are never replaced.
Result<void> SeedProgramFolder(const std::string& programFolder, const std::string& defaultsFolder);

} // namespace vvp
