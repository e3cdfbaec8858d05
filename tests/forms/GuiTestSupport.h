#pragma once

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <ostream>
#include <string>

// Failed comparisons of texts show the text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vvp::test {

// The one offscreen QApplication of the test program, made on first use (on the main thread).
QApplication& GuiApp();

// Made first in a fixture, so the application exists before any Qt object of the fixture.
struct WithGuiApp {
    WithGuiApp() { GuiApp(); }
};

// Processes events until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// The visible top-level dialogs.
QList<QDialog*> OpenDialogs();
QDialog* WaitForDialog(std::chrono::milliseconds limit = std::chrono::seconds(10));

// Answers dialogs as they come up, one step per new dialog, from a timer on the GUI thread: a
// dialog's own event loop runs the steps, so the test never sits inside that loop itself.
class DialogRobot {
public:
    using Step = std::function<void(QDialog*)>;
    DialogRobot();
    void Then(Step step) { m_steps.push_back(std::move(step)); }
    bool Done() const { return m_steps.empty() && !m_busy; }

private:
    void Poll();
    QTimer m_timer;
    std::deque<Step> m_steps;
    QList<QPointer<QDialog>> m_handled;
    bool m_busy = false;
};

// The named child of the parent; a test failure when there is none.
template <typename T> T* FindNamed(const QObject& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// What a component shows: a group box's title, the text of a label, edit, button or action, a
// combo box's current text; a marker naming it when there is no such component.
QString ShownText(const QObject* component, const char* name);

// Saves a picture of the widget as PNG under the build folder's "screenshots"; its path.
std::string SaveScreenshot(QWidget& widget, const std::string& name);

} // namespace vvp::test
