#pragma once

#include "MainWindowModel.h"

#include <QLabel>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QFrame;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTimer;
class QToolButton;

namespace vvp {

class TVNOrgEntityForm1;
class TvnAddressBookForm;
class TRTFEditForm;
class VvpTrayIcon;

// A label that can be clicked, as the original's labels could.
class ClickLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The main window: the boxes and menus of TKXPrinterHandlerForm under their component names,
// showing the model's view and passing every click to it.
class TKXPrinterHandlerForm final : public QMainWindow {
    Q_OBJECT
public:
    // quit ends the program: the caller abandons open prompts and leaves the event loop.
    TKXPrinterHandlerForm(MainWindowEngine& engine, Prompter& prompter, Platform& platform,
                          BackgroundRunner& runner, DesktopInfo info, std::function<void()> quit);
    ~TKXPrinterHandlerForm() override;

    // After the engine started.
    void FormCreate();
    // The engine reported a change (queued onto the GUI thread).
    void EngineChanged();
    // Session end, SIGTERM, SIGHUP: stop listening and end at once.
    void EndSession();

    MainWindowModel& Model() { return *m_model; }
    VvpTrayIcon& TrayIcon() { return *m_tray; }
    void Timer1Timer(); // one tick, as Timer1 does it
    // Edit > Letter Heads: the letterhead library, made on first use and kept.
    void LetterHeads1Click();
    TRTFEditForm* LetterHeads() { return m_letterHeads.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildBoxes();
    void BuildMenus();
    // Runs a model command and shows the outcome; a command whose prompt was abandoned because
    // the program is ending just stops.
    void Do(const std::function<void()>& command);
    void Render();
    void RefreshLog();
    QAction* AddAction(QMenu* menu, const char* name, const char* caption,
                       void (MainWindowModel::*command)());
    QAction* AddNotYet(QMenu* menu, const char* name, const char* caption, const char* what);
    void AddressBookClick(); // AddressBook1, AddressBook2
    void ShowAddressBook();
    void Entities1Click();

    MainWindowEngine& m_engine;
    Prompter& m_prompter;
    Platform& m_platform;
    std::unique_ptr<VvpTrayIcon> m_tray;
    std::unique_ptr<TRTFEditForm> m_letterHeads;
    std::unique_ptr<MainWindowModel> m_model;
    QTimer* m_timer = nullptr;
    bool m_shownOnce = false;
    bool m_waitCursor = false;
    WindowPlace m_renderedPlace = WindowPlace::Hidden;

    QFrame* m_shape1 = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_heldJobs = nullptr;
    QToolButton* m_portButton = nullptr;
    QLineEdit* m_portEdit = nullptr;
    QGroupBox* m_printersGroup = nullptr;
    QListWidget* m_printerList = nullptr;
    ClickLabel* m_reportPrinter = nullptr;
    QGroupBox* m_outputGroup = nullptr;
    QToolButton* m_button1 = nullptr;
    ClickLabel* m_saveToPath = nullptr;
    QListWidget* m_domainList = nullptr;
    QGroupBox* m_tokenGroup = nullptr;
    QToolButton* m_tokenButton = nullptr;
    ClickLabel* m_tokenLabel = nullptr;
    QGroupBox* m_signingGroup = nullptr;
    ClickLabel* m_monitorPath = nullptr;
    QLineEdit* m_signOnly = nullptr;
    QPlainTextEdit* m_memo = nullptr;

    QAction* m_enable = nullptr;
    QAction* m_autoStart = nullptr;
    QAction* m_msgRecipient = nullptr;
    QAction* m_signing = nullptr;
    QAction* m_monitor = nullptr;
    QAction* m_createPrinter = nullptr;
    QAction* m_verifyPrinter = nullptr;
    QAction* m_modes[3] = {}; // by Save Mode

    std::unique_ptr<TvnAddressBookForm> m_addressBook; // made on first use, kept with its searches
    TVNOrgEntityForm1* m_entities = nullptr;
};

} // namespace vvp
