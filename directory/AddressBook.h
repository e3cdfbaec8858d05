#pragma once

#include "Folders.h"
#include "TextLines.h"
#include "TlockableIndex.h"

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

// One grid row of an address book entry.
struct AddressRow {
    std::string name;   // surname and given names
    std::string idProv; // provider number
    std::string speciality;
    std::string address;
    std::string vocanet; // messaging address
    std::string phoneFax;
    std::string comments;
};

// The directory of health-care providers: "Address.in" (else "Address.in.bkp") merged with
// "custom.address.in" (names in any letter case), one "|"-separated entry per line, sorted without
// regard to letter case, searchable by surname and by provider number. Entries are held as UTF-8
// whether a file is UTF-8 or single-byte Windows-1252, so a search for "é" finds what either kind
// of file holds.
class AddressBook {
public:
    explicit AddressBook(std::string dataDirectory); // with a trailing separator

    // Rebuilds the entries and both indexes from the files.
    void Load();

    size_t Count() const;
    StringList Entries() const;
    std::string Entry(size_t number) const; // empty when there is no such entry

    // Entry numbers whose "surname given-names" or provider number starts with text (letter case
    // ignored), in key order.
    std::vector<size_t> SearchSurname(const std::string& text) const;
    std::vector<size_t> SearchProvider(const std::string& text) const;

    // Field n (from 1) of an entry; empty when the entry has fewer fields.
    static std::string Field(const std::string& entry, int n);
    static AddressRow MakeRow(const std::string& entry);
    // The detail text of the selected entry.
    static std::string DetailText(const std::string& entry);
    // "N entries in address book", or "No entries in address book".
    static std::string CountText(size_t count);

    static constexpr const char* kColumnHeaders[7] = {"Name",    "ID/Prov",     "Speciality", "Address",
                                                      "Vocanet", "Phone & Fax", "Comments"};

private:
    std::vector<size_t> Lookup(const TlockableIndex& index, const std::string& text) const;

    const std::string m_dir;
    mutable std::mutex m_mutex; // guards m_entries
    StringList m_entries;
    TlockableIndex m_nameIndex;
    TlockableIndex m_providerIndex;
};

// The reply to a peer's "ADDR" request: every line of the data directory's "Address.in" (first
// refreshed from the program folder when that copy is newer), each ended by CR LF, then "." and
// CR LF.
std::string AddressBookReply(const Folders& folders);
// Changes whenever the file the "ADDR" reply is read from changes (name, size, time, inode).
std::string AddressBookVersion(const Folders& folders);

} // namespace vvp
