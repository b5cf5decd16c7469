// Decoding hand-edited text files: UTF-8 or Windows-1251.
#include "core/textdecoding.h"

#include <QStringDecoder>

namespace lapvane {

QString decodeUtf8OrWindows1251(QByteArrayView bytes, bool *windows1251)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    const bool converted = utf8.hasError();
    if (converted) {
        QStringDecoder cp1251("windows-1251", QStringDecoder::Flag::Stateless);
        text = cp1251.isValid() ? cp1251.decode(bytes) : QString::fromLatin1(bytes);
    }
    if (windows1251)
        *windows1251 = converted;
    return text;
}

} // namespace lapvane
