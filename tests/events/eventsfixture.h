// A temporary program folder with a database, settings, log, scripted
// operator and the events views, plus quick ways to fill the tables.
#pragma once

#include "core/operatorlog.h"
#include "core/settings.h"
#include "events/eventsviews.h"
#include "store/database.h"
#include "tests/common/logcapture.h"
#include "tests/common/scriptedprompt.h"

#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

namespace lapvane::test {

class EventsFixture
{
public:
    EventsFixture();

    QTemporaryDir dir;
    Database db;
    Settings settings;
    std::unique_ptr<OperatorLog> log;
    std::unique_ptr<LogCapture> logLines;
    ScriptedPrompt prompt;
    std::unique_ptr<EventsViews> views;

    int addEvent(const QString &name);
    int addStage(int eventNum, const QString &name, int laplimit = 5);
    int addPilot(const QString &name, int trans = 0, const QString &team = QString());
    // A results row; extra fields override the defaults.
    int addResult(int stage, int pilotId, const QString &name, int trans, const QString &group = QString(),
                  const QVariantMap &extra = {});
    int addRaceRow(int pilotId, const QString &name, int trans, const QString &group = QString());

    QVariant scalar(const QString &sql, const QVariantList &binds = {});
    QList<QVariantMap> rows(const QString &sql, const QVariantList &binds = {});
    // One field of every results-view row, in view order.
    QStringList column(const QString &field) const;
    // Opens the views and shows the given stage (by selecting it).
    void showStage(int stageId);
};

} // namespace lapvane::test
