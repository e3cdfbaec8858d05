#include "RTFListForm.h"

#include "FileUtil.h"
#include "TestSupport.h"
#include "VNLetterForm.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vvp {
namespace {

class RecordingPlatform final : public Platform {
public:
    std::vector<std::string> opened;
    bool AcquireSingleInstance(const std::string&) override { return true; }
    bool IsAutoStartEnabled() override { return false; }
    bool SetAutoStart(bool, const std::string&) override { return true; }
    bool OpenDocument(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool BringWindowToFront(const std::string&) override { return false; }
    bool PrinterAdministrationAvailable() override { return false; }
};

struct LibraryFixture {
    test::TempDir dir;
    HeadlessPrompter prompter;
    RecordingPlatform platform;
    LetterheadLibrary form{prompter, &platform};

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& r : prompter.Transcript())
            texts.push_back(r.caption + "|" + r.answer);
        return texts;
    }
};

TEST(LetterheadLibrary, ListsTheRtfFilesAndOpensTheChosenOne) {
    LibraryFixture f;
    for (const char* name : {"a.rtf", "Practice.RTF", "with blank.rtf", "notes.txt", "rtf"})
        f.dir.Write(name, "{}");
    (void)ForceDirectories(f.dir.Path() + "folder.rtf");
    f.form.ShowLibrary(f.dir.Path());
    std::vector<std::string> items = f.form.Letterheads();
    std::sort(items.begin(), items.end());
    EXPECT_EQ(items, (std::vector<std::string>{"Practice.RTF", "a.rtf", "with blank.rtf"}));
    EXPECT_TRUE(f.prompter.Transcript().empty());

    EXPECT_FALSE(f.form.CanOpen());
    EXPECT_EQ(f.form.OpenSelected(), "");
    EXPECT_TRUE(f.platform.opened.empty());
    const int blank = static_cast<int>(
        std::find(f.form.Letterheads().begin(), f.form.Letterheads().end(), "with blank.rtf") -
        f.form.Letterheads().begin());
    f.form.Select(blank);
    EXPECT_TRUE(f.form.CanOpen());
    EXPECT_EQ(f.form.OpenSelected(), f.dir.Path() + "with blank.rtf");
    ASSERT_EQ(f.platform.opened.size(), 1u);
    EXPECT_EQ(f.platform.opened[0], f.dir.Path() + "with blank.rtf");
    f.form.Select(7);
    EXPECT_FALSE(f.form.CanOpen());
}

TEST(LetterheadLibrary, EmptyFolderSaysNoLetterheadsFound) {
    LibraryFixture f;
    f.form.ShowLibrary(f.dir.Path());
    EXPECT_TRUE(f.form.Letterheads().empty());
    ASSERT_EQ(f.prompter.Transcript().size(), 1u);
    EXPECT_EQ(f.prompter.Transcript()[0].text, "No letterheads found");
}

TEST(LetterheadLibrary, RecreateInAMissingFolderCreatesItOnYesOrCancel) {
    for (const char* answer : {"Yes", "Cancel", "No"}) {
        LibraryFixture f;
        const std::string folder = f.dir.Path() + "new/heads/";
        f.prompter.AddAnswer("Create Default Letterhead Folder", answer);
        f.form.ShowLibrary(folder);
        EXPECT_FALSE(f.form.EditNamesFolder());
        f.form.RecreateDefault();
        const auto transcript = f.prompter.Transcript();
        ASSERT_GE(transcript.size(), 2u);
        EXPECT_EQ(transcript[1].text, "The Letterhead Folder you have selected does not exist.\r\n\r\n"
                                      "Do you want to create the folder \r\n\r\n" +
                                          folder + "?");
        if (std::string(answer) == "No") {
            EXPECT_FALSE(DirectoryExists(folder));
            continue;
        }
        EXPECT_TRUE(f.form.EditNamesFolder()) << answer;
        EXPECT_EQ(f.dir.Read("new/heads/default.rtf"), DefaultLetterheadRtf()) << answer;
        EXPECT_EQ(f.form.Letterheads(), std::vector<std::string>{"default.rtf"});
    }
}

TEST(LetterheadLibrary, RecreateAsksBeforeOverwritingWhateverTheLetterCase) {
    LibraryFixture f;
    f.dir.Write("Default.rtf", "mine");
    f.form.ShowLibrary(f.dir.Path());
    f.form.RecreateDefault(); // the headless answer keeps the user's file
    EXPECT_EQ(f.dir.Read("Default.rtf"), "mine");
    ASSERT_EQ(f.prompter.Transcript().size(), 1u);
    EXPECT_EQ(f.prompter.Transcript()[0].caption, "Recreate Default Letterhead");
    EXPECT_EQ(f.prompter.Transcript()[0].text,
              "About to recreate the Default Letter.  This will overwrite theexisting one.\r\n\r\n"
              "Are you sure you want to recreate the Default Letterhead?");

    f.prompter.AddAnswer("Recreate Default Letterhead", "Yes");
    f.form.RecreateDefault();
    EXPECT_EQ(f.dir.Read("Default.rtf"), DefaultLetterheadRtf());
    EXPECT_FALSE(FileExists(f.dir.File("default.rtf"))); // one default, not two
}

TEST(LetterheadLibrary, ClosingTakesOverOnlyAnExistingFolder) {
    LibraryFixture f;
    std::vector<std::string> announced;
    f.form.OnFolderChanged = [&](const std::string& folder) { announced.push_back(folder); };
    f.dir.Write("heads/a.rtf", "{}");
    f.form.ShowLibrary(f.dir.Path());

    f.form.EditFolder(f.dir.Path() + "missing");
    EXPECT_FALSE(f.form.EditNamesFolder());
    f.form.FormCloseQuery();
    EXPECT_TRUE(announced.empty());
    EXPECT_EQ(f.form.FolderValue(), f.dir.Path());

    f.form.EditFolder(" " + f.dir.Path() + "heads ");
    EXPECT_TRUE(f.form.EditNamesFolder());
    f.form.FormCloseQuery();
    EXPECT_EQ(announced, std::vector<std::string>{f.dir.Path() + "heads/"});
    EXPECT_EQ(f.form.FolderValue(), f.dir.Path() + "heads/");
}

TEST(LetterheadLibrary, BrowsedFolderReplacesTheEditAndRefillsTheList) {
    LibraryFixture f;
    f.dir.Write("heads/a.rtf", "{}");
    f.dir.Write("b.rtf", "{}");
    f.form.ShowLibrary(f.dir.Path());
    f.prompter.AddAnswer("Select a path to monitor for Files to sign", f.dir.Path() + "heads");
    f.form.BrowseForFolder();
    EXPECT_EQ(f.form.FolderText(), f.dir.Path() + "heads/");
    EXPECT_EQ(f.form.Letterheads(), std::vector<std::string>{"a.rtf"});
}

} // namespace
} // namespace vvp
