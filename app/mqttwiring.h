// The MQTT publisher in the window: the "MQTT" settings tab and the race,
// lap corrections and live data wired to the publisher.
#pragma once

class QWidget;

namespace lapvane {

struct ProgramContext;
struct ProgramServices;
class LiveService;
class MainWindow;
class MqttPublisher;
class Settings;

// The tab: the switch, the broker address, client id, user, password (never
// shown once saved), topic prefix, CA file and the status line `lbmqttstatus`.
QWidget *createMqttTab(Settings &settings, QWidget *parent);

// Made once with the window (its child). Loading "MqttEnabled=1" starts it.
MqttPublisher *wireMqtt(MainWindow &window, ProgramContext &ctx, ProgramServices &services,
                        LiveService *live);

} // namespace lapvane
