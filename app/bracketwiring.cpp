// The race's stage's bracket on the built-in web server.
#include "app/bracketwiring.h"

#include "app/programcontext.h"
#include "app/programservices.h"
#include "events/eventsviews.h"
#include "publish/bracketpublish.h"
#include "publish/liveservice.h"
#include "race/raceexport.h"
#include "race/racestage.h"

#include <QJsonDocument>

#include <memory>

namespace lapvane {

void wireBracketPublishing(LiveService &live, ProgramContext &ctx, ProgramServices &services)
{
    EventsViews *events = services.events.get();
    // The bracket of the race's stage: looking at another stage does not change it.
    RaceStage *raceStage = services.raceStage.get();
    auto last = std::make_shared<QByteArray>();
    QSqlDatabase db = ctx.db.db();
    // force: the server was (re)started and holds nothing yet.
    auto publish = [&live, raceStage, db, last](bool force) {
        if (!live.isRunning())
            return;
        const QJsonObject bracket = readBracketJson(db, raceStage->currentStageId());
        const QByteArray json = QJsonDocument(bracket).toJson(QJsonDocument::Compact);
        if (!force && json == *last)
            return;
        *last = json;
        live.server().publishBracket(json);
        QJsonObject message = bracket;
        message.insert(QStringLiteral("type"), QStringLiteral("bracket"));
        live.server().push(message);
    };
    QObject::connect(events, &EventsViews::currentChanged, &live, [publish] { publish(false); });
    QObject::connect(raceStage, &RaceStage::changed, &live, [publish] { publish(false); });
    QObject::connect(events, &EventsViews::resultsStagesChanged, &live, [publish] { publish(false); });
    QObject::connect(services.raceExport.get(), &RaceExport::resultsChanged, &live,
                     [publish] { publish(false); });
    QObject::connect(&live, &LiveService::statusChanged, &live, [publish] { publish(true); });
    publish(true);
}

} // namespace lapvane
