// Controls for settings: each is created with its control name as object name
// and kept in step with the setting both ways.
#pragma once

#include <QString>

class QWidget;
class QFormLayout;
class QBoxLayout;

namespace lapvane {

class Settings;

// Creates the control of a setting, bound to it. Switches carry their caption;
// other controls get it from the layout helpers below.
QWidget *createSettingControl(Settings &settings, const QString &control, QWidget *parent);

// Adds the control of a setting to a form, with its caption as the row label.
QWidget *addSettingRow(Settings &settings, QFormLayout *form, const QString &control);

// Fills a list control whose items come at run time (the results field list,
// the voice list) and selects the item the setting holds.
void setSettingChoices(Settings &settings, QWidget *control, const QStringList &items);

} // namespace lapvane
