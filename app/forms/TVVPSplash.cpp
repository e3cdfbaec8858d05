#include "TVVPSplash.h"

#include "JpegPicture.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

namespace vvp {

TVVPSplash::TVVPSplash()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_image(new QLabel(this)) {
    setObjectName(QStringLiteral("VVPSplash"));
    m_image->setObjectName(QStringLiteral("VVPImage"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_image);
}

QByteArray TVVPSplash::Picture() {
    QFile file(QStringLiteral(":/vvp/VVPSplash.jpg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TVVPSplash::Load(const QByteArray& jpeg) {
    auto picture = DecodeJpeg(jpeg.toStdString());
    if (!picture) return false;
    const QImage image(picture->pixels.data(), picture->width, picture->height, picture->width * 3,
                       QImage::Format_RGB888);
    m_image->setPixmap(QPixmap::fromImage(image.copy()));
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    return true;
}

} // namespace vvp
