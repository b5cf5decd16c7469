// The demo: sample data, the simulated gate and the steps that make the
// program ready to race.
#include "app/demo.h"

#include "app/commands.h"
#include "app/eventspage.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "competition/bracketmaking.h"
#include "competition/bracketview.h"
#include "competition/stagedeciding.h"
#include "competition/stageformat.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "events/stagegroups.h"
#include "publish/includedtemplates.h"
#include "race/raceexport.h"
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
    {"Anna Sokolova", "Swift", "Falcons", "red", "R1"},  {"Boris Kim", "Bolt", "Hornets", "blue", "R3"},
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
            *error =
                QStringLiteral("The demo needs a new or empty folder, or one holding only %1; \"%2\" already "
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
    m_temp = std::make_unique<QTemporaryDir>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("lapvaneadmin-demo-XXXXXX")));
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
    q.prepare(
        QStringLiteral("INSERT INTO stages (events, stagename, laplimit, timelimit, tracklen, starttime) "
                       "VALUES (?, ?, 0, ?, '0', ?)"));
    q.addBindValue(eventNum);
    q.addBindValue(QStringLiteral("Qualifying"));
    q.addBindValue(kQualifyingMinutes);
    q.addBindValue(QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat));
    if (!exec(q, error))
        return false;
    const int stageId = q.lastInsertId().toInt();

    for (int i = 0; i < kPilots; ++i) {
        const SamplePilot &p = kSamplePilots[i];
        const int trans = kFirstTransponder + i;
        q.prepare(
            QStringLiteral("INSERT INTO pilots (name, nickname, trans, team, coptercolor, city, country) "
                           "VALUES (?, ?, ?, ?, ?, 'Demo field', 'Demo')"));
        for (const QVariant &v :
             {QVariant(QString::fromLatin1(p.name)), QVariant(QString::fromLatin1(p.nickname)),
              QVariant(trans), QVariant(QString::fromLatin1(p.team)), QVariant(QString::fromLatin1(p.color))})
            q.addBindValue(v);
        if (!exec(q, error))
            return false;
        const int pilotId = q.lastInsertId().toInt();
        // The stage's roster row as "Add to current stage" makes it, grouped by hand.
        q.prepare(QStringLiteral(
            "INSERT INTO results (stage, pilotid, pilotname, nickname, pilotteam, coptercolor, "
            "pilottrans, \"group\", vtx, besttime, besttimetxt, totaltime, totaltimetxt, "
            "qualtime, qualtimetxt) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
        for (const QVariant &v :
             {QVariant(stageId), QVariant(pilotId), QVariant(QString::fromLatin1(p.name)),
              QVariant(QString::fromLatin1(p.nickname)), QVariant(QString::fromLatin1(p.team)),
              QVariant(QString::fromLatin1(p.color)), QVariant(trans), QVariant(QString::number(i / 4 + 1)),
              QVariant(QString::fromLatin1(p.vtx)), QVariant(kNoTimeMs),
              QVariant(QString::fromLatin1(kNoTimeText)), QVariant(kNoTimeMs),
              QVariant(QString::fromLatin1(kNoTimeText)), QVariant(kNoTimeMs),
              QVariant(QString::fromLatin1(kNoTimeText))})
            q.addBindValue(v);
        if (!exec(q, error))
            return false;
    }
    if (!tx.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return writeStageFormat(db, stageId, RaceFormat::Fastest3, FormatOptions{}.graceMs, false, error);
}

bool Demo::openGate(int lapMs, QString *error)
{
    if (!m_pty.open(error))
        return false;
    QObject::connect(&m_pty, &sim::PtyLink::received, &m_gate, &sim::ReceiverSim::fromHost);
    m_gate.setSink([this](const QByteArray &bytes) { m_pty.write(bytes); });
    m_driver = std::make_unique<sim::SimDriver>(m_gate, &m_pty);
    m_lapMs = lapMs;
    m_driver->startDemoOfListed(kQualifyingLaps, lapMs);
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
    // Each export moves the club night on.
    QObject::connect(services.raceExport.get(), &RaceExport::resultsChanged, &window,
                     [this, &ctx, &services, &window] { clubNightStep(ctx, services, window); });
    log.savelog(
        QStringLiteral("Demo: ready. A club night: qualifying by the fastest 3 consecutive laps in races of "
                       "%1 minute, then an 8-pilot double elimination. Press \"Start Race\": the gate flies "
                       "%2 laps for every confirmed pilot. Then \"Next Group >>\" and \"Start Race\" again.")
            .arg(kQualifyingMinutes)
            .arg(kQualifyingLaps));
}

void Demo::clubNightStep(ProgramContext &ctx, ProgramServices &services, MainWindow &window)
{
    OperatorLog &log = ctx.log;
    QSqlDatabase db = ctx.db.db();
    if (m_bracketStage > 0) {
        BracketView view;
        QString error;
        if (m_finalSaid || !readBracketView(db, m_bracketStage, &view, &error) || !view.exists ||
            !view.nextGroup.isEmpty() || view.rounds.isEmpty() || !view.rounds.last().heats.last().flown)
            return;
        m_finalSaid = true;
        QStringList podium;
        for (const BracketViewPilot &p : view.rounds.last().heats.last().pilots)
            podium << QStringLiteral("%1. %2").arg(p.place).arg(p.name);
        log.savelog(
            QStringLiteral("Demo: the grand final is flown: %1. The club night is over; its results are in "
                           "the stages \"Qualifying\" and \"%2\", on the Bracket page and at /api/bracket.")
                .arg(podium.join(QStringLiteral(", ")), view.stageName));
        return;
    }
    // Qualifying is complete when every pilot of the stage has a deciding value.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT id FROM stages WHERE stagename='Qualifying' ORDER BY id LIMIT 1")) ||
        !q.next())
        return;
    const int qualifying = q.value(0).toInt();
    q.finish();
    QList<StageStandingRow> standing;
    QString error;
    if (!readStageStanding(db, qualifying, &standing, &error) || standing.size() < kPilots)
        return;
    for (const StageStandingRow &r : std::as_const(standing)) {
        if (!r.hasRace)
            return;
    }
    BracketRequest request;
    request.fromStage = qualifying;
    request.newStageName = QStringLiteral("Double elimination");
    request.seedCount = kPilots;
    request.setup.kind = BracketKind::DoubleElimination;
    BracketMade made;
    if (!makeBracketStage(db, request, &made, &error)) {
        log.savelog(QStringLiteral("Demo: the bracket could not be made: ") + error);
        return;
    }
    m_bracketStage = made.stageId;
    // The heats race as the race page sets them: the lap limit, no time limit.
    q.prepare(QStringLiteral("UPDATE stages SET laplimit=?, timelimit=0 WHERE id=?"));
    q.addBindValue(kLaps);
    q.addBindValue(made.stageId);
    if (!q.exec())
        log.savelog(QStringLiteral("Demo: the bracket's lap limit was not set: ") + q.lastError().text());
    for (const QString &line : std::as_const(made.lines))
        log.savelog(QStringLiteral("Demo: ") + line);
    m_driver->startDemoOfListed(kLaps, m_lapMs);

    // The bracket stage in view, its first heat in the race list. Deferred:
    // the export that called this is still under way.
    QMetaObject::invokeMethod(
        &window,
        [this, &services, &window, &log] {
            EventsViews &views = *services.events;
            views.rereadStages();
            const int row = views.stagesModel()->rowOfKey(m_bracketStage);
            if (row >= 0)
                views.selectStageRows({row});
            window.eventsPage()->btnextgroupClick();
            log.savelog(
                QStringLiteral("Demo: qualifying is done and the double elimination is made (see the "
                               "Bracket page). Its first heat is in the race list: press \"Start Race\"; "
                               "after each heat \"Next Group >>\" loads the next one, to the grand final. "
                               "The gate flies %1 laps a heat.")
                    .arg(kLaps));
        },
        Qt::QueuedConnection);
}

} // namespace lapvane
