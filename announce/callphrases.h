// The texts of the race calls the announcer speaks beyond the lap phrase: the
// lap call with its chosen parts, the finish and the winner, the time left in
// a timed race, in Russian or English. Numbers are words, never digits: the
// speech engine reads digits with suffixes as letters.
#pragma once

#include <QString>

namespace lapvane {

enum class CallLanguage { Russian, English };

// "ru" or "en", as the pages' language setting holds it; anything else is Russian.
CallLanguage callLanguage(const QString &setting);

struct LapCallParts
{
    bool name = true;
    bool lap = true;
    bool time = false;
};

// "Анна, третий круг, двенадцать и четыре" / "Anna, lap three, twelve point
// four": the chosen parts, the lap time when it is known (lapMs > 0). Empty
// when nothing is chosen.
QString lapCall(CallLanguage language, const QString &name, int lap, qint64 lapMs, LapCallParts parts);
// A lap time in words, to the tenth: "двенадцать и четыре", "одна минута
// пять и ноль"; "twelve point four", "one minute five point zero".
QString lapTimeWords(CallLanguage language, qint64 ms);
// "Анна — второе место" / "Anna finished second".
QString finishCall(CallLanguage language, const QString &name, int place);
// "Победитель — Анна" / "Winner: Anna".
QString winnerCall(CallLanguage language, const QString &name);
// 60, 30, 10: "Осталась одна минута", "Осталось тридцать секунд"; "One minute
// left", "Thirty seconds left". 1 to 5: the number alone ("пять", "five").
QString timeLeftCall(CallLanguage language, int seconds);

// English numbers in words: "twenty-one", "one hundred and five"; n >= 0.
QString englishCardinal(qint64 n);
// "first", "twenty-second", "one hundredth"; n >= 1.
QString englishOrdinal(qint64 n);
// Russian neuter ordinal, as in "… место": "первое", "третье", "двадцать второе".
QString russianNeuterOrdinal(qint64 n);

} // namespace lapvane
