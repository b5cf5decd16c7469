// The "Settings" page: every stored setting and the values that start afresh
// on each run, the receiver tabs, sounds and voice, publishing and the log
// options.
#pragma once

#include <QWidget>

namespace lapvane {

struct ProgramContext;
class CommandList;

class SettingsPage : public QWidget
{
    Q_OBJECT
public:
    SettingsPage(ProgramContext &ctx, CommandList &commands, QWidget *parent = nullptr);

signals:
    // "Show" beside the log switches.
    void showLogRequested();
};

} // namespace lapvane
