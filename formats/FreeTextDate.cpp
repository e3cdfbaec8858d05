#include "QZStringManip.h"

// Placeholder until the free-text converter lands.
namespace vvp {
TDateTime FreeTextToDateTime(const std::string&) { return kGeneralDateFailure; }
TDateTime FreeTextToDateTimeReport(const std::string&) { return kReportDateFailure; }
std::optional<TDateTime> LocaleStrToDateTime(const std::string&) { return std::nullopt; }
} // namespace vvp
