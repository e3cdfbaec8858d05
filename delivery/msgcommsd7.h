#pragma once

#include "Clock.h"

#include <cstdint>
#include <string>

namespace vvp {

// Unique file-name stems: the lower-case hexadecimal of the local time stamp
// "yyyymmddhhnnsszzz", then the decimal value of a process-wide counter, then the prefix.
std::string MakeMessageId(const Clock& clock, const std::string& prefix = {});
// The counter starts at 222; the listener sets it to 1020 at the start of every connection.
void SetMessageIdCounter(int value);
int MessageIdCounter();

// Attribute sets of ListFiles.
inline constexpr int kFilesOnly = 0;
inline constexpr int kAllAttributes = 63;
inline constexpr int kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrDirectory = 0x10, kAttrArchive = 0x20;

// A folder listing as text: the count followed by CR, then each long name followed by LF CR.
// The mask is a folder path followed by a name pattern.
std::string ListFiles(const std::string& mask, int attributes, int fields = 0);

// The key byte of ".kxk" account files: every byte of the file is XOR-ed with it.
inline constexpr uint8_t kKxkKeyByte = 0x5A;

// An account file's lines, each followed by CR LF, or empty when the file is not usable.
std::string ReadAccountFile(const std::string& fileName);
// With key "*" the lower-cased addresses of all usable account files (".kxi" first), each
// followed by CR LF; with another key the address equal to it (letter case ignored) or empty.
std::string ListAccounts(const std::string& folder, const std::string& key);

} // namespace vvp
