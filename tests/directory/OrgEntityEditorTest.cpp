#include "OrgEntityEditor.h"

#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace vvp {
namespace {

using Table = OrgEntityEditor::Table;

class OrgEntityEditorTest : public ::testing::Test {
protected:
    void Load() { m_editor.LoadData(Orgs(), Ents()); }
    std::string Orgs() const { return m_dir.File("Organisations.xml"); }
    std::string Ents() const { return m_dir.File("Entities.xml"); }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : m_prompter.Transcript())
            texts.push_back(r.caption + ": " + r.text);
        return texts;
    }
    // Organisations A and B, entities GP01 and GP02.
    void LoadTwoOfEach() {
        m_dir.Write(
            "Organisations.xml",
            std::string(kOrganisationsTable)
                .replace(std::string(kOrganisationsTable).find("</ROWDATA>"), 0,
                         "<ROW Name=\"Alpha\" Id=\"A\" phone=\"1\" publish=\"Yes\"/>"
                         "<ROW Name=\"Beta\" Address=\"2 Main St\" Id=\"B\" fax=\"9\" publish=\"No\"/>"));
        m_dir.Write("Entities.xml", std::string(kEntitiesTable)
                                        .replace(std::string(kEntitiesTable).find("</ROWDATA>"), 0,
                                                 "<ROW Name=\"Jones\" Givennames=\"Al\" Id=\"GP01\"/>"
                                                 "<ROW Name=\"Lee\" Givennames=\"Bo\" Id=\"GP02\"/>"));
        Load();
    }

    test::TempDir m_dir;
    HeadlessPrompter m_prompter;
    OrgEntityEditor m_editor{m_prompter};
};

TEST_F(OrgEntityEditorTest, TwoMissingFilesGiveOneEmptyRowEach) {
    Load();
    EXPECT_EQ(m_editor.OrganisationItems(), std::vector<std::string>{": "});
    EXPECT_FALSE(m_editor.CopyEnabled());
    EXPECT_EQ(m_editor.EntityItems(), std::vector<std::string>{": , "});
    EXPECT_EQ(m_editor.OrganisationListItems(), (std::vector<std::string>{"All Organisations", ""}));
    EXPECT_TRUE(m_editor.Published(Table::Organisations));
    EXPECT_TRUE(m_editor.Published(Table::Entities));
    ASSERT_TRUE(m_editor.Ok());
    EXPECT_TRUE(Messages().empty());
    test::ExpectMatchesGolden(m_dir.Read("Organisations.xml"), "directory/organisations_new.xml");
    test::ExpectMatchesGolden(m_dir.Read("Entities.xml"), "directory/entities_new.xml");
}

TEST_F(OrgEntityEditorTest, FilesAreFoundWhateverTheLetterCase) {
    m_dir.Write("ORGANISATIONS.XML", "x");
    EXPECT_EQ(OrgEntityEditor::OrganisationsPath(m_dir.Path()), m_dir.File("ORGANISATIONS.XML"));
    EXPECT_EQ(OrgEntityEditor::EntitiesPath(m_dir.Path()), m_dir.File("Entities.xml"));
}

TEST_F(OrgEntityEditorTest, PublishTickRoundTrip) {
    LoadTwoOfEach();
    EXPECT_TRUE(m_editor.Published(Table::Organisations));
    m_editor.SelectOrganisation(1);
    EXPECT_FALSE(m_editor.Published(Table::Organisations));
    m_editor.SetPublished(Table::Organisations, true);
    m_editor.SelectOrganisation(0);
    m_editor.SetPublished(Table::Organisations, false);
    ASSERT_TRUE(m_editor.Ok());
    TDatapacket saved;
    ASSERT_TRUE(saved.LoadFromFileOrDefault(Orgs(), ""));
    EXPECT_EQ(saved.Row(0)->Value("publish"), "No");
    EXPECT_EQ(saved.Row(1)->Value("publish"), "Yes");
    for (const char* value : {"yes", "Y", "YES"}) {
        m_editor.SetValue(Table::Organisations, "publish", value);
        EXPECT_TRUE(m_editor.Published(Table::Organisations)) << value;
    }
}

TEST_F(OrgEntityEditorTest, NewEntityGetsItsIdentifier) {
    LoadTwoOfEach();
    m_editor.NewEntity();
    ASSERT_TRUE(m_editor.EditingId());
    EXPECT_EQ(m_editor.IdText(), "New Entity");
    EXPECT_STREQ(m_editor.AddChangeCaption(), "&Add");
    m_editor.SetIdText(" GP03 ");
    m_editor.AddChangeClicked(); // confirms the edit instead of making yet another entity
    EXPECT_FALSE(m_editor.EditingId());
    EXPECT_EQ(m_editor.EntityItems().back(), "GP03: Surname/Family Name, Given names");
    EXPECT_EQ(m_editor.EntityIndex(), 2);
    EXPECT_EQ(m_editor.Value(Table::Entities, "Title"), "Dr");

    // A placeholder left unnamed is reused by the next New.
    m_editor.NewEntity();
    m_editor.SetIdText("New Entity");
    m_editor.FinishIdEdit();
    m_editor.NewEntity();
    m_editor.FinishIdEdit();
    EXPECT_EQ(m_editor.Packet(Table::Entities).RowCount(), 4);
}

TEST_F(OrgEntityEditorTest, IdentifierRules) {
    LoadTwoOfEach();
    struct Case {
        const char* what;
        const char* typed;
        const char* idAfter; // of the entity that was edited
        int selectedAfter;
        size_t messages;
    } cases[] = {
        {"another entity's id, other case", "gp02", "GP01", 1, 0},
        {"empty", "   ", "GP01", 0, 1},
        {"own id in another case", "gp01", "gp01", 0, 0},
        {"new id", "X7", "X7", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_editor.LoadData(Orgs(), Ents());
        const size_t before = Messages().size();
        m_editor.ChangeEntityId();
        EXPECT_STREQ(m_editor.AddChangeCaption(), "&Change");
        EXPECT_EQ(m_editor.IdText(), "GP01");
        m_editor.SetValue(Table::Entities, "Name", "ignored while the id is edited");
        m_editor.SetIdText(c.typed);
        m_editor.FinishIdEdit();
        EXPECT_EQ(m_editor.Packet(Table::Entities).Row(0)->Value("Id"), c.idAfter);
        EXPECT_EQ(m_editor.Packet(Table::Entities).Row(0)->Value("Name"), "Jones");
        EXPECT_EQ(m_editor.EntityIndex(), c.selectedAfter);
        EXPECT_EQ(Messages().size() - before, c.messages);
    }
}

TEST_F(OrgEntityEditorTest, CopyingBOntoAKeepsTheIdOfA) {
    LoadTwoOfEach();
    ASSERT_TRUE(m_editor.CopyEnabled());
    m_editor.CopyButtonClicked(0);
    ASSERT_TRUE(m_editor.Copying());
    EXPECT_STREQ(m_editor.CopyButtonCaption(), "&Copy");
    m_editor.CancelCopy(); // leaving the list without a choice copies nothing
    EXPECT_EQ(m_editor.Value(Table::Organisations, "Name"), "Alpha");

    m_editor.CopyButtonClicked(0);
    m_editor.CopyButtonClicked(1);
    EXPECT_FALSE(m_editor.Copying());
    EXPECT_STREQ(m_editor.CopyButtonCaption(), "Copy &From...");
    for (const char* field : {"Name", "Address", "fax", "publish"})
        EXPECT_EQ(m_editor.Value(Table::Organisations, field),
                  m_editor.Packet(Table::Organisations).Row(1)->Value(field))
            << field;
    EXPECT_EQ(m_editor.Value(Table::Organisations, "phone"), "");
    EXPECT_EQ(m_editor.Value(Table::Organisations, "Id"), "A");
    EXPECT_EQ(m_editor.OrganisationItems()[0], "A: Beta");
    EXPECT_EQ(m_editor.OrganisationIndex(), 0);
}

TEST_F(OrgEntityEditorTest, DeleteAsksAndSelectsThePreviousEntity) {
    LoadTwoOfEach();
    m_editor.SelectEntity(1);
    m_prompter.AddAnswer("Delete Entity", "No");
    EXPECT_FALSE(m_editor.DeleteEntity());
    EXPECT_EQ(m_editor.Packet(Table::Entities).RowCount(), 2);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0],
              "Delete Entity: Are you sure you want to delete \r\n\r\nGP02: Lee, Bo\r\n\r\nfrom the list?");

    HeadlessPrompter yes;
    OrgEntityEditor editor(yes);
    editor.LoadData(Orgs(), Ents());
    editor.SelectEntity(1);
    EXPECT_TRUE(editor.DeleteEntity());
    EXPECT_EQ(editor.EntityItems(), std::vector<std::string>{"GP01: Jones, Al"});
    EXPECT_EQ(editor.EntityIndex(), 0);
}

TEST_F(OrgEntityEditorTest, FieldsAreBoundByNameInAFileOfAnotherOrder) {
    m_dir.Write(
        "Entities.xml",
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"publish\" fieldtype=\"string\"/>"
        "<FIELD attrname=\"Title\" fieldtype=\"string\"/><FIELD attrname=\"Id\" fieldtype=\"string\"/>"
        "<FIELD attrname=\"Organisation\" fieldtype=\"string\"/><FIELD attrname=\"Name\" "
        "fieldtype=\"string\"/>"
        "</FIELDS></METADATA><ROWDATA><ROW publish=\"no\" Title=\"Prof\" Id=\"S1\" Organisation=\"B\" "
        "Name=\"Shuffled\"/></ROWDATA></DATAPACKET>");
    m_dir.Write("Organisations.xml", std::string(kOrganisationsTable)
                                         .replace(std::string(kOrganisationsTable).find("</ROWDATA>"), 0,
                                                  "<ROW Id=\"A\"/><ROW Id=\"B\"/>"));
    Load();
    EXPECT_EQ(m_editor.EntityItems(), std::vector<std::string>{"S1: Shuffled, "});
    EXPECT_EQ(m_editor.Value(Table::Entities, "Title"), "Prof");
    EXPECT_FALSE(m_editor.Published(Table::Entities));
    EXPECT_EQ(m_editor.OrganisationListIndex(), 2);
    m_editor.SetValue(Table::Entities, "Name", "Edited");
    m_editor.SetValue(Table::Entities, "Givennames", "no such field here");
    ASSERT_TRUE(m_editor.Ok());
    EXPECT_NE(m_dir.Read("Entities.xml")
                  .find("<ROW publish=\"no\" Title=\"Prof\" Id=\"S1\" Organisation=\"B\" "
                        "Name=\"Edited\"/>"),
              std::string::npos)
        << m_dir.Read("Entities.xml");
}

TEST_F(OrgEntityEditorTest, OkKeepsTheDialogOpenRatherThanLoseEdits) {
    LoadTwoOfEach();
    m_editor.SetValue(Table::Organisations, "Name", "Mine");

    // Another instance saved in between: asked, and "No" writes nothing.
    m_dir.Write("Organisations.xml", std::string(kOrganisationsTable) + "\r\n");
    m_prompter.AddAnswer("Organisation And Entity Editor", "No");
    EXPECT_FALSE(m_editor.Ok());
    EXPECT_EQ(m_dir.Read("Organisations.xml"), std::string(kOrganisationsTable) + "\r\n");
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find("Organisations.xml"), std::string::npos);

    // A save that fails is reported and the dialog stays.
    ASSERT_TRUE(DeleteFileIfExists(Ents()));
    ASSERT_TRUE(ForceDirectories(Ents()));
    HeadlessPrompter yes;
    OrgEntityEditor editor(yes);
    ASSERT_TRUE(DeleteFileIfExists(Orgs()));
    editor.LoadData(Orgs(), Ents());
    editor.SetValue(Table::Organisations, "Name", "Kept");
    EXPECT_FALSE(editor.Ok());
    ASSERT_FALSE(yes.Transcript().empty());
    EXPECT_EQ(yes.Transcript().back().caption, "Vocanet Virtual Printer");
    EXPECT_EQ(editor.Value(Table::Organisations, "Name"), "Kept");
}

TEST_F(OrgEntityEditorTest, ATableThatIsNoDatapacketIsReportedAndNeverSaved) {
    m_dir.Write("Entities.xml", "Name;Id\r\nJones;GP01\r\n");
    Load();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_NE(Messages()[0].find("Entities.xml"), std::string::npos);
    EXPECT_FALSE(m_editor.Loaded(Table::Entities));
    EXPECT_TRUE(m_editor.Loaded(Table::Organisations));
    m_editor.NewEntity(); // a table without fields takes no entity
    EXPECT_FALSE(m_editor.EditingId());
    EXPECT_EQ(m_editor.Value(Table::Entities, "Name"), "");
    EXPECT_TRUE(m_editor.Ok());
    EXPECT_EQ(m_dir.Read("Entities.xml"), "Name;Id\r\nJones;GP01\r\n");
    EXPECT_TRUE(FileExists(Orgs()));
}

} // namespace
} // namespace vvp
