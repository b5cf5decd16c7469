// Times the events operations the operator feels: one keystroke in the
// registry search over 10,000 pilots, a column sort of a 500-row results view
// and "Send to Race" of a group of 8. Prints median and worst in milliseconds.
#include "bench/common/benchstats.h"
#include "bench/common/benchworld.h"
#include "events/eventsviews.h"
#include "events/pilotregistry.h"
#include "events/stagegroups.h"
#include "store/laptime.h"
#include "store/transaction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>

#include <cstdio>
#include <functional>
#include <vector>

using namespace lapvane;
using lapvane::bench::percentile;

namespace {

QString randomName(QRandomGenerator &rng)
{
    static const char *const syllables[] = {"an", "na", "jo", "ma", "ri", "ko", "ser", "gei", "dim", "ol",
                                            "ga", "ev", "vla", "di", "mir", "tan", "ya", "pe", "tr", "ov"};
    QString s;
    const int n = 2 + int(rng.bounded(3));
    for (int i = 0; i < n; ++i)
        s += QLatin1String(syllables[rng.bounded(20)]);
    s[0] = s[0].toUpper();
    return s;
}

void report(const char *what, const std::vector<double> &ms)
{
    std::printf("%-46s median %7.3f ms   worst %7.3f ms   (%zu runs)\n", what, percentile(ms, 0.5),
                percentile(ms, 1.0), ms.size());
}

double timed(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::BenchWorld w;
    w.settings.set(QStringLiteral("chkconfirmAdd"), false);
    Database &db = w.db;
    QTemporaryDir &dir = w.dir;
    Settings &settings = w.settings;
    OperatorLog &log = *w.log;
    bench::YesPrompt &prompt = w.prompt;
    QRandomGenerator rng(42);

    {
        Transaction tx(db.db());
        QSqlQuery q(db.db());
        q.prepare(QStringLiteral("INSERT INTO pilots (name, nickname, trans, team, city, login) VALUES (?,?,?,?,?,?)"));
        for (int i = 0; i < 10000; ++i) {
            const QString name = randomName(rng) + QLatin1Char(' ') + randomName(rng);
            q.addBindValue(name);
            q.addBindValue(randomName(rng));
            q.addBindValue(i % 7 == 0 ? 0 : 1000 + i);
            q.addBindValue(randomName(rng));
            q.addBindValue(randomName(rng));
            q.addBindValue(QStringLiteral("p%1@mail.test").arg(i));
            q.exec();
        }
        q.exec(QStringLiteral("INSERT INTO events (eventname) VALUES ('Bench cup')"));
        q.exec(QStringLiteral("INSERT INTO stages (events, stagename) VALUES (1, 'Q1')"));
        q.prepare(QStringLiteral("INSERT INTO results (stage, pilotid, pilotname, pilottrans, \"group\", vtx, place, "
                                 "wins, lapno, besttime, besttimetxt, totaltime, totaltimetxt, qualtime, qualtimetxt) "
                                 "VALUES (1,?,?,?,?,?,999,0,0,?,?,?,?,?,?)"));
        for (int i = 1; i <= 500; ++i) {
            const int best = 30000 + int(rng.bounded(20000));
            const int total = 150000 + int(rng.bounded(60000));
            const int qual = 29000 + int(rng.bounded(20000));
            q.addBindValue(i);
            q.addBindValue(randomName(rng));
            q.addBindValue(i % 9 == 0 ? 0 : 1000 + i);
            q.addBindValue(QString::number((i - 1) / 8 + 1));
            q.addBindValue(QStringLiteral("R%1").arg(i % 8));
            for (int ms : {best, total, qual}) {
                q.addBindValue(ms);
                q.addBindValue(ms2minsecmstext(ms));
            }
            q.exec();
        }
        tx.commit();
    }

    // Registry search: each keystroke re-filters the 10,000 pilots.
    PilotRegistry registry(db.db(), dir.path(), prompt);
    registry.open();
    std::vector<double> keys;
    const QString typed = QStringLiteral("anna");
    for (int round = 0; round < 20; ++round) {
        for (int n = 1; n <= typed.size(); ++n)
            keys.push_back(timed([&] { registry.edtsearchtextChange(typed.left(n), QStringLiteral("name")); }));
        keys.push_back(timed([&] { registry.edtsearchtextClick(); }));
    }
    report("registry search keystroke (10,000 pilots)", keys);

    // Results view of 500 rows: a click on a column title.
    EventsViews views(db.db(), settings, log, prompt);
    views.open();
    views.selectStageRows({0});
    std::vector<double> sorts;
    for (int round = 0; round < 10; ++round) {
        for (const char *field : {"qualtimetxt", "pilotname", "group", "besttime", "vtx"})
            sorts.push_back(timed([&] { views.resultsTitleClick(QLatin1String(field)); }));
    }
    std::printf("results view rows: %d\n", views.resultsModel()->rowCountValue());
    report("results column sort (500 rows)", sorts);

    // Send to Race of a group of 8 (one in nine without a transponder).
    StageGroups groups(views);
    std::vector<double> sends;
    for (int round = 0; round < 30; ++round) {
        QSqlQuery(db.db()).exec(QStringLiteral("DELETE FROM onerace"));
        QList<int> rows;
        for (int r = 0; r < 8; ++r)
            rows << (round * 8 + r) % views.resultsModel()->rowCountValue();
        views.setResultSelection(rows);
        sends.push_back(timed([&] { groups.eventsend2raceExecute(); }));
    }
    report("Send to Race, group of 8", sends);
    return 0;
}
