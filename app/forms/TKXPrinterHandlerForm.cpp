#include "TKXPrinterHandlerForm.h"

#include "QtText.h"
#include "TRTFEditForm.h"
#include "TvnAddressBookForm.h"
#include "TVNOrgEntityForm1.h"
#include "VvpTrayIcon.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace vvp {
namespace {

constexpr int kClientWidth = 291;
constexpr int kClientHeight = 416;

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGroupBox* Box(const char* name, const char* caption) {
    auto* box = Named(new QGroupBox(QString::fromLatin1(caption)), name);
    return box;
}

QToolButton* DotsButton(const char* name) {
    auto* button = Named(new QToolButton, name);
    button->setText(QStringLiteral(".."));
    button->setFixedSize(22, 20);
    return button;
}

QHBoxLayout* Row(QWidget* parent) {
    auto* row = new QHBoxLayout(parent);
    row->setContentsMargins(6, 2, 6, 4);
    row->setSpacing(6);
    return row;
}

QColor LampColourOf(LampColour colour, const QPalette& palette) {
    switch (colour) {
    case LampColour::Lime:
        return QColor(0, 255, 0);
    case LampColour::ButtonFace:
        return palette.color(QPalette::Button);
    case LampColour::Red:
        break;
    }
    return QColor(255, 0, 0);
}

QStringList ItemTexts(const QListWidget& list) {
    QStringList texts;
    for (int i = 0; i < list.count(); ++i)
        texts.append(list.item(i)->text());
    return texts;
}

// A log line whose text holds line ends shows them as a mark, so each entry keeps one line.
QString OneLine(QString line) {
    const QChar mark(0x21B5); // downwards arrow with corner leftwards
    line.replace(QLatin1String("\r\n"), QString(mark));
    line.replace(QLatin1Char('\r'), mark);
    line.replace(QLatin1Char('\n'), mark);
    return line;
}

} // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (isEnabled()) emit clicked();
}

TKXPrinterHandlerForm::TKXPrinterHandlerForm(MainWindowEngine& engine, Prompter& prompter, Platform& platform,
                                             BackgroundRunner& runner, DesktopInfo info,
                                             std::function<void()> quit)
    : m_engine(engine), m_prompter(prompter), m_platform(platform), m_tray(std::make_unique<VvpTrayIcon>()) {
    m_model = std::make_unique<MainWindowModel>(
        engine, prompter, platform, runner,
        MainWindowShell{[] { return VvpTrayIcon::Available(); }, std::move(quit), [this] { Render(); }},
        std::move(info));

    setObjectName(QStringLiteral("KXPrinterHandlerForm"));
    setWindowTitle(QString::fromLatin1(kApplicationTitle));
    setToolTip(QStringLiteral("Vocanet Virtual Printer Manager"));
    setWindowIcon(VvpTrayIcon::Picture());
    // Fixed border with only the system menu, always on top.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    BuildBoxes();
    BuildMenus();
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());

    m_timer = Named(new QTimer(this), "Timer1");
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &TKXPrinterHandlerForm::Timer1Timer);

    connect(m_tray.get(), &VvpTrayIcon::restoreRequested, this,
            [this] { Do([this] { m_model->Restore(); }); });
    connect(m_tray.get(), &VvpTrayIcon::exitRequested, this,
            [this] { Do([this] { m_model->ExitClick(); }); });
    connect(m_tray.get(), &VvpTrayIcon::addressBookRequested, this,
            [this] { Do([this] { AddressBookClick(); }); });
}

TKXPrinterHandlerForm::~TKXPrinterHandlerForm() = default;

void TKXPrinterHandlerForm::BuildBoxes() {
    auto* client = Named(new QWidget, "ClientArea");
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(2);

    QGroupBox* status = Box("GroupBox3", "Status");
    QHBoxLayout* row = Row(status);
    m_shape1 = Named(new QFrame, "Shape1");
    m_shape1->setFixedSize(14, 14);
    m_shape1->setAutoFillBackground(true);
    m_shape1->setFrameShape(QFrame::Box);
    m_status = Named(new QLabel(QStringLiteral("Inactive")), "VPStatusLabel");
    row->addWidget(m_shape1);
    row->addWidget(m_status, 1);
    column->addWidget(status);
    m_heldJobs = Named(new QLabel, "HeldJobsLabel");
    m_heldJobs->setStyleSheet(QStringLiteral("color: red"));
    m_heldJobs->setWordWrap(true);
    m_heldJobs->hide();
    column->addWidget(m_heldJobs);

    QGroupBox* port = Box("GroupBox2", "Printer Port");
    row = Row(port);
    m_portButton = DotsButton("PPortButton");
    m_portEdit = Named(new QLineEdit(QStringLiteral("9105")), "PortEdit");
    m_portEdit->setEnabled(false);
    m_portEdit->setMaxLength(16);
    row->addWidget(m_portButton);
    row->addWidget(m_portEdit, 1);
    column->addWidget(port);
    connect(m_portButton, &QToolButton::clicked, this, [this] {
        Do([this] { m_model->PPortButtonClick(); });
        if (m_portEdit->isEnabled()) {
            m_portEdit->setFocus();
            m_portEdit->selectAll();
        }
    });
    // Return, or the focus leaving a changed box.
    connect(m_portEdit, &QLineEdit::editingFinished, this,
            [this] { Do([this] { m_model->PortEditExit(ToEngineText(m_portEdit->text())); }); });

    m_printersGroup = Box("GroupBox4", "Virtual Printers");
    row = Row(m_printersGroup);
    m_printerList = Named(new QListWidget, "PrinterList");
    m_printerList->setToolTip(QStringLiteral("I am connected to these Windows printers"));
    row->addWidget(m_printerList);
    m_printersGroup->hide();
    column->addWidget(m_printersGroup);

    QGroupBox* letter = Box("GroupBox1", "Letter Printer");
    row = Row(letter);
    QToolButton* reportButton = DotsButton("ReportPrinterBtn");
    m_reportPrinter = Named(new ClickLabel(QStringLiteral("No Letter Printer Set")), "Report_PrinterLabel");
    row->addWidget(reportButton);
    row->addWidget(m_reportPrinter, 1);
    column->addWidget(letter);
    auto chooseLetterPrinter = [this] { Do([this] { m_model->ReportPrinterClick(); }); };
    connect(reportButton, &QToolButton::clicked, this, chooseLetterPrinter);
    connect(m_reportPrinter, &ClickLabel::clicked, this, chooseLetterPrinter);

    m_outputGroup = Box("FilePathOrVocanetGroup", "File path/Vocanet Client ");
    auto* output = new QVBoxLayout(m_outputGroup);
    output->setContentsMargins(6, 2, 6, 4);
    output->setSpacing(2);
    auto* outputRow = new QHBoxLayout;
    m_button1 = DotsButton("Button1");
    m_saveToPath =
        Named(new ClickLabel(QStringLiteral("No File Path or Vocanet Server Detected")), "SaveToPathLabel");
    outputRow->addWidget(m_button1);
    outputRow->addWidget(m_saveToPath, 1);
    output->addLayout(outputRow);
    m_domainList = Named(new QListWidget, "DomainList");
    m_domainList->setToolTip(QStringLiteral("I can send via these VocaNet Accounts"));
    m_domainList->setFixedHeight(40);
    output->addWidget(m_domainList);
    column->addWidget(m_outputGroup);
    auto chooseOutput = [this] { Do([this] { m_model->SaveToPathClick(); }); };
    connect(m_button1, &QToolButton::clicked, this, chooseOutput);
    connect(m_saveToPath, &ClickLabel::clicked, this, chooseOutput);
    connect(m_domainList, &QListWidget::itemClicked, this,
            [this] { Do([this] { m_model->DomainListClick(); }); });

    m_tokenGroup = Box("HeSATokenGroup", "HeSA Tokens - Not logged on ");
    row = Row(m_tokenGroup);
    m_tokenButton = DotsButton("TokenLogonbtn");
    m_tokenLabel = Named(new ClickLabel(QStringLiteral("Not logged on")), "TokenLabel");
    row->addWidget(m_tokenButton);
    row->addWidget(m_tokenLabel, 1);
    m_tokenGroup->hide();
    column->addWidget(m_tokenGroup);
    auto logon = [this] { Do([this] { m_model->TokenLogonClick(); }); };
    connect(m_tokenButton, &QToolButton::clicked, this, logon);
    connect(m_tokenLabel, &ClickLabel::clicked, this, logon);

    m_signingGroup = Box("SigningPathGroup", "Monitor Path for Signing");
    m_signingGroup->setToolTip(QStringLiteral("Watches for files arriving in a folder "));
    auto* signing = new QVBoxLayout(m_signingGroup);
    signing->setContentsMargins(6, 2, 6, 4);
    signing->setSpacing(2);
    auto* monitorRow = new QHBoxLayout;
    QToolButton* monitorButton = DotsButton("MonitorFileBtn");
    m_monitorPath = Named(new ClickLabel(QStringLiteral("No Monitor File Path set")), "MonitorPathLabel");
    monitorRow->addWidget(monitorButton);
    monitorRow->addWidget(m_monitorPath, 1);
    signing->addLayout(monitorRow);
    auto* onlyRow = new QHBoxLayout;
    onlyRow->addWidget(Named(new QLabel(QStringLiteral("Sign only Files containing :")), "Label1"));
    m_signOnly = Named(new QLineEdit, "SignOnlyText");
    m_signOnly->setToolTip(
        QStringLiteral("Ignore files Not containing this text.  Separate Text to look for with ;"));
    onlyRow->addWidget(m_signOnly, 1);
    signing->addLayout(onlyRow);
    m_signingGroup->hide();
    column->addWidget(m_signingGroup);
    connect(monitorButton, &QToolButton::clicked, this,
            [this] { Do([this] { m_model->MonitorFileBtnClick(); }); });
    connect(m_monitorPath, &ClickLabel::clicked, this, chooseOutput);
    connect(m_signOnly, &QLineEdit::textEdited, this, [this](const QString& text) {
        Do([this, text] { m_model->SignOnlyTextChange(ToEngineText(text)); });
    });

    m_memo = Named(new QPlainTextEdit, "Memo1");
    m_memo->setReadOnly(true);
    m_memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    column->addWidget(m_memo, 1);

    setCentralWidget(client);
}

QAction* TKXPrinterHandlerForm::AddAction(QMenu* menu, const char* name, const char* caption,
                                          void (MainWindowModel::*command)()) {
    QAction* action = Named(menu->addAction(QString::fromLatin1(caption)), name);
    connect(action, &QAction::triggered, this,
            [this, command] { Do([this, command] { (m_model.get()->*command)(); }); });
    return action;
}

QAction* TKXPrinterHandlerForm::AddNotYet(QMenu* menu, const char* name, const char* caption,
                                          const char* what) {
    QAction* action = Named(menu->addAction(QString::fromLatin1(caption)), name);
    const std::string text = what;
    connect(action, &QAction::triggered, this,
            [this, text] { Do([this, text] { m_model->NotYetAvailable(text); }); });
    return action;
}

void TKXPrinterHandlerForm::BuildMenus() {
    QMenuBar* bar = Named(menuBar(), "MainMenu1");

    QMenu* settings = Named(bar->addMenu(QStringLiteral("Settings")), "Settings1");
    m_enable = AddAction(settings, "Enable1", "Vocanet Printer &Enabled", &MainWindowModel::Enable1Click);
    m_autoStart = AddAction(settings, "AutoStart", "&Auto Start at logon", &MainWindowModel::AutoStartClick);
    m_msgRecipient = AddAction(settings, "UseMsgRecipientHeader1", "&Use MsgRecipient Header",
                               &MainWindowModel::UseMsgRecipientHeader1Click);
    m_signing = AddAction(settings, "SignusingHeSAToken1", "&Sign using HeSA Token",
                          &MainWindowModel::SignusingHeSAToken1Click);
    m_monitor = AddAction(settings, "MonitorPathforfilestoSign1", "&Monitor Path for files to Sign",
                          &MainWindowModel::MonitorPathforfilestoSign1Click);
    for (QAction* a : {m_enable, m_autoStart, m_msgRecipient, m_signing, m_monitor})
        a->setCheckable(true);
    m_verifyPrinter = AddAction(settings, "VerifyVocanetDetails1", "&Verify Vocanet Printer Details",
                                &MainWindowModel::VerifyVocanetDetails1Click);
    m_createPrinter = AddAction(settings, "CreateVocanetPrinter1", "&Create Vocanet Printer",
                                &MainWindowModel::CreateVocanetPrinter1Click);
    QAction* hide = AddAction(settings, "Hide1", "&Hide", &MainWindowModel::Hide1Click);
    hide->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    AddAction(settings, "Exit1", "E&xit", &MainWindowModel::ExitClick);

    QMenu* edit = Named(bar->addMenu(QStringLiteral("Edit")), "Edit1");
    QAction* letterHeads = Named(edit->addAction(QStringLiteral("&Letter Heads")), "LetterHeads1");
    connect(letterHeads, &QAction::triggered, this, [this] { Do([this] { LetterHeads1Click(); }); });

    QMenu* mode = Named(bar->addMenu(QStringLiteral("Mode")), "Mode1");
    auto* modes = new QActionGroup(this);
    m_modes[1] = AddAction(mode, "SavetoFile1", "&Save to File path", &MainWindowModel::SavetoFile1Click);
    m_modes[0] = AddAction(mode, "UseVocanetVirtualPrinter1", "S&end to Vocanet Virtual Printer",
                           &MainWindowModel::UseVocanetVirtualPrinter1Click);
    m_modes[2] = AddAction(mode, "VocanetClientMode1", "&Act as Vocanet Virtual Printer",
                           &MainWindowModel::VocanetClientMode1Click);
    m_modes[2]->setToolTip(QStringLiteral("Accept Messages From other Vocanet Printers on the network"));
    mode->setToolTipsVisible(true);
    for (QAction* a : m_modes) {
        a->setCheckable(true);
        modes->addAction(a);
    }

    QAction* addressBook = Named(bar->addAction(QStringLiteral("&Address Book")), "AddressBook1");
    connect(addressBook, &QAction::triggered, this, [this] { Do([this] { AddressBookClick(); }); });

    QMenu* help = Named(bar->addMenu(QStringLiteral("Help")), "Help1");
    AddAction(help, "OnLinehelp1", "On-Line &Help", &MainWindowModel::OnLinehelp1Click);
    AddAction(help, "UpdateVVP1", "&Update VVP", &MainWindowModel::UpdateVVP1Click);

    QMenu* temp = Named(bar->addMenu(QStringLiteral("Temp")), "Temp1");
    temp->menuAction()->setVisible(false);
    AddNotYet(temp, "LocateVocanet1", "Locate Vocanet", "Locating Vocanet");
    AddNotYet(temp, "ListKnowPeers1", "List Known Peers", "Listing the known peers");
    AddNotYet(temp, "LoadDoc1", "Load Doc", "Loading a document");
    Named(temp->addAction(QStringLiteral("Show Letter Form")), "ShowLetterForm1");
    QAction* entities = Named(temp->addAction(QStringLiteral("&Entities")), "Entities1");
    connect(entities, &QAction::triggered, this, [this] { Do([this] { Entities1Click(); }); });
    // Its menu stays hidden; the window's own shortcut is how the practice reaches the editor.
    entities->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    addAction(entities);
}

void TKXPrinterHandlerForm::AddressBookClick() {
    m_model->AddressBookClick([this] { Do([this] { ShowAddressBook(); }); });
}

void TKXPrinterHandlerForm::ShowAddressBook() {
    if (!m_addressBook) {
        FieldWidthsStore widths{
            [this] { return m_engine.Settings().FieldWidths; },
            [this](const std::string& text) {
                auto saved = m_engine.ChangeSettings([&text](VNPTRRegValues& v) { v.FieldWidths = text; });
                if (!saved)
                    m_engine.LogLine("The address book's column widths could not be saved: " +
                                     saved.error().message);
            }};
        m_addressBook = std::make_unique<TvnAddressBookForm>(m_engine.GetFolders().temp, std::move(widths));
    }
    m_addressBook->Open();
}

void TKXPrinterHandlerForm::Entities1Click() {
    if (!m_entities) m_entities = new TVNOrgEntityForm1(m_prompter, this);
    m_entities->Open(m_engine.GetFolders().program);
}

void TKXPrinterHandlerForm::Do(const std::function<void()>& command) {
    try {
        command();
    } catch (const PromptAbandoned&) {
        // The program is ending.
    } catch (const std::exception& e) {
        m_engine.LogLine(std::string("The window's command failed: ") + e.what());
    }
    Render();
}

void TKXPrinterHandlerForm::FormCreate() {
    Do([this] { m_model->FormCreate(); });
    RefreshLog();
}

void TKXPrinterHandlerForm::EngineChanged() {
    Do([this] { m_model->EngineChanged(); });
    RefreshLog();
}

void TKXPrinterHandlerForm::EndSession() {
    Do([this] { m_model->EndSession(); });
}

void TKXPrinterHandlerForm::Timer1Timer() {
    Do([this] { m_model->Tick(); });
}

void TKXPrinterHandlerForm::LetterHeads1Click() {
    if (!m_letterHeads) {
        m_letterHeads = std::make_unique<TRTFEditForm>(m_prompter, &m_platform);
        // Above this window, which stays on top.
        m_letterHeads->setWindowFlag(Qt::WindowStaysOnTopHint, true);
        m_letterHeads->SetFolderChanged(
            [this](const std::string& folder) { m_model->LetterheadFolderChanged(folder); });
    }
    m_letterHeads->ShowLibrary(m_engine.Settings().LetterheadPath);
    m_letterHeads->exec();
}

void TKXPrinterHandlerForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_timer->start(); // FormShow
    }
}

void TKXPrinterHandlerForm::closeEvent(QCloseEvent* event) {
    bool allowed = false;
    Do([this, &allowed] { allowed = m_model->FormCloseQuery(); });
    if (allowed)
        event->accept();
    else
        event->ignore();
}

void TKXPrinterHandlerForm::RefreshLog() {
    QStringList lines;
    for (const auto& line : m_engine.LogLines())
        lines.append(OneLine(FromEngineText(line)));
    const QString text = lines.join(QLatin1Char('\n'));
    if (m_memo->toPlainText() != text) m_memo->setPlainText(text);
}

void TKXPrinterHandlerForm::Render() {
    const MainWindowView& v = m_model->View();

    if (v.busy != m_waitCursor) {
        m_waitCursor = v.busy;
        // The window's own cursor, not the application's: a question the waiting work asks shows
        // the usual one.
        if (v.busy)
            setCursor(Qt::WaitCursor);
        else
            unsetCursor();
    }

    m_status->setText(FromEngineText(v.statusText));
    m_heldJobs->setText(FromEngineText(v.heldJobsText));
    m_heldJobs->setVisible(!v.heldJobsText.empty());
    QPalette lamp = m_shape1->palette();
    lamp.setColor(QPalette::Window, LampColourOf(v.lamp, palette()));
    m_shape1->setPalette(lamp);
    // While the box is open for a change, the text is the user's.
    if (!v.portEditEnabled) m_portEdit->setText(FromEngineText(v.portText));
    m_portEdit->setEnabled(v.portEditEnabled);
    m_portButton->setEnabled(v.printerActionsEnabled);
    QStringList printers;
    for (const auto& p : v.printerList)
        printers.append(FromEngineText(p));
    if (ItemTexts(*m_printerList) != printers) {
        m_printerList->clear();
        m_printerList->addItems(printers);
    }
    m_reportPrinter->setText(FromEngineText(v.reportPrinterText));

    m_outputGroup->setTitle(FromEngineText(v.outputGroupCaption));
    m_saveToPath->setText(FromEngineText(v.saveToPathText));
    m_saveToPath->setToolTip(FromEngineText(v.saveToPathHint));
    m_saveToPath->setVisible(v.saveToPathVisible);
    m_domainList->setVisible(v.domainListVisible);
    QStringList domains;
    for (const auto& d : v.domainList)
        domains.append(FromEngineText(d));
    QStringList shown;
    for (int i = 0; i < m_domainList->count(); ++i)
        shown.append(m_domainList->item(i)->text());
    if (shown != domains) {
        m_domainList->clear();
        m_domainList->addItems(domains);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_button1, m_saveToPath, m_domainList, m_monitorPath})
        w->setEnabled(v.serverActionsEnabled);

    m_tokenGroup->setVisible(v.tokenGroupVisible);
    m_tokenGroup->setTitle(FromEngineText(v.tokenGroupCaption));
    m_tokenLabel->setText(FromEngineText(v.tokenLabel));
    m_tokenLabel->setStyleSheet(v.tokenLabelIsError ? QStringLiteral("color: red") : QString());
    m_tokenButton->setEnabled(v.tokenActionsEnabled);
    m_tokenLabel->setEnabled(v.tokenActionsEnabled);

    m_signingGroup->setVisible(v.signingGroupVisible);
    m_signingGroup->setTitle(FromEngineText(v.signingGroupCaption));
    m_monitorPath->setText(FromEngineText(v.monitorPathText));
    m_monitorPath->setStyleSheet(v.monitorFolderMissing ? QStringLiteral("color: red") : QString());
    const QString signOnly = FromEngineText(v.signOnlyText);
    if (m_signOnly->text() != signOnly) m_signOnly->setText(signOnly);

    m_enable->setChecked(v.enabledChecked);
    m_autoStart->setChecked(v.autoStartChecked);
    m_msgRecipient->setChecked(v.msgRecipientChecked);
    m_signing->setChecked(v.signingChecked);
    m_monitor->setChecked(v.monitorChecked);
    m_createPrinter->setEnabled(v.createPrinterEnabled);
    m_verifyPrinter->setEnabled(v.printerActionsEnabled);
    if (v.saveModeChecked >= 0 && v.saveModeChecked <= 2) m_modes[v.saveModeChecked]->setChecked(true);

    m_tray->SetVisible(v.trayIconVisible);
    // Only a change of place is applied, so a window the user minimised stays so.
    if (v.place != m_renderedPlace) {
        m_renderedPlace = v.place;
        switch (v.place) {
        case WindowPlace::Shown:
            showNormal();
            raise();
            activateWindow();
            break;
        case WindowPlace::Minimised:
            showMinimized();
            break;
        case WindowPlace::InTray:
        case WindowPlace::Hidden:
            hide();
            break;
        }
    }
}

} // namespace vvp
