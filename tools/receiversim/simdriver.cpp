// Drives a simulated receiver from commands and in demo mode.
#include "tools/receiversim/simdriver.h"

#include "tools/receiversim/ptylink.h"

#include <QRandomGenerator>
#include <QTimer>

namespace lapvane::sim {

namespace {
QByteArray unescape(const QString &text)
{
    const QByteArray in = text.toLatin1();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) != '\\' || i + 1 >= in.size()) {
            out += in.at(i);
            continue;
        }
        const char c = in.at(++i);
        if (c == 'n') {
            out += '\n';
        } else if (c == 'r') {
            out += '\r';
        } else if (c == 'x' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(v);
                i += 2;
            }
        } else {
            out += c;
        }
    }
    return out;
}
} // namespace

SimDriver::SimDriver(ReceiverSim &sim, PtyLink *pty, QObject *parent)
    : QObject(parent), m_sim(sim), m_pty(pty)
{
    connect(&m_sim, &ReceiverSim::raceStarted, this, &SimDriver::flyRace);
    connect(&m_sim, &ReceiverSim::registrationStarted, this, &SimDriver::passRound);
}

QString SimDriver::commandHelp()
{
    return QStringLiteral(
        "commands: pass WHO [CLOCKMS] | wait MS | ping | raw TEXT | unplug | quit\n"
        "  WHO is a transponder id (Chorus RF: a module number)");
}

void SimDriver::enqueue(const QStringList &lines)
{
    m_queue += lines;
    if (!m_waiting)
        runNext();
}

void SimDriver::runNext()
{
    while (!m_queue.isEmpty() && !m_waiting) {
        const QString line = m_queue.takeFirst().trimmed();
        if (line.startsWith(QLatin1String("wait "))) {
            bool ok = false;
            const int ms = line.mid(5).trimmed().toInt(&ok);
            if (!ok || ms < 0) {
                emit message(QStringLiteral("bad wait: ") + line);
                continue;
            }
            m_waiting = true;
            QTimer::singleShot(ms, this, [this] {
                m_waiting = false;
                runNext();
            });
            return;
        }
        if (!runCommand(line))
            emit message(QStringLiteral("? ") + line + QLatin1Char('\n') + commandHelp());
    }
}

bool SimDriver::runCommand(const QString &line)
{
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
        return true;
    const QStringList w = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = w.first().toLower();
    if (verb == QLatin1String("pass") && (w.size() == 2 || w.size() == 3)) {
        bool ok = false;
        const qint32 who = w[1].toInt(&ok);
        if (!ok)
            return false;
        std::optional<quint32> clock;
        if (w.size() == 3) {
            const quint32 c = w[2].toUInt(&ok);
            if (!ok)
                return false;
            clock = c;
        }
        m_sim.pass(who, clock);
        return true;
    }
    if (verb == QLatin1String("ping")) {
        if (auto *vs = qobject_cast<VsSim *>(&m_sim)) {
            vs->ping();
            return true;
        }
        return false;
    }
    if (verb == QLatin1String("raw") && w.size() >= 2) {
        m_sim.sendRaw(unescape(line.mid(line.indexOf(QLatin1Char(' ')) + 1)));
        return true;
    }
    if (verb == QLatin1String("unplug") && m_pty) {
        m_pty->unplug();
        emit message(QStringLiteral("unplugged"));
        return true;
    }
    if (verb == QLatin1String("quit")) {
        emit quitRequested();
        return true;
    }
    return false;
}

void SimDriver::startDemo(const QList<qint32> &who, int laps, int lapMs)
{
    m_demo = who;
    m_demoLaps = qMax(1, laps);
    m_demoLapMs = qMax(1000, lapMs);
}

void SimDriver::startDemoOfListed(int laps, int lapMs)
{
    startDemo({}, laps, lapMs);
    m_demoListed = qobject_cast<GateSim *>(&m_sim) != nullptr;
}

QList<qint32> SimDriver::demoPilots() const
{
    if (!m_demoListed)
        return m_demo;
    QList<qint32> listed;
    for (quint16 id : static_cast<const GateSim &>(m_sim).ids())
        listed << id;
    return listed;
}

void SimDriver::passRound()
{
    const QList<qint32> pilots = demoPilots();
    if (pilots.isEmpty())
        return;
    const int generation = ++m_generation;
    // Each pilot passes the gate once, half a second apart, three rounds.
    int at = 300;
    for (int round = 0; round < 3; ++round) {
        for (qint32 who : pilots) {
            QTimer::singleShot(at, this, [this, who, generation] {
                if (generation == m_generation && m_sim.mode() == ReceiverSim::Mode::Registration)
                    m_sim.pass(who);
            });
            at += 500;
        }
    }
}

void SimDriver::flyRace()
{
    const QList<qint32> pilots = demoPilots();
    if (pilots.isEmpty())
        return;
    const int generation = ++m_generation;
    emit message(QStringLiteral("demo: race started, %1 pilots, %2 laps").arg(pilots.size()).arg(m_demoLaps));
    auto *rng = QRandomGenerator::global();
    for (qint32 who : pilots) {
        // A pilot's own pace, and some scatter lap to lap.
        const double pace = 0.9 + rng->bounded(0.2);
        qint64 at = 0;
        for (int lap = 0; lap < m_demoLaps; ++lap) {
            at += qint64(m_demoLapMs * pace * (0.92 + rng->bounded(0.16)));
            QTimer::singleShot(int(at), this, [this, who, generation] {
                if (generation == m_generation)
                    m_sim.pass(who);
            });
        }
    }
}

} // namespace lapvane::sim
