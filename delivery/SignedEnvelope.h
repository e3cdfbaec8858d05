#pragma once

#include "Clock.h"

#include <functional>
#include <string>

namespace vvp {

inline constexpr const char* kSignedMessageMarkerLine = "[[[------ SIGNED MESSAGE ------]]]\r\n";

// "ddd, dd mmm yyyy hh:nn:ss " and the zone "+hhmm"/"-hhmm". Day and month names are English
// whatever the locale, as mail headers require.
std::string FormatMessageDate(TDateTime value, int utcOffsetMinutes);

// The attachment text handed to the signing library: mail headers naming the last path
// component of fileName, an empty line, then the content as base64 in lines of 76 characters.
// The content is *stream when given, else content.
std::string BuildMimePart(const Clock& clock, const std::string& from, const std::string& to,
                          const std::string& subject, const std::string& fileName, const std::string& content,
                          const std::string* stream);

// Signs an attachment text; empty when nothing was signed.
using SignFunction = std::function<std::string(const std::string& attachment)>;

// The signed envelope (marker line, From, To, extended Subject, X-VOCANETSIGNED, then the
// library's output unchanged), or empty when the signing gave nothing.
std::string BuildSignedBlock(const Clock& clock, const SignFunction& sign, const std::string& from,
                             const std::string& to, const std::string& subject, const std::string& fileName,
                             const std::string& content, const std::string* stream);

// The value of one attribute of a distinguished name such as "C=AU, O = Practice, CN=Dr A Person";
// empty when the attribute is absent. The key is matched in upper case.
std::string DNField(const std::string& key, const std::string& dn);

// The two signature detail lines composed from a token description.
std::string SignatureDetailLines(const std::string& tokenInfo);

} // namespace vvp
