// The race database file: opening it safely, creating the tables of a new file.
#include "store/database.h"

#include "store/transaction.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace lapvane {

namespace {

constexpr int kSchemaVersion = 1;

// Race-list columns, shared by the race list and its copy of the previous race.
constexpr const char *kRaceListColumns =
    "id INTEGER PRIMARY KEY AUTOINCREMENT, pilotid INTEGER, pilotname TEXT, nickname TEXT, "
    "pilotteam TEXT, coptercolor TEXT, pilottrans INTEGER, \"group\" TEXT, vtx TEXT, "
    "place INTEGER, lapno INTEGER, besttime INTEGER, besttimetxt TEXT, totaltime INTEGER, "
    "totaltimetxt TEXT, confirmed TEXT";

QStringList schemaStatements()
{
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS pilots (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "name TEXT, nickname TEXT, trans INTEGER DEFAULT 0, team TEXT, copter TEXT, "
                       "coptercolor TEXT, licfai TEXT, licfasr TEXT, login TEXT, telegaid TEXT, "
                       "city TEXT, country TEXT, phone TEXT, datebirth DATE, about TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS events (num INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "eventname TEXT, date DATE, city TEXT, organizer TEXT, aerolist TEXT, "
                       "fpvsport TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS stages (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "events INTEGER, stagename TEXT, laplimit INTEGER, timelimit INTEGER, "
                       "tracklen TEXT, starttime TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS results (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "stage INTEGER, pilotid INTEGER, pilotname TEXT, nickname TEXT, "
                       "pilotteam TEXT, coptercolor TEXT, pilottrans INTEGER, \"group\" TEXT, "
                       "vtx TEXT, place INTEGER, wins INTEGER, lapno INTEGER, besttime INTEGER, "
                       "besttimetxt TEXT, totaltime INTEGER, totaltimetxt TEXT, qualtime INTEGER, "
                       "qualtimetxt TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS onerace (%1)").arg(QLatin1String(kRaceListColumns)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS laps (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "pilotid INTEGER, lapn INTEGER, laptime INTEGER, laptimetxt TEXT)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS lastrace (%1)").arg(QLatin1String(kRaceListColumns)),
        // Lookups done on every pass and every stage selection.
        QStringLiteral("CREATE INDEX IF NOT EXISTS laps_pilotid ON laps (pilotid, lapn)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS onerace_pilottrans ON onerace (pilottrans)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS results_stage ON results (stage)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS stages_events ON stages (events)"),
    };
}

bool looksLikeSqlite(const QString &path, QString *reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return false;
    }
    const QByteArray header = file.read(16);
    if (header.isEmpty())
        return true; // an empty file is a new, empty database
    if (header != QByteArray("SQLite format 3\0", 16)) {
        *reason = QStringLiteral("the file is not a database");
        return false;
    }
    return true;
}

} // namespace

Database::~Database()
{
    close();
}

QStringList Database::tableNames()
{
    return {QStringLiteral("pilots"), QStringLiteral("events"),  QStringLiteral("stages"),
            QStringLiteral("results"), QStringLiteral("onerace"), QStringLiteral("laps"),
            QStringLiteral("lastrace")};
}

bool Database::fail(const QString &reason)
{
    m_error = QStringLiteral("Cannot open the database file \"%1\": %2").arg(m_filePath, reason);
    close();
    return false;
}

bool Database::open(const QString &filePath, const QString &connectionName)
{
    close();
    m_filePath = filePath;
    m_connectionName = connectionName;
    m_error.clear();
    m_repairs.clear();

    const QFileInfo info(filePath);
    if (info.exists()) {
        if (!info.isFile())
            return fail(QStringLiteral("it is not a file"));
        QString reason;
        if (!looksLikeSqlite(filePath, &reason))
            return fail(reason);
        if (!info.isWritable())
            return fail(QStringLiteral("the file is read-only"));
    } else if (!QFileInfo(info.absolutePath()).isDir()) {
        return fail(QStringLiteral("its folder does not exist"));
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    m_db.setDatabaseName(filePath);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open())
        return fail(m_db.lastError().text());

    QSqlQuery q(m_db);
    // Reading the schema makes SQLite look at the file: a damaged file fails here.
    if (!q.exec(QStringLiteral("PRAGMA schema_version")) || !q.next())
        return fail(q.lastError().text());
    // WAL lets worker threads read while the pass loop writes; a committed lap
    // survives the program being killed.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return fail(q.lastError().text());
    const bool wal = q.next() && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    q.finish();
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));

    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return fail(q.lastError().text());
    const int version = q.value(0).toInt();
    q.finish();
    // A file made by this program (or one of its tables) that lost a table
    // gets it back empty; nothing of the operator's is touched.
    // Columns first: a damaged table refuses the file before anything is added.
    if (!checkColumns())
        return false;
    if (!mendTables(version >= kSchemaVersion))
        return false;
    if (version < kSchemaVersion && !createSchema())
        return false;
    QString reason;
    if (wal && !m_guard.hold(filePath, &reason))
        m_repairs << QStringLiteral("The database file is not protected against other programs that open it: %1")
                         .arg(reason);
    return true;
}

bool Database::mendTables(bool noteMissing)
{
    QStringList present;
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type='table'")))
        return fail(q.lastError().text());
    while (q.next())
        present << q.value(0).toString();
    q.finish();
    QStringList missing;
    for (const QString &table : tableNames()) {
        if (!present.contains(table))
            missing << table;
    }
    if (missing.isEmpty() || missing.size() == tableNames().size())
        return true; // complete, or a new file: the schema is made below
    Transaction tx(m_db);
    for (const QString &sql : schemaStatements()) {
        // Each missing table with its indexes; existing ones are left alone.
        bool forMissing = false;
        for (const QString &table : std::as_const(missing)) {
            if (sql.contains(QStringLiteral(" %1 (").arg(table)))
                forMissing = true;
        }
        if (forMissing && !q.exec(sql))
            return fail(q.lastError().text());
    }
    if (!tx.commit())
        return fail(m_db.lastError().text());
    if (noteMissing || present.size() > 0) {
        for (const QString &table : std::as_const(missing))
            m_repairs << QStringLiteral("The database file \"%1\" had no table \"%2\": it was created empty.")
                             .arg(m_filePath, table);
    }
    return true;
}

bool Database::checkColumns()
{
    // The columns every table must have are those a new file gets.
    const QString reference = m_connectionName + QStringLiteral("_reference");
    QHash<QString, QStringList> expected;
    {
        QSqlDatabase ref = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reference);
        ref.setDatabaseName(QStringLiteral(":memory:"));
        if (ref.open()) {
            QSqlQuery rq(ref);
            for (const QString &sql : schemaStatements())
                rq.exec(sql);
            for (const QString &table : tableNames()) {
                rq.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table));
                while (rq.next())
                    expected[table] << rq.value(1).toString().toLower();
            }
        }
        ref.close();
    }
    QSqlDatabase::removeDatabase(reference);

    QSqlQuery q(m_db);
    for (const QString &table : tableNames()) {
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            return fail(q.lastError().text());
        QStringList have;
        while (q.next())
            have << q.value(1).toString().toLower();
        if (have.isEmpty())
            continue; // an absent table is made below
        for (const QString &column : expected.value(table)) {
            if (!have.contains(column))
                return fail(QStringLiteral("table \"%1\" has no column \"%2\". The file was left as it is; "
                                           "restore it from a copy or add the column.")
                                .arg(table, column));
        }
    }
    return true;
}

bool Database::createSchema()
{
    Transaction tx(m_db);
    QSqlQuery q(m_db);
    for (const QString &sql : schemaStatements()) {
        if (!q.exec(sql))
            return fail(q.lastError().text());
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)))
        return fail(q.lastError().text());
    if (!tx.commit())
        return fail(m_db.lastError().text());
    return true;
}

void Database::close()
{
    if (m_connectionName.isEmpty())
        return;
    m_guard.release();
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

QSqlDatabase Database::openWorkerConnection(const QString &filePath, const QString &connectionName,
                                            QString *error)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(filePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open() && error)
        *error = QStringLiteral("Cannot open the database file \"%1\": %2")
                     .arg(filePath, db.lastError().text());
    return db;
}

QStringList Database::fieldNames(const QString &table) const
{
    QStringList names;
    const QSqlRecord record = m_db.record(table);
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

} // namespace lapvane
