#pragma once

#include <QIcon>
#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace vvp {

// TrayIcon1 with its pop-up menu TrayPopup: Address Book, Restore, Exit; a double-click restores.
class VvpTrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit VvpTrayIcon(QObject* parent = nullptr);
    ~VvpTrayIcon() override;

    static bool Available();
    // The printer picture of the tray and the window.
    static QIcon Picture();

    void SetVisible(bool visible);
    bool IsVisible() const;
    QMenu* Menu() const { return m_menu; }

signals:
    void addressBookRequested();
    void restoreRequested();
    void exitRequested();

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
};

} // namespace vvp
