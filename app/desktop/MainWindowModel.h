#pragma once

#include "BackgroundRunner.h"
#include "MainWindowEngine.h"
#include "Platform.h"
#include "Prompter.h"
#include "StatusLamp.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vvp {

inline constexpr const char* kApplicationTitle = "Vocanet Virtual Printer";
inline constexpr const char* kLetterPrinterRefused = "Your Letter printer cannot be the Virtual Printer!";
inline constexpr const char* kServerCaption = "Vocanet VP Server computer";
inline constexpr const char* kServerPrompt = "Name or IP address and Port of Computer acting as Server";
inline constexpr const char* kServerPlaceholder = "VVPCOMPUTER:9105";
inline constexpr const char* kSavePathTitle = "Select a Output path for Messages";
inline constexpr const char* kMonitorPathTitle = "Select a path to monitor for Files to sign";
inline constexpr const char* kNoPrinterAdministration =
    "The Vocanet printer cannot be checked or created on this computer: the CUPS tools lpadmin and "
    "lpstat were not found (Debian packages cups and cups-client).";

enum class WindowPlace { Shown, InTray, Minimised, Hidden };

// Everything of the main window that changes; the form shows it as it stands after each call.
struct MainWindowView {
    WindowPlace place = WindowPlace::Shown;
    bool trayIconVisible = false;
    // wait cursor: a server query, token logon, address book fetch, printer lookup or tool runs
    bool busy = false;

    std::string statusText = "Inactive";
    std::string heldJobsText; // empty while no job is held
    LampColour lamp = LampColour::Red;
    std::string portText = "9105";
    bool portEditEnabled = false;
    std::vector<std::string> printerList; // PrinterListText, a line each
    bool printerActionsEnabled = true;    // no printer tool runs
    std::string reportPrinterText = "No Letter Printer Set";

    std::string outputGroupCaption = "File path/Vocanet Client ";
    std::string saveToPathText = "No File Path or Vocanet Server Detected";
    std::string saveToPathHint;
    bool saveToPathVisible = true;
    bool domainListVisible = true;
    std::vector<std::string> domainList;
    bool serverActionsEnabled = true;

    bool tokenGroupVisible = false;
    std::string tokenGroupCaption = "HeSA Tokens - Not logged on ";
    std::string tokenLabel = "Not logged on";
    bool tokenLabelIsError = false;
    bool tokenActionsEnabled = true;

    bool signingGroupVisible = false;
    std::string signingGroupCaption = "Monitor Path for Signing";
    std::string monitorPathText = "No Monitor File Path set";
    bool monitorFolderMissing = false;
    std::string signOnlyText;

    // menu items
    bool enabledChecked = false;
    bool autoStartChecked = false;
    bool msgRecipientChecked = false;
    bool signingChecked = false;
    bool monitorChecked = false;
    bool createPrinterEnabled = false;
    int saveModeChecked = 0; // the checked one of the three radio items
};

// Where the window runs: what it reports to the desktop.
struct MainWindowShell {
    std::function<bool()> trayAvailable;
    std::function<void()> quit;        // ends the program (prompts abandoned, engine stopped)
    std::function<void()> viewChanged; // the view changed outside a call from the window
};

struct DesktopInfo {
    std::string programPath;
    std::string manualPath; // the README to open for help; empty when none was found
};

// The main window (TKXPrinterHandlerForm) without widgets: its menu commands, click actions,
// display refresh, timer tick and closing rules. Called on the GUI thread only.
class MainWindowModel {
public:
    MainWindowModel(MainWindowEngine& engine, Prompter& prompter, Platform& platform,
                    BackgroundRunner& runner, MainWindowShell shell, DesktopInfo info);

    const MainWindowView& View() const { return m_view; }

    // After the engine started: what FormCreate shows.
    void FormCreate();
    void Tick(); // Timer1

    // Settings menu
    void Enable1Click();
    void AutoStartClick();
    void UseMsgRecipientHeader1Click();
    void SignusingHeSAToken1Click();
    void MonitorPathforfilestoSign1Click();
    void Hide1Click() { HideToTray(); }
    void ExitClick(); // Exit1, Exit2
    // Mode menu
    void SavetoFile1Click();
    void UseVocanetVirtualPrinter1Click();
    void VocanetClientMode1Click();
    // Help menu
    void OnLinehelp1Click() { OpenManual(); }
    void UpdateVVP1Click() { OpenManual(); }
    void VerifyVocanetDetails1Click();
    void CreateVocanetPrinter1Click();
    // Items whose forms come later.
    void NotYetAvailable(const std::string& what);
    // AddressBook1, AddressBook2: the book is brought up to date off the GUI thread (a click while
    // that runs does nothing), then the window goes to the tray and show opens the address book.
    void AddressBookClick(std::function<void()> show);
    // The letterhead library closed on this folder: it becomes the Letterhead Path when it differs.
    void LetterheadFolderChanged(const std::string& folder);

    // Boxes
    void ReportPrinterClick();
    void SaveToPathClick(); // SaveToPathLabel, Button1, MonitorPathLabel
    void MonitorFileBtnClick();
    void TokenLogonClick(); // TokenLabel, TokenLogonbtn
    void DomainListClick();
    void SignOnlyTextChange(const std::string& text);
    void PPortButtonClick();
    void PortEditExit(const std::string& text);

    void HideToTray();
    void Restore(); // Restore1, tray double-click
    // The close box; true when the window may close (the program then ends).
    bool FormCloseQuery();
    // The session ends, or SIGTERM/SIGHUP: the listener stops and the program ends at once.
    void EndSession();

    // The engine reported a change (status, listener, domain list, token, monitor).
    void EngineChanged();
    void RefreshDisplay();

    bool SessionEnding() const { return m_sessionEnding; }
    const StatusLamp& Lamp() const { return m_lamp; }

private:
    enum class Task { Tick, Server, Token, Printer, LetterPrinter };
    // then runs on the GUI thread after the work, once the view has the engine's state.
    void RunTask(Task task, std::function<void()> work, std::function<void()> then = {});
    bool& Running(Task task);
    void UpdateBusy();
    void PullEngineState();
    void ShowToken(const TokenDisplay& token);
    void QueueServerQuery();
    void QueuePrinterCheckAtLoad();
    void ShowPrinterList(const std::string& printerListText);
    void ChangeAndRefresh(const std::function<void(VNPTRRegValues&)>& change);
    void ChangeSaveMode(uint8_t mode);
    void ChooseServer();
    void OpenManual();
    void Tell(const std::string& text, Icon icon = Icon::None);

    MainWindowEngine& m_engine;
    Prompter& m_prompter;
    Platform& m_platform;
    BackgroundRunner& m_runner;
    MainWindowShell m_shell;
    DesktopInfo m_info;
    MainWindowView m_view;
    StatusLamp m_lamp;
    bool m_firstTick = true;
    bool m_sessionEnding = false;
    bool m_tickRunning = false;
    bool m_serverRunning = false;
    bool m_tokenRunning = false;
    bool m_printerRunning = false;
    bool m_letterPrinterRunning = false;
    bool m_printerAdministration = false;
    bool m_queryPending = false;
    std::unique_ptr<AddressBookOpener> m_addressBook;
    bool m_addressBookRunning = false;
};

// The README to open for help: beside the program, installed under share/doc, or at the top of
// the source tree the program was built in. Empty when none exists.
std::string FindManual(const std::string& programFolder);

} // namespace vvp
