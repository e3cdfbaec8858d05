#include "VvpMain.h"

#include "DesktopEngineFactory.h"
#include "LinuxPlatform.h"
#include "QtBackgroundRunner.h"
#include "QtEngineEvents.h"
#include "QtPathologyDialogs.h"
#include "QtPrompter.h"
#include "QtText.h"
#include "StopSignals.h"
#include "TKXPrinterHandlerForm.h"
#include "TVVPSplash.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QThread>

#include <chrono>
#include <csignal>
#include <future>
#include <iostream>
#include <unistd.h>

#ifndef VVP_VERSION
#define VVP_VERSION "0.0.0"
#endif

namespace vvp {
namespace {

// Our own top-level windows: an exact caption first, else one that starts with the text; letter
// case ignored.
bool RaiseWindow(const QString& title) {
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle().compare(title, Qt::CaseInsensitive) == 0) {
            found = w;
            break;
        }
        if (!found && w->windowTitle().startsWith(title, Qt::CaseInsensitive)) found = w;
    }
    if (!found) return false;
    found->showNormal();
    found->raise();
    found->activateWindow();
    return true;
}

std::string RunningProgramPath() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : RunningProgramFolder() + "vvp";
}

} // namespace

int VvpMain(int argc, char** argv) {
    DesktopOptions options;
    std::string error;
    if (!ParseDesktopOptions(argc, argv, options, error)) {
        std::cerr << "vvp: " << error << "\n" << DesktopUsage();
        return 2;
    }
    if (options.help) {
        std::cout << DesktopUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "vvp " << VVP_VERSION << "\n";
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a full file size limit fails the write; the job stays
    StopSignals::Install();

    // One copy at a time, decided before any window exists.
    const Folders folders = ResolveFolders(options.programFolder);
    LinuxPlatform platform(options.launchArguments, folders.temp);
    switch (platform.LockSingleInstance("VNPrinterHandlerForm")) {
    case InstanceLock::HeldElsewhere:
        return 0;
    case InstanceLock::Failed:
        std::cerr << "vvp: " << platform.LastError() << "\n";
        return 1;
    case InstanceLock::Acquired:
        break;
    }

    std::vector<std::string> qtArguments = options.qtArguments;
    std::vector<char*> qtArgv;
    for (auto& a : qtArguments)
        qtArgv.push_back(a.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArguments.size());
    QApplication app(qtArgc, qtArgv.data());
    // Hidden to the tray, the window is not the last one closing when a dialog closes.
    QApplication::setQuitOnLastWindowClosed(false);

    auto splash = std::make_unique<TVVPSplash>();
    if (splash->Load(TVVPSplash::Picture())) {
        splash->show();
        QApplication::processEvents();
    }
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));

    QtPrompter prompter;
    QtEngineEvents events;
    StopSignals stopSignals;
    platform.SetWindowRaiser([&prompter](const std::string& title) {
        const QString caption = FromEngineText(title);
        if (QThread::currentThread() == prompter.thread()) return RaiseWindow(caption);
        auto answer = std::make_shared<std::promise<bool>>();
        auto result = answer->get_future();
        QMetaObject::invokeMethod(
            &prompter, [answer, caption] { answer->set_value(RaiseWindow(caption)); }, Qt::QueuedConnection);
        return result.wait_for(std::chrono::seconds(2)) == std::future_status::ready && result.get();
    });

    pathology::QtPathologyDialogs pathologyDialogs(prompter);
    std::unique_ptr<MainWindowEngine> engine =
        MakeDesktopEngine({options, folders, prompter, events, platform, [&events] { events.LogLineAdded(); },
                           &pathologyDialogs});
    QtBackgroundRunner runner([&engine](const std::string& line) { engine->LogLine(line); });
    if (auto started = engine->Start(); !started) {
        splash.reset();
        // Also for the session's log, when vvp was started at logon and the box goes unseen.
        std::cerr << "vvp: VVP cannot start. " << started.error().message << std::endl;
        QMessageBox box(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle),
                        QStringLiteral("VVP cannot start.\n") + FromEngineText(started.error().message));
        box.setTextFormat(Qt::PlainText);
        // The handlers took over SIGTERM: without this the box would outlive the session's end.
        QObject::connect(&stopSignals, &StopSignals::stopRequested, &box, &QMessageBox::reject);
        box.exec();
        return 1;
    }

    std::string manual = FindManual(RunningProgramFolder());
    if (manual.empty()) manual = FindManual(folders.program);
    TKXPrinterHandlerForm form(*engine, prompter, platform, runner, {RunningProgramPath(), manual},
                               [&prompter] {
                                   // Open prompts end first, so no answer is made up for them.
                                   prompter.Abandon();
                                   QCoreApplication::quit();
                               });
    events.SetHandler([&form] { form.EngineChanged(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.EndSession(); });
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &form, [&form] { form.EndSession(); });
    form.FormCreate();
    splash.reset();
    form.show();

    app.exec();

    prompter.Abandon();
    runner.WaitForDone();
    events.SetHandler({});
    engine->Stop();
    return 0;
}

} // namespace vvp
