#include "DirectoryFiles.h"

#include "FileUtil.h"

#include <algorithm>
#include <vector>

namespace vvp {

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
    const std::string exact = folder + name;
    if (FileExists(exact) || name.find_first_of("*?") != std::string::npos) return exact;
    std::vector<std::string> matches = ListFolder(folder, name, false);
    std::sort(matches.begin(), matches.end()); // the same choice every time when there are several
    for (const auto& match : matches)
        if (FileExists(folder + match)) return folder + match;
    return exact;
}

} // namespace vvp
