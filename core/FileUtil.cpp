#include "FileUtil.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {

Error ErrnoError(const std::string& context, int err) {
    return Error{context + ": " + std::strerror(err), err};
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string IncludeTrailingSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + "/";
}

std::string ExtractFileName(const std::string& path) {
    auto p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileDir(const std::string& path) {
    auto p = path.find_last_of('/');
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    std::string name = ExtractFileName(path);
    auto p = name.rfind('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    std::string name = ExtractFileName(path);
    auto p = name.rfind('.');
    std::string base =
        path.substr(0, path.size() - name.size()) + (p == std::string::npos ? name : name.substr(0, p));
    return base + ext;
}

Result<std::string> ReadWholeFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoError("Cannot open " + path, errno);
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            return ErrnoError("Cannot read " + path, err);
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return data;
}

namespace {

Result<void> WriteAll(int fd, const std::string& data, const std::string& path) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError("Cannot write " + path, errno);
        }
        done += static_cast<size_t>(n);
    }
    return Ok();
}

} // namespace

Result<void> WriteWholeFile(const std::string& path, const std::string& data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoError("Cannot create " + path, errno);
    auto r = WriteAll(fd, data, path);
    if (close(fd) != 0 && r) return ErrnoError("Cannot write " + path, errno);
    return r;
}

Result<void> WriteFileAtomically(const std::string& path, const std::string& data) {
    std::string tmp = path + ".tmp" + std::to_string(getpid());
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoError("Cannot create " + tmp, errno);
    auto r = WriteAll(fd, data, tmp);
    if (r && fsync(fd) != 0) r = ErrnoError("Cannot flush " + tmp, errno);
    close(fd);
    if (r && rename(tmp.c_str(), path.c_str()) != 0)
        r = ErrnoError("Cannot rename " + tmp + " to " + path, errno);
    if (!r) unlink(tmp.c_str());
    return r;
}

Result<void> ForceDirectories(const std::string& folder) {
    if (folder.empty()) return Error{"Empty folder name"};
    std::string path;
    size_t pos = 0;
    while (pos <= folder.size()) {
        size_t next = folder.find('/', pos);
        if (next == std::string::npos) next = folder.size();
        path = folder.substr(0, next);
        if (!path.empty() && !DirectoryExists(path)) {
            if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
                return ErrnoError("Cannot create folder " + path, errno);
        }
        pos = next + 1;
    }
    if (!DirectoryExists(folder)) return Error{"Cannot create folder " + folder};
    return Ok();
}

Result<void> MoveFileNoReplace(const std::string& from, const std::string& to) {
    // link + unlink fails with EEXIST instead of replacing, on every local file system.
    if (link(from.c_str(), to.c_str()) != 0) {
        int err = errno;
        if (err == EEXIST) return Error{"Cannot create a file when that file already exists: " + to, err};
        if (err != EPERM && err != EXDEV && err != ENOTSUP)
            return ErrnoError("Cannot move " + from + " to " + to, err);
        if (FileExists(to)) return Error{"Cannot create a file when that file already exists: " + to, EEXIST};
        if (rename(from.c_str(), to.c_str()) != 0)
            return ErrnoError("Cannot move " + from + " to " + to, errno);
        return Ok();
    }
    if (unlink(from.c_str()) != 0) return ErrnoError("Cannot remove " + from, errno);
    return Ok();
}

Result<void> CopyFileReplacing(const std::string& from, const std::string& to) {
    auto data = ReadWholeFile(from);
    if (!data) return data.error();
    return WriteFileAtomically(to, *data);
}

bool DeleteFileIfExists(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

namespace {

unsigned char AsciiUpper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Letters compared as upper case, as the original platform orders names ("_" after the letters).
int CompareUpperCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = AsciiUpper(a[i]), y = AsciiUpper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

bool MatchesMask(const std::string& name, const std::string& mask, bool ignoreCase) {
    auto eq = [ignoreCase](char a, char b) {
        return ignoreCase ? std::tolower(static_cast<unsigned char>(a)) ==
                                std::tolower(static_cast<unsigned char>(b))
                          : a == b;
    };
    size_t n = 0, m = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && eq(mask[m], name[n])))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> ListFolder(const std::string& folder, const std::string& mask,
                                    bool includeDirectories) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        // "*.*" matches every name, with or without a dot, as on the original platform.
        if (mask != "*.*" && !MatchesMask(name, mask)) continue;
        bool isDir = e->d_type == DT_DIR || ((e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) &&
                                             DirectoryExists(IncludeTrailingSeparator(folder) + name));
        if (isDir && !includeDirectories) continue;
        names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int folded = CompareUpperCase(a, b);
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

std::string ResolveFileNameNoCase(const std::string& folder, const std::string& name) {
    const std::string dir = IncludeTrailingSeparator(folder);
    if (FileExists(dir + name)) return dir + name;
    const auto names = ListFolder(dir, name, false);
    return dir + (names.empty() ? name : names.front());
}

} // namespace vvp
