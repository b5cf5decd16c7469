// Collects the lines an operator log shows in its pane.
#pragma once

#include "core/operatorlog.h"

#include <QObject>
#include <QStringList>

namespace lapvane::test {

class LogCapture : public QObject
{
public:
    explicit LogCapture(OperatorLog &log)
    {
        connect(&log, &OperatorLog::lineAdded, this, [this](const QString &l) { lines << l; });
    }
    QStringList lines;
};

} // namespace lapvane::test
