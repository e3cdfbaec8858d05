#pragma once

#include "Result.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vvp {

// An owned file descriptor, closed on destruction.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release() { return std::exchange(m_fd, -1); }
    void Reset();
    // Closes now, reporting a failed close (a write the kernel could not complete).
    Result<void> Close(const std::string& path);

private:
    int m_fd = -1;
};

Result<void> WriteAll(int fd, std::string_view data, const std::string& path);

bool FileExists(const std::string& path); // a regular file (or a link to one)
bool DirectoryExists(const std::string& path);
std::string IncludeTrailingSeparator(const std::string& folder);
std::string ExtractFileName(const std::string& path); // after the last '/' or '\'
std::string ExtractFileDir(const std::string& path);  // up to and including the last '/'
std::string ExtractFileExt(const std::string& path);  // from the last '.' of the name, with the '.'
std::string ChangeFileExt(const std::string& path, const std::string& ext);

Result<std::string> ReadWholeFile(const std::string& path);
// Writes the whole file in place (truncating).
Result<void> WriteWholeFile(const std::string& path, const std::string& data);
// Writes to a temporary name of its own in the same folder, flushes and renames over path, so
// readers see either the old or the new file and two writers never share a temporary file.
Result<void> WriteFileAtomically(const std::string& path, const std::string& data);

// Why name is not a plain file name that stays inside the folder it is joined to (a folder part,
// "." or "..", a ".." sequence, control bytes, too long); nullopt when it is one.
std::optional<std::string> UnsafeFileName(const std::string& name);

// Why a recipient address cannot be part of message file names: UnsafeFileName's reasons, a ":"
// (it would split the routing line), or more than 200 characters (room for the id and the
// extensions); nullopt when it can.
std::optional<std::string> UnsafeRecipient(const std::string& address);
// The text with control bytes shown as "?", for a log line or a box.
std::string Printable(const std::string& text);

// The one way a file that another program picks up appears in a folder (messages for the
// messaging client, relay frames, handed-on printouts): written under tempName, created
// exclusively, flushed to disk, then moved to finalName without replacing what is there. A
// process crash or a power loss leaves either the whole file under its final name or nothing
// under it; the caller's source (a spool file) is removed only after this returns. Both names
// must be plain file names in folder (checked). On failure the temporary file is removed; a
// final name that exists fails with code EEXIST.
using FileWriter = std::function<Result<void>(int fd, const std::string& path)>;
Result<void> PublishNewFile(const std::string& folder, const std::string& tempName,
                            const std::string& finalName, const FileWriter& write);
Result<void> PublishNewFile(const std::string& folder, const std::string& tempName,
                            const std::string& finalName, std::string_view data);
// Creates the folder and its missing parents.
Result<void> ForceDirectories(const std::string& folder);
// Moves a file without replacing an existing target; fails when the target exists.
Result<void> MoveFileNoReplace(const std::string& from, const std::string& to);
Result<void> CopyFileReplacing(const std::string& from, const std::string& to);
bool DeleteFileIfExists(const std::string& path);

// Names (not paths) of the entries of a folder whose names match a '*'/'?' mask, in the order the
// file system returns them. Directories are included only when asked for.
std::vector<std::string> ListFolder(const std::string& folder, const std::string& mask,
                                    bool includeDirectories);
// folder + name, or the path of the file in folder whose name differs from name only in letter
// case (files come from Windows, where "address.in" and "Address.in" are one file). With no such
// file: folder + name.
std::string FindFileNoCase(const std::string& folder, const std::string& name);
bool MatchesMask(const std::string& name, const std::string& mask, bool ignoreCase = true);

Error ErrnoError(const std::string& context, int err);

} // namespace vvp
