// "Make Bracket...": choosing a bracket from a stage's standing and making it.
#include "events/stagebrackets.h"

#include "competition/bracketview.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "events/eventsviews.h"

namespace lapvane {

StageBrackets::StageBrackets(EventsViews &views, ChooseBracket choose)
    : m_views(views), m_choose(std::move(choose))
{
}

QList<BracketStageChoice> StageBrackets::stageChoices(int fromStage) const
{
    // The next stage is the usual choice, so the stages after the seeding one come first.
    QList<BracketStageChoice> after, before;
    SqlRowsModel *stages = m_views.stagesModel();
    bool passed = false;
    for (int r = 0; r < stages->rowCountValue(); ++r) {
        const int id = stages->keyAt(r);
        if (id == fromStage) {
            passed = true;
            continue;
        }
        (passed ? after : before) << BracketStageChoice{
            id, stages->value(r, QStringLiteral("stagename")).toString()};
    }
    return after + before;
}

bool StageBrackets::makeBracketExecute()
{
    OperatorPrompt &prompt = m_views.prompt();
    const int fromStage = m_views.currentStageId();
    if (fromStage <= 0) {
        prompt.notice(QStringLiteral("Choose the stage whose standing seeds the bracket."));
        return false;
    }
    if (m_views.isLocked()) {
        prompt.notice(QStringLiteral("The stage is locked. Untick \"lock stage\" first."));
        return false;
    }
    QSqlDatabase db = m_views.db();
    BracketChoices choices;
    QString error;
    if (!stageSeeding(db, fromStage, &choices.seeding, &error)) {
        prompt.notice(QStringLiteral("The stage's standing cannot be read: %1").arg(error));
        return false;
    }
    choices.fromName = m_views.currentStageName();
    choices.stages = stageChoices(fromStage);
    BracketRequest request;
    request.fromStage = fromStage;
    if (!m_choose || !m_choose(choices, &request))
        return false;
    if (request.toStage > 0) {
        BracketView existing;
        if (readBracketView(db, request.toStage, &existing, &error) && existing.exists &&
            !prompt.ask(QStringLiteral("Stage \"%1\" is a bracket already. Make it again and forget "
                                       "its heat results?")
                            .arg(existing.stageName)))
            return false;
    }
    BracketMade made;
    if (!makeBracketStage(db, request, &made, &error)) {
        m_views.log().savelog(QStringLiteral("No bracket was made: %1").arg(error));
        prompt.notice(QStringLiteral("No bracket was made: %1").arg(error));
        return false;
    }
    for (const QString &line : std::as_const(made.lines))
        m_views.log().savelog(line);
    // The bracket stage is shown with its groups.
    m_views.rereadStages();
    const int row = m_views.stagesModel()->rowOfKey(made.stageId);
    if (row >= 0)
        m_views.selectStageRows({row});
    return true;
}

} // namespace lapvane
