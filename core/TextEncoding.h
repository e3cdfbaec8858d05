#pragma once

#include <string>
#include <string_view>

namespace vvp {

// Print jobs and program-folder files come from Windows machines (single-byte Windows-1252) or
// from us (UTF-8); text shown or stored as text is UTF-8.
bool IsValidUtf8(std::string_view text); // well-formed, no overlongs or surrogates
std::string Windows1252ToUtf8(std::string_view text);
// UTF-8 as it stands (without a byte-order mark), else the bytes read as Windows-1252.
std::string DecodeText(std::string_view bytes);
// Each well-formed UTF-8 sequence as it stands and every other byte read as Windows-1252, for
// texts that join both (a log line quoting a printout beside an address book name).
std::string MixedTextToUtf8(std::string_view text);

// ASCII letters and the letters of Windows-1252 ("É", "Š", "Ÿ"...) in lower case. UTF-8 text is
// lowered as UTF-8, anything else byte by byte as Windows-1252, so equal letters compare equal
// whichever way a key was typed.
std::string LowerCaseLatin(std::string_view text);

} // namespace vvp
