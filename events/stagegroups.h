// Groups of a stage: naming the selected rows' group, dealing all rows into
// groups and channels, marking transponder clashes, sending a group to the
// race list and loading the next group with its follow-up steps.
#pragma once

#include "events/groupdialogmodel.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace lapvane {

class EventsViews;
struct BracketView;

// What the groups need of the race page and the devices. Every hook is
// optional; the window wires them to the race list, the gate registration,
// the confirmation and the voice invitation.
struct RaceListHooks
{
    // Group label of the race list's current row; empty when the list is
    // empty. Unset: the first race-list row in store order.
    std::function<QString()> currentRaceGroup;
    // raceresetlist. Unset: the race list and its pilots' laps are emptied.
    std::function<void()> resetList;
    // raceregpilots ("register").
    std::function<void()> registerPilots;
    // Select every race-list row and run raceconfirmSel ("confirm").
    std::function<void()> confirmAll;
    // btvoiceinviteClick ("Voice invite").
    std::function<void()> voiceInvite;
    // Bring the race page forward with the race list on this pilot.
    std::function<void(int pilotId)> locateInRaceList;
    // Rows arrived in the race list: re-read it sorted by sortText ("vtx ASC").
    std::function<void(const QString &sortText)> raceListChanged;
    // The race list now holds a race of this stage and group (sent from it).
    std::function<void(int stageId, const QString &group)> raceSent;
    // Shows the group dialog over the model; true for OK.
    std::function<bool(GroupDialogModel &dialog)> showGroupDialog;
    // After each Send to Race: what became of the channels of the pilots
    // sent (who flies on another channel, a clash left); empty when every
    // pilot flies on his own.
    std::function<void(const QStringList &lines)> channelNotes;
};

class StageGroups
{
public:
    explicit StageGroups(EventsViews &views, RaceListHooks hooks = {});

    void setHooks(RaceListHooks hooks) { m_hooks = std::move(hooks); }
    RaceListHooks &hooks() { return m_hooks; }
    // The run's random source for temporary transponders: a number below bound.
    void setRandom(std::function<int(int bound)> random) { m_random = std::move(random); }

    // The group dialog, kept between uses.
    GroupDialogModel &groupDialog() { return m_dialog; }

    // eventGroupExecute: asks for a name ("New name", last text kept) and
    // gives it to every selected results row.
    bool eventGroupExecute();
    // eventsAutogroupExecute: shows the group dialog and, on OK, deals the rows.
    bool eventsAutogroupExecute();
    // The dealing itself with the dialog's texts: groups, pilots per group and
    // channel lines. Values that cannot make a grouping are refused with a
    // message before any row changes; the rows change all together or not at all.
    bool autoGroup(const QString &groupsText, const QString &pilotsPerGroupText,
                   const QStringList &channelLines);
    // eventCheckListExecute: sorts by group and selects each row whose group
    // and transponder equal those of the row before it.
    void eventCheckListExecute();
    // eventsend2raceExecute: copies the selected rows into the race list;
    // false when the operator stopped it or a pilot was already there. Every
    // question is asked before the list changes: the rows confirmed before a
    // "No" go in, and when the program is ending none do. Each pilot keeps
    // his own channel where it is free in the race list; the earlier selected
    // row keeps a channel two pilots have, and the other is given a free one
    // of the channel set ("cbvtxchannels"), said in the log. The results rows
    // keep their channels.
    bool eventsend2raceExecute();
    // btnextgroupClick: selects the group after the one in the race, resets
    // the race list, sends the group and runs register, confirm and voice
    // invitation as switched on. False when nothing was sent. A bracket stage
    // sends the heat that flies next in bracket order instead (every row of
    // its group); when none is ready it says so.
    bool btnextgroupClick();

    // A temporary transponder from 30000 to 59999 not used in the race list.
    int temporaryTransponder();

private:
    // A results row on its way to the race list.
    struct Sending
    {
        QVariantMap row;
        int trans = 0;
    };
    // Asks about each selected results row in turn; ends early (false) at a
    // "No", at a pilot already in the list, or when the program is ending.
    // replacing: the race list is emptied before these rows go in, so only a
    // pilot twice among them is "already there".
    bool askSending(const QList<int> &rows, bool replacing, QList<Sending> *sending);
    // Writes the rows in one go, each pilot on a channel of his own, and tells
    // which stage and group the race is of.
    bool insertSending(const QList<Sending> &sending);
    // Empties the race list and sends these results rows in this order (the
    // earlier keeps a channel two share), after their questions.
    bool replaceWith(const QList<int> &rows);
    QString currentRaceGroup() const;
    bool nextBracketGroup(const BracketView &bracket);
    void afterGroupSent();
    void resetRaceList();

    EventsViews &m_views;
    RaceListHooks m_hooks;
    GroupDialogModel m_dialog;
    QString m_lastGroupName = QStringLiteral("New");
    std::function<int(int)> m_random;
};

} // namespace lapvane
