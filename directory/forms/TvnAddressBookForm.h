#pragma once

#include "AddressBook.h"
#include "AddressBookWindow.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QTableView;

namespace vvp {

class AddressRowsModel;

// Where the window keeps its column widths between runs: the "Field Widths" setting.
struct FieldWidthsStore {
    std::function<std::string()> load;
    std::function<void(const std::string&)> save; // only called with a text that differs
};

// The address book window (vnAddressBookForm): a search box for surnames and one for provider
// numbers, the grid of every match, the details of the selected one and the size of the book.
// Always on top; closing it only hides it, so the searches stay for the next opening.
class TvnAddressBookForm final : public QWidget {
    Q_OBJECT
public:
    // dataDirectory: the temporary folder holding "Address.in", with a trailing separator.
    TvnAddressBookForm(const std::string& dataDirectory, FieldWidthsStore widths, QWidget* parent = nullptr);
    ~TvnAddressBookForm() override;

    // Shows the window in front; showing it loads the book again.
    void Open();
    const AddressBookWindow& Window() const { return m_window; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activate();
    void Render();
    void ApplyColumnWidths();
    void SaveColumnWidths(); // AddressGridExit

    AddressBook m_book;
    AddressBookWindow m_window;
    FieldWidthsStore m_widthsStore;
    bool m_leftWindow = false; // deactivated since the last load
    QLineEdit* m_surname = nullptr;
    QLineEdit* m_provider = nullptr;
    QTableView* m_grid = nullptr;
    AddressRowsModel* m_rows = nullptr;
    QLabel* m_who = nullptr;
    QLabel* m_size = nullptr;
};

} // namespace vvp
