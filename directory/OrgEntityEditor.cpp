#include "OrgEntityEditor.h"

#include "DirectoryFiles.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "TextEncoding.h"

#include <algorithm>

namespace vvp {

const std::array<const char*, 7> kTitleChoices = {"Dr", "Mr", "Prof", "Mrs", "Ms", "Nurse", "Sr"};

const std::array<const char*, 44> kSpecialityChoices = {"Accident and Emergency ",
                                                        "Anaesthetics ",
                                                        "Cardiology ",
                                                        "Dermatology ",
                                                        "Diabetes ",
                                                        "Diagnostic Imaging ",
                                                        "Endocrinology ",
                                                        "ENT Otolaryngology ",
                                                        "Epidemiology ",
                                                        "General practice ",
                                                        "Gastroenterology ",
                                                        "General Medicine ",
                                                        "Genetics ",
                                                        "Genitourinary ",
                                                        "Geriatric ",
                                                        "Haematology ",
                                                        "Immunology ",
                                                        "Indigenous Health ",
                                                        "Infectious Diseases ",
                                                        "Intensive Care ",
                                                        "IT Professional",
                                                        "Management Administration ",
                                                        "Medical Imaging ",
                                                        "Microbiology ",
                                                        "Neonatology ",
                                                        "Neurology ",
                                                        "Obstetrics and Gynaecology ",
                                                        "Occupational Health ",
                                                        "Oncology ",
                                                        "Ophthalmology ",
                                                        "Paediatrics ",
                                                        "Pathology ",
                                                        "Pharmacy",
                                                        "Physician ",
                                                        "Psychiatry ",
                                                        "Radiology ",
                                                        "Rehabilitation Medicine ",
                                                        "Renal Medicine ",
                                                        "Respiratory Medicine ",
                                                        "Rheumatology ",
                                                        "Sexual Diseases ",
                                                        "Software Specialist",
                                                        "Sports Medicine ",
                                                        "Surgeon"};

namespace {

constexpr const char* kMessageCaption = "Vocanet Virtual Printer";
constexpr const char* kNewEntityId = "New Entity";

int ShownIndex(const TDatapacket& packet) {
    if (packet.RowCount() == 0) return -1;
    return std::clamp(packet.CurrentIndex(), 0, packet.RowCount() - 1);
}

bool HasField(const TDatapacket& packet, const std::string& field) {
    for (const auto& f : packet.Fields())
        if (f.attrname == field) return true;
    return false;
}

std::optional<std::string> FileBytes(const std::string& path) {
    if (!FileExists(path)) return std::nullopt;
    auto bytes = ReadWholeFile(path);
    // Unreadable now counts as changed: the user is asked rather than the file replaced blindly.
    return bytes ? std::optional<std::string>(*bytes) : std::optional<std::string>("\x01unreadable");
}

} // namespace

OrgEntityEditor::OrgEntityEditor(Prompter& prompter) : m_prompter(prompter) {}

std::string OrgEntityEditor::OrganisationsPath(const std::string& programFolder) {
    return ResolveFileNameNoCase(programFolder, kOrganisationsFileName);
}

std::string OrgEntityEditor::EntitiesPath(const std::string& programFolder) {
    return ResolveFileNameNoCase(programFolder, kEntitiesFileName);
}

void OrgEntityEditor::LoadTable(TableFile& table, const std::string& path, const char* defaultText) {
    table = TableFile{};
    table.path = path;
    // Taken before reading, so a change made in between is seen as a change on OK.
    table.bytes = FileBytes(path);
    if (auto r = table.packet.LoadFromFileOrDefault(path, defaultText); !r) {
        table.packet = TDatapacket{};
        m_prompter.Show(kMessageCaption, r.error().message, Icon::Error);
        return;
    }
    table.loaded = true;
}

void OrgEntityEditor::LoadData(const std::string& organisationsFile, const std::string& entitiesFile) {
    m_copying = m_editingId = false;
    LoadTable(m_tables[0], organisationsFile, kOrganisationsTable);
    LoadTable(m_tables[1], entitiesFile, kEntitiesTable);
    SetDropdowns();
    PacketOf(Table::Organisations).First();
    PacketOf(Table::Entities).First();
}

bool OrgEntityEditor::Ok() {
    for (auto& table : m_tables) {
        if (!table.loaded || FileBytes(table.path) == table.bytes) continue;
        const std::string question = "The file\r\n\r\n" + table.path +
                                     "\r\n\r\nwas changed by another program after it was opened here. "
                                     "Replace it with the changes made here?";
        const Answer answer = m_prompter.Message({kCaption, question, Buttons::YesNo, Icon::Warning});
        if (answer != Answer::Yes) return false;
    }
    std::string failures;
    for (auto& table : m_tables) {
        if (!table.loaded) continue; // never written over a file that could not be read
        if (auto r = table.packet.SaveToFile(table.path); !r) {
            failures += (failures.empty() ? "" : "\r\n\r\n") + r.error().message;
            continue;
        }
        table.bytes = table.packet.Text() + "\r\n";
    }
    if (failures.empty()) return true;
    m_prompter.Show(kMessageCaption, failures + "\r\n\r\nThe editor stays open so that no change is lost.",
                    Icon::Error);
    return false;
}

std::string OrgEntityEditor::Value(Table table, const std::string& field) const {
    const TXMLRow* row = Packet(table).CurrentRow();
    return row ? row->Value(field) : std::string();
}

bool OrgEntityEditor::Published(Table table) const {
    return LowerCase(Value(table, "publish")).find('y') != std::string::npos;
}

void OrgEntityEditor::SetValue(Table table, const std::string& field, const std::string& text) {
    if (table == Table::Entities && m_editingId) return; // the entity group is disabled meanwhile
    TDatapacket& packet = PacketOf(table);
    TXMLRow* row = packet.CurrentRow();
    if (row && HasField(packet, field)) row->SetValue(field, text);
}

void OrgEntityEditor::SetPublished(Table table, bool published) {
    SetValue(table, "publish", published ? "Yes" : "No");
}

void OrgEntityEditor::SetDropdowns() {
    const TDatapacket& orgs = Packet(Table::Organisations);
    m_orgItems.clear();
    m_fromItems.clear();
    m_orgListItems = {kAllOrganisations};
    for (int i = 0; i < orgs.RowCount(); ++i) {
        const TXMLRow* row = orgs.Row(i);
        m_orgItems.push_back(row->Value("Id") + ": " + row->Value("Name"));
        m_orgListItems.push_back(row->Value("Id"));
        m_fromItems.push_back(row->Value("Id"));
    }
    const TDatapacket& entities = Packet(Table::Entities);
    m_entityItems.clear();
    for (int i = 0; i < entities.RowCount(); ++i) {
        const TXMLRow* row = entities.Row(i);
        m_entityItems.push_back(row->Value("Id") + ": " + row->Value("Name") + ", " +
                                row->Value("Givennames"));
    }
}

int OrgEntityEditor::OrganisationIndex() const {
    return ShownIndex(Packet(Table::Organisations));
}

void OrgEntityEditor::SelectOrganisation(int index) {
    if (!m_copying) PacketOf(Table::Organisations).SetCurrent(index);
}

void OrgEntityEditor::CopyButtonClicked(int fromIndex) {
    if (m_copying)
        CopyFrom(fromIndex);
    else if (CopyEnabled())
        m_copying = true;
}

void OrgEntityEditor::CopyFrom(int fromIndex) {
    if (!m_copying) return;
    m_copying = false;
    TDatapacket& orgs = PacketOf(Table::Organisations);
    TXMLRow* target = orgs.CurrentRow();
    const TXMLRow* source = orgs.Row(fromIndex);
    if (!target || !source || source == target) return;
    const std::string id = target->Value("Id");
    for (const auto& name : orgs.FieldNames())
        target->SetValue(name, source->Value(name));
    target->SetValue("Id", id);
    m_orgItems[static_cast<size_t>(orgs.CurrentIndex())] = id + ": " + target->Value("Name");
}

void OrgEntityEditor::CancelCopy() {
    m_copying = false;
}

int OrgEntityEditor::EntityIndex() const {
    return ShownIndex(Packet(Table::Entities));
}

void OrgEntityEditor::SelectEntity(int index) {
    if (m_editingId) return;
    SetDropdowns();
    PacketOf(Table::Entities).SetCurrent(index);
}

int OrgEntityEditor::OrganisationListIndex() const {
    const std::string organisation = Value(Table::Entities, "Organisation");
    for (size_t i = 0; i < m_orgListItems.size(); ++i)
        if (m_orgListItems[i] == organisation) return static_cast<int>(i);
    return 0;
}

void OrgEntityEditor::NewEntity() {
    if (m_editingId) return;
    TDatapacket& entities = PacketOf(Table::Entities);
    const int index = entities.NewRow();
    if (index < 0) return;
    entities.SetCurrent(index);
    TXMLRow* row = entities.CurrentRow();
    row->SetValue("Id", kNewEntityId);
    row->SetValue("Name", "Surname/Family Name");
    row->SetValue("Givennames", "Given names");
    row->SetValue("Title", "Dr");
    StartIdEdit(false);
}

void OrgEntityEditor::ChangeEntityId() {
    if (!m_editingId && Packet(Table::Entities).RowCount() > 0) StartIdEdit(true);
}

void OrgEntityEditor::StartIdEdit(bool fromChange) {
    m_idText = Value(Table::Entities, "Id");
    m_editingId = true;
    m_idFromChange = fromChange;
}

void OrgEntityEditor::AddChangeClicked() {
    // The button is only there while an identifier is edited: it confirms that edit.
    if (m_editingId)
        FinishIdEdit();
    else
        NewEntity();
}

int OrgEntityEditor::FindEntity(const std::string& id, int except) const {
    const TDatapacket& entities = Packet(Table::Entities);
    const std::string wanted = LowerCaseLatin(id);
    for (int i = 0; i < entities.RowCount(); ++i)
        if (i != except && LowerCaseLatin(Trim(entities.Row(i)->Value("Id"))) == wanted) return i;
    return -1;
}

void OrgEntityEditor::FinishIdEdit() {
    if (!m_editingId) return;
    m_editingId = false;
    TDatapacket& entities = PacketOf(Table::Entities);
    const int current = EntityIndex();
    TXMLRow* row = entities.CurrentRow();
    const std::string typed = Trim(m_idText);
    int selected = current;
    if (!row) {
        selected = -1;
    } else if (typed.empty()) {
        m_prompter.Show(kMessageCaption,
                        "An entity needs an identifier; it keeps \"" + row->Value("Id") + "\".");
    } else if (const int other = FindEntity(typed, current); other >= 0) {
        selected = other; // the identifier belongs to that entity
    } else {
        row->SetValue("Id", typed);
    }
    SetDropdowns();
    entities.SetCurrent(selected);
}

bool OrgEntityEditor::DeleteEntity() {
    if (m_editingId) return false;
    const int index = EntityIndex();
    if (index < 0) return false;
    const std::string shown =
        static_cast<size_t>(index) < m_entityItems.size() ? m_entityItems[static_cast<size_t>(index)] : "";
    const Answer answer = m_prompter.Message(
        {"Delete Entity", "Are you sure you want to delete \r\n\r\n" + shown + "\r\n\r\nfrom the list?",
         Buttons::YesNo, Icon::Stop});
    if (answer != Answer::Yes) return false;
    TDatapacket& entities = PacketOf(Table::Entities);
    const int selected = entities.DeleteRow(index);
    SetDropdowns();
    entities.SetCurrent(selected);
    return true;
}

} // namespace vvp
