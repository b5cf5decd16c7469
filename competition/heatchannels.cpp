// Video channels of a heat and the channel check before a race start.
#include "competition/heatchannels.h"

#include "core/operatorlog.h"
#include "core/operatorprompt.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace lapvane {

namespace {

QString keyOf(const QString &channel)
{
    return channel.trimmed().toUpper();
}

QString namesText(const QStringList &names)
{
    if (names.size() < 2)
        return names.join(QString());
    return QStringList(names.mid(0, names.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           names.last();
}

} // namespace

QStringList HeatChannels::lines() const
{
    QStringList out;
    for (const QString &n : notes) {
        if (!n.isEmpty())
            out << n;
    }
    return out;
}

QStringList parseChannelSet(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,;]+"));
    QStringList out;
    QStringList keys;
    for (const QString &label : text.split(separators, Qt::SkipEmptyParts)) {
        if (!keys.contains(keyOf(label))) {
            keys << keyOf(label);
            out << label;
        }
    }
    return out;
}

HeatChannels assignHeatChannels(const QList<HeatPilot> &pilots, const QStringList &channelSet)
{
    HeatChannels out;
    bool anyChannel = false;
    for (const HeatPilot &p : pilots) {
        out.channels << p.channel.trimmed();
        out.notes << QString();
        anyChannel = anyChannel || !p.channel.trimmed().isEmpty();
    }
    if (!anyChannel)
        return out;

    // Who holds each channel: the pilots in the race list first, then every
    // pilot whose own channel is still free, in order; only then the rest are
    // given channels, so nobody is given a channel another pilot came with.
    QHash<QString, int> holder;
    QList<int> needing;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < pilots.size(); ++i) {
            if (pilots[i].fixed != (pass == 0))
                continue;
            const QString key = keyOf(pilots[i].channel);
            if (!key.isEmpty() && !holder.contains(key))
                holder.insert(key, i);
            else if (!pilots[i].fixed)
                needing << i;
        }
    }

    for (int i : std::as_const(needing)) {
        const QString own = out.channels[i];
        const QString name = pilots[i].name;
        QString free;
        for (const QString &c : channelSet) {
            if (!holder.contains(keyOf(c))) {
                free = c;
                break;
            }
        }
        const bool hasOwn = !own.isEmpty();
        const QString holderName = hasOwn ? pilots[holder.value(keyOf(own))].name : QString();
        if (!free.isEmpty()) {
            holder.insert(keyOf(free), i);
            out.channels[i] = free;
            out.notes[i] = hasOwn ? QStringLiteral("Channel: %1 flies on %2 instead of %3 (%3 is %4's).")
                                        .arg(name, free, own, holderName)
                                  : QStringLiteral("Channel: %1 flies on %2 (no channel of his own given).")
                                        .arg(name, free);
            continue;
        }
        ++out.unresolved;
        const QString setText = channelSet.isEmpty() ? QStringLiteral("the channel set is empty")
                                                     : QStringLiteral("every channel of the set %1 is taken")
                                                           .arg(channelSet.join(QLatin1Char(' ')));
        out.notes[i] = hasOwn
                           ? QStringLiteral("Channel: no free channel for %1 (%2): %3 and %1 are both on %4.")
                                 .arg(name, setText, holderName, own)
                           : QStringLiteral("Channel: no free channel for %1, who has none of his own (%2).")
                                 .arg(name, setText);
    }
    return out;
}

QStringList sharedChannelLines(const QList<HeatPilot> &pilots)
{
    QStringList order;
    QHash<QString, QStringList> names;
    QHash<QString, QString> shown;
    for (const HeatPilot &p : pilots) {
        const QString key = keyOf(p.channel);
        if (key.isEmpty())
            continue;
        if (!names.contains(key)) {
            order << key;
            shown.insert(key, p.channel.trimmed());
        }
        names[key] << p.name;
    }
    QStringList out;
    for (const QString &key : std::as_const(order)) {
        const QStringList &n = names.value(key);
        if (n.size() > 1)
            out << QStringLiteral("%1 are %2 on %3.")
                       .arg(namesText(n), n.size() == 2 ? QStringLiteral("both") : QStringLiteral("all"),
                            shown.value(key));
    }
    return out;
}

bool confirmDistinctChannels(QSqlDatabase db, OperatorPrompt &prompt, OperatorLog &log)
{
    QSqlQuery q(db);
    QList<HeatPilot> pilots;
    if (!q.exec(QStringLiteral("SELECT pilotname, vtx FROM onerace ORDER BY id ASC"))) {
        const QString text =
            QStringLiteral("Cannot read the channels of the race list: %1").arg(q.lastError().text());
        log.savelog(text);
        prompt.notice(text);
        return false;
    }
    while (q.next())
        pilots << HeatPilot{q.value(0).toString(), q.value(1).toString()};
    const QStringList shared = sharedChannelLines(pilots);
    if (shared.isEmpty())
        return true;
    const QString clash = shared.join(QLatin1Char('\n'));
    if (!prompt.ask(clash + QStringLiteral("\n\nStart anyway?"))) {
        log.savelog(QStringLiteral("Race not started: ") + shared.join(QLatin1Char(' ')));
        return false;
    }
    log.savelog(QStringLiteral("Starting anyway with shared channels: ") + shared.join(QLatin1Char(' ')));
    return true;
}

} // namespace lapvane
