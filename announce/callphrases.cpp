// The texts of the race calls, in Russian and English.
#include "announce/callphrases.h"

#include "announce/spokennumbers.h"

#include <QStringList>

namespace lapvane {

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

const char *const kEnUnits[] = {"zero",    "one",     "two",       "three",    "four",     "five",    "six",
                                "seven",   "eight",   "nine",      "ten",      "eleven",   "twelve",  "thirteen",
                                "fourteen", "fifteen", "sixteen",  "seventeen", "eighteen", "nineteen"};
const char *const kEnTens[] = {"", "", "twenty", "thirty", "forty", "fifty", "sixty", "seventy", "eighty", "ninety"};

// 1..999
QString englishTriple(int n)
{
    QStringList w;
    if (n / 100)
        w << QLatin1String(kEnUnits[n / 100]) + QLatin1String(" hundred");
    const int rest = n % 100;
    if (rest) {
        if (n / 100)
            w << QStringLiteral("and");
        if (rest < 20)
            w << QLatin1String(kEnUnits[rest]);
        else if (rest % 10 == 0)
            w << QLatin1String(kEnTens[rest / 10]);
        else
            w << QLatin1String(kEnTens[rest / 10]) + QLatin1Char('-') + QLatin1String(kEnUnits[rest % 10]);
    }
    return w.join(QLatin1Char(' '));
}

// The Russian word for minutes after a count: "минута", "минуты", "минут".
QString russianMinutes(qint64 n)
{
    const qint64 last2 = n % 100, last = n % 10;
    if (last2 >= 11 && last2 <= 14)
        return u("минут");
    if (last == 1)
        return u("минута");
    if (last >= 2 && last <= 4)
        return u("минуты");
    return u("минут");
}

// The count of minutes, feminine: "одна", "две", "двадцать одна".
QString russianFeminine(qint64 n)
{
    QString s = russianCardinal(n);
    const qint64 last2 = n % 100;
    if (last2 != 11 && s.endsWith(u("один")))
        s = s.left(s.size() - 4) + u("одна");
    else if (last2 != 12 && s.endsWith(u("два")))
        s = s.left(s.size() - 3) + u("две");
    return s;
}

} // namespace

CallLanguage callLanguage(const QString &setting)
{
    return setting.trimmed().compare(QLatin1String("en"), Qt::CaseInsensitive) == 0 ? CallLanguage::English
                                                                                     : CallLanguage::Russian;
}

QString englishCardinal(qint64 n)
{
    if (n < 0)
        return QStringLiteral("minus ") + englishCardinal(-n);
    if (n == 0)
        return QStringLiteral("zero");
    static const char *const kScales[] = {"", " thousand", " million", " billion"};
    QStringList parts;
    qint64 scaleValue = 1000000000LL;
    for (int scale = 3; scale >= 0; --scale, scaleValue /= 1000) {
        const int part = int((scale == 3 ? n / scaleValue : (n / scaleValue) % 1000));
        if (part == 0)
            continue;
        QString words = scale == 3 ? englishCardinal(part).remove(QStringLiteral(" and")) : englishTriple(part);
        // "one thousand and five"
        if (scale == 0 && !parts.isEmpty() && part < 100)
            words = QStringLiteral("and ") + words;
        parts << words + QLatin1String(kScales[scale]);
    }
    return parts.join(QLatin1Char(' '));
}

QString englishOrdinal(qint64 n)
{
    QString s = englishCardinal(n);
    static const struct
    {
        const char *cardinal;
        const char *ordinal;
    } kIrregular[] = {{"one", "first"},   {"two", "second"},  {"three", "third"}, {"five", "fifth"},
                      {"eight", "eighth"}, {"nine", "ninth"}, {"twelve", "twelfth"}};
    for (const auto &r : kIrregular) {
        if (s.endsWith(QLatin1String(r.cardinal))) {
            const int cut = int(qstrlen(r.cardinal));
            // "twenty-one" and "one", but not "none" of a longer word ("seventeen" ends otherwise).
            const QChar before = s.size() > cut ? s.at(s.size() - cut - 1) : QChar(' ');
            if (before == QLatin1Char(' ') || before == QLatin1Char('-'))
                return s.left(s.size() - cut) + QLatin1String(r.ordinal);
        }
    }
    if (s.endsWith(QLatin1Char('y')))
        return s.left(s.size() - 1) + QStringLiteral("ieth");
    return s + QStringLiteral("th");
}

QString russianNeuterOrdinal(qint64 n)
{
    QString s = russianOrdinal(n);
    if (s.endsWith(u("ий")))
        return s.left(s.size() - 2) + u("ье"); // третий -> третье
    if (s.endsWith(u("ый")) || s.endsWith(u("ой")))
        return s.left(s.size() - 2) + u("ое");
    return s;
}

QString lapTimeWords(CallLanguage language, qint64 ms)
{
    const qint64 tenths = (qMax<qint64>(ms, 0) + 50) / 100;
    const qint64 minutes = tenths / 600;
    const qint64 seconds = (tenths % 600) / 10;
    const qint64 tenth = tenths % 10;
    QString out;
    if (language == CallLanguage::English) {
        if (minutes > 0)
            out = englishCardinal(minutes) + (minutes == 1 ? QStringLiteral(" minute ") : QStringLiteral(" minutes "));
        return out + englishCardinal(seconds) + QStringLiteral(" point ") + englishCardinal(tenth);
    }
    if (minutes > 0)
        out = russianFeminine(minutes) + QLatin1Char(' ') + russianMinutes(minutes) + QLatin1Char(' ');
    return out + russianCardinal(seconds) + u(" и ") + russianCardinal(tenth);
}

QString lapCall(CallLanguage language, const QString &name, int lap, qint64 lapMs, LapCallParts parts)
{
    QStringList out;
    const bool english = language == CallLanguage::English;
    if (parts.name && !name.trimmed().isEmpty())
        out << name;
    if (parts.lap)
        out << (english ? QStringLiteral("lap ") + englishCardinal(lap) : russianOrdinal(lap) + u(" круг"));
    if (parts.time && lapMs > 0)
        out << lapTimeWords(language, lapMs);
    return out.join(QStringLiteral(", "));
}

QString finishCall(CallLanguage language, const QString &name, int place)
{
    if (language == CallLanguage::English)
        return name + QStringLiteral(" finished ") + englishOrdinal(place);
    // The place, not a verb: a verb would need the pilot's gender.
    return name + u(" — ") + russianNeuterOrdinal(place) + u(" место");
}

QString winnerCall(CallLanguage language, const QString &name)
{
    if (language == CallLanguage::English)
        return QStringLiteral("Winner: ") + name;
    return u("Победитель — ") + name;
}

QString timeLeftCall(CallLanguage language, int seconds)
{
    const bool english = language == CallLanguage::English;
    if (seconds <= 5)
        return english ? englishCardinal(seconds) : russianCardinal(seconds);
    if (seconds % 60 == 0) {
        const int minutes = seconds / 60;
        if (english)
            return minutes == 1 ? QStringLiteral("One minute left")
                                : englishCardinal(minutes) + QStringLiteral(" minutes left");
        const qint64 last2 = minutes % 100;
        const bool singular = minutes % 10 == 1 && last2 != 11;
        return (singular ? u("Осталась ") : u("Осталось ")) + russianFeminine(minutes) + QLatin1Char(' ')
            + russianMinutes(minutes);
    }
    if (english) {
        QString n = englishCardinal(seconds);
        n[0] = n[0].toUpper();
        return n + QStringLiteral(" seconds left");
    }
    // "тридцать секунд", "двадцать одна секунда", "две секунды"
    const qint64 last2 = seconds % 100, last = seconds % 10;
    const QString word = (last2 >= 11 && last2 <= 14) ? u("секунд")
        : last == 1                                   ? u("секунда")
        : (last >= 2 && last <= 4)                    ? u("секунды")
                                                      : u("секунд");
    return ((last == 1 && last2 != 11) ? u("Осталась ") : u("Осталось ")) + russianFeminine(seconds)
        + QLatin1Char(' ') + word;
}

} // namespace lapvane
