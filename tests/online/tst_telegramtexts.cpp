// The Telegram texts built from the race list and the stage results.
#include "online/telegramtexts.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::telegramtexts;

namespace {

void exec(QSqlDatabase db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery q(db);
    QVERIFY2(q.prepare(sql), qPrintable(sql));
    for (const QVariant &v : values)
        q.addBindValue(v);
    QVERIFY2(q.exec(), qPrintable(sql));
}

void pilot(QSqlDatabase db, int id, const QString &name, int place, int lapno, int bestMs, const QString &bestText,
           const QString &group = "A")
{
    exec(db,
         "INSERT INTO onerace (pilotid, pilotname, place, lapno, besttime, besttimetxt, \"group\") "
         "VALUES (?, ?, ?, ?, ?, ?, ?)",
         {id, name, place, lapno, bestMs, bestText, group});
}

void lap(QSqlDatabase db, int pilotId, int n, const QString &text)
{
    exec(db, "INSERT INTO laps (pilotid, lapn, laptime, laptimetxt) VALUES (?, ?, 0, ?)", {pilotId, n, text});
}

void result(QSqlDatabase db, int stage, const QString &name, const QString &team, const QString &group,
            const QString &vtx, int qual = 59999999, const QString &qualText = "999:59.999")
{
    exec(db,
         "INSERT INTO results (stage, pilotname, pilotteam, \"group\", vtx, lapno, besttimetxt, qualtime, qualtimetxt) "
         "VALUES (?, ?, ?, ?, ?, 3, '000:20.000', ?, ?)",
         {stage, name, team, group, vtx, qual, qualText});
}

QString lines(const QStringList &l)
{
    return l.join("\r\n") + "\r\n";
}

} // namespace

class TestTelegramTexts : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    Database m_db;
    QSqlDatabase db() { return m_db.db(); }
    const QLocale c{QLocale::C};

private slots:
    void init()
    {
        QFile::remove(m_dir.filePath("t.db"));
        QVERIFY(m_db.open(m_dir.filePath("t.db")));
    }
    void cleanup() { m_db.close(); }

    void raceResultWithPlacesLapsBestLapAndSpeed()
    {
        QCOMPARE(raceResultText(db(), "5", "400", c), QString()); // empty race list
        pilot(db(), 1, "Ann", 1, 3, 20000, "000:20.000", "Группа 1");
        // Lap 2 is the newest row, as after a lap split with "Add": laps go by number.
        lap(db(), 1, 1, "000:25.000");
        lap(db(), 1, 3, "000:20.000"); // two laps equal to the best: both bold, both with speed
        lap(db(), 1, 2, "000:20.000");
        pilot(db(), 2, "Bob", 999, 0, 59999999, "999:59.999");
        QCOMPARE(raceResultText(db(), "5", "400", c),
                 lines({"Результаты вылета группы *\"Группа 1\"*:", "*1 место - Ann*", "    _(3 из 5 кругов)_",
                        "    1: 000:25.000 ", "    *2: 000:20.000* (72.0 км/ч)", "    *3: 000:20.000* (72.0 км/ч)",
                        "*без места - Bob*", "    _(нет кругов)_", ""}));
        // Lap limit "0": no " из " part; track length "0": no speed.
        QCOMPARE(raceResultText(db(), "0", "0", c).split("\r\n").mid(2, 4),
                 QStringList({"    _(3 кругов)_", "    1: 000:25.000 ", "    *2: 000:20.000* ", "    *3: 000:20.000* "}));
    }

    void speed_data()
    {
        QTest::addColumn<QString>("tracklen");
        QTest::addColumn<qint64>("bestMs");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "400" << qint64(20000) << "C" << "(72.0 км/ч)";
        QTest::newRow("rounded to one decimal") << "350" << qint64(23456) << "C" << "(53.7 км/ч)";
        QTest::newRow("rounded once") << "683.501" << qint64(36000) << "C" << "(68.4 км/ч)";
        QTest::newRow("thousands separator") << "100000" << qint64(100000) << "C" << "(3,600.0 км/ч)";
        QTest::newRow("five significant digits") << "1234567" << qint64(100000) << "C" << "(44,444.0 км/ч)";
        QTest::newRow("more digits rounded at the fifth") << "12345678" << qint64(100000) << "C" << "(444,440.0 км/ч)";
        QTest::newRow("russian format") << "100000,5" << qint64(100000) << "ru_RU"
                                        << QString("(3\u00A0600,0 км/ч)");
        QTest::newRow("track 0") << "0" << qint64(20000) << "C" << "";
        QTest::newRow("best 0") << "400" << qint64(0) << "C" << "";
        QTest::newRow("best no time") << "400" << qint64(59999999) << "C" << "";
        QTest::newRow("best above no time") << "400" << qint64(60000000) << "C" << "";
        QTest::newRow("track not a number") << "4 km" << qint64(20000) << "C" << "";
        QTest::newRow("track empty") << "" << qint64(20000) << "C" << "";
    }
    void speed()
    {
        QFETCH(QString, tracklen);
        QFETCH(qint64, bestMs);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        const QLocale l(locale);
        QString want = expected;
        // The group separator of the Russian format differs between locale data versions.
        if (locale == "ru_RU")
            want.replace(QChar(0x00A0), l.groupSeparator());
        QCOMPARE(speedText(tracklen, bestMs, l), want);
    }

    void groupListByGroupWithUnderscoresReplaced()
    {
        StageInfo stage{7, "Квал_1", "400"};
        QCOMPARE(groupsText(db(), stage), lines({"Таблица пилотов по группам в этапе *\"Квал 1\"*:"}));
        result(db(), 7, "no_group", "", "", "R1");
        result(db(), 7, "Bob", "Team_X", "2", "R2");
        result(db(), 7, "Ann", "", "1", "R5");
        result(db(), 7, "Cid", "", "1", "R3");
        result(db(), 8, "Other stage", "", "1", "R1");
        QCOMPARE(groupsText(db(), stage),
                 lines({"Таблица пилотов по группам в этапе *\"Квал 1\"*:", "1. (ch R1) no group", "==* Группа \"1\" *==",
                        "1. (ch R3) Cid", "2. (ch R5) Ann", "==* Группа \"2\" *==", "1. (ch R2) Bob (Team X)"}));
    }

    void resultsByQualificationTimeUnchanged()
    {
        StageInfo stage{7, "Final", "400"};
        const QStringList head = {"Таблица результатов этапа *\"Final\"*:",
                                  "(место. ФИО | круги | лучший  | лучший за все время)",
                                  "_(сортировка по лучшему кругу за все время)_"};
        QCOMPARE(resultsText(db(), stage), lines(head));
        result(db(), 7, "slow_one", "", "1", "R1", 30000, "000:30.000");
        result(db(), 7, "star*", "", "1", "R2", 21000, "000:21.000");
        QCOMPARE(resultsText(db(), stage), lines(head + QStringList{"1. star* | 3 | 000:20.000 | 000:21.000",
                                                                    "2. slow_one | 3 | 000:20.000 | 000:30.000"}));
    }

    void welcomeTextForEventAndStage()
    {
        exec(db(), "INSERT INTO events (num, eventname, organizer, city) VALUES (3, 'Кубок', 'ФПВ клуб', 'Тула')");
        exec(db(), "INSERT INTO stages (id, events, stagename, tracklen) VALUES (9, 3, 'Квалификация', '350')");
        const QDate day(2026, 12, 10);
        QCOMPARE(welcomeText(readEvent(db(), 3), readStage(db(), 9), day, c),
                 lines({"Добро пожаловать на гонку *\"Кубок\"*!",
                        "Организатор гонки *\"ФПВ клуб\"* приветствует участников соревнования!",
                        "Сегодня " + c.toString(day, QLocale::ShortFormat)
                            + ", место действия - Тула. Вас ждет трасса длиной 350 метров и скоро начнется первый "
                              "этап \"Квалификация\"!",
                        "", "Всем удачи!"}));
    }
};

QTEST_MAIN(TestTelegramTexts)
#include "tst_telegramtexts.moc"
