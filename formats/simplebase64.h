#pragma once

#include "Result.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace vvp {

// Standard base64 (RFC 4648 alphabet, "=" padding) on one unbroken line.
std::string Base64Encode(std::string_view bytes);
// Encodes a stream from its start (when it can seek) to its end.
std::string Base64EncodeStream(std::istream& in);

// Decodes by position: groups of four characters from the first; characters outside the
// alphabet count as zero bits; a group holding "=" yields (position of its first "=") - 2
// bytes; a final group shorter than four characters and a group starting with "=" yield none.
// Line breaks are not skipped, so the text must be one line (a trailing CR LF is harmless).
std::string Base64Decode(std::string_view text);
// Writes the decoded bytes from the start of the stream and rewinds it again when it can seek.
// Returns the number of bytes written, 0 when the stream refused them.
size_t Base64DecodeToStream(std::string_view text, std::ostream& out);
// Writes the decoded bytes as the whole content of the file at path.
Result<void> Base64DecodeToFile(std::string_view text, const std::string& path);

// Cuts text into lines of width characters, each full line followed by CR LF; the rest follows
// without a line end. A width of 0 leaves the text whole.
std::string WrapLines(const std::string& text, size_t width);

} // namespace vvp
