// The lap announcer (`tnamelaps`): a worker thread that speaks the pilot's
// name and lap number of every entry of the announcement ring, in ring order,
// one phrase after the other. Switched on, it also speaks the lap time, the
// finish places, the winner and the time left (from its call book), and
// drops lap calls that have grown too old.
#pragma once

#include "announce/callbook.h"
#include "announce/callphrases.h"
#include "announce/wakeup.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class QThread;

namespace lapvane {

class AnnouncementRing;
class SpeechEngine;

class LapAnnouncer : public QObject
{
    Q_OBJECT
public:
    // What is said, read before each call; any thread.
    struct Options
    {
        CallLanguage language = CallLanguage::Russian;
        LapCallParts parts;
        bool finishCalls = false; // a finishing lap says the place, after its cue
        qint64 staleAfterMs = 0;  // lap calls older than this are dropped; 0 never
    };

    // speaktext speaks one phrase (the announcer's `speaktext`); dbPath is the
    // database file, read on the thread's own connection. book holds the
    // laps' times and the calls besides the laps; options says what is
    // spoken; holdFinish says a finish cue is being heard.
    LapAnnouncer(AnnouncementRing &ring, SpeechEngine &engine, std::function<bool(const QString &)> speaktext,
                 const QString &dbPath, CallBook &book, std::function<Options()> options,
                 std::function<bool()> holdFinish, QObject *parent = nullptr);
    ~LapAnnouncer() override;

    // Starts the thread from the ring's next write position; the ring is
    // expected empty (the caller clears it).
    void start();
    // Asks the thread to stop and waits for it; false when none ran.
    bool stop();
    bool isRunning() const;

    // A lap was written to the ring: look at it now instead of at the next
    // idle check.
    void wake() { m_wake.notify(); }

    // The phrase for a lap as it is written: "name N-й круг".
    static QString lapPhrase(const QString &name, int lap);
    // The same as the speech engine is given it, the number in words (the
    // engine reads "3-й" as a digit and the names of letters): "name,
    // третий круг".
    static QString lapSpeech(const QString &name, int lap);

    // Without a wake-up the ring is looked at this often while idle.
    static constexpr int kIdleCheckMs = 20;
    // A finish call waits for its cue at most this long.
    static constexpr int kMaxCueWaitMs = 10000;

signals:
    // A line for the operator log; sent from the announcer's thread.
    void logLine(const QString &line);

private:
    void run();

    AnnouncementRing &m_ring;
    SpeechEngine &m_engine;
    std::function<bool(const QString &)> m_speaktext;
    QString m_dbPath;
    CallBook &m_book;
    std::function<Options()> m_options;
    std::function<bool()> m_holdFinish;
    QThread *m_thread = nullptr;
    std::atomic_bool m_stop{false};
    WakeUp m_wake;
    QMetaObject::Connection m_speechEnded;
    static std::atomic_int s_connections;
};

} // namespace lapvane
