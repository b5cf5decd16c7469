// The race database file: opening it safely, creating the tables of a new file,
// and per-thread connections to the same file.
#pragma once

#include "store/lockguard.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace lapvane {

inline constexpr const char *kDatabaseFileName = "dbpilots.db";

// A time that is not set yet, and its text twin.
inline constexpr int kNoTimeMs = 59999999;
inline constexpr const char *kNoTimeText = "999:59.999";
// A pilot without a place.
inline constexpr int kNoPlace = 999;

class Database
{
public:
    Database() = default;
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (or creates) the database file at filePath on the calling thread.
    // An existing file is used as it stands; tables missing from it are
    // created empty (repairs() says which). A file that is not a database,
    // that cannot be opened, or whose table lacks a column is never changed:
    // open() returns false and error() names the file and why (the table and
    // the column).
    bool open(const QString &filePath, const QString &connectionName = QStringLiteral("main"));
    void close();

    bool isOpen() const { return m_db.isOpen(); }
    QSqlDatabase db() const { return m_db; }
    QString filePath() const { return m_filePath; }
    QString error() const { return m_error; }
    // What open() mended, or could not secure, one line each for the operator log.
    QStringList repairs() const { return m_repairs; }

    // A further connection to the same file for a worker thread; call it on
    // that thread and close it there.
    static QSqlDatabase openWorkerConnection(const QString &filePath, const QString &connectionName,
                                             QString *error);

    // The field names of a table in its column order.
    QStringList fieldNames(const QString &table) const;

    static QStringList tableNames();

private:
    bool createSchema();
    bool mendTables(bool noteMissing);
    bool checkColumns();
    bool fail(const QString &reason);

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_filePath;
    QString m_error;
    QStringList m_repairs;
    // Keeps the file in use for other processes while it is open here.
    LockGuard m_guard;
};

} // namespace lapvane
