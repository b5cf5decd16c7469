// "Make Bracket...": the current stage's standing seeds a bracket in a stage
// the operator chooses (the next one, another of the event, or a new one).
// The choice comes through a hook, which the window answers with its dialog;
// the bracket itself is made by competition/.
#pragma once

#include "competition/bracketmaking.h"

#include <QList>
#include <QString>

#include <functional>

namespace lapvane {

class EventsViews;

// A stage of the event the bracket can go into.
struct BracketStageChoice
{
    int id = 0;
    QString name;
};

// What the operator chooses a bracket from.
struct BracketChoices
{
    QString fromName;                 // the stage whose standing seeds it
    QList<SeedRow> seeding;           // its standing, best first
    QList<BracketStageChoice> stages; // the event's other stages, those after the seeding one first
};

class StageBrackets
{
public:
    // Shows the choices; true for OK, then *request holds the kind, sizes,
    // seed count and target stage (its fromStage is left as it came in).
    using ChooseBracket = std::function<bool(const BracketChoices &choices, BracketRequest *request)>;

    explicit StageBrackets(EventsViews &views, ChooseBracket choose = {});

    void setChooser(ChooseBracket choose) { m_choose = std::move(choose); }

    // btmakebracketClick: refused without a current stage or while the stage
    // is locked. A target stage that is a bracket already is made again only
    // after a question. What was made goes to the log and the bracket stage
    // becomes the current one; a failure is said in the log and to the
    // operator. True when a bracket was made.
    bool makeBracketExecute();

private:
    // The stages of the current event but fromStage, in the order they are
    // offered: those after it, then those before it.
    QList<BracketStageChoice> stageChoices(int fromStage) const;

    EventsViews &m_views;
    ChooseBracket m_choose;
};

} // namespace lapvane
