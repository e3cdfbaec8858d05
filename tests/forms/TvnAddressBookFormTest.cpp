#include "TvnAddressBookForm.h"

#include "FakeMainWindowEngine.h"
#include "FileUtil.h"
#include "GuiTestSupport.h"
#include "QtBackgroundRunner.h"
#include "QtPrompter.h"
#include "TestSupport.h"
#include "TKXPrinterHandlerForm.h"
#include "VvpTrayIcon.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace vvp;
using namespace std::chrono_literals;

namespace {

// Fields: title|given|surname||speciality|address 1-4|vocanet|phone|fax||||provider comments.
const char* const kBook =
    "Dr|John|Smith||General practice |12 High St||Northcote|VIC 3070|jsmith@northcote.vocanet.example|"
    "03 9481 0000|03 9481 0001||||2345678A Mon-Fri\r\n"
    "Dr|Anne|Smithers||Cardiology |Level 2|100 Collins St|Melbourne|VIC 3000|asmithers@heart.vocanet.example|"
    "03 9650 1111|03 9650 1112||||1111111B\r\n"
    // A book from a Windows server: single-byte text.
    "Prof|Zo\xEB|Smithson||Neurology |5 Grey St||East Melbourne|VIC 3002|zsmithson@neuro.vocanet.example|"
    "03 9419 2222|||||2349999C Tuesdays only\r\n"
    "Dr|Mary|Jones||Paediatrics |8 Park Rd||Carlton|VIC 3053|mjones@kids.vocanet.example|03 9347 3333|"
    "03 9347 3334||||4445556D\r\n"
    "Ms|Kate|Brown||Pharmacy|1 Station St||Fairfield|VIC 3078|kbrown@pharmacy.vocanet.example|03 9489 4444|"
    "||||7778889E\r\n";

struct AddressBookFormFixture : ::testing::Test, test::WithGuiApp {
    AddressBookFormFixture() { dir.Write("Address.in", kBook); }

    template <typename T> T* Find(const char* name) { return test::FindNamed<T>(form, name); }
    QString Cell(int row, int column) {
        QAbstractItemModel* rows = Find<QTableView>("AddressGrid")->model();
        return rows->data(rows->index(row, column)).toString();
    }
    int RowCount() { return Find<QTableView>("AddressGrid")->model()->rowCount(); }

    test::TempDir dir;
    std::string fieldWidths = "129,48,97,282,166,180,172";
    std::vector<std::string> saved;
    TvnAddressBookForm form{dir.Path(),
                            {[this] { return fieldWidths; },
                             [this](const std::string& text) {
                                 saved.push_back(text);
                                 fieldWidths = text;
                             }}};
};

TEST_F(AddressBookFormFixture, SearchBoxesClearEachOtherAndKeepWhatWasTyped) {
    form.Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.windowTitle(), "Vocanet-VVP Address Book");
    EXPECT_EQ(form.objectName(), "vnAddressBookForm");
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Find<QLabel>("ABSizeLabel")->text(), "5 entries in address book");
    EXPECT_EQ(Find<QLabel>("WhoLabel")->text(), "Not found");
    QStringList headers;
    QAbstractItemModel* rows = Find<QTableView>("AddressGrid")->model();
    for (int i = 0; i < rows->columnCount(); ++i)
        headers.append(rows->headerData(i, Qt::Horizontal).toString());
    EXPECT_EQ(headers, QStringList({"Name", "ID/Prov", "Speciality", "Address", "Vocanet", "Phone & Fax",
                                    "Comments"}));

    auto* surname = Find<QLineEdit>("SurnameSrchEdit");
    auto* provider = Find<QLineEdit>("ProvNumSrchEdit");
    QTest::keyClicks(surname, "SMI");
    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "Smith John");
    EXPECT_EQ(Cell(2, 0), QString::fromUtf8("Smithson Zo\u00EB"));
    EXPECT_EQ(Cell(2, 6), "Tuesdays only");
    EXPECT_EQ(Cell(1, 5), "PH:03 9650 1111 FAX:03 9650 1112");
    EXPECT_TRUE(
        Find<QLabel>("WhoLabel")
            ->text()
            .startsWith(
                "Dr Smith John 2345678A\nSpeciality: General practice  Vocanet Address: jsmith@northcote"));

    QTest::keyClicks(provider, "111");
    EXPECT_EQ(provider->text(), "111") << "emptying the other box did not empty this one";
    EXPECT_EQ(surname->text(), "");
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "Smithers Anne");

    QTest::keyClicks(surname, "smithson z");
    EXPECT_EQ(surname->text(), "smithson z");
    EXPECT_EQ(provider->text(), "");
    ASSERT_EQ(RowCount(), 1);
    EXPECT_EQ(Cell(0, 1), "2349999C");

    surname->clear();
    QTest::keyClicks(surname, "s");
    ASSERT_EQ(RowCount(), 3);
    auto* grid = Find<QTableView>("AddressGrid");
    const QRect second = grid->visualRect(grid->model()->index(1, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_TRUE(Find<QLabel>("WhoLabel")->text().startsWith("Dr Smithers Anne 1111111B"))
        << "AddressGridClick";

    QTest::keyClicks(surname, "q"); // nothing found: the details stay
    EXPECT_EQ(RowCount(), 0);
    EXPECT_TRUE(Find<QLabel>("WhoLabel")->text().startsWith("Dr Smithers Anne"));

    surname->clear();
    QTest::keyClicks(surname, "smi");
    test::WaitUntil([] { return false; }, 50ms);
    EXPECT_TRUE(FileExists(test::SaveScreenshot(form, "address-book")));
}

TEST_F(AddressBookFormFixture, ColumnWidthsComeFromFieldWidthsAndAreSavedOnlyWhenChanged) {
    fieldWidths = "100,0,abc,50,-4"; // zero, junk and negative keep the column's width
    form.Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QHeaderView* header = Find<QTableView>("AddressGrid")->horizontalHeader();
    std::vector<int> shown;
    for (int i = 0; i < 7; ++i)
        shown.push_back(header->sectionSize(i));
    EXPECT_EQ(shown, (std::vector<int>{100, 71, 113, 50, 143, 113, 172}));

    form.hide();
    EXPECT_EQ(saved, std::vector<std::string>{"100,71,113,50,143,113,172"});

    form.Open();
    header->resizeSection(2, 200);
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason); // AddressGridExit
    QApplication::sendEvent(Find<QTableView>("AddressGrid"), &leave);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved.back(), "100,71,200,50,143,113,172");
    form.hide();
    form.Open();
    EXPECT_EQ(header->sectionSize(2), 200);
    form.hide();
    EXPECT_EQ(saved.size(), 2u) << "unchanged widths are not saved again";
}

// The menu and tray items of the main window, over a fake engine whose server answers late.
struct OpeningFixture : ::testing::Test, test::WithGuiApp {
    OpeningFixture() {
        engine.folders = {program.Path(), temp.Path()};
        engine.SetSaveMode(0);
        program.Write("address.in", "Dr|Old|Installed||||||||||||||1\r\n");
        engine.fetchAddressBook = [this] {
            for (int i = 0; i < 1000 && !serverAnswers; ++i)
                std::this_thread::sleep_for(10ms);
            temp.Write("Address.in", kBook);
            return AddressFetchResult{AddressFetchResult::Status::Fetched, 5, {}};
        };
    }
    ~OpeningFixture() override {
        serverAnswers = true;
        for (QDialog* d : test::OpenDialogs())
            d->done(QDialog::Rejected);
        prompter.Abandon();
        runner.WaitForDone();
    }
    static QWidget* AddressBookWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "vnAddressBookForm" && w->isVisible()) return w;
        return nullptr;
    }

    test::TempDir program, temp;
    std::atomic<bool> serverAnswers{false};
    test::FakeMainWindowEngine engine;
    test::FakePlatform platform;
    QtPrompter prompter;
    QtBackgroundRunner runner;
    TKXPrinterHandlerForm form{engine, prompter, platform, runner, {"/opt/vvp/bin/vvp", ""}, [] {}};
};

TEST_F(OpeningFixture, TheBookIsFetchedBesideTheWindowThenShownAndTheWindowGoesToTheTray) {
    ASSERT_TRUE(engine.Start().ok());
    form.FormCreate();
    form.show();
    form.findChild<QAction*>("AddressBook1")->trigger();
    EXPECT_EQ(form.cursor().shape(), Qt::WaitCursor);
    form.TrayIcon().Menu()->findChild<QAction*>("AddressBook2")->trigger(); // ignored while busy
    test::WaitUntil([] { return false; }, 100ms);
    EXPECT_EQ(AddressBookWindow(), nullptr) << "not shown before the fetch ended";

    serverAnswers = true;
    ASSERT_TRUE(test::WaitUntil([] { return AddressBookWindow() != nullptr; }));
    EXPECT_EQ(engine.addressFetches, 1);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(AddressBookWindow()->findChild<QLabel*>("ABSizeLabel")->text(), "5 entries in address book")
        << "the server's book, not the installed copy";
    if (VvpTrayIcon::Available())
        EXPECT_FALSE(form.isVisible());
    else
        EXPECT_TRUE(form.isMinimized());
    const auto log = engine.LogLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "09:00:00 Address book fetched from the server: 5 entries"),
              log.end());
}

TEST_F(OpeningFixture, TheEntitiesItemOpensTheEditorOnTheProgramFolderTables) {
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    // The menu is hidden: its shortcut is the way in.
    QTest::keyClick(&form, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    QDialog* editor = test::WaitForDialog();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->objectName(), "VNOrgEntityForm1");
    EXPECT_TRUE(editor->isModal());
    editor->reject();
    EXPECT_FALSE(FileExists(program.File("Organisations.xml"))) << "Cancel writes nothing";
}

} // namespace
