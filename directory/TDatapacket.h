#pragma once

#include "DatapacketXml.h"
#include "Result.h"
#include "TextLines.h"

#include <string>
#include <string_view>
#include <vector>

namespace vvp {

// The empty organisation and entity tables, used when their file does not exist yet.
extern const char* const kOrganisationsTable;
extern const char* const kEntitiesTable;

// One row of a datapacket: a value for each field, looked up by field name.
class TXMLRow {
public:
    // Empty when the row has no such value. A name differing only in letter case is the same
    // value, as files from the original program may have "NAME" for "Name".
    std::string Value(const std::string& name) const;
    // CR LF becomes LF, surrounding double quotes are removed and inner ones become "'".
    void SetValue(const std::string& name, const std::string& text);
    const StringList& Names() const { return m_names; } // the field names, in field order
    bool IsEmpty() const;                               // every field's value is empty

private:
    friend class TDatapacket;
    void Complete(const StringList& names);
    const std::string* Find(const std::string& name) const;

    StringList m_names;
    AttributeList m_values;
};

// A table of organisations or entities in the XML "DATAPACKET" form: field definitions and
// rows, with a current row. Used from the user-interface thread only.
class TDatapacket {
public:
    // Replaces the table with the one in text; text that is not a datapacket is refused and
    // leaves the table as it was.
    Result<void> LoadFromText(std::string_view text);
    // Reads the file (UTF-8, else Windows-1252), or takes defaultText when the file does not
    // exist or is empty.
    Result<void> LoadFromFileOrDefault(const std::string& path, const std::string& defaultText);
    // Writes Text() and CR LF under a temporary name and renames it over path. A file at path
    // that is something else than a datapacket is never replaced.
    Result<void> SaveToFile(const std::string& path) const;
    std::string Text() const;

    void First();
    bool Next(); // false when there is no next row
    void Prior();
    bool SetCurrent(int index);
    int CurrentIndex() const { return m_current; }
    // The current row (an undefined one moves to the first, one past the end to the last);
    // nullptr when there are no rows.
    TXMLRow* CurrentRow();
    const TXMLRow* CurrentRow() const; // the same row, the index left as it is
    int RowCount() const { return static_cast<int>(m_rows.size()); }
    TXMLRow* Row(int index);
    const TXMLRow* Row(int index) const;

    // A row holding every field: the placeholder row whose Id is "New Entity" when there is
    // one, else a new last row. -1 when the table has no fields.
    int NewRow();
    // Removes the row; the rows after it move up, a row left without any value goes too, and a
    // table left without rows gets one empty row. Returns the new current row, index - 1 (not
    // below 0); an invalid index changes nothing.
    int DeleteRow(int index);
    int DeleteCurrentRow();
    void Clear();

    const std::vector<TFieldDef>& Fields() const { return m_fields; }
    StringList FieldNames() const;
    int State() const { return m_state; }
    double Version() const { return m_version; }

private:
    int m_state = 0;
    int m_current = -1;
    double m_version = 2.0;
    std::vector<TFieldDef> m_fields;
    std::vector<TXMLRow> m_rows;
};

// Whether a datapacket may be written to path: nothing there, an empty file, or a datapacket.
Result<void> CheckReplaceable(const std::string& path);

} // namespace vvp
