// Numbers as words for the speech engine.
#include "announce/spokennumbers.h"

#include <QStringList>

namespace lapvane {

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

const char *const kUnits[] = {"", "один", "два", "три", "четыре", "пять", "шесть", "семь", "восемь", "девять"};
const char *const kTeens[] = {"десять", "одиннадцать", "двенадцать", "тринадцать", "четырнадцать",
                              "пятнадцать", "шестнадцать", "семнадцать", "восемнадцать", "девятнадцать"};
const char *const kTens[] = {"", "", "двадцать", "тридцать", "сорок", "пятьдесят", "шестьдесят", "семьдесят",
                             "восемьдесят", "девяносто"};
const char *const kHundreds[] = {"", "сто", "двести", "триста", "четыреста", "пятьсот", "шестьсот", "семьсот",
                                 "восемьсот", "девятьсот"};

const char *const kUnitsOrd[] = {"", "первый", "второй", "третий", "четвёртый", "пятый", "шестой", "седьмой",
                                 "восьмой", "девятый"};
const char *const kTeensOrd[] = {"десятый", "одиннадцатый", "двенадцатый", "тринадцатый", "четырнадцатый",
                                 "пятнадцатый", "шестнадцатый", "семнадцатый", "восемнадцатый", "девятнадцатый"};
const char *const kTensOrd[] = {"", "", "двадцатый", "тридцатый", "сороковой", "пятидесятый", "шестидесятый",
                                "семидесятый", "восьмидесятый", "девяностый"};
const char *const kHundredsOrd[] = {"", "сотый", "двухсотый", "трёхсотый", "четырёхсотый", "пятисотый",
                                    "шестисотый", "семисотый", "восьмисотый", "девятисотый"};
// The first part of a compound ordinal of round thousands ("двух|тысячный").
const char *const kUnitsGen[] = {"", "одно", "двух", "трёх", "четырёх", "пяти", "шести", "семи", "восьми", "девяти"};
const char *const kTeensGen[] = {"десяти", "одиннадцати", "двенадцати", "тринадцати", "четырнадцати",
                                 "пятнадцати", "шестнадцати", "семнадцати", "восемнадцати", "девятнадцати"};
const char *const kTensGen[] = {"", "", "двадцати", "тридцати", "сорока", "пятидесяти", "шестидесяти",
                                "семидесяти", "восьмидесяти", "девяноста"};
const char *const kHundredsGen[] = {"", "сто", "двухсот", "трёхсот", "четырёхсот", "пятисот", "шестисот",
                                    "семисот", "восьмисот", "девятисот"};

// Words of 1..999; feminine gives "одна", "две" (thousands).
QStringList triple(int n, bool feminine)
{
    QStringList w;
    if (n / 100)
        w << u(kHundreds[n / 100]);
    const int rest = n % 100;
    if (rest >= 10 && rest < 20) {
        w << u(kTeens[rest - 10]);
    } else {
        if (rest / 10)
            w << u(kTens[rest / 10]);
        const int unit = rest % 10;
        if (unit == 1 && feminine)
            w << u("одна");
        else if (unit == 2 && feminine)
            w << u("две");
        else if (unit)
            w << u(kUnits[unit]);
    }
    return w;
}

// Ordinal of 1..999: only the last word takes the ordinal form.
QStringList tripleOrdinal(int n)
{
    QStringList w;
    const int rest = n % 100;
    if (rest == 0)
        return {u(kHundredsOrd[n / 100])};
    if (n / 100)
        w << u(kHundreds[n / 100]);
    if (rest >= 10 && rest < 20) {
        w << u(kTeensOrd[rest - 10]);
    } else if (rest % 10 == 0) {
        w << u(kTensOrd[rest / 10]);
    } else {
        if (rest / 10)
            w << u(kTens[rest / 10]);
        w << u(kUnitsOrd[rest % 10]);
    }
    return w;
}

// 1..999 as the first part of one compound word ("двадцатиодно").
QString tripleCompound(int n)
{
    QString s = u(kHundredsGen[n / 100]);
    const int rest = n % 100;
    if (rest >= 10 && rest < 20)
        return s + u(kTeensGen[rest - 10]);
    s += u(kTensGen[rest / 10]);
    // "тысячный", not "однотысячный"; but "двадцатиоднотысячный".
    if (!(n == 1))
        s += u(kUnitsGen[rest % 10]);
    return s;
}

QString scaleWord(qint64 count, int scale)
{
    // scale 1: thousands (feminine), 2: millions, 3: billions.
    const qint64 last2 = count % 100, last = count % 10;
    const bool few = last >= 2 && last <= 4 && !(last2 >= 12 && last2 <= 14);
    const bool one = last == 1 && last2 != 11;
    switch (scale) {
    case 1: return u(one ? "тысяча" : few ? "тысячи" : "тысяч");
    case 2: return u(one ? "миллион" : few ? "миллиона" : "миллионов");
    default: return u(one ? "миллиард" : few ? "миллиарда" : "миллиардов");
    }
}

const char *const kScaleOrd[] = {"", "тысячный", "миллионный", "миллиардный"};

} // namespace

QString russianCardinal(qint64 n)
{
    if (n < 0)
        return u("минус ") + russianCardinal(-n);
    if (n == 0)
        return u("ноль");
    QStringList words;
    qint64 scaleValue = 1000000000000LL;
    for (int scale = 4; scale >= 0; --scale, scaleValue /= 1000) {
        const int part = int((n / scaleValue) % 1000);
        if (part == 0)
            continue;
        // "тысяча", not "одна тысяча".
        if (!(scale == 1 && part == 1))
            words << triple(part, scale == 1);
        if (scale > 0)
            words << (scale >= 4 ? u("триллионов") : scaleWord(part, scale));
    }
    return words.join(QLatin1Char(' '));
}

QString russianOrdinal(qint64 n)
{
    if (n < 0)
        return u("минус ") + russianOrdinal(-n);
    if (n == 0)
        return u("нулевой");
    if (n >= 1000000000000LL)
        return russianCardinal(n);
    // The lowest non-zero group takes the ordinal form; the groups above it
    // stay cardinal ("тысяча первый"); round thousands make one word
    // ("двухтысячный").
    int lowest = 0;
    qint64 lowestValue = 1;
    while ((n / lowestValue) % 1000 == 0) {
        ++lowest;
        lowestValue *= 1000;
    }
    const int lowestPart = int((n / lowestValue) % 1000);
    const qint64 above = n / lowestValue / 1000 * lowestValue * 1000;
    QStringList words;
    if (above > 0)
        words << russianCardinal(above);
    if (lowest == 0)
        words << tripleOrdinal(lowestPart);
    else
        words << tripleCompound(lowestPart) + u(kScaleOrd[lowest]);
    return words.join(QLatin1Char(' '));
}

} // namespace lapvane
