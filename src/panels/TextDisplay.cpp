// Display decoding of raw byte texts.
#include "panels/TextDisplay.h"

#include <QFile>
#include <QStringDecoder>

namespace {
QString FromUtf16(const std::string& Bytes, bool BigEndian) {
    QString text;
    text.reserve(static_cast<qsizetype>(Bytes.size() / 2));
    for (size_t i = 2; i + 1 < Bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(Bytes[i]);
        const auto second = static_cast<unsigned char>(Bytes[i + 1]);
        text.append(
            QChar(BigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first)));
    }
    return text;
}
} // namespace

QString DisplayText(const std::string& Bytes) {
    if (Bytes.size() >= 2) {
        const auto first = static_cast<unsigned char>(Bytes[0]);
        const auto second = static_cast<unsigned char>(Bytes[1]);
        if (first == 0xFF && second == 0xFE)
            return FromUtf16(Bytes, false);
        if (first == 0xFE && second == 0xFF)
            return FromUtf16(Bytes, true);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
}

QString DisplayPath(const std::string& Path) {
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

std::string PathBytes(const QString& Path) {
    return QFile::encodeName(Path).toStdString();
}

std::string TypedBytes(const QString& Text) {
    return Text.toUtf8().toStdString();
}
