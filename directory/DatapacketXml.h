#pragma once

#include "Result.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vvp {

// One column of a datapacket table.
struct TFieldDef {
    std::string attrname;
    std::string fieldtype;
    int width = 0; // 0: none
    bool required = false;
    std::string subtype;

    bool operator==(const TFieldDef&) const = default;
};

using AttributeList = std::vector<std::pair<std::string, std::string>>;

// What a datapacket file holds, values decoded.
struct ParsedDatapacket {
    std::vector<TFieldDef> fields;   // in file order, publish added when missing
    std::vector<AttributeList> rows; // the attributes of each ROW element
};

// Reads the UTF-8 text of a datapacket: the declaration, comments, one DATAPACKET element holding
// METADATA/FIELDS and optionally ROWDATA. Quotes are honoured, so values may hold "<", ">" or
// "/>". Files written without escaping are read as they were meant: a "&" that starts no
// reference stays, and raw CR, LF and TAB in a value are dropped. Anything else is refused with
// the reason.
Result<ParsedDatapacket> ParseDatapacket(std::string_view text);

// A value as it may stand between double quotes of an attribute.
std::string EscapeAttribute(std::string_view value);

// An ASCII name usable as an attribute name in what we write.
bool IsXmlName(std::string_view name);

} // namespace vvp
