#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vvp {

// A string list as the system's text paths use it: setting its text breaks lines at CR LF, CR or
// LF (a final line break adds no empty line); its text form ends every line with CR LF.
using StringList = std::vector<std::string>;

StringList SplitLines(const std::string& text);
std::string JoinLines(const StringList& lines); // every line followed by CR LF
// JoinLines(SplitLines(text)) without the list in between.
std::string NormaliseLineEnds(std::string_view text);

// The text with its ASCII letters in lower case, as names and settings are compared.
std::string AsciiLower(std::string text);

// The text without blanks, tabs and line ends at either end.
std::string TrimBlanks(const std::string& text);

// Values of "name=value" lines: the text after the first '=' of the first line whose name matches
// exactly (case-sensitive, as string lists compare names); empty when absent.
std::string ListValue(const StringList& lines, const std::string& name);
void SetListValue(StringList& lines, const std::string& name, const std::string& value);

} // namespace vvp
