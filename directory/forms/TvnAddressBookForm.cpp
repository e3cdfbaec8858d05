#include "TvnAddressBookForm.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vvp {
namespace {

// The book is held as UTF-8; the detail text ends its lines with CR LF.
QString ScreenText(const std::string& text) {
    QString out = QString::fromStdString(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

// The grid's rows: every match, however many, without a widget per cell.
class AddressRowsModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void SetRows(const std::vector<AddressRow>& rows) {
        beginResetModel();
        m_cells.clear();
        m_cells.reserve(rows.size());
        for (const auto& row : rows)
            m_cells.push_back(AddressBookWindow::Cells(row));
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_cells.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(AddressBookWindow::kColumnCount);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return ScreenText(m_cells[static_cast<size_t>(index.row())][static_cast<size_t>(index.column())]);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
            section >= static_cast<int>(AddressBookWindow::kColumnCount))
            return {};
        return QString::fromLatin1(AddressBook::kColumnHeaders[section]);
    }

private:
    std::vector<std::array<std::string, AddressBookWindow::kColumnCount>> m_cells;
};

TvnAddressBookForm::TvnAddressBookForm(const std::string& dataDirectory, FieldWidthsStore widths,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_book(dataDirectory), m_window(m_book),
      m_widthsStore(std::move(widths)) {
    setObjectName(QStringLiteral("vnAddressBookForm"));
    setWindowTitle(QString::fromLatin1(AddressBookWindow::kCaption));

    auto* column = new QVBoxLayout(this);
    auto* searches = new QGridLayout;
    m_surname = Named(new QLineEdit, "SurnameSrchEdit");
    m_surname->setPlaceholderText(QStringLiteral("surname, then given names"));
    m_provider = Named(new QLineEdit, "ProvNumSrchEdit");
    auto* surnameLabel = Named(new QLabel(QStringLiteral("&Surname")), "SurnameLabel");
    surnameLabel->setBuddy(m_surname);
    auto* providerLabel = Named(new QLabel(QStringLiteral("&Provider Number")), "ProvNumLabel");
    providerLabel->setBuddy(m_provider);
    searches->addWidget(surnameLabel, 0, 0);
    searches->addWidget(m_surname, 1, 0);
    searches->addWidget(providerLabel, 0, 1);
    searches->addWidget(m_provider, 1, 1);
    m_size = Named(new QLabel, "ABSizeLabel");
    searches->addWidget(m_size, 1, 2, Qt::AlignRight);
    searches->setColumnStretch(0, 2);
    searches->setColumnStretch(1, 1);
    searches->setColumnStretch(2, 1);
    column->addLayout(searches);

    m_grid = Named(new QTableView, "AddressGrid");
    m_rows = new AddressRowsModel(m_grid);
    m_grid->setModel(m_rows);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->hide();
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setStretchLastSection(false);
    m_grid->installEventFilter(this);
    column->addWidget(m_grid, 1);

    m_who = Named(new QLabel, "WhoLabel");
    m_who->setTextFormat(Qt::PlainText);
    m_who->setTextInteractionFlags(Qt::TextSelectableByMouse); // addresses are copied from here
    m_who->setMinimumHeight(4 * m_who->fontMetrics().height());
    m_who->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(m_who);

    connect(m_surname, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_window.SurnameEdited(text.toStdString());
        Render();
    });
    connect(m_provider, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_window.ProviderEdited(text.toStdString());
        Render();
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid() || current.row() == m_window.SelectedRow()) return;
                m_window.SelectRow(current.row());
                m_who->setText(ScreenText(m_window.DetailText()));
            });

    // Wide enough for the columns as the user left them.
    int gridWidth = 0;
    for (int w : AddressBookWindow::ParseFieldWidths(m_widthsStore.load ? m_widthsStore.load() : ""))
        gridWidth += w;
    gridWidth = std::min(gridWidth, 1400);
    resize(gridWidth + 40, 12 * m_grid->verticalHeader()->defaultSectionSize() + 160);
    ApplyColumnWidths();
    Render();
}

TvnAddressBookForm::~TvnAddressBookForm() = default;

void TvnAddressBookForm::Open() {
    if (isVisible()) Activate(); // already shown: brought to front, read again
    showNormal();
    raise();
    activateWindow();
}

void TvnAddressBookForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Activate();
}

void TvnAddressBookForm::hideEvent(QHideEvent* event) {
    SaveColumnWidths();
    QWidget::hideEvent(event);
}

void TvnAddressBookForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isVisible()) return;
    if (!isActiveWindow()) {
        // Widths go to the setting first, so coming back does not undo what the user set.
        SaveColumnWidths();
        m_leftWindow = true;
    } else if (m_leftWindow) {
        Activate();
    }
}

bool TvnAddressBookForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid && event->type() == QEvent::FocusOut) SaveColumnWidths();
    return QWidget::eventFilter(watched, event);
}

void TvnAddressBookForm::Activate() {
    m_leftWindow = false;
    m_window.Activate(m_widthsStore.load ? m_widthsStore.load() : std::string());
    ApplyColumnWidths();
    Render();
}

void TvnAddressBookForm::Render() {
    const QString surname = ScreenText(m_window.SurnameText());
    if (m_surname->text() != surname) m_surname->setText(surname);
    const QString provider = ScreenText(m_window.ProviderText());
    if (m_provider->text() != provider) m_provider->setText(provider);
    m_rows->SetRows(m_window.Rows());
    if (m_window.SelectedRow() >= 0) {
        const QModelIndex current = m_rows->index(m_window.SelectedRow(), 0);
        m_grid->selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                               QItemSelectionModel::Rows);
        m_grid->scrollTo(current);
    }
    m_who->setText(ScreenText(m_window.DetailText()));
    m_size->setText(ScreenText(m_window.CountText()));
}

void TvnAddressBookForm::ApplyColumnWidths() {
    const auto& widths = m_window.ColumnWidths();
    for (size_t i = 0; i < widths.size(); ++i)
        m_grid->horizontalHeader()->resizeSection(static_cast<int>(i), widths[i]);
}

void TvnAddressBookForm::SaveColumnWidths() {
    std::vector<int> widths;
    for (int i = 0; i < static_cast<int>(AddressBookWindow::kColumnCount); ++i)
        widths.push_back(m_grid->horizontalHeader()->sectionSize(i));
    m_window.SetColumnWidths(widths);
    const std::string text = m_window.FieldWidthsText();
    const std::string saved = m_widthsStore.load ? m_widthsStore.load() : std::string();
    if (text != saved && m_widthsStore.save) m_widthsStore.save(text);
}

} // namespace vvp
