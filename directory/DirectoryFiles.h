#pragma once

#include "Result.h"

#include <cstddef>
#include <string>

namespace vvp {

// folder + name, or the path of the file in folder whose name differs from name only in letter
// case (files come from Windows, where "address.in" and "Address.in" are one file). With no such
// file: folder + name.
std::string FindFileNoCase(const std::string& folder, const std::string& name);

// The whole file, refused without reading when it is larger than maxBytes.
Result<std::string> ReadFileUpTo(const std::string& path, size_t maxBytes);

// The editor's tables, in the program folder.
inline constexpr const char* kOrganisationsFileName = "Organisations.xml";
inline constexpr const char* kEntitiesFileName = "Entities.xml";

} // namespace vvp
