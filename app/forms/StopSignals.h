#pragma once

#include <QObject>

class QSocketNotifier;

namespace vvp {

// SIGTERM, SIGHUP (the terminal closed) and SIGINT, brought into the event loop through a pipe.
// Signals that arrive before the loop runs are delivered once it does.
class StopSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; call as early as possible, once.
    static bool Install();
    // Construct on the GUI thread after the application object.
    explicit StopSignals(QObject* parent = nullptr);

signals:
    void stopRequested(int signal);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace vvp
