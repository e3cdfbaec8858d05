#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QThread>

#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps a few blocks of its configuration for the life of the process. Weak: the PDF
// printing linked in with the real engine says the same.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

namespace vvp::test {

QApplication& GuiApp() {
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "vvp-gui-tests";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

QList<QDialog*> OpenDialogs() {
    QList<QDialog*> dialogs;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) dialogs.append(d);
    return dialogs;
}

QDialog* WaitForDialog(std::chrono::milliseconds limit) {
    QDialog* found = nullptr;
    WaitUntil(
        [&found] {
            const auto dialogs = OpenDialogs();
            found = dialogs.isEmpty() ? nullptr : dialogs.constFirst();
            return found != nullptr;
        },
        limit);
    return found;
}

DialogRobot::DialogRobot() {
    m_timer.setInterval(20);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
}

void DialogRobot::Poll() {
    if (m_busy || m_steps.empty()) return;
    for (QDialog* dialog : OpenDialogs()) {
        if (m_handled.contains(QPointer<QDialog>(dialog))) continue;
        m_handled.append(QPointer<QDialog>(dialog));
        m_busy = true;
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        step(dialog);
        m_busy = false;
        return;
    }
}

std::string SaveScreenshot(QWidget& widget, const std::string& name) {
    const QString folder = QStringLiteral(VVP_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
    widget.grab().save(path, "PNG");
    return path.toStdString();
}

QString ShownText(const QObject* o, const char* name) {
    if (auto* box = qobject_cast<const QGroupBox*>(o)) return box->title();
    if (auto* label = qobject_cast<const QLabel*>(o)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(o)) return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(o)) return button->text();
    if (auto* combo = qobject_cast<const QComboBox*>(o)) return combo->currentText();
    if (auto* action = qobject_cast<const QAction*>(o)) return action->text();
    return QStringLiteral("<no component %1>").arg(QString::fromLatin1(name));
}

} // namespace vvp::test
