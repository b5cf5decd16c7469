// The stage and group the race in the race list belongs to: the one it was
// sent from (Send to Race, Next Group, a bracket's next heat), not whatever
// stage the Events page shows at the moment. The race's rules, its export and
// the published race follow it, so looking at another stage never changes the
// race. Kept in the race state file, so it holds across a restart.
#pragma once

#include "core/currentselection.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

namespace lapvane {

class OperatorLog;

// As a CurrentSelection it answers with the race's own stage while the race
// list still holds the rows that were sent with it; otherwise (rows added by
// hand, a list filled before the program kept this) with the Events page's
// selection, as the program always did.
class RaceStage : public QObject, public CurrentSelection
{
    Q_OBJECT
public:
    // browsing: the Events page's selection. stateFile: the race state file;
    // empty keeps the race's stage in memory only.
    RaceStage(QSqlDatabase db, const CurrentSelection &browsing, OperatorLog &log, QString stateFile,
              QObject *parent = nullptr);

    // The rows now in the race list were sent from this stage as this group.
    void sent(int stageId, const QString &group);
    // The race is raced and exported as one of this stage from now on (the
    // operator chose the stage the Events page shows).
    void moveTo(int stageId);

    // The race list holds a race sent from a known stage.
    bool isKnown() const;
    int stageId() const;
    QString group() const;
    // "Demo Cup - Qualifying, group 1"; empty when not known.
    QString describe() const;
    // "Demo Cup - Qualifying" for any stage.
    QString stageTitle(int stageId) const;

    // The Events page shows another stage than the race's own (0 when it
    // agrees, or the race's stage is not known): the stage it shows.
    int browsingElsewhere() const;
    // For an export: the stages the results view shows do not include the
    // race's own stage.
    bool exportElsewhere() const;

    // CurrentSelection: the race's own stage, or the Events page's.
    int currentEventNum() const override;
    QString currentEventName() const override;
    int currentStageId() const override;
    QString currentStageName() const override;
    QList<int> selectedStageIds() const override;

    const CurrentSelection &browsing() const { return m_browsing; }

signals:
    // The race's stage or group changed (a send, a choice, a list replaced).
    void changed();

private:
    struct Names
    {
        int eventNum = 0;
        QString eventName;
        QString stageName;
        bool exists = false;
    };
    Names namesOf(int stageId) const;
    QList<int> listRows() const;
    void store();

    QSqlDatabase m_db;
    const CurrentSelection &m_browsing;
    OperatorLog &m_log;
    QString m_stateFile;
    int m_stageId = 0;
    QString m_group;
    QList<int> m_rows;
};

} // namespace lapvane
