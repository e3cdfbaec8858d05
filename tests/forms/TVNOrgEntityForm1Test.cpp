#include "TVNOrgEntityForm1.h"

#include "GuiTestSupport.h"
#include "QtPrompter.h"
#include "TDatapacket.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>

using namespace vvp;
using namespace std::chrono_literals;

namespace {

// Answers message boxes as they come up, in order, and keeps their texts.
class MessageBoxAnswers {
public:
    MessageBoxAnswers() {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }
    void Then(QMessageBox::StandardButton button) { m_buttons.push_back(button); }
    bool Done() const { return m_buttons.empty(); }
    QStringList texts;

private:
    void Poll() {
        if (m_buttons.empty()) return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || m_seen.contains(QPointer<QMessageBox>(box))) continue;
            m_seen.append(QPointer<QMessageBox>(box));
            texts.append(box->windowTitle() + ": " + box->text());
            const auto button = m_buttons.front();
            m_buttons.pop_front();
            box->button(button)->click();
            return;
        }
    }
    QTimer m_timer;
    std::deque<QMessageBox::StandardButton> m_buttons;
    QList<QPointer<QMessageBox>> m_seen;
};

struct EditorFormFixture : ::testing::Test, test::WithGuiApp {
    ~EditorFormFixture() override { prompter.Abandon(); }

    template <typename T> T* Find(const char* name) { return test::FindNamed<T>(form, name); }
    QString Text(const char* name) {
        QObject* o = form.findChild<QObject*>(QString::fromLatin1(name));
        return test::ShownText(o, name);
    }
    void Load() { form.LoadData(dir.File("Organisations.xml"), dir.File("Entities.xml")); }
    void ShowActive() {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    void Type(const char* name, const QString& text) {
        auto* edit = Find<QLineEdit>(name);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }
    void WriteTables() {
        TDatapacket orgs;
        ASSERT_TRUE(orgs.LoadFromText(kOrganisationsTable));
        const std::pair<const char*, const char*> a[] = {
            {"Id", "A"}, {"Name", "Alpha Clinic"}, {"phone", "111"}};
        const std::pair<const char*, const char*> b[] = {{"Id", "B"},
                                                         {"Name", "Beta Clinic"},
                                                         {"phone", "222"},
                                                         {"Locality", "Carlton"},
                                                         {"publish", "No"}};
        for (const auto& [field, value] : a)
            orgs.Row(0)->SetValue(field, value);
        const int second = orgs.NewRow();
        for (const auto& [field, value] : b)
            orgs.Row(second)->SetValue(field, value);
        ASSERT_TRUE(orgs.SaveToFile(dir.File("Organisations.xml")));

        TDatapacket people;
        ASSERT_TRUE(people.LoadFromText(kEntitiesTable));
        for (const char* id : {"GP01", "GP02"}) {
            const int row = id == std::string("GP01") ? 0 : people.NewRow(); // the empty table has one row
            people.Row(row)->SetValue("Id", id);
            people.Row(row)->SetValue("Name", std::string("Surname ") + id);
            people.Row(row)->SetValue("Organisation", "B");
        }
        ASSERT_TRUE(people.SaveToFile(dir.File("Entities.xml")));
    }

    test::TempDir dir;
    QtPrompter prompter;
    MessageBoxAnswers answers;
    TVNOrgEntityForm1 form{prompter};
};

TEST_F(EditorFormFixture, TwoMissingFilesGiveEveryControlWithItsCaptionsAndChoices) {
    Load();
    EXPECT_EQ(form.windowTitle(), "Organisation And Entity Editor");
    EXPECT_EQ(form.objectName(), "VNOrgEntityForm1");
    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "Organisation Details");
    EXPECT_EQ(pages->widget(0)->objectName(), "OrganisationsTab");
    EXPECT_EQ(pages->tabText(1), "People/Entities");
    EXPECT_EQ(pages->widget(1)->objectName(), "EntitiesTab");
    const std::pair<const char*, const char*> captions[] = {
        {"org_Name_EditLabel", "Organisation Name"},
        {"org_PostCode_EditLabel", "Postal Code"},
        {"org_Locality_EditLabel", "Suburb/Town"},
        {"org_cutom3_EditLabel", "Custom Field 3"},
        {"org_fax_FaxEditLabel", "Fax Number"},
        {"PublishCheck", "Publish this information on the Vocanet Server"},
        {"CopyOrgBtn", "Copy &From..."},
        {"EntityGroup", "Entities"},
        {"ent_Name_EditLabel", "Surname/Name"},
        {"ent_Givennames_editLabel", "Other Names"},
        {"OrganisationListLabel", "Use with..."},
        {"Ent_Title_ComboLabel", "Title"},
        {"PublishEntityCheck", "Publish this information on the Vocanet Server"},
        {"NewEntityLabel", "Prov Number/ID"},
        {"NewEntityBtn", "&New"},
        {"DeleteEntityBtn", "&Delete"},
        {"ChangeEntityIDBtn", "Change &ID"},
        {"AddChangeBtn", "&Add"},
        {"OrgCombo", ": "},
    };
    for (const auto& [name, text] : captions)
        EXPECT_EQ(Text(name), QString::fromLatin1(text)) << name;

    auto* speciality = Find<QComboBox>("ComboBox1");
    ASSERT_EQ(speciality->count(), 44);
    EXPECT_EQ(speciality->itemText(0), "Accident and Emergency ");
    EXPECT_EQ(speciality->itemText(20), "IT Professional");
    EXPECT_EQ(speciality->itemText(43), "Surgeon");
    EXPECT_TRUE(speciality->isEditable());
    auto* title = Find<QComboBox>("Ent_Title_Combo");
    ASSERT_EQ(title->count(), 7);
    EXPECT_EQ(title->itemText(6), "Sr");
    auto* organisations = Find<QComboBox>("OrganisationList");
    EXPECT_FALSE(organisations->isEditable());
    EXPECT_EQ(organisations->itemText(0), "All Organisations");

    EXPECT_EQ(Find<QComboBox>("OrgCombo")->count(), 1);
    EXPECT_FALSE(Find<QPushButton>("CopyOrgBtn")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("PublishCheck")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("PublishEntityCheck")->isChecked());
    EXPECT_FALSE(Find<QLineEdit>("NewEntityEdit")->isVisibleTo(&form));
    EXPECT_FALSE(Find<QPushButton>("AddChangeBtn")->isVisibleTo(&form));
    EXPECT_FALSE(Find<QComboBox>("FromOrgCombo")->isVisibleTo(&form));
}

TEST_F(EditorFormFixture, IdentifierEditsEndByEnterOrTheirButtonAndStayUnique) {
    Load();
    ShowActive();
    Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto* combo = Find<QComboBox>("EntityCombo");
    auto* idEdit = Find<QLineEdit>("NewEntityEdit");

    Find<QPushButton>("NewEntityBtn")->click();
    EXPECT_TRUE(idEdit->isVisible());
    EXPECT_FALSE(combo->isVisible());
    EXPECT_EQ(idEdit->text(), "New Entity");
    EXPECT_EQ(Text("AddChangeBtn"), "&Add");
    EXPECT_FALSE(Find<QPushButton>("NewEntityBtn")->isVisible());
    EXPECT_FALSE(Find<QGroupBox>("EntityGroup")->isEnabled());
    Type("NewEntityEdit", "GP01");
    QTest::keyClick(idEdit, Qt::Key_Return);
    EXPECT_TRUE(form.isVisible()) << "Enter finishes the identifier, it does not close the dialog";
    EXPECT_TRUE(combo->isVisible());
    EXPECT_EQ(combo->currentText(), "GP01: Surname/Family Name, Given names");
    EXPECT_TRUE(Find<QGroupBox>("EntityGroup")->isEnabled());
    const int entities = combo->count();

    // An identifier another entity has: that entity is selected, the new one stays unnamed.
    Find<QPushButton>("NewEntityBtn")->click();
    Type("NewEntityEdit", " gp01 ");
    QTest::keyClick(idEdit, Qt::Key_Return);
    EXPECT_EQ(combo->currentText(), "GP01: Surname/Family Name, Given names");
    EXPECT_EQ(combo->count(), entities + 1);
    EXPECT_NE(combo->findText("New Entity: Surname/Family Name, Given names"), -1);

    // "&Change" finishes the edit; it makes no further entity.
    Find<QPushButton>("ChangeEntityIDBtn")->click();
    EXPECT_EQ(Text("AddChangeBtn"), "&Change");
    Type("NewEntityEdit", "GP09");
    QTest::mouseClick(Find<QPushButton>("AddChangeBtn"), Qt::LeftButton);
    EXPECT_FALSE(idEdit->isVisible());
    EXPECT_EQ(combo->currentText(), "GP09: Surname/Family Name, Given names");
    EXPECT_EQ(combo->count(), entities + 1);

    // An empty identifier is refused with a message; the entity keeps its own.
    answers.Then(QMessageBox::Ok);
    Find<QPushButton>("ChangeEntityIDBtn")->click();
    Type("NewEntityEdit", "");
    QTest::keyClick(idEdit, Qt::Key_Backspace);
    QTest::keyClick(idEdit, Qt::Key_Return);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(combo->currentText(), "GP09: Surname/Family Name, Given names");
}

TEST_F(EditorFormFixture, EditsPublishCopyAndDeleteAreSavedByOk) {
    WriteTables();
    Load();
    ShowActive();
    EXPECT_EQ(Text("OrgCombo"), "A: Alpha Clinic");
    EXPECT_TRUE(Find<QPushButton>("CopyOrgBtn")->isEnabled());
    auto* publish = Find<QCheckBox>("PublishCheck");
    EXPECT_TRUE(publish->isChecked());
    QTest::mouseClick(publish, Qt::LeftButton);
    EXPECT_FALSE(publish->isChecked());
    EXPECT_EQ(form.Editor().Value(OrgEntityEditor::Table::Organisations, "publish"), "No");
    QTest::mouseClick(publish, Qt::LeftButton);
    EXPECT_EQ(form.Editor().Value(OrgEntityEditor::Table::Organisations, "publish"), "Yes");

    // Leaving the copy source without choosing copies nothing.
    auto* copy = Find<QPushButton>("CopyOrgBtn");
    auto* from = Find<QComboBox>("FromOrgCombo");
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_TRUE(from->isVisible());
    EXPECT_FALSE(Find<QComboBox>("OrgCombo")->isVisible());
    EXPECT_EQ(copy->text(), "&Copy");
    EXPECT_EQ(QApplication::focusWidget(), from);
    Find<QLineEdit>("org_phone_Edit")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(from->isVisible());
    EXPECT_EQ(copy->text(), "Copy &From...");
    EXPECT_EQ(Text("org_phone_Edit"), "111");

    // Copying B onto A on the explicit choice keeps A's Id and takes the rest, publish too.
    QTest::mouseClick(copy, Qt::LeftButton);
    from->setCurrentIndex(1);
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_TRUE(Find<QComboBox>("OrgCombo")->isVisible());
    EXPECT_EQ(Text("OrgCombo"), "A: Beta Clinic");
    EXPECT_EQ(Text("org_phone_Edit"), "222");
    EXPECT_EQ(Text("org_Locality_Edit"), "Carlton");
    EXPECT_FALSE(publish->isChecked());
    Type("org_Name_Edit", "Alpha & <Beta> \"Clinic\"");

    Find<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto* entity = Find<QComboBox>("EntityCombo");
    EXPECT_EQ(Text("OrganisationList"), "B");
    QTest::keyClick(entity, Qt::Key_Down);
    EXPECT_EQ(entity->currentText(), "GP02: Surname GP02, ");
    auto* speciality = Find<QComboBox>("ComboBox1");
    speciality->lineEdit()->selectAll();
    QTest::keyClicks(speciality->lineEdit(), "Tropical Medicine");
    test::WaitUntil([] { return false; }, 50ms);
    test::SaveScreenshot(form, "org-entity-editor-people");
    Find<QTabWidget>("PageControl1")->setCurrentIndex(0);
    test::WaitUntil([] { return false; }, 50ms);
    test::SaveScreenshot(form, "org-entity-editor-organisations");
    Find<QTabWidget>("PageControl1")->setCurrentIndex(1);

    answers.Then(QMessageBox::No);
    answers.Then(QMessageBox::Yes);
    Find<QPushButton>("DeleteEntityBtn")->click();
    EXPECT_EQ(entity->count(), 2) << "No keeps the entity";
    Find<QPushButton>("DeleteEntityBtn")->click();
    ASSERT_EQ(answers.texts.size(), 2);
    EXPECT_EQ(answers.texts[1].toStdString(),
              "Delete Entity: Are you sure you want to delete \n\nGP02: Surname GP02, \n\nfrom the list?");
    EXPECT_EQ(entity->count(), 1);
    EXPECT_EQ(entity->currentText(), "GP01: Surname GP01, ");

    Find<QPushButton>("OKBtn")->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.isVisible());
    TDatapacket orgs, people;
    ASSERT_TRUE(orgs.LoadFromFileOrDefault(dir.File("Organisations.xml"), ""));
    ASSERT_TRUE(people.LoadFromFileOrDefault(dir.File("Entities.xml"), ""));
    orgs.First();
    EXPECT_EQ(orgs.CurrentRow()->Value("Id"), "A");
    EXPECT_EQ(orgs.CurrentRow()->Value("Name"), "Alpha & <Beta> 'Clinic'");
    EXPECT_EQ(orgs.CurrentRow()->Value("phone"), "222");
    EXPECT_EQ(orgs.CurrentRow()->Value("publish"), "No");
    ASSERT_EQ(people.RowCount(), 1);
    EXPECT_EQ(people.Row(0)->Value("Id"), "GP01");
}

TEST_F(EditorFormFixture, OkAsksBeforeReplacingAChangedFileAndStaysOpenWhenSavingFails) {
    Load();
    ShowActive();
    Type("org_Name_Edit", "Northcote Family Practice");
    dir.Write("Organisations.xml", "Name,Address\r\nsomething else,1 Main St\r\n"); // another program

    answers.Then(QMessageBox::No);
    Find<QPushButton>("OKBtn")->click();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(answers.texts.size(), 1);
    EXPECT_TRUE(answers.texts[0].contains("was changed by another program"))
        << answers.texts[0].toStdString();

    answers.Then(QMessageBox::Yes);
    answers.Then(QMessageBox::Ok);
    Find<QPushButton>("OKBtn")->click();
    ASSERT_EQ(answers.texts.size(), 3);
    EXPECT_TRUE(answers.texts[2].contains("The editor stays open")) << answers.texts[2].toStdString();
    EXPECT_TRUE(form.isVisible()) << "the edits are still there to be saved";
    EXPECT_EQ(Text("org_Name_Edit"), "Northcote Family Practice");
    EXPECT_EQ(dir.Read("Organisations.xml"), "Name,Address\r\nsomething else,1 Main St\r\n");
}

} // namespace
