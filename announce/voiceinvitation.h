// The voice invitation (`tvoiceinvite`): a worker thread that calls the race
// list's group to the start by name and counts down the time to the start.
#pragma once

#include "announce/wakeup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace lapvane {

class Settings;
class SpeechEngine;

// How the countdown spends its seconds; tests move the time by hand.
class CountdownClock
{
public:
    virtual ~CountdownClock() = default;
    virtual qint64 nowMs() = 0;
    // Sleeps until nowMs() reaches untilMs, or until interrupt().
    virtual void sleepUntil(qint64 untilMs) = 0;
    // Ends the current and every later sleep at once; any thread.
    virtual void interrupt() = 0;
};

class SteadyCountdownClock : public CountdownClock
{
public:
    qint64 nowMs() override;
    void sleepUntil(qint64 untilMs) override;
    void interrupt() override;

private:
    std::atomic_bool m_interrupted{false};
    WakeUp m_wake;
};

class VoiceInvitation : public QObject
{
    Q_OBJECT
public:
    // speaktext speaks one phrase (refusing while "Play names and laps" is
    // off); voiceNotStarted tells the operator so once more.
    VoiceInvitation(Settings &settings, SpeechEngine &engine, std::function<bool(const QString &)> speaktext,
                    std::function<void()> voiceNotStarted, const QString &dbPath,
                    std::unique_ptr<CountdownClock> clock, QObject *parent = nullptr);
    ~VoiceInvitation() override;

    // The pages in English: a text the operator left at its Russian default
    // is said in English, through speakEnglish (which picks an English
    // voice). Set before start().
    void setEnglishSpeaker(std::function<bool(const QString &)> speakEnglish)
    {
        m_speakEnglish = std::move(speakEnglish);
    }
    // The invitation's text of a setting as it is said; *english when it is
    // the English form of the Russian default.
    QString wording(const QString &control, bool *english) const;

    void start();
    // Asks the thread to stop and waits until it has ended. A stop during a
    // countdown cuts the speech short and still speaks the final phrase;
    // quietly leaves it out.
    void stop(bool quietly = false);
    bool isRunning() const;

    // "opening words group. name,name,. "
    static QString invitationText(const QString &opening, const QString &group, const QStringList &names);
    // The same as the speech engine is given it: a comma and a blank between
    // the names, so that each is said with a pause ("… 2. A, B. ").
    static QString invitationSpeech(const QString &opening, const QString &group, const QStringList &names);
    // "До старта 60  секунд. "
    static QString countdownText(const QString &before, int seconds, const QString &after);

signals:
    // Sent from the invitation's thread.
    void logLine(const QString &line);
    // The seconds left, for the race clock label `lbltime`.
    void countdownChanged(int seconds);
    // The invitation has spoken its last phrase (or could not start).
    void ended();

private:
    void run();
    void waitWhileSpeaking();

    Settings &m_settings;
    SpeechEngine &m_engine;
    std::function<bool(const QString &)> m_speaktext;
    std::function<bool(const QString &)> m_speakEnglish;
    std::function<void()> m_voiceNotStarted;
    QString m_dbPath;
    std::unique_ptr<CountdownClock> m_clock;
    QThread *m_thread = nullptr;
    std::atomic_bool m_stop{false};
    std::atomic_bool m_quiet{false};
    WakeUp m_wake;
    QMetaObject::Connection m_speechEnded;
    static std::atomic_int s_connections;
};

} // namespace lapvane
