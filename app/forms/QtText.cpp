#include "QtText.h"

#include "Cp1252.h"

#include <QStringDecoder>

namespace vvp {

QString FromEngineText(const std::string& text) {
    QString out;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    out = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (utf8.hasError()) {
        out.clear();
        out.reserve(static_cast<qsizetype>(text.size()));
        for (const char c : text)
            out += Cp1252ToQChar(static_cast<unsigned char>(c));
    }
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

std::string ToEngineText(const QString& text) {
    return text.toStdString();
}

} // namespace vvp
