#include "AddressBook.h"

#include "DirectoryFiles.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "Settings.h"
#include "TextEncoding.h"

#include <algorithm>
#include <sys/stat.h>
#include <utility>

namespace vvp {
namespace {

StringList ReadLines(const std::string& path) {
    auto text = ReadWholeFile(path);
    return text ? SplitLines(*text) : StringList{};
}

// Each file is either UTF-8 or, as written on Windows, single-byte.
StringList ReadEntries(const std::string& path) {
    auto text = ReadWholeFile(path);
    return text ? SplitLines(DecodeText(*text)) : StringList{};
}

// Sorts without regard to letter case; entries that differ only in case keep their order.
void SortNoCase(StringList& entries) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(entries.size());
    for (auto& e : entries)
        keyed.emplace_back(LowerCaseLatin(e), std::move(e));
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i)
        entries[i] = std::move(keyed[i].second);
}

std::string ProviderNumber(const std::string& entry) {
    return StrBefore(AddressBook::Field(entry, 16), " ");
}

} // namespace

AddressBook::AddressBook(std::string dataDirectory) : m_dir(std::move(dataDirectory)) {}

void AddressBook::Load() {
    const std::string mainPath = ResolveFileNameNoCase(m_dir, kAddressBookFile);
    const std::string backupPath = ResolveFileNameNoCase(m_dir, kAddressBookBackupFile);
    StringList entries;
    if (FileExists(mainPath)) {
        entries = ReadEntries(mainPath);
        if (entries.empty()) entries = ReadEntries(backupPath);
    } else {
        // Without any file the book is empty: keeping the old entries with empty indexes would
        // count entries that no search can find.
        entries = ReadEntries(backupPath);
    }
    const StringList custom = ReadEntries(ResolveFileNameNoCase(m_dir, kCustomAddressBookFile));
    entries.insert(entries.end(), custom.begin(), custom.end());
    SortNoCase(entries);

    StringList providerKeys, nameKeys;
    providerKeys.reserve(entries.size());
    nameKeys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string number = "=" + std::to_string(i);
        providerKeys.push_back(ProviderNumber(entries[i]) + number);
        nameKeys.push_back(Field(entries[i], 3) + " " + Field(entries[i], 2) + number);
    }
    std::lock_guard lock(m_mutex);
    // In-memory indexes used only under m_mutex: their lock is always free at once.
    (void)m_nameIndex.Clear();
    (void)m_providerIndex.Clear();
    (void)m_providerIndex.AddReferences(providerKeys);
    (void)m_nameIndex.AddReferences(nameKeys);
    m_entries = std::move(entries);
}

size_t AddressBook::Count() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

StringList AddressBook::Entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::string AddressBook::Entry(size_t number) const {
    std::lock_guard lock(m_mutex);
    return number < m_entries.size() ? m_entries[number] : std::string();
}

std::vector<size_t> AddressBook::SearchSurname(const std::string& text) const {
    return Lookup(m_nameIndex, text);
}

std::vector<size_t> AddressBook::SearchProvider(const std::string& text) const {
    return Lookup(m_providerIndex, text);
}

std::vector<size_t> AddressBook::Lookup(const TlockableIndex& index, const std::string& text) const {
    std::lock_guard lock(m_mutex);
    std::vector<size_t> numbers;
    const auto found = index.References(text);
    if (!found) return numbers;
    for (const auto& line : *found) {
        // The number follows the last "=": a name holding "=" must not hide its entry.
        const auto eq = line.rfind('=');
        const int number = eq == std::string::npos ? -1 : StrToIntDef(Trim(line.substr(eq + 1)), -1);
        if (number >= 0 && static_cast<size_t>(number) < m_entries.size())
            numbers.push_back(static_cast<size_t>(number));
    }
    return numbers;
}

std::string AddressBook::Field(const std::string& entry, int n) {
    return StrField(entry, '|', n);
}

AddressRow AddressBook::MakeRow(const std::string& entry) {
    const std::string prov = Field(entry, 16);
    AddressRow row;
    row.name = Field(entry, 3) + " " + Field(entry, 2);
    row.idProv = StrBefore(prov, " ");
    row.speciality = Field(entry, 5);
    row.address = Field(entry, 6) + " " + Field(entry, 7) + " " + Field(entry, 8) + " " + Field(entry, 9);
    row.vocanet = Field(entry, 10);
    row.phoneFax = "PH:" + Field(entry, 11) + " FAX:" + Field(entry, 12);
    row.comments = StrAfter(prov, " ");
    return row;
}

std::string AddressBook::DetailText(const std::string& entry) {
    const AddressRow row = MakeRow(entry);
    return Field(entry, 1) + " " + row.name + " " + row.idProv + "\r\n" + "Speciality: " + row.speciality +
           " Vocanet Address: " + row.vocanet + "\r\n" + row.address + " " + row.phoneFax + "\r\n" +
           row.comments;
}

std::string AddressBook::CountText(size_t count) {
    return count == 0 ? std::string("No entries in address book")
                      : std::to_string(count) + " entries in address book";
}

std::string AddressBookVersion(const Folders& folders) {
    // A newer program-folder book replaces the working copy first, so it counts as a change.
    RefreshAddressBookFile(folders);
    const std::string path = ResolveFileNameNoCase(folders.temp, kAddressBookFile);
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return "none";
    return path + "|" + std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) + "." +
           std::to_string(st.st_mtim.tv_nsec) + "|" + std::to_string(st.st_ino);
}

std::string AddressBookReply(const Folders& folders) {
    RefreshAddressBookFile(folders);
    std::string reply;
    for (const auto& line : ReadLines(ResolveFileNameNoCase(folders.temp, kAddressBookFile))) {
        // A line "." would end the client's copy there and lose the rest of the book.
        if (line == ".") continue;
        reply += line;
        reply += "\r\n";
    }
    reply += ".\r\n";
    return reply;
}

} // namespace vvp
