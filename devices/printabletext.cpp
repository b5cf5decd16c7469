// Receiver bytes as log text.
#include "devices/printabletext.h"

namespace lapvane {

QString printableText(const QByteArray &bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        if ((c >= 0x20 && c < 0x7F) || c == '\t' || c == '\r' || c == '\n') {
            out += QLatin1Char(char(c));
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(kHex[c >> 4]);
            out += QLatin1Char(kHex[c & 0xF]);
        }
    }
    return out;
}

} // namespace lapvane
