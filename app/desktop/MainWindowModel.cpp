#include "MainWindowModel.h"

#include "FileUtil.h"
#include "TextLines.h"
#include "VirtualPrinterQueue.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vvp {
MainWindowModel::MainWindowModel(MainWindowEngine& engine, Prompter& prompter, Platform& platform,
                                 BackgroundRunner& runner, MainWindowShell shell, DesktopInfo info)
    : m_engine(engine), m_prompter(prompter), m_platform(platform), m_runner(runner),
      m_shell(std::move(shell)), m_info(std::move(info)),
      m_addressBook(std::make_unique<AddressBookOpener>(engine.GetFolders(),
                                                        [&engine] { return engine.FetchAddressBook(); })) {}

void MainWindowModel::FormCreate() {
    // The settings were loaded as the engine started.
    m_lamp.SettingsLoaded();
    m_view.lamp = LampColour::Red;
    m_view.autoStartChecked = m_platform.IsAutoStartEnabled();
    const VNPTRRegValues settings = m_engine.Settings();
    m_view.signingChecked = settings.HeSATokens;
    m_view.monitorChecked = settings.MonitorSigning;
    m_view.statusText = m_engine.StatusText();
    RefreshDisplay();
    PullEngineState();
    QueuePrinterCheckAtLoad();
}

void MainWindowModel::Tick() {
    if (m_firstTick) {
        m_firstTick = false;
        HideToTray();
    }
    m_view.statusText = m_engine.StatusText();
    const size_t held = m_engine.HeldJobCount();
    m_view.heldJobsText = held == 0 ? std::string()
                                    : std::to_string(held) + (held == 1 ? " job waits" : " jobs wait") +
                                          " for a fix and will be tried again (see the log)";
    m_view.lamp = m_lamp.Tick(m_engine.ListenerActive());
    // The domain refresh and the monitor pass may wait on the network; a tick that finds the last
    // one still running leaves it alone.
    RunTask(Task::Tick, [this] { m_engine.Tick(); });
}

bool& MainWindowModel::Running(Task task) {
    switch (task) {
    case Task::Server:
        return m_serverRunning;
    case Task::Token:
        return m_tokenRunning;
    case Task::Printer:
        return m_printerRunning;
    case Task::LetterPrinter:
        return m_letterPrinterRunning;
    case Task::Tick:
        break;
    }
    return m_tickRunning;
}

void MainWindowModel::RunTask(Task task, std::function<void()> work, std::function<void()> then) {
    bool& running = Running(task);
    if (running) return;
    running = true;
    UpdateBusy();
    m_runner.Run(std::move(work), [this, task, then = std::move(then)] {
        Running(task) = false;
        UpdateBusy();
        PullEngineState();
        if (task == Task::Server && m_queryPending) QueueServerQuery();
        if (then) then();
        if (m_shell.viewChanged) m_shell.viewChanged();
    });
}

void MainWindowModel::QueueServerQuery() {
    // A domain refresh may be asking the server already; the query follows it.
    m_queryPending = m_serverRunning;
    if (!m_queryPending) RunTask(Task::Server, [this] { m_engine.QueryServerInfo(); });
}

void MainWindowModel::QueuePrinterCheckAtLoad() {
    RunTask(Task::Printer, [this] { m_engine.CheckPrinterAtLoad(); });
}

void MainWindowModel::UpdateBusy() {
    m_view.busy = m_serverRunning || m_tokenRunning || m_addressBookRunning || m_printerRunning ||
                  m_letterPrinterRunning;
    m_view.serverActionsEnabled = !m_serverRunning;
    m_view.tokenActionsEnabled = !m_tokenRunning;
    // The printer tools read and change the port: one at a time, and the port box waits for them.
    m_view.printerActionsEnabled = !m_printerRunning;
    m_view.createPrinterEnabled = m_printerAdministration && !m_printerRunning;
    if (m_printerRunning) m_view.portEditEnabled = false;
}

void MainWindowModel::PullEngineState() {
    m_view.statusText = m_engine.StatusText();
    const VNPTRRegValues settings = m_engine.Settings();
    if (settings.SaveMode == 0) m_view.domainList = m_engine.DomainList();
    ShowPrinterList(settings.PrinterListText);

    ShowToken(m_engine.TokenState());
    m_view.signingChecked = settings.HeSATokens;

    const MonitorDisplay monitor = m_engine.MonitorState();
    m_view.signingGroupCaption = monitor.caption;
    m_view.monitorFolderMissing = monitor.folderMissing;
    if (m_view.monitorChecked && !settings.MonitorSigning) {
        // The monitor switched itself off when the user gave up signing.
        m_view.monitorChecked = false;
        m_view.signingGroupVisible = false;
    }
}

void MainWindowModel::ShowPrinterList(const std::string& printerListText) {
    m_view.printerList.clear();
    std::string::size_type start = 0;
    while (start < printerListText.size()) {
        auto end = printerListText.find('\n', start);
        if (end == std::string::npos) end = printerListText.size();
        if (std::string line = TrimBlanks(printerListText.substr(start, end - start)); !line.empty())
            m_view.printerList.push_back(std::move(line));
        start = end + 1;
    }
}

void MainWindowModel::ShowToken(const TokenDisplay& token) {
    m_view.tokenGroupVisible = token.groupVisible;
    // A hidden box keeps the texts it had.
    if (!token.groupVisible) return;
    m_view.tokenGroupCaption = token.caption;
    m_view.tokenLabel = token.label;
    m_view.tokenLabelIsError = token.labelIsError;
}

void MainWindowModel::EngineChanged() {
    PullEngineState();
    m_view.enabledChecked = m_engine.ListenerActive();
}

void MainWindowModel::RefreshDisplay() {
    const VNPTRRegValues s = m_engine.Settings();
    m_printerAdministration = m_platform.PrinterAdministrationAvailable();
    m_view.createPrinterEnabled = m_printerAdministration && !m_printerRunning;
    m_view.enabledChecked = m_engine.ListenerActive();
    m_view.msgRecipientChecked = s.MsgRecipient;
    m_view.portText = std::to_string(s.Port);
    ShowPrinterList(s.PrinterListText);

    m_view.saveToPathText = s.SavePath.empty() ? std::string("No save path set!") : s.SavePath;
    m_view.saveToPathHint = m_view.saveToPathText;
    m_view.saveModeChecked = s.SaveMode;
    if (s.SaveMode == 0) {
        m_view.outputGroupCaption = "Vocanet Location";
        m_view.domainListVisible = true;
        m_view.saveToPathVisible = false;
        RunTask(Task::Server, [this] { m_engine.RefreshDomainList(); });
    } else {
        m_view.outputGroupCaption = "File Path for outbound files";
        m_view.domainListVisible = false;
        m_view.saveToPathVisible = true;
    }

    // An empty name would leave nothing to click on.
    m_view.reportPrinterText =
        s.ReportPrinter.empty() ? std::string("No Letter Printer Set") : s.ReportPrinter;
    m_view.monitorPathText = s.MonitorPath.empty() ? std::string("No Monitor File Path set") : s.MonitorPath;
    m_view.signOnlyText = s.SignOnlyText;
    m_view.monitorChecked = s.MonitorSigning;
    m_view.signingGroupVisible = s.MonitorSigning;
}

void MainWindowModel::Tell(const std::string& text, Icon icon) {
    m_prompter.Show(kApplicationTitle, text, icon);
}

void MainWindowModel::ChangeAndRefresh(const std::function<void(VNPTRRegValues&)>& change) {
    if (auto saved = m_engine.ChangeSettings(change); !saved)
        Tell("The settings could not be saved.\r\n" + saved.error().message, Icon::Error);
    RefreshDisplay();
}

void MainWindowModel::Enable1Click() {
    if (m_view.enabledChecked) {
        m_engine.DisableListener();
        m_view.enabledChecked = false;
    } else {
        m_engine.ReloadSettings();
        m_lamp.SettingsLoaded();
        RefreshDisplay();
        QueuePrinterCheckAtLoad();
    }
    m_view.statusText = m_engine.StatusText();
}

void MainWindowModel::AutoStartClick() {
    const bool wanted = !m_view.autoStartChecked;
    const bool done = m_platform.SetAutoStart(wanted, m_info.programPath);
    // The check mark shows what is on disk now, whatever the outcome.
    m_view.autoStartChecked = m_platform.IsAutoStartEnabled();
    if (!done) {
        std::string text =
            wanted ? "VVP could not be set to start at logon." : "VVP could not stop starting at logon.";
        if (const std::string why = m_platform.LastError(); !why.empty()) text += "\r\n" + why;
        Tell(text, Icon::Error);
    }
}

void MainWindowModel::UseMsgRecipientHeader1Click() {
    ChangeAndRefresh([](VNPTRRegValues& v) { v.MsgRecipient = !v.MsgRecipient; });
}

void MainWindowModel::SignusingHeSAToken1Click() {
    const bool on = !m_engine.Settings().HeSATokens;
    m_engine.SetSigning(on);
    m_view.signingChecked = on;
    ShowToken(m_engine.TokenState());
    if (!on) {
        m_view.tokenGroupVisible = false;
        m_view.signingGroupVisible = false;
        m_view.tokenLabel = "No tokens logged on";
        m_view.tokenLabelIsError = false;
    }
}

void MainWindowModel::MonitorPathforfilestoSign1Click() {
    ChangeAndRefresh([](VNPTRRegValues& v) { v.MonitorSigning = !v.MonitorSigning; });
}

void MainWindowModel::ExitClick() {
    m_view.place = WindowPlace::Hidden;
    m_view.trayIconVisible = false;
    if (m_shell.quit) m_shell.quit();
}

void MainWindowModel::ChangeSaveMode(uint8_t mode) {
    if (auto saved = m_engine.ChangeSettings([mode](VNPTRRegValues& v) { v.SaveMode = mode; }); !saved)
        Tell("The settings could not be saved.\r\n" + saved.error().message, Icon::Error);
}

void MainWindowModel::SavetoFile1Click() {
    ChangeSaveMode(1);
    RefreshDisplay();
}

void MainWindowModel::UseVocanetVirtualPrinter1Click() {
    m_engine.ClearDomainList();
    m_view.domainList.clear();
    ChangeSaveMode(0);
    RefreshDisplay(); // refreshes the domain list off the GUI thread
}

void MainWindowModel::VocanetClientMode1Click() {
    ChangeSaveMode(2);
    RefreshDisplay();
    m_engine.RefreshDomainText();
}

void MainWindowModel::VerifyVocanetDetails1Click() {
    if (!m_platform.PrinterAdministrationAvailable()) {
        Tell(kNoPrinterAdministration, Icon::Error);
        return;
    }
    RunTask(Task::Printer, [this] { m_engine.VerifyPrinter(); });
}

void MainWindowModel::CreateVocanetPrinter1Click() {
    if (m_printerRunning) return;
    if (!m_platform.PrinterAdministrationAvailable()) {
        Tell(kNoPrinterAdministration, Icon::Error);
        return;
    }
    // The questions are the window's own; only the tools run beside it.
    const auto printer = m_engine.AskNewPrinter();
    if (!printer) return;
    RunTask(Task::Printer, [this, printer = *printer] { m_engine.CreatePrinter(printer); });
}

void MainWindowModel::PPortButtonClick() {
    if (m_printerRunning) return;
    m_view.portEditEnabled = true;
}

void MainWindowModel::PortEditExit(const std::string& text) {
    // Asked once per edit: the question itself takes the focus from the box.
    if (!m_view.portEditEnabled) return;
    m_view.portEditEnabled = false;
    m_view.portText = m_engine.ChangePort(text);
    m_view.statusText = m_engine.StatusText();
    m_view.enabledChecked = m_engine.ListenerActive();
}

void MainWindowModel::NotYetAvailable(const std::string& what) {
    Tell(what + " is not yet available in this version of VVP.", Icon::Information);
}

void MainWindowModel::AddressBookClick(std::function<void()> show) {
    if (!m_addressBook->Begin()) return;
    m_addressBookRunning = true;
    UpdateBusy();
    const VNPTRRegValues settings = m_engine.Settings();
    const auto timeout = std::chrono::seconds(std::max<uint32_t>(1, settings.AddressExchangeSeconds));
    auto opening = std::make_shared<AddressBookOpening>();
    m_runner.Run(
        [this, opening, mode = settings.SaveMode, timeout] { *opening = m_addressBook->Run(mode, timeout); },
        [this, opening, show = std::move(show)] {
            m_addressBookRunning = false;
            UpdateBusy();
            for (const auto& line : opening->log)
                m_engine.LogLine(line);
            HideToTray();
            if (show) show();
            if (m_shell.viewChanged) m_shell.viewChanged();
        });
}

void MainWindowModel::LetterheadFolderChanged(const std::string& folder) {
    if (folder == m_engine.Settings().LetterheadPath) return;
    ChangeAndRefresh([&folder](VNPTRRegValues& v) { v.LetterheadPath = folder; });
}

void MainWindowModel::OpenManual() {
    if (m_info.manualPath.empty()) {
        Tell("The VVP manual (README.md) was not found beside the program.", Icon::Error);
        return;
    }
    if (!m_platform.OpenDocument(m_info.manualPath)) {
        std::string text = "The VVP manual " + m_info.manualPath + " could not be opened.";
        if (const std::string why = m_platform.LastError(); !why.empty()) text += "\r\n" + why;
        Tell(text, Icon::Error);
    }
}

void MainWindowModel::ReportPrinterClick() {
    if (m_letterPrinterRunning) return;
    const auto chosen = m_prompter.ChoosePrinter("Letter Printer");
    if (!chosen) return;
    const std::string name = TrimBlanks(*chosen);
    if (name.empty()) {
        ChangeAndRefresh([](VNPTRRegValues& v) { v.ReportPrinter.clear(); });
        return;
    }
    // The queue's device comes from the CUPS server, which may be remote and slow to answer.
    enum class Found { Unknown, Ours, Other };
    auto found = std::make_shared<Found>(Found::Unknown);
    RunTask(
        Task::LetterPrinter,
        [this, found, name] {
            const PrinterQueue queue = FindPrinterQueue(m_engine.PrinterQueues(), name);
            *found = IsVirtualPrinterQueue(queue, VirtualPrinterIdentityFrom(m_engine.Settings()))
                         ? Found::Ours
                         : Found::Other;
        },
        [this, found, name] {
            // A lookup that failed (logged by the runner) leaves the letter printer as it was.
            if (*found == Found::Ours) Tell(kLetterPrinterRefused);
            if (*found != Found::Other) return;
            ChangeAndRefresh([&name](VNPTRRegValues& v) { v.ReportPrinter = name; });
        });
}

void MainWindowModel::SaveToPathClick() {
    if (m_engine.Settings().SaveMode == 0) {
        ChooseServer();
        return;
    }
    const std::string folder = m_prompter.BrowseFolder(kSavePathTitle);
    if (folder.empty()) return;
    ChangeAndRefresh([&folder](VNPTRRegValues& v) { v.SavePath = IncludeTrailingSeparator(folder); });
}

void MainWindowModel::ChooseServer() {
    const std::string current = m_engine.Settings().VocanetServer;
    const auto answer =
        m_prompter.Input(kServerCaption, kServerPrompt, current.empty() ? kServerPlaceholder : current);
    if (!answer) return;
    const std::string server = TrimBlanks(*answer);
    if (server.empty() || server == kServerPlaceholder) return;
    ChangeAndRefresh([&server](VNPTRRegValues& v) { v.VocanetServer = server; });
    QueueServerQuery();
}

void MainWindowModel::MonitorFileBtnClick() {
    const std::string folder = m_prompter.BrowseFolder(kMonitorPathTitle);
    if (folder.empty()) return;
    ChangeAndRefresh([&folder](VNPTRRegValues& v) { v.MonitorPath = IncludeTrailingSeparator(folder); });
}

void MainWindowModel::TokenLogonClick() {
    RunTask(Task::Token, [this] { m_engine.TokenLogon(); });
}

void MainWindowModel::DomainListClick() {
    QueueServerQuery();
}

void MainWindowModel::SignOnlyTextChange(const std::string& text) {
    m_view.signOnlyText = text;
    if (auto saved = m_engine.ChangeSettings([&text](VNPTRRegValues& v) { v.SignOnlyText = text; }); !saved)
        m_engine.LogLine("The settings could not be saved: " + saved.error().message);
}

void MainWindowModel::HideToTray() {
    // Without a tray the window could never be brought back: it is minimised instead.
    if (m_shell.trayAvailable && m_shell.trayAvailable()) {
        m_view.trayIconVisible = true;
        m_view.place = WindowPlace::InTray;
    } else {
        m_view.place = WindowPlace::Minimised;
    }
}

void MainWindowModel::Restore() {
    m_view.place = WindowPlace::Shown;
    m_view.trayIconVisible = false;
}

bool MainWindowModel::FormCloseQuery() {
    if (m_sessionEnding) return true;
    if (m_view.place != WindowPlace::Hidden) {
        HideToTray();
        return false;
    }
    m_view.trayIconVisible = false;
    return true;
}

void MainWindowModel::EndSession() {
    if (m_sessionEnding) return;
    m_sessionEnding = true;
    m_engine.DisableListener();
    m_view.place = WindowPlace::Hidden;
    m_view.trayIconVisible = false;
    if (m_shell.quit) m_shell.quit();
}

std::string FindManual(const std::string& programFolder) {
    const std::string folder = IncludeTrailingSeparator(programFolder);
    for (const std::string& candidate :
         {folder + "README.md", folder + "../share/doc/vvp/README.md", folder + "../../README.md"})
        if (FileExists(candidate)) return candidate;
    return {};
}

} // namespace vvp
