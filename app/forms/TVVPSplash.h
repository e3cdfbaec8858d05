#pragma once

#include <QWidget>

class QLabel;

namespace vvp {

// The start-up splash: borderless, centred, one picture (VVPImage).
class TVVPSplash final : public QWidget {
    Q_OBJECT
public:
    TVVPSplash();
    // Decodes the JPEG; false (and no splash to show) when the picture is bad.
    bool Load(const QByteArray& jpeg);
    // Our own picture, built into the program.
    static QByteArray Picture();

private:
    QLabel* m_image;
};

} // namespace vvp
