// The letterhead library window: its list, the red folder, opening a file, recreating the default
// and the folder it hands back to the main window.

#include "TRTFEditForm.h"
#include "FakeMainWindowEngine.h"
#include "FileUtil.h"
#include "GuiTestSupport.h"
#include "QtBackgroundRunner.h"
#include "QtPrompter.h"
#include "TestSupport.h"
#include "TKXPrinterHandlerForm.h"
#include "VNLetterForm.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vvp;

namespace {

struct LibraryFormFixture : ::testing::Test, test::WithGuiApp {
    ~LibraryFormFixture() override {
        for (QDialog* d : test::OpenDialogs())
            d->done(QDialog::Rejected);
    }
    test::TempDir dir;
    test::FakePlatform platform;
    QtPrompter prompter;
    test::DialogRobot robot;
    TRTFEditForm form{prompter, &platform};

    template <typename T> T* Child(const char* name) { return test::FindNamed<T>(form, name); }
    QStringList Listed() {
        QStringList names;
        auto* list = Child<QListWidget>("RTFListBox");
        for (int i = 0; i < list->count(); ++i)
            names.append(list->item(i)->text());
        names.sort();
        return names;
    }
    bool Red() { return Child<QLineEdit>("LetterheadPathEdit")->styleSheet().contains("red"); }
    // Answers the next message box with the button, keeping its caption and text.
    void Answer(QMessageBox::StandardButton button, QStringList* seen) {
        robot.Then([button, seen](QDialog* d) {
            auto* box = qobject_cast<QMessageBox*>(d);
            ASSERT_NE(box, nullptr);
            seen->append(box->windowTitle() + "|" + box->text());
            box->button(button)->click();
        });
    }
};

TEST_F(LibraryFormFixture, ListsTheFolderAndOpensTheChosenFileThroughThePlatform) {
    for (const char* name : {"Practice.rtf", "Referral.RTF", "with blank.rtf", "notes.txt"})
        dir.Write(name, "{\\rtf1 }");
    form.ShowLibrary(dir.Path());
    EXPECT_EQ(form.windowTitle(), "Edit Letter Heads");
    EXPECT_EQ(Child<QLineEdit>("LetterheadPathEdit")->text().toStdString(), dir.Path());
    EXPECT_EQ(Listed(), (QStringList{"Practice.rtf", "Referral.RTF", "with blank.rtf"}));
    EXPECT_FALSE(Red());
    auto* open = Child<QPushButton>("OpenBtn");
    EXPECT_FALSE(open->isEnabled());
    EXPECT_FALSE(Child<QAction>("Open1")->isEnabled());

    auto* list = Child<QListWidget>("RTFListBox");
    const auto items = list->findItems("with blank.rtf", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    list->setCurrentItem(items.front());
    EXPECT_TRUE(open->isEnabled());
    open->click();
    ASSERT_EQ(platform.opened.size(), 1u);
    EXPECT_EQ(platform.opened[0], dir.Path() + "with blank.rtf"); // one argument, blank and all

    Child<QLineEdit>("LetterheadPathEdit")->setText(QString::fromStdString(dir.Path() + "missing/"));
    EXPECT_TRUE(Red());
    Child<QLineEdit>("LetterheadPathEdit")->setText(QString::fromStdString(dir.Path()));
    EXPECT_FALSE(Red());
}

TEST_F(LibraryFormFixture, RecreateDefaultAsksThenCreatesTheFolderAndWritesTheTemplate) {
    const std::string folder = dir.Path() + "heads/";
    QStringList seen;
    Answer(QMessageBox::Ok, &seen); // "No letterheads found" for the missing folder
    form.ShowLibrary(folder);
    EXPECT_TRUE(Red());

    Answer(QMessageBox::Cancel, &seen); // Cancel goes on, as Yes does
    Child<QAction>("RecreateDefault1")->trigger();
    EXPECT_TRUE(DirectoryExists(folder));
    EXPECT_EQ(dir.Read("heads/default.rtf"), DefaultLetterheadRtf());
    EXPECT_FALSE(Red());
    EXPECT_EQ(Listed(), QStringList{"default.rtf"});

    dir.Write("heads/default.rtf", "changed");
    Answer(QMessageBox::No, &seen);
    Child<QAction>("RecreateDefault1")->trigger();
    EXPECT_EQ(dir.Read("heads/default.rtf"), "changed");
    Answer(QMessageBox::Yes, &seen);
    Child<QAction>("RecreateDefault1")->trigger();
    EXPECT_EQ(dir.Read("heads/default.rtf"), DefaultLetterheadRtf());
    EXPECT_TRUE(robot.Done());

    ASSERT_EQ(seen.size(), 4);
    EXPECT_EQ(seen[0], "Vocanet Virtual Printer|No letterheads found");
    EXPECT_EQ(seen[1],
              QString::fromStdString("Create Default Letterhead Folder|The Letterhead Folder you have "
                                     "selected does not exist.\n\nDo you want to create the folder \n\n" +
                                     folder + "?"));
    const QString overwrite = "Recreate Default Letterhead|About to recreate the Default Letter.  This will "
                              "overwrite theexisting one.\n\nAre you sure you want to recreate the Default "
                              "Letterhead?";
    EXPECT_EQ(seen[2], overwrite);
    EXPECT_EQ(seen[3], overwrite);
    test::SaveScreenshot(form, "letterhead-library");
}

// Edit > Letter Heads opens the library on the Letterhead Path; closing it on another existing
// folder makes that the Letterhead Path, a missing one changes nothing.
TEST_F(LibraryFormFixture, TheMainWindowsMenuItemOpensItAndTakesTheFolderBack) {
    test::FakeMainWindowEngine engine;
    QtBackgroundRunner runner;
    TKXPrinterHandlerForm window{engine, prompter, platform, runner, {"/opt/vvp/bin/vvp", ""}, [] {}};
    dir.Write("a.rtf", "{}");
    dir.Write("other/b.rtf", "{}");
    (void)engine.ChangeSettings([this](VNPTRRegValues& v) { v.LetterheadPath = dir.Path(); });
    const int saves = engine.saves;

    QStringList listed;
    auto closeOn = [&](const std::string& folder) {
        robot.Then([&listed, folder](QDialog* d) {
            auto* list = d->findChild<QListWidget*>("RTFListBox");
            listed.clear();
            for (int i = 0; i < list->count(); ++i)
                listed.append(list->item(i)->text());
            d->findChild<QLineEdit*>("LetterheadPathEdit")->setText(QString::fromStdString(folder));
            d->findChild<QPushButton*>("ExitBtn")->click();
        });
    };
    closeOn(dir.Path() + "missing/");
    window.findChild<QAction*>("LetterHeads1")->trigger();
    EXPECT_EQ(listed, QStringList{"a.rtf"});
    EXPECT_EQ(engine.Settings().LetterheadPath, dir.Path());
    EXPECT_EQ(engine.saves, saves);

    // The same window again, kept from the first use: a robot of its own, which has not seen it.
    test::DialogRobot again;
    again.Then([this](QDialog* d) {
        d->findChild<QLineEdit*>("LetterheadPathEdit")->setText(QString::fromStdString(dir.Path() + "other"));
        d->findChild<QPushButton*>("ExitBtn")->click();
    });
    window.findChild<QAction*>("LetterHeads1")->trigger();
    EXPECT_TRUE(again.Done());
    EXPECT_EQ(engine.Settings().LetterheadPath, dir.Path() + "other/");
    EXPECT_EQ(engine.saves, saves + 1);
    ASSERT_NE(window.LetterHeads(), nullptr);
    EXPECT_TRUE(robot.Done());
}

} // namespace
