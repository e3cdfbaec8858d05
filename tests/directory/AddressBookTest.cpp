#include "AddressBook.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace vvp {
namespace {

// Title|Given|Surname|-|Speciality|Addr1|Addr2|Addr3|Addr4|Vocanet|Phone|Fax|-|-|-|ProvNo Comments
std::string Line(const std::string& given, const std::string& surname, const std::string& prov,
                 const std::string& speciality = "GP") {
    return "Dr|" + given + "|" + surname + "|x|" + speciality + "|1 Main St|Town|VIC|3000|" +
           LowerCase(surname) + "@vocanet|03 1|03 2|||" + "|" + prov;
}

class AddressBookTest : public ::testing::Test {
protected:
    std::vector<std::string> Surnames(const std::vector<size_t>& numbers) const {
        std::vector<std::string> out;
        for (size_t n : numbers)
            out.push_back(AddressBook::Field(m_book.Entry(n), 3));
        return out;
    }
    test::TempDir m_dir;
    AddressBook m_book{m_dir.Path()};
};

TEST_F(AddressBookTest, SurnameAndProviderSearches) {
    m_dir.Write("Address.in",
                JoinLines({Line("John", "Smith", "2345678A since 2001"), Line("Anne", "SMITHERS", "1111111B"),
                           Line("Jane", "smith", "2340000C locum"), Line("Bob", "Snow", "9999999D")}));
    m_book.Load();
    ASSERT_EQ(m_book.Count(), 4u);
    using Names = std::vector<std::string>;
    struct Case {
        const char* text;
        bool surname;
        Names found;
    } cases[] = {
        // In key order: "smith jane", "smith john", "smithers anne".
        {"smi", true, {"smith", "Smith", "SMITHERS"}},
        {"SMITH J", true, {"smith", "Smith"}},
        {"smith jo", true, {"Smith"}},
        {"smith john=", true, {"Smith"}},
        {"", true, {}},
        {"x", true, {}},
        {"234", false, {"smith", "Smith"}},
        {"2345678a", false, {"Smith"}},
        {"since", false, {}}, // comments after the provider number never match
        {"locum", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto numbers = c.surname ? m_book.SearchSurname(c.text) : m_book.SearchProvider(c.text);
        EXPECT_EQ(Surnames(numbers), c.found);
    }
}

TEST_F(AddressBookTest, EntriesAreSortedIgnoringLetterCaseAndKeepTheirOrderOtherwise) {
    m_dir.Write("Address.in", "b|2\r\nA|1\nB|2\na|1\r\nC\r\nB|1\n");
    m_book.Load();
    EXPECT_EQ(m_book.Entries(), (StringList{"A|1", "a|1", "B|1", "b|2", "B|2", "C"}));
    EXPECT_EQ(m_book.Entry(99), "");
}

TEST_F(AddressBookTest, FileFallbacks) {
    const std::string main = Line("M", "Mainfile", "1") + "\r\n";
    const std::string backup = Line("B", "Backup", "2") + "\r\n";
    const std::string custom = Line("C", "Custom", "3 extra") + "\r\n";
    struct Case {
        const char* what;
        const char* mainText; // nullptr: no file
        const char* backupText;
        const char* customText;
        std::vector<std::string> surnames;
    } cases[] = {
        {"main file", main.c_str(), backup.c_str(), nullptr, {"Mainfile"}},
        {"empty main falls back", "", backup.c_str(), nullptr, {"Backup"}},
        {"missing main falls back", nullptr, backup.c_str(), nullptr, {"Backup"}},
        {"custom merged in order", main.c_str(), nullptr, custom.c_str(), {"Custom", "Mainfile"}},
        {"custom alone", nullptr, nullptr, custom.c_str(), {"Custom"}},
        {"no file at all", nullptr, nullptr, nullptr, {}},
        {"empty main, no backup", "", nullptr, nullptr, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        if (c.mainText) dir.Write("Address.in", c.mainText);
        if (c.backupText) dir.Write("Address.in.bkp", c.backupText);
        if (c.customText) dir.Write("custom.address.in", c.customText);
        AddressBook book(dir.Path());
        book.Load();
        std::vector<std::string> got;
        for (const auto& e : book.Entries())
            got.push_back(AddressBook::Field(e, 3));
        EXPECT_EQ(got, c.surnames);
        // Every entry is found by both searches.
        for (size_t i = 0; i < book.Count(); ++i) {
            const std::string e = book.Entry(i);
            EXPECT_EQ(book.SearchSurname(AddressBook::Field(e, 3)), std::vector<size_t>{i});
            EXPECT_EQ(book.SearchProvider(StrBefore(AddressBook::Field(e, 16), " ")), std::vector<size_t>{i});
        }
    }
}

TEST_F(AddressBookTest, ReloadWithoutFilesEmptiesTheBook) {
    m_dir.Write("Address.in", Line("J", "Gone", "5") + "\r\n");
    m_book.Load();
    ASSERT_EQ(m_book.Count(), 1u);
    ASSERT_TRUE(DeleteFileIfExists(m_dir.File("Address.in")));
    m_book.Load();
    EXPECT_EQ(m_book.Count(), 0u);
    EXPECT_TRUE(m_book.SearchSurname("gone").empty());
    EXPECT_EQ(AddressBook::CountText(m_book.Count()), "No entries in address book");
    EXPECT_EQ(AddressBook::CountText(2), "2 entries in address book");
}

TEST_F(AddressBookTest, OddInputNeitherCrashesNorHidesEntries) {
    const std::string huge = "Dr|y|" + std::string(2 * 1024 * 1024, 'z');
    std::string binary("\0\xFF\x01|\x80|Zed\0\x02|", 11);
    m_dir.Write("Address.in", huge + "\n" + binary + "\r\n" + "Dr|Jo|Eq=ual|||||||||||||77 x\r\n||\r\n\r\n");
    m_book.Load();
    EXPECT_EQ(m_book.Count(), 5u);
    EXPECT_EQ(Surnames(m_book.SearchSurname("eq=ual j")), std::vector<std::string>{"Eq=ual"});
    EXPECT_EQ(m_book.SearchProvider("77").size(), 1u);
    EXPECT_EQ(m_book.SearchSurname(std::string("zed\0", 4)).size(), 1u);
    EXPECT_EQ(m_book.SearchSurname("zzzz").size(), 1u);
}

TEST(AddressRowTest, RowAndDetailText) {
    const std::string entry =
        "Dr|John|Smith|x|Cardiology|1 Main St|Level 2|Melbourne|3000|jsmith@vocanet|03 9|03 8|||" +
        std::string("|2345678A works Mondays");
    const AddressRow row = AddressBook::MakeRow(entry);
    EXPECT_EQ(row.name, "Smith John");
    EXPECT_EQ(row.idProv, "2345678A");
    EXPECT_EQ(row.speciality, "Cardiology");
    EXPECT_EQ(row.address, "1 Main St Level 2 Melbourne 3000");
    EXPECT_EQ(row.vocanet, "jsmith@vocanet");
    EXPECT_EQ(row.phoneFax, "PH:03 9 FAX:03 8");
    EXPECT_EQ(row.comments, "works Mondays");
    EXPECT_EQ(AddressBook::DetailText(entry),
              "Dr Smith John 2345678A\r\nSpeciality: Cardiology Vocanet Address: jsmith@vocanet\r\n"
              "1 Main St Level 2 Melbourne 3000 PH:03 9 FAX:03 8\r\nworks Mondays");
    // A provider field without a space is all number, no comments; a short line reads empty fields.
    const AddressRow shortRow = AddressBook::MakeRow("Ms|Ann|Lee|||||||||||||99");
    EXPECT_EQ(shortRow.idProv, "99");
    EXPECT_EQ(shortRow.comments, "");
    EXPECT_EQ(AddressBook::MakeRow("Mr").address, "   ");
}

TEST(AddressBookReplyTest, EveryLineThenTheDot) {
    test::TempDir dir;
    const Folders folders{dir.Path(), dir.Path()};
    EXPECT_EQ(AddressBookReply(folders), ".\r\n");
    dir.Write("Address.in", "b|2\nA|1\r\n\r\n.\r\nlast");
    // File order, blank lines kept; a lone "." would cut the client's copy short.
    EXPECT_EQ(AddressBookReply(folders), "b|2\r\nA|1\r\n\r\nlast\r\n.\r\n");
}

// The Part spells the program folder's file "address.in"; with no TMP the data folder is the
// program folder, and "ADDR" used to answer an empty book.
TEST(AddressBookReplyTest, FileNamesInAnyLetterCase) {
    test::TempDir dir;
    dir.Write("address.in", "Dr|Anne|Lee\r\n");
    EXPECT_EQ(AddressBookReply(Folders{dir.Path(), dir.Path()}), "Dr|Anne|Lee\r\n.\r\n");

    dir.Write("ADDRESS.IN.BKP", Line("Bo", "Backup", "1") + "\r\n");
    dir.Write("Custom.Address.IN", Line("Cy", "Custom", "2") + "\r\n");
    dir.Write("address.in", "");
    AddressBook book(dir.Path());
    book.Load();
    ASSERT_EQ(book.Count(), 2u);
    EXPECT_EQ(AddressBook::Field(book.Entry(0), 3), "Backup");
    EXPECT_EQ(AddressBook::Field(book.Entry(1), 3), "Custom");
}

// A server runs for months: a newer book in the program folder must reach its clients without a
// restart, and an older one must not replace a copy fetched meanwhile.
TEST(AddressBookReplyTest, ServerAnswersWithTheProgramFoldersNewerBook) {
    test::TempDir dir;
    const Folders folders{dir.Path() + "prog/", dir.Path() + "tmp/"};
    dir.Write("tmp/Address.in", "old\r\n");
    dir.Write("prog/address.in", "older\r\n");
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dir.File("prog/address.in"), now - std::chrono::hours(1));
    EXPECT_EQ(AddressBookReply(folders), "old\r\n.\r\n");

    dir.Write("prog/address.in", "new\r\n");
    std::filesystem::last_write_time(dir.File("prog/address.in"), now + std::chrono::hours(1));
    EXPECT_EQ(AddressBookReply(folders), "new\r\n.\r\n");
    EXPECT_EQ(dir.Read("tmp/Address.in"), "new\r\n");
}

} // namespace
} // namespace vvp
