#pragma once

#include "Result.h"

#include <string>
#include <vector>

namespace vvp {

inline constexpr const char* kAutoStartFile = "VNPtr.desktop";

// One argument of a Desktop Entry "Exec" key: quoted when it holds a reserved character, "%"
// doubled. The value-level escapes ("\\", "\n", ...) are applied by DesktopExecValue.
std::string QuoteExecArgument(const std::string& argument);

// The "Exec" value that runs the program with these arguments. Fails for arguments a desktop
// entry cannot carry (control characters other than tab, line feed and carriage return, or
// bytes that are not UTF-8).
Result<std::string> DesktopExecValue(const std::string& programPath,
                                     const std::vector<std::string>& arguments);

// The whole XDG autostart entry that starts VVP at logon.
Result<std::string> AutoStartEntryText(const std::string& programPath,
                                       const std::vector<std::string>& arguments);

// Whether an autostart entry's text asks for the program to start (not "Hidden=true", not
// "X-GNOME-Autostart-enabled=false").
bool AutoStartEntryEnabled(const std::string& text);

} // namespace vvp
