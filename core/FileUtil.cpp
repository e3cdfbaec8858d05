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
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return ErrnoError("Cannot open " + path, errno);
    std::string data;
    // Sized up front: a large spool file costs its size once, not the growth steps of appending.
    struct stat st {};
    if (fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd.Get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoError("Cannot read " + path, errno);
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    return data;
}

void FileDescriptor::Reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

Result<void> FileDescriptor::Close(const std::string& path) {
    if (m_fd < 0) return Ok();
    const int fd = Release();
    if (::close(fd) != 0) return ErrnoError("Cannot write " + path, errno);
    return Ok();
}

Result<void> WriteAll(int fd, std::string_view data, const std::string& path) {
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

Result<void> WriteWholeFile(const std::string& path, const std::string& data) {
    FileDescriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.Valid()) return ErrnoError("Cannot create " + path, errno);
    auto r = WriteAll(fd.Get(), data, path);
    auto closed = fd.Close(path);
    return r ? closed : r;
}

Result<void> WriteFileAtomically(const std::string& path, const std::string& data) {
    std::string tmp = path + ".tmpXXXXXX";
    FileDescriptor fd(mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd.Valid()) return ErrnoError("Cannot create a temporary file for " + path, errno);
    auto r = WriteAll(fd.Get(), data, tmp);
    if (r && fchmod(fd.Get(), 0644) != 0) r = ErrnoError("Cannot write " + tmp, errno);
    if (r && fsync(fd.Get()) != 0) r = ErrnoError("Cannot flush " + tmp, errno);
    if (auto closed = fd.Close(tmp); r && !closed) r = closed;
    if (r && rename(tmp.c_str(), path.c_str()) != 0)
        r = ErrnoError("Cannot rename " + tmp + " to " + path, errno);
    if (!r) unlink(tmp.c_str());
    return r;
}

std::optional<std::string> UnsafeFileName(const std::string& name) {
    if (name.empty()) return "an empty name";
    if (name == "." || name.find("..") != std::string::npos) return "\"..\" in the name";
    if (name.find_first_of("/\\") != std::string::npos) return "a folder in the name";
    for (unsigned char c : name)
        if (c < 32 || c == 127) return "control characters in the name";
    if (name.size() > 255) return "the name is too long";
    return std::nullopt;
}

std::optional<std::string> UnsafeRecipient(const std::string& address) {
    if (auto unsafe = UnsafeFileName(address)) return unsafe;
    if (address.find(':') != std::string::npos) return "a \":\" in the address";
    if (address.size() > 200) return "the address is too long";
    return std::nullopt;
}

std::string Printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return out;
}

Result<void> PublishNewFile(const std::string& folder, const std::string& tempName,
                            const std::string& finalName, const FileWriter& write) {
    for (const std::string* name : {&tempName, &finalName})
        if (auto unsafe = UnsafeFileName(*name))
            return Error{"Refused to write \"" + *name + "\": " + *unsafe};
    const std::string temp = IncludeTrailingSeparator(folder) + tempName;
    const std::string final = IncludeTrailingSeparator(folder) + finalName;
    FileDescriptor fd(open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.Valid()) return ErrnoError("Cannot create " + temp, errno);
    Result<void> r = write(fd.Get(), temp);
    if (r && fdatasync(fd.Get()) != 0) r = ErrnoError("Cannot write " + temp, errno);
    if (auto closed = fd.Close(temp); r && !closed) r = closed;
    if (r) r = MoveFileNoReplace(temp, final);
    // The message must not linger under a name nobody collects.
    if (!r) unlink(temp.c_str());
    return r;
}

Result<void> PublishNewFile(const std::string& folder, const std::string& tempName,
                            const std::string& finalName, std::string_view data) {
    return PublishNewFile(folder, tempName, finalName,
                          [data](int fd, const std::string& path) { return WriteAll(fd, data, path); });
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

std::string FindFileNoCase(const std::string& folder, const std::string& name) {
    const std::string exact = folder + name;
    if (FileExists(exact) || name.find_first_of("*?") != std::string::npos) return exact;
    std::vector<std::string> matches = ListFolder(folder, name, false);
    std::sort(matches.begin(), matches.end()); // the same choice every time when there are several
    for (const auto& match : matches)
        if (FileExists(folder + match)) return folder + match;
    return exact;
}

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
    return names;
}

} // namespace vvp
