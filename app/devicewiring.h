// Connects the timing receivers to the window: lamps, status texts, the
// registration and connection buttons, the port lists and the RSSI chart.
#pragma once

namespace lapvane {

class MainWindow;
class TimingDevices;

void wireDevices(MainWindow &window, TimingDevices &devices);

// Fills the three port lists with the machine's serial ports, keeping what
// each setting holds.
void refreshPortLists(MainWindow &window);

} // namespace lapvane
