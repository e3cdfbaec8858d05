#include "AddressBookWindow.h"
#include "AddressBookOpener.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace vvp {
namespace {

std::string Line(const std::string& given, const std::string& surname, const std::string& prov) {
    return "Dr|" + given + "|" + surname + "|x|GP|1 Main St|Town|VIC|3000|" + surname +
           "@vocanet|03 1|03 2|||" + "|" + prov + "\r\n";
}

TEST(AddressBookWindowTest, SearchBoxesClearEachOtherAndFillTheGrid) {
    test::TempDir dir;
    // Single-byte Windows-1252, as books from Windows servers are.
    dir.Write("Address.in", Line("John", "Smith", "2345678A") + Line("Anne", "Smithers", "1111111B") +
                                Line("Zo\xEB", "\xC9mile", "2349999C"));
    AddressBook book(dir.Path());
    AddressBookWindow window(book);
    window.Activate("");
    EXPECT_EQ(window.CountText(), "3 entries in address book");
    EXPECT_EQ(window.DetailText(), "Not found");

    window.SurnameEdited("smi");
    ASSERT_EQ(window.Rows().size(), 2u);
    EXPECT_EQ(window.SelectedRow(), 0);
    EXPECT_EQ(window.DetailText().substr(0, 24), "Dr Smith John 2345678A\r\n");

    window.ProviderEdited("234");
    EXPECT_EQ(window.SurnameText(), "");
    ASSERT_EQ(window.Rows().size(), 2u);
    window.SelectRow(1);
    EXPECT_EQ(window.Rows()[1].name, "\xC3\x89mile Zo\xC3\xAB");
    EXPECT_EQ(window.DetailText().substr(0, 23), "Dr \xC3\x89mile Zo\xC3\xAB 2349999C");
    window.SelectRow(2); // no such row
    EXPECT_EQ(window.SelectedRow(), 1);

    // "é" typed finds "É"; the provider box is emptied but keeps no say.
    window.SurnameEdited("\xC3\xA9mi");
    EXPECT_EQ(window.ProviderText(), "");
    ASSERT_EQ(window.Rows().size(), 1u);

    // Nothing found: an empty grid, the details as they were.
    window.SurnameEdited("\xC3\xA9mi");
    const std::string before = window.DetailText();
    window.SurnameEdited("nobody");
    EXPECT_TRUE(window.Rows().empty());
    EXPECT_EQ(window.SelectedRow(), -1);
    EXPECT_EQ(window.DetailText(), before);

    // Shown again after the book changed: the typed search runs on the new book.
    window.SurnameEdited("smith");
    dir.Write("Address.in", Line("Jo", "Smith", "1"));
    window.Activate("");
    EXPECT_EQ(window.CountText(), "1 entries in address book");
    EXPECT_EQ(window.Rows().size(), 1u);
}

TEST(AddressBookWindowTest, ColumnWidthsFromAndToFieldWidths) {
    using W = AddressBookWindow::Widths;
    const W initial = AddressBookWindow::kInitialWidths;
    struct Case {
        const char* text;
        W widths;
    } cases[] = {
        {"129,48,97,282,166,180,172", {129, 48, 97, 282, 166, 180, 172}},
        {"", initial},
        {"10,abc,0,-5,,12x,$20", {10, 71, 113, 96, 143, 113, 32}},
        {"1,2", {1, 2, 113, 96, 143, 113, 172}},
        {"1,2,3,4,5,6,7,8,9", {1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddressBookWindow::ParseFieldWidths(c.text), c.widths) << c.text;

    test::TempDir dir;
    AddressBook book(dir.Path());
    AddressBookWindow window(book);
    window.Activate("0,0,0,0,0,0,0"); // would hide every column for good
    EXPECT_EQ(window.ColumnWidths(), initial);
    window.SetColumnWidths({100, 0, -3, 50});
    EXPECT_EQ(window.FieldWidthsText(), "100,71,113,50,143,113,172");
    EXPECT_EQ(AddressBookWindow::ParseFieldWidths(window.FieldWidthsText()), window.ColumnWidths());
}

class AddressBookOpenerTest : public ::testing::Test {
protected:
    AddressFetcher Fetcher(AddressFetchResult::Status status, const std::string& book = {}) {
        return [this, status, book] {
            ++m_calls;
            if (!book.empty()) m_temp.Write("Address.in", book);
            return AddressFetchResult{status, book.empty() ? 0u : 1u,
                                      status == Status::Fetched ? "" : "refused"};
        };
    }
    using Status = AddressFetchResult::Status;
    test::TempDir m_program, m_temp;
    std::atomic<int> m_calls{0};
};

TEST_F(AddressBookOpenerTest, ProgramFolderCopiesThenTheFetch) {
    struct Case {
        const char* what;
        int saveMode;
        Status status;
        const char* fetched;     // what the server sends, or nullptr
        const char* programBook; // the program folder's "address.in", or nullptr
        const char* shown;       // the temporary folder's "Address.in" afterwards
        const char* logStart;
    } cases[] = {
        {"fetched", 0, Status::Fetched, "server\r\n", nullptr, "server\r\n", "Address book fetched"},
        {"fetch failed", 0, Status::Failed, nullptr, nullptr, "local\r\n", "Address book not fetched"},
        {"unreachable", 1, Status::Unreachable, nullptr, nullptr, "local\r\n", "Address book not fetched"},
        {"server mode never asks", 2, Status::Fetched, "server\r\n", nullptr, "local\r\n", nullptr},
        {"the server's book wins over the installed copy", 0, Status::Fetched, "server\r\n", "program\r\n",
         "server\r\n", "Address book fetched"},
        {"no book from the server, the installed copy", 0, Status::Failed, nullptr, "program\r\n",
         "program\r\n", "Address book not fetched"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_calls = 0;
        m_temp.Write("Address.in", "local\r\n");
        if (c.programBook) {
            m_program.Write("ADDRESS.IN", c.programBook); // names compare without letter case
            m_program.Write("address.in.BKP", "backup\r\n");
        }
        AddressBookOpener opener({m_program.Path(), m_temp.Path()},
                                 Fetcher(c.status, c.fetched ? c.fetched : ""));
        ASSERT_TRUE(opener.Begin());
        const AddressBookOpening opening = opener.Run(c.saveMode, std::chrono::seconds(5));
        EXPECT_EQ(m_calls, c.saveMode == 2 ? 0 : 1);
        EXPECT_EQ(m_temp.Read("Address.in"), c.shown);
        if (c.programBook) {
            EXPECT_EQ(m_temp.Read("Address.in.bkp"), "backup\r\n");
        }
        if (c.logStart) {
            ASSERT_EQ(opening.log.size(), 1u);
            EXPECT_EQ(opening.log[0].rfind(c.logStart, 0), 0u) << opening.log[0];
        } else {
            EXPECT_TRUE(opening.log.empty());
        }
    }
}

TEST_F(AddressBookOpenerTest, ASecondClickIsIgnoredAndASlowServerIsNotWaitedForBeyondTheTimeout) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    m_program.Write("address.in", "program\r\n");
    AddressBookOpener opener({m_program.Path(), m_temp.Path()}, [this, released] {
        ++m_calls;
        released.wait();
        m_temp.Write("Address.in", "server\r\n");
        return AddressFetchResult{Status::Fetched, 7, {}};
    });
    ASSERT_TRUE(opener.Begin());
    EXPECT_TRUE(opener.Busy());
    EXPECT_FALSE(opener.Begin()); // the second click
    const auto start = std::chrono::steady_clock::now();
    const AddressBookOpening first = opener.Run(0, std::chrono::milliseconds(100));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(first.fetch.status, Status::Failed);
    EXPECT_FALSE(opener.Busy());

    // Opened again while that fetch still runs: it is waited for again, not asked for twice.
    ASSERT_TRUE(opener.Begin());
    EXPECT_EQ(opener.Run(0, std::chrono::milliseconds(50)).fetch.status, Status::Failed);
    EXPECT_EQ(m_calls, 1);
    EXPECT_EQ(m_temp.Read("Address.in"), "program\r\n");
    release.set_value();
    // The late book lands on top of the installed copy, not under it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_temp.Read("Address.in") != "server\r\n" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(m_temp.Read("Address.in"), "server\r\n");
    ASSERT_TRUE(opener.Begin());
    EXPECT_EQ(opener.Run(0, std::chrono::seconds(10)).fetch.lines, 7u);
}

} // namespace
} // namespace vvp
