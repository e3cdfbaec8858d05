#include "QtBackgroundRunner.h"

#include "Prompter.h"

#include <QPointer>

#include <exception>

namespace vvp {

QtBackgroundRunner::QtBackgroundRunner(std::function<void(const std::string&)> log)
    : m_log(std::move(log)), m_context(new QObject) {
    m_pool.setMaxThreadCount(4);
}

QtBackgroundRunner::~QtBackgroundRunner() {
    WaitForDone();
    // Completions still queued are dropped with their context: the window they report to is gone.
    delete m_context;
}

void QtBackgroundRunner::Run(std::function<void()> work, std::function<void()> done) {
    QPointer<QObject> context(m_context);
    m_pool.start([this, context, work = std::move(work), done = std::move(done)] {
        try {
            work();
        } catch (const PromptAbandoned&) {
        } catch (const std::exception& e) {
            if (m_log) m_log(std::string("A background task failed: ") + e.what());
        }
        if (context) QMetaObject::invokeMethod(context, done, Qt::QueuedConnection);
    });
}

void QtBackgroundRunner::WaitForDone() {
    m_pool.waitForDone();
}

} // namespace vvp
