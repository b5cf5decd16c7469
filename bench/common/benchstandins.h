// Stand-ins the benchmarks share: receivers that hand out queued passes and a
// prompt that answers Yes and takes every text as offered.
#pragma once

#include "core/operatorprompt.h"
#include "core/receivers.h"

#include <QList>

namespace lapvane::bench {

// Every receiver connected at once, every handshake answered, passes taken
// from the queue one per poll.
class QueueReceivers : public Receivers
{
public:
    QList<Pass> queue;
    Pass gettrans() override { return queue.isEmpty() ? Pass{} : queue.takeFirst(); }
    bool comconnected() const override { return true; }
    bool lapvaneConnected() const override { return true; }
    bool vsSerialConnected() const override { return false; }
    bool vsWifiEnabled() const override { return false; }
    bool chorusConnected() const override { return false; }
    bool syncVsSerial(const StopFlag &) override { return true; }
    bool syncVsWifi(const StopFlag &) override { return true; }
    bool syncLapvane(const StopFlag &) override { return true; }
    bool syncChorus(const StopFlag &) override { return true; }
    bool lapvaneRaceMode() override { return true; }
    bool lapvaneRegMode() override { return true; }
    StartClocks startClocks() const override { return {}; }
    void setStartClocks(const StartClocks &) override {}
};

class YesPrompt : public OperatorPrompt
{
public:
    bool ask(const QString &) override { return true; }
    void notice(const QString &) override {}
    bool askText(const QString &, const QString &, QString *) override { return true; }
};

} // namespace lapvane::bench
