// Display of texts and paths (see TextDisplay.h).
#include "panels/TextDisplay.h"

#include "media/text/TagDecoder.h"
#include "media/text/Utf8.h"

#include <QFile>

QString DisplayText(std::string_view Bytes) {
    if (IsValidUtf8(Bytes))
        return QString::fromUtf8(Bytes.data(), static_cast<qsizetype>(Bytes.size()));
    const std::string Text = DefaultTagDecoder().Utf8OrCodePage(Bytes);
    return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
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
