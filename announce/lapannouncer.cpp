// The lap announcer thread.
#include "announce/lapannouncer.h"

#include "announce/speechengine.h"
#include "announce/spokennumbers.h"
#include "core/announcementring.h"
#include "store/database.h"

#include <QSqlQuery>
#include <QThread>

namespace lapvane {

std::atomic_int LapAnnouncer::s_connections{0};

LapAnnouncer::LapAnnouncer(AnnouncementRing &ring, SpeechEngine &engine,
                           std::function<bool(const QString &)> speaktext, const QString &dbPath, QObject *parent)
    : QObject(parent), m_ring(ring), m_engine(engine), m_speaktext(std::move(speaktext)), m_dbPath(dbPath)
{
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

        int currraw = m_ring.writeraw();
        while (!m_stop) {
            // One phrase at a time: the same entry is looked at again once
            // the speech has ended.
            if (m_engine.isSpeaking()) {
                m_wake.wait(kIdleCheckMs);
                continue;
            }
            bool spoke = false;
            for (int k = 0; k < AnnouncementRing::kSlots && !spoke && !m_stop; ++k) {
                const AnnouncementRing::Entry e = m_ring.at(currraw);
                if (e.pending()) {
                    QString name;
                    if (lookUp(e.pilotId, &name))
                        m_speaktext(lapSpeech(name, e.lap));
                    else
                        emit logLine(QStringLiteral("Error saying name id %1").arg(e.pilotId));
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
