// The identity of a registry pilot as the stage rosters copy it.
#pragma once

#include <QString>

namespace lapvane {

struct PilotRecord
{
    int id = 0;
    QString name;
    QString nickname;
    QString team;
    QString coptercolor;
    int trans = 0; // 0: no transponder
};

} // namespace lapvane
