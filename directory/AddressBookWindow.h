#pragma once

#include "AddressBook.h"

#include <array>
#include <string>
#include <vector>

namespace vvp {

// What the address book window (TvnAddressBookForm) shows and does, without widgets: the form
// copies this state into its controls after each call and forwards the user's actions.
class AddressBookWindow {
public:
    static constexpr const char* kCaption = "Vocanet-VVP Address Book";
    static constexpr size_t kColumnCount = 7;
    using Widths = std::array<int, kColumnCount>;
    static constexpr Widths kInitialWidths = {153, 71, 113, 96, 143, 113, 172};

    explicit AddressBookWindow(AddressBook& book);

    // The window was shown or activated: reloads the book, shows its size, takes the column
    // widths from the "Field Widths" text and repeats the search of a box that holds text.
    void Activate(const std::string& fieldWidths);

    // The user typed in a search box: the other box is emptied and this one's text is looked up.
    // Only the user's own edits come here; emptying the other box is not an edit.
    void SurnameEdited(const std::string& text);
    void ProviderEdited(const std::string& text);
    const std::string& SurnameText() const { return m_surname; }
    const std::string& ProviderText() const { return m_provider; }

    const std::vector<AddressRow>& Rows() const { return m_rows; } // every match, in key order
    static std::array<std::string, kColumnCount> Cells(const AddressRow& row);
    // Selects a grid row (from 0) and shows its details; other numbers change nothing.
    void SelectRow(int row);
    int SelectedRow() const { return m_selected; } // -1: none
    const std::string& DetailText() const { return m_detail; }
    const std::string& CountText() const { return m_count; }

    const Widths& ColumnWidths() const { return m_widths; }
    // Leaving the grid: the widths as the user left them. Widths below 1 are ignored.
    void SetColumnWidths(const std::vector<int>& widths);
    // The "Field Widths" text of the current widths.
    std::string FieldWidthsText() const;

    // Each number of a "Field Widths" text that reads as a width above 0 replaces the width of
    // its column; junk, zero and negative numbers leave the column as it was.
    static Widths ParseFieldWidths(const std::string& text, Widths widths = kInitialWidths);
    static std::string FormatFieldWidths(const Widths& widths);

private:
    void Show(const std::vector<size_t>& entryNumbers);

    AddressBook& m_book;
    std::string m_surname, m_provider;
    std::vector<std::string> m_shown; // the entries of the grid rows
    std::vector<AddressRow> m_rows;
    int m_selected = -1;
    std::string m_detail = "Not found";
    std::string m_count;
    Widths m_widths = kInitialWidths;
};

} // namespace vvp
