// Video channels of a heat: every pilot on a channel of his own, his own
// channel kept where it is free, the others given one from the event's
// channel set; and the check before a race start that no two pilots share one.
#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace lapvane {

class OperatorLog;
class OperatorPrompt;

struct HeatPilot
{
    QString name;
    QString channel; // his own channel; empty when he has none
    // Already in the race list: keeps his channel whatever it is, and earlier
    // than every pilot who is not fixed.
    bool fixed = false;
};

struct HeatChannels
{
    // The channel each pilot flies on, in the order given.
    QStringList channels;
    // What happened to each pilot's channel, in plain words for the operator
    // log; empty where he keeps his own.
    QStringList notes;
    // Pilots left on a channel another pilot of the heat holds: the set had
    // no free channel for them.
    int unresolved = 0;

    QStringList lines() const; // the notes that say something, in pilot order
};

// The channel set as the settings hold it: labels separated by blanks, commas
// or semicolons ("R1 R2 F2 F4 R7 R8"); a label given twice counts once.
QStringList parseChannelSet(const QString &text);

// Gives every pilot of a heat a channel no other pilot of it has. Pilots
// earlier in the list come first: the better seed or the earlier row keeps a
// channel two pilots have. A pilot keeps his own channel whenever no earlier
// pilot has it (also a channel outside the set); a pilot whose channel is
// taken, or who has none, gets the first channel of the set that no pilot of
// the heat holds. When the set has none left, he stays as he was (a clash is
// left, never a channel made up) and the note says so. A heat in which no
// pilot has a channel is left as it is: the event does not use channels.
// Channels are compared without regard to case or surrounding blanks.
HeatChannels assignHeatChannels(const QList<HeatPilot> &pilots, const QStringList &channelSet);

// Sentences naming the pilots who share a channel, one per channel:
// "Anna and Boris are both on R6." Pilots without a channel share nothing.
QStringList sharedChannelLines(const QList<HeatPilot> &pilots);

// Before a race starts: when two pilots of the race list share a channel,
// asks the operator whether to start anyway, naming them. True to go on (no
// clash, or Yes); No and a race list that cannot be read are logged and give false.
bool confirmDistinctChannels(QSqlDatabase db, OperatorPrompt &prompt, OperatorLog &log);

} // namespace lapvane
