// What the operator does to the race list itself: confirming and unconfirming
// transponders, deleting rows, renaming groups (teams), sorting, and the
// stream channels.
#pragma once

#include "core/streamchannels.h"
#include "race/raceservices.h"

#include <QList>
#include <QObject>

#include <functional>

namespace lapvane {

// Rows are named by the race list's key `id`, in the order the window lists
// them (its current sort).
class RaceList : public QObject
{
    Q_OBJECT
public:
    // The transponder confirmation `confirmID` of the receivers: registers the
    // id with every connected receiver that accepts registrations, logging its
    // own lines ("Added ID ..." among them); true when one accepted it.
    using ConfirmFn = std::function<bool(int rowId, qint32 pilottrans)>;

    explicit RaceList(const RaceServices &services, QObject *parent = nullptr);

    void setConfirmHandler(ConfirmFn confirm) { m_confirm = std::move(confirm); }

    // "Confirm Selected": needs a connected receiver ("Connect COM port or
    // WiFi!"); each row the receivers accept is set confirmed "Y".
    void raceconfirmSelExecute(const QList<int> &rowIds);

    // "Unconfirm Selected": sets confirmed "N"; no receiver is told.
    void raceunconfirmSelExecute(const QList<int> &rowIds);

    // "Delete": asks, then deletes the rows (their laps stay). Nothing happens
    // on an empty list. True when rows were deleted.
    bool racedeletepilotsExecute(const QList<int> &rowIds);

    // Ctrl+G: asks for a "New name" (preset "New") and sets it as the group of
    // the rows; in a team race it is the team name. True when renamed.
    bool renameGroup(const QList<int> &rowIds);

    // "CH i" of the "Channel (for Stream)" menu: puts the row's pilot on
    // stream channel i (1 to 8) and logs "ch i <- name".
    void setstreamchannel(int channel, int rowId);
    // The stream channel table `channel`.
    StreamChannels &channel() { return m_channel; }
    const StreamChannels &channel() const { return m_channel; }

    // Column-title sort: "<field> DESC" when current is "<field> ASC",
    // otherwise "<field> ASC".
    static QString nextSortOrder(const QString &current, const QString &field);

    // Number of rows in the race list ("Total pilots:"); -1 when unreadable.
    int rowCount() const;

signals:
    // Rows were changed or deleted: refresh the race list view.
    void raceListChanged();
    // Bring the Settings page forward (no receiver connected).
    void settingsPageRequested();
    // The stream channels changed: repaint the highlighted rows.
    void channelsChanged();

private:
    bool setConfirmed(int rowId, const QString &flag);
    void reportFailure(const QString &what, const QString &error);

    RaceServices m_s;
    ConfirmFn m_confirm;
    StreamChannels m_channel;
};

} // namespace lapvane
