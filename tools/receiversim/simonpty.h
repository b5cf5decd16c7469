// One simulated receiver on a pseudo-terminal of its own, as tests and
// benchmarks use it: the host opens pty.slavePath() as the receiver's port.
#pragma once

#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"

#include <memory>

namespace lapvane::sim {

struct SimOnPty
{
    explicit SimOnPty(std::unique_ptr<ReceiverSim> s) : sim(std::move(s))
    {
        QString error;
        if (!pty.open(&error))
            qFatal("openpty: %s", qPrintable(error));
        QObject::connect(&pty, &PtyLink::received, sim.get(), &ReceiverSim::fromHost);
        sim->setSink([this](const QByteArray &b) { pty.write(b); });
    }
    std::unique_ptr<ReceiverSim> sim;
    PtyLink pty;
};

} // namespace lapvane::sim
