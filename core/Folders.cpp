#include "Folders.h"

#include "FileUtil.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

} // namespace

std::string RunningProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return ExtractFileDir(std::string(buf, static_cast<size_t>(n)));
}

std::string InstalledPrefix(const std::string& runningFolder) {
    std::string folder = IncludeTrailingSeparator(runningFolder);
    folder.pop_back();
    if (ExtractFileName(folder) != "bin") return {};
    return ExtractFileDir(folder);
}

std::string InstalledLibraryFolder(const std::string& runningFolder) {
    const std::string prefix = InstalledPrefix(runningFolder);
    return prefix.empty() ? std::string() : prefix + "lib/vvp/";
}

std::string InstalledDataFolder(const std::string& runningFolder) {
    const std::string prefix = InstalledPrefix(runningFolder);
    return prefix.empty() ? std::string() : prefix + "share/vvp/";
}

bool IsInstalledProgram(const std::string& runningFolder) {
    const std::string data = InstalledDataFolder(runningFolder);
    return !data.empty() && DirectoryExists(data);
}

std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : HomeFolder() + "/.local/share";
    return IncludeTrailingSeparator(base) + "vvp/";
}

Result<void> SeedProgramFolder(const std::string& programFolder, const std::string& defaultsFolder) {
    const std::string folder = IncludeTrailingSeparator(programFolder);
    const std::string defaults = IncludeTrailingSeparator(defaultsFolder);
    if (!DirectoryExists(folder) || !DirectoryExists(defaults)) return Ok();
    for (const auto& name : ListFolder(folder, "*", false))
        if (FileExists(folder + name)) return Ok();
    for (const auto& name : ListFolder(defaults, "*", false)) {
        if (!FileExists(defaults + name)) continue;
        if (auto r = CopyFileReplacing(defaults + name, folder + name); !r)
            return r.error().WithContext("Program folder not filled with the shipped defaults: ");
    }
    return Ok();
}

Folders ResolveFolders(const std::string& programFolderOverride) {
    return ResolveFolders(programFolderOverride, RunningProgramFolder());
}

Folders ResolveFolders(const std::string& programFolderOverride, const std::string& runningFolder) {
    Folders f;
    const bool installed = IsInstalledProgram(runningFolder);
    const char* env = std::getenv("VVP_PROGRAM_FOLDER");
    if (!programFolderOverride.empty()) {
        f.program = programFolderOverride;
    } else if (env && *env) {
        f.program = env;
    } else if (installed) {
        // The practice's data (accounts, key store, letterheads) is the user's, never under /usr.
        f.program = UserDataFolder();
        if (!DirectoryExists(f.program)) {
            const std::string parent = ExtractFileDir(f.program.substr(0, f.program.size() - 1));
            if (ForceDirectories(parent)) (void)mkdir(f.program.c_str(), 0700);
        }
    } else {
        f.program = runningFolder;
    }
    f.program = IncludeTrailingSeparator(f.program);
    // A failure shows soon enough: whatever needs a missing file says so.
    if (installed) (void)SeedProgramFolder(f.program, InstalledDataFolder(runningFolder) + "defaults/");
    const char* tmp = std::getenv("TMP");
    const char* temp = std::getenv("TEMP");
    if (tmp && *tmp)
        f.temp = tmp;
    else if (temp && *temp)
        f.temp = temp;
    else
        f.temp = f.program;
    f.temp = IncludeTrailingSeparator(f.temp);
    return f;
}

} // namespace vvp
