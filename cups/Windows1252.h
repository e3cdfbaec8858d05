#pragma once

#include <string>

namespace vvp::textonly {

// Appends the Windows-1252 form of a Unicode character: its byte, a few characters spelt out
// (ligatures, dashes the code page lacks), else "?".
void AppendWindows1252(std::string& out, char32_t c);

// Decodes UTF-8; false (and out untouched) when the bytes are not well-formed UTF-8.
bool DecodeUtf8(const std::string& bytes, std::u32string& out);

// Plain text as the text-only printer sends it: UTF-8 (with or without a byte order mark) becomes
// Windows-1252, anything that is not UTF-8 is taken to be Windows-1252 already; a LF that is not
// after a CR gets one. Nothing else changes.
std::string PlainTextToWindows1252(const std::string& bytes);

} // namespace vvp::textonly
