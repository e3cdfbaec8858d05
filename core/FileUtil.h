#pragma once

#include "Result.h"

#include <string>
#include <vector>

namespace vvp {

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
// Writes to a temporary name in the same folder, flushes and renames over path, so readers see
// either the old or the new file.
Result<void> WriteFileAtomically(const std::string& path, const std::string& data);
// Creates the folder and its missing parents.
Result<void> ForceDirectories(const std::string& folder);
// Moves a file without replacing an existing target; fails when the target exists.
Result<void> MoveFileNoReplace(const std::string& from, const std::string& to);
Result<void> CopyFileReplacing(const std::string& from, const std::string& to);
bool DeleteFileIfExists(const std::string& path);

// Names (not paths) of the entries of a folder whose names match a '*'/'?' mask (letter case
// ignored), sorted without regard to case as the original platform lists a folder, so the first
// account or header definition found never depends on the file system. Directories are included
// only when asked for.
std::vector<std::string> ListFolder(const std::string& folder, const std::string& mask,
                                    bool includeDirectories);
bool MatchesMask(const std::string& name, const std::string& mask, bool ignoreCase = true);
// The path of the file called name in the folder, its name compared without regard to case (as on
// the platform the files come from): the exact name when it exists, else the first in listing
// order; folder + name when there is none.
std::string ResolveFileNameNoCase(const std::string& folder, const std::string& name);

Error ErrnoError(const std::string& context, int err);

} // namespace vvp
