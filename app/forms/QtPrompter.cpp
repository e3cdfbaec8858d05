#include "QtPrompter.h"

#include "QtText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <any>

namespace vvp {
namespace {

// A message box whose Escape key and close box mean only what the buttons offer: Cancel where
// there is one, OK in an OK box, and nothing at all in Yes/No and Abort/Retry/Ignore boxes, so a
// stray Escape never answers for the user.
class PromptMessageBox final : public QMessageBox {
public:
    bool escapeAllowed = false;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!escapeAllowed && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!escapeAllowed) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }
};

QMessageBox::Icon ToQt(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
    case Icon::Stop:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    std::vector<std::pair<QMessageBox::StandardButton, Answer>> buttons; // the first is the default
    bool escapeAllowed = false;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
};

ButtonSet ButtonsOf(Buttons buttons) {
    switch (buttons) {
    case Buttons::YesNo:
        return {{{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}}};
    case Buttons::YesNoCancel:
        return {{{QMessageBox::Yes, Answer::Yes},
                 {QMessageBox::No, Answer::No},
                 {QMessageBox::Cancel, Answer::Cancel}},
                true,
                QMessageBox::Cancel};
    case Buttons::AbortRetryIgnore:
        return {{{QMessageBox::Abort, Answer::Abort},
                 {QMessageBox::Retry, Answer::Retry},
                 {QMessageBox::Ignore, Answer::Ignore}}};
    case Buttons::Ok:
        break;
    }
    return {{{QMessageBox::Ok, Answer::Ok}}, true, QMessageBox::Ok};
}

} // namespace

struct QtPrompter::Pending {
    bool done = false;
    bool running = false; // the dialog is up; the job's objects it shows must outlive it
    bool abandoned = false;
    std::any value;
};

QtPrompter::QtPrompter(QObject* parent) : QObject(parent) {}

QtPrompter::~QtPrompter() {
    Abandon();
}

bool QtPrompter::Abandoned() const {
    std::lock_guard lock(m_mutex);
    return m_abandoned;
}

void QtPrompter::Abandon() {
    {
        std::lock_guard lock(m_mutex);
        m_abandoned = true;
        for (auto& pending : m_pending) {
            pending->abandoned = true;
            pending->done = true;
        }
    }
    m_changed.notify_all();
    if (QThread::currentThread() == thread())
        CloseOpenDialogs();
    else
        QMetaObject::invokeMethod(
            this, [this] { CloseOpenDialogs(); }, Qt::QueuedConnection);
}

void QtPrompter::CloseOpenDialogs() {
    // done() ends the dialog's loop without a button, which its caller takes for abandonment.
    for (const auto& dialog : QList<QPointer<QDialog>>(m_open))
        if (dialog) dialog->done(QDialog::Rejected);
}

void QtPrompter::Run(QDialog& dialog, bool forJob) {
    if (Abandoned()) throw PromptAbandoned();
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // A job's question blocks no window (the main window and the tray keep working, Exit
    // included); the window's own dialogs block the window as usual.
    dialog.setWindowModality(forJob ? Qt::WindowModal : Qt::ApplicationModal);
    bool finished = false;
    const auto watch = connect(&dialog, &QDialog::finished, &dialog, [&finished] { finished = true; });
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });
    m_open.append(QPointer<QDialog>(&dialog));
    dialog.exec();
    m_open.removeAll(QPointer<QDialog>(&dialog));
    disconnect(watch);
    // Without a button (abandoned, or the application's loops told to end) there is no answer.
    if (!finished || Abandoned()) throw PromptAbandoned();
}

bool QtPrompter::ForJob() const {
    return QThread::currentThread() != thread();
}

std::any QtPrompter::AskAny(std::function<std::any()> show) {
    if (!ForJob()) {
        return show();
    }
    auto pending = std::make_shared<Pending>();
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_gateBusy || m_abandoned; });
        if (m_abandoned) throw PromptAbandoned();
        m_gateBusy = true;
        m_pending.push_back(pending);
    }
    QMetaObject::invokeMethod(
        this,
        [this, pending, show] {
            {
                std::lock_guard lock(m_mutex);
                if (pending->done) return;
                pending->running = true;
            }
            std::any value;
            bool abandoned = false;
            try {
                value = show();
            } catch (const PromptAbandoned&) {
                abandoned = true;
            }
            {
                std::lock_guard lock(m_mutex);
                pending->running = false;
                if (!pending->done) {
                    pending->value = std::move(value);
                    pending->abandoned = abandoned;
                    pending->done = true;
                }
            }
            m_changed.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(m_mutex);
    // Abandoned while its dialog is up, the job waits for the dialog to close, since the dialog
    // may show objects of the job's own.
    m_changed.wait(lock, [&pending] { return pending->done && !pending->running; });
    std::erase(m_pending, pending);
    m_gateBusy = false;
    lock.unlock();
    m_changed.notify_all();
    if (pending->abandoned) throw PromptAbandoned();
    return std::move(pending->value);
}

Answer QtPrompter::Message(const MessageRequest& request) {
    const bool forJob = ForJob();
    return Ask<Answer>([this, request, forJob] {
        PromptMessageBox box;
        box.setWindowTitle(FromEngineText(request.caption));
        box.setTextFormat(Qt::PlainText);
        box.setText(FromEngineText(request.text));
        box.setIcon(ToQt(request.icon));
        const ButtonSet set = ButtonsOf(request.buttons);
        std::vector<std::pair<QAbstractButton*, Answer>> answers;
        for (const auto& [standard, answer] : set.buttons)
            answers.emplace_back(box.addButton(standard), answer);
        box.setDefaultButton(set.buttons.front().first);
        box.escapeAllowed = set.escapeAllowed;
        if (set.escapeAllowed) box.setEscapeButton(box.button(set.escape));
        Run(box, forJob);
        for (const auto& [button, answer] : answers)
            if (button == box.clickedButton()) return answer;
        throw PromptAbandoned();
    });
}

std::optional<std::string> QtPrompter::Input(const std::string& caption, const std::string& prompt,
                                             const std::string& defaultValue) {
    const bool forJob = ForJob();
    return Ask<std::optional<std::string>>(
        [this, caption, prompt, defaultValue, forJob]() -> std::optional<std::string> {
            QInputDialog dialog;
            dialog.setInputMode(QInputDialog::TextInput);
            dialog.setWindowTitle(FromEngineText(caption));
            dialog.setLabelText(FromEngineText(prompt));
            dialog.setTextValue(FromEngineText(defaultValue));
            Run(dialog, forJob);
            if (dialog.result() != QDialog::Accepted) return std::nullopt;
            return ToEngineText(dialog.textValue());
        });
}

std::string QtPrompter::BrowseFolder(const std::string& title) {
    const bool forJob = ForJob();
    return Ask<std::string>([this, title, forJob]() -> std::string {
        QFileDialog dialog;
        dialog.setWindowTitle(FromEngineText(title));
        dialog.setFileMode(QFileDialog::Directory);
        // Qt's own dialog, so it can be ended when the program ends.
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        Run(dialog, forJob);
        if (dialog.result() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
    });
}

std::optional<std::string> QtPrompter::ChoosePrinter(const std::string& title) {
    const bool forJob = ForJob();
    return Ask<std::optional<std::string>>([this, title, forJob]() -> std::optional<std::string> {
        QPrinter printer;
        printer.setDocName(FromEngineText(title));
        QPrintDialog dialog(&printer);
        dialog.setWindowTitle(QStringLiteral("Print: ") + FromEngineText(title));
        // Printing to a file is no letter printer.
        dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
        Run(dialog, forJob);
        if (dialog.result() != QDialog::Accepted) return std::nullopt;
        return printer.outputFormat() == QPrinter::NativeFormat ? ToEngineText(printer.printerName())
                                                                : std::string();
    });
}

std::optional<std::string> QtPrompter::Dialog(const std::string& caption, const std::string& text,
                                              const std::optional<std::string>& defaultAnswer) {
    return Input(caption, text, defaultAnswer.value_or(std::string()));
}

} // namespace vvp
