#pragma once

#include "FileUtil.h"
#include "Result.h"

#include <cstddef>
#include <string>

namespace vvp {

// The whole file, refused without reading when it is larger than maxBytes.
Result<std::string> ReadFileUpTo(const std::string& path, size_t maxBytes);

// The editor's tables, in the program folder.
inline constexpr const char* kOrganisationsFileName = "Organisations.xml";
inline constexpr const char* kEntitiesFileName = "Entities.xml";

} // namespace vvp
