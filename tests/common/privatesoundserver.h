// A silent sound server of the process's own: PulseAudio with a null sink in
// a private runtime folder stands in for the speakers, and its monitor is
// recorded as what the crowd would hear. While it lives, the process's sound
// output connects to it and to no other server; stopped, it is a machine
// whose sound server has gone away.
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace lapvane::test {

class PrivateSoundServer
{
public:
    // The recordings' samples: 16-bit mono at this rate.
    static constexpr int kRecordRate = 22050;

    // Points the process at the private server (started or not); the
    // variables it changes are given back when it is destroyed.
    PrivateSoundServer();
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    // The programs it needs that this machine lacks, or an empty text.
    static QString missingTools();

    // Starts the server and keeps its sink running; false when it did not
    // start or open its socket.
    bool start();
    void stop();
    bool isRunning() const { return m_server.state() != QProcess::NotRunning; }

    // The sink's monitor while `act` runs (it returns once the sounds it
    // plays have ended), with a little silence before and after; empty when
    // the recorder did not start.
    QByteArray record(const std::function<void()> &act);

private:
    QTemporaryDir m_runtime;
    QProcess m_server;
    QProcess m_silence;
    QByteArray m_oldRuntimeDir;
    QByteArray m_oldServer;
};

// The loud stretches of a recording, in ms: 5 ms windows louder than a
// whisper, gaps shorter than 15 ms bridged.
QList<int> loudStretchesMs(const QByteArray &samples, int rate = PrivateSoundServer::kRecordRate);
// From the first window above a murmur to the end of the last, in ms: the
// length of a sound with its quiet ends (a final consonant) included.
int spanMs(const QByteArray &samples, int rate = PrivateSoundServer::kRecordRate);

} // namespace lapvane::test
