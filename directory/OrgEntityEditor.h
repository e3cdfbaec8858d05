#pragma once

#include "Prompter.h"
#include "TDatapacket.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

// How a control of the editor shows its field.
enum class ControlKind { Edit, CheckBox, FixedList, EditableList };

// A data control of the editor and the field it edits, bound by the field's name.
struct FieldControl {
    const char* control;
    const char* field;
    const char* label;
    ControlKind kind;
};

inline constexpr std::array<FieldControl, 10> kOrganisationControls = {{
    {"org_Name_Edit", "Name", "Organisation Name", ControlKind::Edit},
    {"Org_Address_Edit", "Address", "Address", ControlKind::Edit},
    {"org_PostCode_Edit", "PostCode", "Postal Code", ControlKind::Edit},
    {"org_Locality_Edit", "Locality", "Suburb/Town", ControlKind::Edit},
    {"org_custom1_Edit", "custom1", "Custom Field 1", ControlKind::Edit},
    {"org_custom2_Edit", "custom2", "Custom Field 2", ControlKind::Edit},
    {"org_cutom3_Edit", "custom3", "Custom Field 3", ControlKind::Edit},
    {"org_phone_Edit", "phone", "Phone Number", ControlKind::Edit},
    {"org_fax_FaxEdit", "fax", "Fax Number", ControlKind::Edit},
    {"PublishCheck", "publish", "Publish this information on the Vocanet Server", ControlKind::CheckBox},
}};

inline constexpr std::array<FieldControl, 9> kEntityControls = {{
    {"ent_Name_Edit", "Name", "Surname/Name", ControlKind::Edit},
    {"ent_Givennames_edit", "Givennames", "Other Names", ControlKind::Edit},
    {"ComboBox1", "Speciality", "Speciality", ControlKind::EditableList},
    {"OrganisationList", "Organisation", "Use with...", ControlKind::FixedList},
    {"ent_custom1_Edit", "custom1", "Custom Field 1", ControlKind::Edit},
    {"ent_custom2_Edit", "custom2", "Custom Field 2", ControlKind::Edit},
    {"ent_custom3_Edit", "custom3", "Custom Field 3", ControlKind::Edit},
    {"Ent_Title_Combo", "Title", "Title", ControlKind::EditableList},
    {"PublishEntityCheck", "publish", "Publish this information on the Vocanet Server",
     ControlKind::CheckBox},
}};

// The choices of Ent_Title_Combo and ComboBox1, as users have always seen them.
extern const std::array<const char*, 7> kTitleChoices;
extern const std::array<const char*, 44> kSpecialityChoices;

// The logic of the organisation and entity editor (TVNOrgEntityForm1): two tables, the
// organisation being edited, the entity being edited, its identifier, copying and deleting.
// The form shows this state after each call and forwards what the user does.
class OrgEntityEditor {
public:
    static constexpr const char* kCaption = "Organisation And Entity Editor";
    static constexpr const char* kAllOrganisations = "All Organisations";
    enum class Table { Organisations, Entities };

    explicit OrgEntityEditor(Prompter& prompter);

    // The table files in the program folder, whatever the letter case of their names.
    static std::string OrganisationsPath(const std::string& programFolder);
    static std::string EntitiesPath(const std::string& programFolder);

    // Loads both tables (a missing file gives the empty table); a table that cannot be loaded
    // is reported to the user, stays empty and is never saved over its file.
    void LoadData(const std::string& organisationsFile, const std::string& entitiesFile);
    bool Loaded(Table table) const { return m_tables[Index(table)].loaded; }
    const TDatapacket& Packet(Table table) const { return m_tables[Index(table)].packet; }

    // OK: saves both tables and answers whether the dialog may close. A file another program
    // changed since it was loaded is replaced only when the user agrees; a failed save is
    // reported and keeps the dialog open, so no edit is lost.
    bool Ok();

    // Values of the current row; empty without one.
    std::string Value(Table table, const std::string& field) const;
    bool Published(Table table) const; // publish holds a "y"
    // A control changed by the user: the value goes into the current row at once.
    void SetValue(Table table, const std::string& field, const std::string& text);
    void SetPublished(Table table, bool published); // "Yes" or "No"

    // ---- Organisation page ----
    const std::vector<std::string>& OrganisationItems() const { return m_orgItems; } // OrgCombo
    int OrganisationIndex() const;
    void SelectOrganisation(int index);
    bool CopyEnabled() const { return m_orgItems.size() >= 2; }
    // CopyOrgBtn: the first click offers the organisations to copy from (FromOrgCombo), the
    // second copies the one chosen there.
    void CopyButtonClicked(int fromIndex);
    // Copies every value of organisation fromIndex except the Id into the current one.
    void CopyFrom(int fromIndex);
    void CancelCopy(); // FromOrgCombo left without a choice
    bool Copying() const { return m_copying; }
    const std::vector<std::string>& CopySourceItems() const { return m_fromItems; } // FromOrgCombo
    const char* CopyButtonCaption() const { return m_copying ? "&Copy" : "Copy &From..."; }

    // ---- Entity page ----
    const std::vector<std::string>& EntityItems() const { return m_entityItems; } // EntityCombo
    int EntityIndex() const;
    void SelectEntity(int index);
    // OrganisationList: "All Organisations", then each organisation's Id.
    const std::vector<std::string>& OrganisationListItems() const { return m_orgListItems; }
    int OrganisationListIndex() const; // the item equal to the entity's Organisation, else 0

    void NewEntity();        // NewEntityBtn
    void ChangeEntityId();   // ChangeEntityIDBtn
    void AddChangeClicked(); // AddChangeBtn: finishes the identifier being edited
    void SetIdText(const std::string& text) { m_idText = text; } // NewEntityEdit typed
    void FinishIdEdit();                                         // NewEntityEdit left or Enter pressed
    bool EditingId() const { return m_editingId; }
    const std::string& IdText() const { return m_idText; }
    const char* AddChangeCaption() const { return m_idFromChange ? "&Change" : "&Add"; }
    // Asks, then deletes the current entity and selects the one before it.
    bool DeleteEntity();

private:
    struct TableFile {
        TDatapacket packet;
        bool loaded = false;
        std::string path;
        std::optional<std::string> bytes; // the file as loaded (nullopt: there was none)
    };
    static size_t Index(Table table) { return table == Table::Organisations ? 0 : 1; }
    TDatapacket& PacketOf(Table table) { return m_tables[Index(table)].packet; }
    void LoadTable(TableFile& table, const std::string& path, const char* defaultText);
    void SetDropdowns();
    void StartIdEdit(bool fromChange);
    int FindEntity(const std::string& id, int except) const;

    Prompter& m_prompter;
    std::array<TableFile, 2> m_tables;
    std::vector<std::string> m_orgItems, m_fromItems, m_orgListItems, m_entityItems;
    bool m_copying = false;
    bool m_editingId = false;
    bool m_idFromChange = false;
    std::string m_idText;
};

} // namespace vvp
