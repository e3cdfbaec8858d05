#include "DirectoryFiles.h"

#include "FileUtil.h"

#include <algorithm>
#include <sys/stat.h>
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

Result<std::string> ReadFileUpTo(const std::string& path, size_t maxBytes) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && static_cast<unsigned long long>(st.st_size) > maxBytes)
        return Error{"The file " + path + " is larger than " + std::to_string(maxBytes) + " bytes."};
    auto text = ReadWholeFile(path);
    if (text && text->size() > maxBytes) // grown since
        return Error{"The file " + path + " is larger than " + std::to_string(maxBytes) + " bytes."};
    return text;
}

} // namespace vvp
