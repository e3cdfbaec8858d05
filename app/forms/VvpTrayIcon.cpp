#include "VvpTrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace vvp {

VvpTrayIcon::VvpTrayIcon(QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(this)), m_menu(new QMenu) {
    setObjectName(QStringLiteral("TrayIcon1"));
    m_menu->setObjectName(QStringLiteral("TrayPopup"));
    QAction* addressBook = m_menu->addAction(QStringLiteral("&Address Book"));
    addressBook->setObjectName(QStringLiteral("AddressBook2"));
    m_menu->addSeparator();
    QAction* restore = m_menu->addAction(QStringLiteral("&Restore"));
    restore->setObjectName(QStringLiteral("Restore1"));
    QAction* exit = m_menu->addAction(QStringLiteral("E&xit"));
    exit->setObjectName(QStringLiteral("Exit2"));
    connect(addressBook, &QAction::triggered, this, &VvpTrayIcon::addressBookRequested);
    connect(restore, &QAction::triggered, this, &VvpTrayIcon::restoreRequested);
    connect(exit, &QAction::triggered, this, &VvpTrayIcon::exitRequested);

    m_icon->setIcon(Picture());
    m_icon->setToolTip(QStringLiteral("VVP - VocaNet Virtual Printer"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) emit restoreRequested();
    });
}

VvpTrayIcon::~VvpTrayIcon() {
    delete m_menu;
}

bool VvpTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QIcon VvpTrayIcon::Picture() {
    QIcon icon;
    for (const int side : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / 64.0, side / 64.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(16, 64, 120));
        p.drawRoundedRect(QRectF(4, 22, 56, 28), 6, 6);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(16, 6, 32, 18));
        p.drawRect(QRectF(16, 40, 32, 20));
        p.setBrush(QColor(50, 205, 50));
        p.drawEllipse(QPointF(51, 31), 4, 4);
        p.setPen(QPen(QColor(16, 64, 120), 3));
        p.drawLine(QPointF(21, 47), QPointF(43, 47));
        p.drawLine(QPointF(21, 54), QPointF(37, 54));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void VvpTrayIcon::SetVisible(bool visible) {
    m_icon->setVisible(visible);
}

bool VvpTrayIcon::IsVisible() const {
    return m_icon->isVisible();
}

} // namespace vvp
