#include "Folders.h"

#include "FileUtil.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace vvp {

std::string RunningProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    return ExtractFileDir(std::string(buf, static_cast<size_t>(n)));
}

Folders ResolveFolders(const std::string& programFolderOverride) {
    Folders f;
    const char* env = std::getenv("VVP_PROGRAM_FOLDER");
    if (!programFolderOverride.empty())
        f.program = programFolderOverride;
    else if (env && *env)
        f.program = env;
    else
        f.program = RunningProgramFolder();
    f.program = IncludeTrailingSeparator(f.program);
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
