#include "DirectoryFiles.h"

#include "FileUtil.h"

#include <sys/stat.h>

namespace vvp {

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
