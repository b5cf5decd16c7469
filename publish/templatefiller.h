// Filling page templates: every placeholder ("%PILOTNAME%", "%RACEPILOTNAME3%",
// "%STAGERESULTS%", ...) replaced by the current race, the previous race, the
// event, the stage and its results.
//
// The deciding values (what placed a pilot, by the race format of the
// snapshot's stage, e.g. "3 consecutive: 01:02.345" or "5 laps, 01:58.500"):
// "%PILOTDECIDING%" for the page's pilot, "%RACEPILOTDECIDINGn%" for race-list
// pilot n (the order of "%RACEPILOTNAMEn%"); "%STAGEFORMAT%" names the stage's
// format ("Laps and time" when none was chosen).
#pragma once

#include "publish/pagesnapshot.h"

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace lapvane {

class TemplateFiller
{
public:
    using LogFn = std::function<void(const QString &)>;

    // db is a connection of the calling thread; snapshot holds the event,
    // stage and options (it must outlive the filler); log receives "error parse".
    TemplateFiller(QSqlDatabase db, const PageSnapshot &snapshot, LogFn log);

    // Returns thistext with every placeholder replaced. pilotid is the pilot
    // the single-pilot placeholders speak of (0 for none). With escapeValues
    // the inserted values are HTML-escaped (a ".htm"/".html" template). The
    // generated tables always escape what they hold. A value is never scanned
    // for placeholders again. On a failure "error parse" is logged and the text
    // comes back filled as far as it got.
    QString parsetext(const QString &thistext, int pilotid, bool escapeValues);

    // The fixed lists the results table's sort comes from.
    static QString sortOrderText(int index);

    // "%STAGERESULTS%": the results table of the snapshot's stage; nullopt
    // when it cannot be built. A stage with a race format other than the
    // default adds a last column "Result": each pilot's kept deciding value.
    std::optional<QString> stageResultsTable();
    // "%PILOTLAPTABLE%": the laps of one pilot.
    std::optional<QString> lapTable(int pilotid);

private:
    struct Segment
    {
        QString text;
        bool value; // inserted text: never scanned again
    };
    using Segments = std::vector<Segment>;
    using ValueFn = std::function<std::optional<QString>()>;
    using NumberedFn = std::function<std::optional<QString>(const QString &numberText)>;

    static bool mentions(const Segments &segs, const QString &placeholder);
    // Replaces every occurrence of `start` in the unfilled text: valueAt gets
    // the text and the position after `start`, moves it past the placeholder
    // and gives its value (nothing: stop, the rest left as it is).
    using OccurrenceFn = std::function<std::optional<QString>(const QString &text, qsizetype &end)>;
    bool replaceEach(Segments &segs, const QString &start, const OccurrenceFn &valueAt);
    bool replaceFixed(Segments &segs, const QString &placeholder, const ValueFn &value, bool fragment);
    bool replaceNumbered(Segments &segs, const QString &prefix, const NumberedFn &value);

    bool fetch(const QString &sql, const QVariantList &binds, std::vector<QSqlRecord> *rows);
    std::optional<QString> cityOf(const QVariant &pilotId);
    std::optional<QString> randomText();

    QSqlDatabase m_db;
    const PageSnapshot &m_snap;
    LogFn m_log;
    bool m_escape = false;
    QString m_error;
};

} // namespace lapvane
