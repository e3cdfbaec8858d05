#include "AddressBookWindow.h"

#include "QZStringManip.h"

namespace vvp {

AddressBookWindow::AddressBookWindow(AddressBook& book) : m_book(book) {}

void AddressBookWindow::Activate(const std::string& fieldWidths) {
    m_book.Load();
    m_count = AddressBook::CountText(m_book.Count());
    m_widths = ParseFieldWidths(fieldWidths, m_widths);
    if (!m_surname.empty())
        Show(m_book.SearchSurname(m_surname));
    else if (!m_provider.empty())
        Show(m_book.SearchProvider(m_provider));
}

void AddressBookWindow::SurnameEdited(const std::string& text) {
    m_surname = text;
    m_provider.clear();
    Show(m_book.SearchSurname(text));
}

void AddressBookWindow::ProviderEdited(const std::string& text) {
    m_provider = text;
    m_surname.clear();
    Show(m_book.SearchProvider(text));
}

void AddressBookWindow::Show(const std::vector<size_t>& entryNumbers) {
    m_shown.clear();
    m_rows.clear();
    m_selected = -1;
    for (size_t number : entryNumbers) {
        m_shown.push_back(m_book.Entry(number));
        m_rows.push_back(AddressBook::MakeRow(m_shown.back()));
    }
    SelectRow(0); // no rows: the details stay as they were
}

std::array<std::string, AddressBookWindow::kColumnCount> AddressBookWindow::Cells(const AddressRow& row) {
    return {row.name, row.idProv, row.speciality, row.address, row.vocanet, row.phoneFax, row.comments};
}

void AddressBookWindow::SelectRow(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_shown.size()) return;
    m_selected = row;
    m_detail = AddressBook::DetailText(m_shown[static_cast<size_t>(row)]);
}

void AddressBookWindow::SetColumnWidths(const std::vector<int>& widths) {
    for (size_t i = 0; i < kColumnCount && i < widths.size(); ++i)
        if (widths[i] > 0) m_widths[i] = widths[i];
}

std::string AddressBookWindow::FieldWidthsText() const {
    return FormatFieldWidths(m_widths);
}

AddressBookWindow::Widths AddressBookWindow::ParseFieldWidths(const std::string& text, Widths widths) {
    for (size_t i = 0; i < kColumnCount; ++i) {
        // A width of 0 or less would hide its column with no way to get it back.
        const auto width = StrToIntOpt(StrField(text, ',', static_cast<int>(i) + 1));
        if (width && *width > 0) widths[i] = *width;
    }
    return widths;
}

std::string AddressBookWindow::FormatFieldWidths(const Widths& widths) {
    std::string text;
    for (int w : widths)
        text += std::to_string(w) + ",";
    text.pop_back();
    return text;
}

} // namespace vvp
