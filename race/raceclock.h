// The race clock: time elapsed since the race start, and the display of it in
// the race page's labels `lbltime` and `lblracems`.
#pragma once

#include "core/clock.h"

#include <QObject>
#include <QTimer>

namespace lapvane {

// The display is refreshed by a timer on the main thread at each 100 ms
// boundary of the race time (the labels only change there). A refresh is a
// subtraction and two short texts, so it never holds up the 3 ms pass loop,
// and the loop reads the time from the clock itself, never from the display.
class RaceClock : public QObject
{
    Q_OBJECT
public:
    explicit RaceClock(const Clock &clock, QObject *parent = nullptr);

    // Sets the race clock's zero (`starttime`), in ms since the epoch.
    void setOrigin(qint64 originMs);
    qint64 origin() const { return m_originMs; }
    // False until a race has started (or a continued race restored it).
    bool hasOrigin() const { return m_hasOrigin; }

    // Milliseconds since the origin; a race past midnight keeps counting.
    qint64 elapsedMs() const;
    // "HH:mm:ss" as `lbltime` shows it.
    QString timeText() const;
    // The milliseconds as `lblracems` shows them: "0", "100", ..., "900".
    QString msText() const;

    // Starts and stops the display refresh; startDisplay() shows the time at once.
    void startDisplay();
    void stopDisplay();
    bool isDisplaying() const { return m_displaying; }

    // Texts for any elapsed time, as the labels show it.
    static QString timeTextFor(qint64 elapsedMs);
    static QString msTextFor(qint64 elapsedMs);

signals:
    // New texts for `lbltime` and `lblracems`.
    void displayChanged(const QString &timeText, const QString &msText);

private:
    void onTimer();
    void arm();

    const Clock &m_clock;
    qint64 m_originMs = 0;
    bool m_hasOrigin = false;
    bool m_displaying = false;
    QTimer m_timer;
};

} // namespace lapvane
