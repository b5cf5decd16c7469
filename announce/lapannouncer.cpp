// The lap announcer thread.
#include "announce/lapannouncer.h"

#include "announce/speechengine.h"
#include "announce/spokennumbers.h"
#include "announce/callphrases.h"
#include "core/announcementring.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QThread>

namespace lapvane {

std::atomic_int LapAnnouncer::s_connections{0};

LapAnnouncer::LapAnnouncer(AnnouncementRing &ring, SpeechEngine &engine,
                           std::function<bool(const QString &)> speaktext, const QString &dbPath, CallBook &book,
                           std::function<Options()> options, std::function<bool()> holdFinish, QObject *parent)
    : QObject(parent), m_ring(ring), m_engine(engine), m_speaktext(std::move(speaktext)), m_dbPath(dbPath),
      m_book(book), m_options(std::move(options)), m_holdFinish(std::move(holdFinish))
{
    if (!m_options)
        m_options = [] { return Options{}; };
    // The end of speech wakes the thread: the next pending entry goes at once.
    m_speechEnded = connect(&m_engine, &SpeechEngine::speechFinished, this, [this] { m_wake.notify(); },
                            Qt::DirectConnection);
}

LapAnnouncer::~LapAnnouncer()
{
    disconnect(m_speechEnded);
    stop();
}

QString LapAnnouncer::lapPhrase(const QString &name, int lap)
{
    return name + QStringLiteral(" ") + QString::number(lap) + QString::fromUtf8("-й круг");
}

QString LapAnnouncer::lapSpeech(const QString &name, int lap)
{
    return name + QStringLiteral(", ") + russianOrdinal(lap) + QString::fromUtf8(" круг");
}

void LapAnnouncer::start()
{
    stop();
    m_stop = false;
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("tnamelaps"));
    m_thread->start();
}

bool LapAnnouncer::stop()
{
    if (!m_thread)
        return false;
    m_stop = true;
    m_wake.notify();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    return true;
}

bool LapAnnouncer::isRunning() const
{
    return m_thread && m_thread->isRunning();
}

void LapAnnouncer::run()
{
    const QString connection = QStringLiteral("tnamelaps%1").arg(++s_connections);
    {
        QString error;
        QSqlDatabase db = Database::openWorkerConnection(m_dbPath, connection, &error);
        if (!error.isEmpty())
            emit logLine(error);
        // The race list's names, taken once; a pilot added later is looked up
        // when his lap comes.
        QHash<int, QString> names;
        QSqlQuery q(db);
        if (db.isOpen() && q.exec(QStringLiteral("SELECT pilotid,pilotname FROM onerace"))) {
            while (q.next())
                names.insert(q.value(0).toInt(), q.value(1).toString());
        }
        auto lookUp = [&](int pilotId, QString *name) {
            auto it = names.constFind(pilotId);
            if (it != names.constEnd()) {
                *name = *it;
                return true;
            }
            QSqlQuery one(db);
            one.prepare(QStringLiteral("SELECT pilotname FROM onerace WHERE pilotid=?"));
            one.addBindValue(pilotId);
            if (!db.isOpen() || !one.exec() || !one.next())
                return false;
            *name = one.value(0).toString();
            names.insert(pilotId, *name);
            return true;
        };

        // The call besides the laps that is due, spoken; false when none is.
        // *hold: a finish call waits for its cue, so nothing is spoken now.
        auto speakCall = [&](const Options &o, bool *hold) {
            const auto call = m_book.takeCall(m_holdFinish, kMaxCueWaitMs, hold);
            if (!call)
                return false;
            QString name;
            switch (call->kind) {
            case CallBook::Call::TimeLeft:
                m_speaktext(timeLeftCall(o.language, call->seconds));
                break;
            case CallBook::Call::Finish:
                if (lookUp(call->pilotId, &name))
                    m_speaktext(finishCall(o.language, name, call->place));
                else
                    emit logLine(QStringLiteral("Error saying name id %1").arg(call->pilotId));
                break;
            case CallBook::Call::Winner: {
                QSqlQuery w(db);
                if (db.isOpen() && w.exec(QStringLiteral("SELECT pilotname FROM onerace WHERE place=1 ORDER BY id"))
                    && w.next())
                    m_speaktext(winnerCall(o.language, w.value(0).toString()));
                else
                    emit logLine(QStringLiteral("The winner could not be announced: no pilot has place 1."));
                break;
            }
            }
            return true;
        };

        int currraw = m_ring.writeraw();
        while (!m_stop) {
            // One phrase at a time: the same entry is looked at again once
            // the speech has ended.
            if (m_engine.isSpeaking()) {
                m_wake.wait(kIdleCheckMs);
                continue;
            }
            const Options o = m_options();
            bool hold = false;
            if (speakCall(o, &hold))
                continue;
            if (hold) {
                m_wake.wait(kIdleCheckMs);
                continue;
            }
            bool spoke = false;
            for (int k = 0; k < AnnouncementRing::kSlots && !spoke && !m_stop; ++k) {
                const AnnouncementRing::Entry e = m_ring.at(currraw);
                if (e.pending()) {
                    const auto note = m_book.lap(e.pilotId, e.lap);
                    const qint64 age = note ? m_book.nowMs() - note->atMs : 0;
                    QString name;
                    if (o.finishCalls && note && note->finishing) {
                        // Its finish call says it, after the finish cue.
                    } else if (!lookUp(e.pilotId, &name)) {
                        emit logLine(QStringLiteral("Error saying name id %1").arg(e.pilotId));
                    } else if (o.staleAfterMs > 0 && age > o.staleAfterMs) {
                        // Passes came faster than speech: a call this late would mislead.
                        emit logLine(QStringLiteral("Lap call left out, %1 s late: %2").arg(age / 1000).arg(
                            lapPhrase(name, e.lap)));
                    } else {
                        const QString text = lapCall(o.language, name, e.lap, note ? note->lapMs : 0, o.parts);
                        if (!text.isEmpty())
                            m_speaktext(text);
                    }
                    // A pilot who left the race list is skipped, never retried
                    // for ever; an entry written over meanwhile stays pending.
                    m_ring.release(currraw, e);
                    spoke = true;
                }
                currraw = (currraw + 1) % AnnouncementRing::kSlots;
            }
            if (!spoke)
                m_wake.wait(kIdleCheckMs);
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

} // namespace lapvane
