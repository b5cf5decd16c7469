// The RSSI sweep (`trssi`) on the Chorus RF line.
#include "devices/rssisweep.h"

#include "devices/chorusprotocol.h"
#include "devices/chorusrf.h"
#include "devices/serialline.h"

#include <QLocale>
#include <QThread>
#include <QTime>

namespace lapvane {

using namespace chorusproto;

RssiSweep::RssiSweep(ChorusRf &chorus, QObject *parent) : QObject(parent), m_chorus(chorus)
{
    m_chorus.setReclaimer([this] { stopAndWait(); });
}

RssiSweep::~RssiSweep()
{
    m_chorus.setReclaimer({});
    stopAndWait(5000);
}

QStringList RssiSweep::seriesTitles()
{
    QStringList t;
    for (int c = 1; c <= kRssiChannels; ++c)
        t << QStringLiteral("CH %1").arg(c);
    return t;
}

bool RssiSweep::measure()
{
    if (!m_chorus.isOpen())
        return false;
    // A second Measure replaces the running sweep.
    if (m_thread && !stopAndWait())
        return false;
    if (m_chorus.isBusy())
        return false;
    QThread *home = thread();
    QThread *worker = QThread::create([this, home] { run(m_line, home); });
    worker->setObjectName(QStringLiteral("trssi"));
    m_line = m_chorus.lendLine(worker);
    if (!m_line) {
        delete worker;
        return false;
    }
    emit chartReset();
    m_stop.clear();
    m_rssitimer.start();
    m_thread = worker;
    const int generation = ++m_generation;
    connect(worker, &QThread::finished, this, [this, generation] { finishThread(generation); });
    worker->start();
    emit runningChanged(true);
    return true;
}

void RssiSweep::stop()
{
    m_stop.raise();
}

bool RssiSweep::stopAndWait(int timeoutMs)
{
    if (!m_thread)
        return true;
    m_stop.raise();
    if (!m_thread->wait(QDeadlineTimer(timeoutMs)))
        return false;
    finishThread(m_generation);
    return true;
}

void RssiSweep::finishThread(int generation)
{
    if (!m_thread || generation != m_generation)
        return;
    QThread *t = m_thread;
    m_thread = nullptr;
    m_line = nullptr;
    t->wait();
    delete t;
    m_chorus.lineReturned();
    emit runningChanged(false);
}

void RssiSweep::run(SerialLine *line, QThread *home)
{
    auto readExactly = [this, line](int count, QByteArray *out) {
        if (!line->waitForBytes(count, m_replyTimeoutMs, &m_stop))
            return false;
        *out = line->read(count);
        return out->size() == count;
    };
    int next = 0;
    while (!m_stop.isRaised() && line->isOpen()) {
        const int channel = next;
        next = (next + 1) % kRssiChannels;
        const QByteArray tune = tuneCommand("0", rssiChannelMhz(channel));
        line->discardBuffers();
        if (!line->write(tune)) {
            QThread::msleep(50);
            continue;
        }
        QByteArray echo;
        if (!readExactly(kRssiEchoBytes, &echo) || !tuneEchoMatches(echo, tune))
            continue;
        if (!line->write(kRssiReportOn))
            continue;
        QByteArray on;
        if (!readExactly(int(sizeof(kRssiReportOnReply) - 1), &on) || on != kRssiReportOnReply)
            continue;
        QByteArray reading;
        if (!readExactly(kRssiReadingBytes, &reading))
            continue;
        line->write(kRssiReportOff);
        emit pointAdded(channel + 1, m_rssitimer.elapsed(), rssiValue(reading),
                        QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat));
    }
    // Hand the line back before the thread ends.
    line->moveToThread(home);
}

} // namespace lapvane
