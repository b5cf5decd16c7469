// The demo: sample data, the simulated gate and the steps that make the
// program ready to race.
#include "app/demo.h"

#include "app/commands.h"
#include "app/eventspage.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "events/stagegroups.h"
#include "publish/includedtemplates.h"
#include "store/database.h"
#include "store/transaction.h"

#include <QAction>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

struct SamplePilot
{
    const char *name;
    const char *nickname;
    const char *team;
    const char *color;
    const char *vtx;
};

// Two groups of four on well separated channels.
const SamplePilot kSamplePilots[Demo::kPilots] = {
    {"Anna Sokolova", "Swift", "Falcons", "red", "R1"},   {"Boris Kim", "Bolt", "Hornets", "blue", "R3"},
    {"Clara Novak", "Comet", "Falcons", "yellow", "R6"}, {"Denis Orlov", "Drift", "Hornets", "green", "R8"},
    {"Elena Gray", "Echo", "Falcons", "white", "R1"},    {"Felix Brandt", "Flux", "Hornets", "orange", "R3"},
    {"Galina Reed", "Glide", "Falcons", "purple", "R6"}, {"Hugo Lind", "Hawk", "Hornets", "black", "R8"},
};

bool exec(QSqlQuery &q, QString *error)
{
    if (q.exec())
        return true;
    *error = q.lastError().text();
    return false;
}

} // namespace

bool Demo::makeFolder(const QString &home, QString *error)
{
    if (!home.isEmpty()) {
        const QDir dir(QDir(home).absolutePath());
        // A folder holding only a settings file is welcome: the demo starts
        // from those settings (the web server, sounds or speech switched on)
        // with its own race settings laid over them.
        const QString ini = QStringLiteral("lapvaneadmin.ini");
        const QStringList entries =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const bool onlySettings = entries == QStringList{ini} && QFileInfo(dir.filePath(ini)).isFile();
        if (dir.exists() && !entries.isEmpty() && !onlySettings) {
            *error = QStringLiteral("The demo needs a new or empty folder, or one holding only %1; \"%2\" already "
                                    "holds other files.")
                         .arg(ini, dir.path());
            return false;
        }
        if (!QDir().mkpath(dir.path())) {
            *error = QStringLiteral("Cannot create the demo folder \"%1\".").arg(dir.path());
            return false;
        }
        m_folder = dir.path();
        return true;
    }
    m_temp = std::make_unique<QTemporaryDir>(QDir(QDir::tempPath()).filePath(QStringLiteral("lapvaneadmin-demo-XXXXXX")));
    if (!m_temp->isValid()) {
        *error = QStringLiteral("Cannot create a demo folder: %1").arg(m_temp->errorString());
        return false;
    }
    m_folder = m_temp->path();
    return true;
}

bool Demo::seed(QSqlDatabase db, QString *error)
{
    Transaction tx(db);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO events (eventname, date, city, organizer) VALUES (?, ?, ?, ?)"));
    q.addBindValue(QStringLiteral("Demo Cup"));
    q.addBindValue(QDate::currentDate());
    q.addBindValue(QStringLiteral("Demo field"));
    q.addBindValue(QStringLiteral("Lapvane Admin demo"));
    if (!exec(q, error))
        return false;
    const int eventNum = q.lastInsertId().toInt();
    q.prepare(QStringLiteral("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen, starttime) "
                             "VALUES (?, ?, ?, 0, '0', ?)"));
    q.addBindValue(eventNum);
    q.addBindValue(QStringLiteral("Qualification"));
    q.addBindValue(kLaps);
    q.addBindValue(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    if (!exec(q, error))
        return false;
    const int stageId = q.lastInsertId().toInt();

    for (int i = 0; i < kPilots; ++i) {
        const SamplePilot &p = kSamplePilots[i];
        const int trans = kFirstTransponder + i;
        q.prepare(QStringLiteral("INSERT INTO pilots (name, nickname, trans, team, coptercolor, city, country) "
                                 "VALUES (?, ?, ?, ?, ?, 'Demo field', 'Demo')"));
        for (const QVariant &v : {QVariant(QString::fromLatin1(p.name)), QVariant(QString::fromLatin1(p.nickname)),
                                  QVariant(trans), QVariant(QString::fromLatin1(p.team)),
                                  QVariant(QString::fromLatin1(p.color))})
            q.addBindValue(v);
        if (!exec(q, error))
            return false;
        const int pilotId = q.lastInsertId().toInt();
        // The stage's roster row as "Add to current stage" makes it, grouped by hand.
        q.prepare(QStringLiteral("INSERT INTO results (stage, pilotid, pilotname, nickname, pilotteam, coptercolor, "
                                 "pilottrans, \"group\", vtx, besttime, besttimetxt, totaltime, totaltimetxt, "
                                 "qualtime, qualtimetxt) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        for (const QVariant &v :
             {QVariant(stageId), QVariant(pilotId), QVariant(QString::fromLatin1(p.name)),
              QVariant(QString::fromLatin1(p.nickname)), QVariant(QString::fromLatin1(p.team)),
              QVariant(QString::fromLatin1(p.color)), QVariant(trans), QVariant(QString::number(i / 4 + 1)),
              QVariant(QString::fromLatin1(p.vtx)), QVariant(kNoTimeMs), QVariant(QString::fromLatin1(kNoTimeText)),
              QVariant(kNoTimeMs), QVariant(QString::fromLatin1(kNoTimeText)), QVariant(kNoTimeMs),
              QVariant(QString::fromLatin1(kNoTimeText))})
            q.addBindValue(v);
        if (!exec(q, error))
            return false;
    }
    if (!tx.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

bool Demo::openGate(int lapMs, QString *error)
{
    if (!m_pty.open(error))
        return false;
    QObject::connect(&m_pty, &sim::PtyLink::received, &m_gate, &sim::ReceiverSim::fromHost);
    m_gate.setSink([this](const QByteArray &bytes) { m_pty.write(bytes); });
    m_driver = std::make_unique<sim::SimDriver>(m_gate, &m_pty);
    m_driver->startDemoOfListed(kLaps, lapMs);
    return true;
}

void Demo::start(ProgramContext &ctx, ProgramServices &services, MainWindow &window)
{
    OperatorLog &log = ctx.log;
    log.savelog(QStringLiteral("Demo: sample pilots, event and stage in %1 (your own data is not touched).")
                    .arg(QDir::toNativeSeparators(m_folder)));
    Settings &s = ctx.settings;
    s.set(QStringLiteral("edtlaps"), QString::number(kLaps));
    // Places for the finishers; the first three count as wins. Every finished
    // race goes to the stage results at once.
    s.set(QStringLiteral("cbwinplaces"), 3);
    s.set(QStringLiteral("chautoexport"), true);
    // "Next Group >>" confirms the next group with the gate; no question per pilot.
    s.set(QStringLiteral("chautoconfirm"), true);
    s.set(QStringLiteral("chkconfirmAdd"), false);
    s.set(QStringLiteral("comselect"), gatePort());
    // The live pages from the included templates, rewritten every two seconds.
    QString error;
    if (useIncludedTemplates(m_folder, s, &error)) {
        s.set(QStringLiteral("chsavehtmls"), true);
        log.savelog(QStringLiteral("Demo: live pages from the included templates in %1.")
                        .arg(QDir::toNativeSeparators(QDir(m_folder).filePath(QStringLiteral("htmls")))));
    } else {
        log.savelog(QStringLiteral("Demo: ") + error);
    }

    // The stage's results in view, as a click on the stage shows them.
    EventsViews &views = *services.events;
    views.refreshstages();
    views.selectStageRows({0});

    // Group 1 to the race list, the way "Send to Race" does it.
    QList<int> firstGroup;
    for (int r = 0; r < views.resultsModel()->rowCountValue(); ++r) {
        if (views.resultsModel()->value(r, QStringLiteral("group")).toString() == QLatin1String("1"))
            firstGroup << r;
    }
    views.setResultSelection(firstGroup);
    StageGroups &groups = window.eventsPage()->groups();
    if (!groups.eventsend2raceExecute())
        log.savelog(QStringLiteral("Demo: group 1 could not be sent to the race list."));

    log.savelog(QStringLiteral("Demo: Lapvane gate simulator on %1, connecting.").arg(gatePort()));
    window.commands().action(QStringLiteral("comconnect"))->trigger();
    if (!services.devices || !services.devices->lapvaneConnected()) {
        log.savelog(QStringLiteral("Demo: the simulated gate did not connect; see the lines above."));
        return;
    }
    if (groups.hooks().confirmAll)
        groups.hooks().confirmAll();
    log.savelog(QStringLiteral("Demo: ready. Press \"Start Race\": the gate flies %1 laps for every confirmed "
                               "pilot. Then \"Next Group >>\" and \"Start Race\" again.")
                    .arg(kLaps));
}

} // namespace lapvane
