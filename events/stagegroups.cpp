// Groups of a stage and sending them to the race list.
#include "events/stagegroups.h"

#include "competition/bracketview.h"
#include "competition/heatchannels.h"
#include "core/operatorlog.h"
#include "core/operatorprompt.h"
#include "core/settings.h"
#include "events/eventsviews.h"
#include "store/database.h"
#include "store/racelisttable.h"
#include "store/transaction.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

namespace lapvane {

namespace {

constexpr int kMaxCount = 255; // groups and channels are counted in 8 bits

QString groupOf(const SqlRowsModel &m, int row)
{
    return m.value(row, QStringLiteral("group")).toString();
}

} // namespace

StageGroups::StageGroups(EventsViews &views, RaceListHooks hooks)
    : m_views(views), m_hooks(std::move(hooks)),
      m_random([](int bound) { return int(QRandomGenerator::global()->bounded(bound)); })
{
}

bool StageGroups::eventGroupExecute()
{
    QString name = m_lastGroupName;
    if (!m_views.prompt().askText(QStringLiteral("New name"), QStringLiteral("Group:"), &name))
        return false;
    m_lastGroupName = name;
    SqlRowsModel &results = *m_views.resultsModel();
    for (int r : m_views.selectedResultRows()) {
        m_views.setCurrentResultRow(r);
        if (!results.setValue(r, QStringLiteral("group"), name))
            break;
    }
    return m_views.rereadResults();
}

bool StageGroups::eventsAutogroupExecute()
{
    m_dialog.show(m_views.resultsModel()->rowCountValue());
    if (!m_hooks.showGroupDialog || !m_hooks.showGroupDialog(m_dialog))
        return false;
    return autoGroup(m_dialog.groupsText(), m_dialog.pilotsPerGroupText(), m_dialog.channels());
}

bool StageGroups::autoGroup(const QString &groupsText, const QString &pilotsPerGroupText,
                            const QStringList &channelLines)
{
    OperatorPrompt &prompt = m_views.prompt();
    SqlRowsModel &results = *m_views.resultsModel();
    const int n = results.rowCountValue();
    bool okG = false, okP = false;
    const int g = groupsText.trimmed().toInt(&okG);
    const int p = pilotsPerGroupText.trimmed().toInt(&okP);
    QStringList channels;
    for (const QString &line : channelLines) {
        if (!line.trimmed().isEmpty())
            channels << line.trimmed();
    }
    // Every refusal comes before the first row changes.
    if (n == 0) {
        prompt.notice(QStringLiteral("Auto group: there are no pilots in the results to group."));
        return false;
    }
    if (!okG || g < 1 || g > kMaxCount) {
        prompt.notice(
            QStringLiteral("Auto group: \"Groups:\" must be a whole number from 1 to %1, not \"%2\".")
                .arg(kMaxCount)
                .arg(groupsText));
        return false;
    }
    if (!okP || p < 1) {
        prompt.notice(
            QStringLiteral("Auto group: \"Pilots per grp:\" must be a whole number above 0, not \"%1\".")
                .arg(pilotsPerGroupText));
        return false;
    }
    if (channels.size() > kMaxCount) {
        prompt.notice(QStringLiteral("Auto group: at most %1 VTX channels, not %2.")
                          .arg(kMaxCount)
                          .arg(channels.size()));
        return false;
    }
    const int needed = n / p + (n % p > 0 ? 1 : 0);
    if (g != needed) {
        prompt.notice(QStringLiteral("Auto group: %1 pilots in groups of %2 make %3 groups, not %4. "
                                     "Correct \"Groups:\" or \"Pilots per grp:\".")
                          .arg(n)
                          .arg(p)
                          .arg(needed)
                          .arg(g));
        return false;
    }

    const int remainder = n % p;
    int groupsFilling = g, label = 1, channel = 0, passes = 0;
    bool ok = true;
    {
        Transaction tx(m_views.db());
        for (int r = 0; r < n && ok; ++r) {
            const QString group = groupsFilling > 0 ? QString::number(label) : QString();
            const QString vtx = channels.isEmpty() ? QString() : channels[channel];
            ++label;
            if (label > groupsFilling) {
                label = 1;
                ++passes;
                if (remainder == passes)
                    --groupsFilling;
                ++channel;
                if (channel >= channels.size())
                    channel = 0;
            }
            ok = results.setValues(r, {{QStringLiteral("group"), group}, {QStringLiteral("vtx"), vtx}});
        }
        // A failed row has told the operator already; a failed commit has not.
        if (ok && !tx.commit()) {
            ok = false;
            m_views.storeFailed(
                QStringLiteral("Auto group was not stored: %1").arg(m_views.db().lastError().text()));
        }
    }
    m_views.rereadResults();
    return ok;
}

void StageGroups::eventCheckListExecute()
{
    SqlRowsModel &results = *m_views.resultsModel();
    results.setSortText(QStringLiteral("group ASC"));
    QItemSelectionModel &sel = *m_views.resultsSelection();
    for (int r = 1; r < results.rowCountValue(); ++r) {
        const bool clash = groupOf(results, r) == groupOf(results, r - 1) &&
                           results.value(r, QStringLiteral("pilottrans")).toString() ==
                               results.value(r - 1, QStringLiteral("pilottrans")).toString();
        sel.select(results.index(r, 0),
                   (clash ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                       QItemSelectionModel::Rows);
    }
}

int StageGroups::temporaryTransponder()
{
    // A clash with a transponder already in the race would give one pilot's
    // passes to another, so a used value is drawn again.
    QSqlQuery q(m_views.db());
    q.prepare(QStringLiteral("SELECT 1 FROM onerace WHERE pilottrans=? LIMIT 1"));
    int value = 30000 + m_random(30000);
    for (int attempt = 0; attempt < 100; ++attempt) {
        q.addBindValue(value);
        if (!q.exec() || !q.next())
            break;
        value = 30000 + m_random(30000);
    }
    return value;
}

bool StageGroups::askSending(const QList<int> &rows, bool replacing, QList<Sending> *sending)
{
    SqlRowsModel &results = *m_views.resultsModel();
    OperatorPrompt &prompt = m_views.prompt();
    QSqlDatabase db = m_views.db();
    const bool confirm = m_views.settings().flag(QStringLiteral("chkconfirmAdd"));
    QSet<int> taken;
    QSet<int> drawn;
    for (int r : rows) {
        m_views.setCurrentResultRow(r);
        const QVariantMap row = results.record(r);
        const QString name = row.value(QStringLiteral("pilotname")).toString();
        const int pilotId = row.value(QStringLiteral("pilotid")).toInt();
        if (confirm) {
            const bool yes =
                prompt.askAs(QuestionKind::Adding,
                             QStringLiteral("Adding pilot \"%1\" to start now.\n\r\n\rConfirm?").arg(name));
            if (!yes || prompt.stopRequested())
                return false;
        }
        bool there = taken.contains(pilotId);
        if (!there && !replacing) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("SELECT 1 FROM onerace WHERE pilotid=? LIMIT 1"));
            q.addBindValue(pilotId);
            if (!q.exec())
                return m_views.storeFailed(q.lastError().text());
            there = q.next();
        }
        if (there) {
            prompt.notice(QStringLiteral("This pilot is already in list. Click OK to locate him."));
            if (m_hooks.locateInRaceList && !replacing)
                m_hooks.locateInRaceList(pilotId);
            return false;
        }
        taken.insert(pilotId);
        int trans = row.value(QStringLiteral("pilottrans")).toInt();
        if (trans == 0) {
            prompt.notice(
                QStringLiteral("No transponder # for \"%1\".\r\nGenerated TEMPORARY value.").arg(name));
            trans = temporaryTransponder();
            // Two drawn for this batch must differ too; the list does not hold them yet.
            while (drawn.contains(trans))
                trans = temporaryTransponder();
            drawn.insert(trans);
        }
        sending->append(Sending{row, trans});
    }
    return true;
}

bool StageGroups::insertSending(const QList<Sending> &sending)
{
    QSqlDatabase db = m_views.db();
    // The channels are given before the first row goes: the pilots already in
    // the race list keep theirs, then the rows in the order they are sent.
    QList<HeatPilot> heat;
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT pilotname, vtx FROM onerace ORDER BY id ASC")))
            return m_views.storeFailed(q.lastError().text());
        while (q.next())
            heat << HeatPilot{q.value(0).toString(), q.value(1).toString(), true};
    }
    const qsizetype inList = heat.size();
    for (const Sending &s : sending)
        heat << HeatPilot{s.row.value(QStringLiteral("pilotname")).toString(),
                          s.row.value(QStringLiteral("vtx")).toString()};
    const HeatChannels channels =
        assignHeatChannels(heat, parseChannelSet(m_views.settings().text(QStringLiteral("cbvtxchannels"))));

    Transaction tx(db);
    QSqlQuery q(db);
    QStringList notes;
    for (qsizetype k = 0; k < sending.size(); ++k) {
        const Sending &s = sending[k];
        q.prepare(QStringLiteral("INSERT INTO onerace (pilotid, pilotname, nickname, pilotteam, coptercolor, "
                                 "vtx, \"group\", pilottrans, lapno, place, confirmed) "
                                 "VALUES (?,?,?,?,?,?,?,?,?,?,?)"));
        for (const char *f : {"pilotid", "pilotname", "nickname", "pilotteam", "coptercolor"})
            q.addBindValue(s.row.value(QLatin1String(f)));
        const QString &vtx = channels.channels[inList + k];
        const QString &note = channels.notes[inList + k];
        // A pilot who flies on his own channel keeps the stored value as it is.
        q.addBindValue(note.isEmpty() ? s.row.value(QStringLiteral("vtx")) : QVariant(vtx));
        q.addBindValue(s.row.value(QStringLiteral("group")));
        q.addBindValue(s.trans);
        q.addBindValue(0);
        q.addBindValue(kNoPlace);
        q.addBindValue(QStringLiteral("N"));
        if (!q.exec())
            return m_views.storeFailed(q.lastError().text());
        if (!note.isEmpty())
            notes << note;
    }
    if (!tx.commit())
        return m_views.storeFailed(db.lastError().text());
    for (const QString &note : std::as_const(notes))
        m_views.log().savelog(note);
    // The race page hears of the pilots sent.
    if (m_hooks.channelNotes)
        m_hooks.channelNotes(notes);
    if (!sending.isEmpty() && m_hooks.raceSent)
        m_hooks.raceSent(m_views.currentStageId(),
                         sending.constFirst().row.value(QStringLiteral("group")).toString());
    return true;
}

bool StageGroups::eventsend2raceExecute()
{
    QList<Sending> sending;
    const bool asked = askSending(m_views.selectedResultRows(), false, &sending);
    if (m_views.prompt().stopRequested())
        return false;
    if (!insertSending(sending) || !asked)
        return false;
    if (m_hooks.raceListChanged)
        m_hooks.raceListChanged(QStringLiteral("vtx ASC"));
    return true;
}

bool StageGroups::replaceWith(const QList<int> &rows)
{
    QList<Sending> sending;
    const bool asked = askSending(rows, true, &sending);
    if (m_views.prompt().stopRequested())
        return false;
    resetRaceList();
    if (!insertSending(sending) || !asked)
        return false;
    if (m_hooks.raceListChanged)
        m_hooks.raceListChanged(QStringLiteral("vtx ASC"));
    return true;
}

QString StageGroups::currentRaceGroup() const
{
    if (m_hooks.currentRaceGroup)
        return m_hooks.currentRaceGroup();
    QSqlQuery q(m_views.db());
    if (q.exec(QStringLiteral("SELECT \"group\" FROM onerace ORDER BY id ASC LIMIT 1")) && q.next())
        return q.value(0).toString();
    return {};
}

void StageGroups::resetRaceList()
{
    if (m_hooks.resetList) {
        m_hooks.resetList();
        return;
    }
    QString error;
    if (!RaceListTable(m_views.db()).empty(&error))
        m_views.storeFailed(error);
}

bool StageGroups::btnextgroupClick()
{
    // A bracket stage flies its heats in bracket order.
    const int stageId = m_views.currentStageId();
    if (stageId > 0) {
        BracketView bracket;
        QString error;
        if (!readBracketView(m_views.db(), stageId, &bracket, &error)) {
            m_views.prompt().notice(QStringLiteral("Next Group: the bracket of this stage cannot be read: ") +
                                    error);
            return false;
        }
        if (bracket.exists)
            return nextBracketGroup(bracket);
    }
    SqlRowsModel &results = *m_views.resultsModel();
    m_views.clearResultSelection();
    const QString raceGroup = currentRaceGroup();
    const int n = results.rowCountValue();
    int r = 0;
    while (r < n && groupOf(results, r) != raceGroup)
        ++r;
    if (r == n) {
        m_views.prompt().notice(QStringLiteral("End of list!"));
        return false;
    }
    ++r;
    while (r < n && groupOf(results, r) == groupOf(results, r - 1))
        ++r;
    if (r == n)
        return false; // the race holds the last group
    QList<int> next;
    const QString nextGroup = groupOf(results, r);
    for (; r < n && groupOf(results, r) == nextGroup; ++r)
        next << r;
    // Only the rows next to each other go; rows of the same group further
    // down (the list not sorted by group) are pointed out, never left silently.
    int further = 0;
    for (; r < n; ++r)
        further += groupOf(results, r) == nextGroup;
    m_views.setResultSelection(next);

    if (!replaceWith(next))
        return false;
    OperatorLog &log = m_views.log();
    log.savelog(QStringLiteral("Sent %1 pilots of group %2").arg(next.size()).arg(nextGroup));
    if (further > 0)
        log.savelog(QStringLiteral("%1 more pilots of group %2 are further down the list: sort it by Group")
                        .arg(further)
                        .arg(nextGroup));
    afterGroupSent();
    return true;
}

bool StageGroups::nextBracketGroup(const BracketView &bracket)
{
    OperatorPrompt &prompt = m_views.prompt();
    if (bracket.nextGroup.isEmpty()) {
        bool allDone = true;
        for (const BracketViewRound &round : bracket.rounds) {
            for (const BracketViewHeat &heat : round.heats)
                allDone = allDone && (heat.bye || (heat.flown && !heat.stale));
        }
        prompt.notice(
            allDone ? QStringLiteral("Next Group: every heat of the bracket has been flown.")
                    : QStringLiteral("Next Group: no heat of the bracket is ready to fly yet. Export the "
                                     "race of the heat flown last: its pilots then move on."));
        return false;
    }
    // The bracket seats its pilots by group, wherever their rows stand.
    SqlRowsModel &results = *m_views.resultsModel();
    m_views.clearResultSelection();
    QList<int> rows;
    for (int r = 0; r < results.rowCountValue(); ++r) {
        if (groupOf(results, r) == bracket.nextGroup)
            rows << r;
    }
    // The heat goes in seat order, so the better seed keeps a channel two of
    // its pilots have.
    QList<int> seats;
    for (const BracketViewRound &round : bracket.rounds) {
        for (const BracketViewHeat &heat : round.heats) {
            if (heat.group == bracket.nextGroup) {
                for (const BracketViewPilot &p : heat.pilots)
                    seats << p.pilotId;
            }
        }
    }
    auto seatOf = [&](int row) {
        const qsizetype i = seats.indexOf(results.value(row, QStringLiteral("pilotid")).toInt());
        return i < 0 ? seats.size() : i;
    };
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return seatOf(a) < seatOf(b); });
    if (rows.isEmpty()) {
        prompt.notice(
            QStringLiteral("Next Group: %1 (group %2) flies next, but no pilot of the results shown is in "
                           "that group.")
                .arg(bracket.nextHeatName, bracket.nextGroup));
        return false;
    }
    m_views.setResultSelection(rows);
    if (!replaceWith(rows))
        return false;
    m_views.log().savelog(QStringLiteral("Sent %1 pilots of group %2 (%3)")
                              .arg(rows.size())
                              .arg(bracket.nextGroup, bracket.nextHeatName));
    afterGroupSent();
    return true;
}

void StageGroups::afterGroupSent()
{
    const Settings &settings = m_views.settings();
    if (settings.flag(QStringLiteral("chautoreg")) && m_hooks.registerPilots)
        m_hooks.registerPilots();
    if (settings.flag(QStringLiteral("chautoconfirm")) && m_hooks.confirmAll)
        m_hooks.confirmAll();
    if (settings.flag(QStringLiteral("chvoiceinvite")) && m_hooks.voiceInvite)
        m_hooks.voiceInvite();
}

} // namespace lapvane
