// Numbers read strictly from outside text.
#include "core/strictnumber.h"

#include <limits>

namespace lapvane {

namespace {

template <typename Char>
std::optional<qint32> parseInt(const Char *p, qsizetype n)
{
    qsizetype i = 0;
    bool negative = false;
    if (n > 0 && (p[0] == Char('-') || p[0] == Char('+'))) {
        negative = p[0] == Char('-');
        i = 1;
    }
    if (i == n)
        return std::nullopt;
    qint64 v = 0;
    for (; i < n; ++i) {
        const Char c = p[i];
        if (c < Char('0') || c > Char('9'))
            return std::nullopt;
        v = v * 10 + (c - Char('0'));
        if (v > qint64(1) << 31)
            return std::nullopt;
    }
    if (negative)
        v = -v;
    if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(v);
}

} // namespace

std::optional<qint32> strictInt(QByteArrayView text)
{
    return parseInt(text.data(), text.size());
}

std::optional<qint32> strictInt(QStringView text)
{
    return parseInt(text.utf16(), text.size());
}

std::optional<quint32> strictHex(QByteArrayView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > qMin(maxDigits, 8))
        return std::nullopt;
    quint32 v = 0;
    for (const char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return std::nullopt;
        v = (v << 4) | quint32(d);
    }
    return v;
}

} // namespace lapvane
