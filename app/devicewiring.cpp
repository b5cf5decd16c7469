// Connects the timing receivers to the window.
#include "app/devicewiring.h"

#include "app/commands.h"
#include "app/mainwindow.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "app/rssipointlabels.h"
#include "app/widgets.h"
#include "devices/chorusrf.h"
#include "devices/lapvanegate.h"
#include "devices/rssisweep.h"
#include "devices/timingdevices.h"
#include "devices/vstimemachine.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTabWidget>
#include <QValueAxis>
#include <QVBoxLayout>

namespace lapvane {

namespace {

template <typename T>
T *child(MainWindow &w, const char *name)
{
    T *found = w.findChild<T *>(QLatin1String(name));
    Q_ASSERT_X(found, "wireDevices", name);
    return found;
}

void onClick(MainWindow &w, const char *button, const std::function<void()> &run)
{
    QObject::connect(child<QPushButton>(w, button), &QPushButton::clicked, &w, run);
}

void onCommand(MainWindow &w, const char *command, const std::function<void()> &run)
{
    QObject::connect(w.commands().action(QLatin1String(command)), &QAction::triggered, &w, run);
}

// A receiver's lamps (race page and its own tab) and status text follow it.
void wireStatus(MainWindow &w, SerialDevice &device, const char *raceLamp, const char *tabLamp, const char *status)
{
    QLabel *lamps[] = {child<QLabel>(w, raceLamp), child<QLabel>(w, tabLamp)};
    QLabel *text = child<QLabel>(w, status);
    auto show = [lamps, text, &device] {
        for (QLabel *lamp : lamps)
            setLampLit(lamp, device.isOpen());
        text->setText(device.status());
    };
    show();
    QObject::connect(&device, &SerialDevice::portOpenChanged, &w, show);
    QObject::connect(&device, &SerialDevice::statusChanged, &w, show);
}

// The RSSI sweep's chart on the "Charts" sub-page: four series "CH 1" to "CH 4".
void buildChart(MainWindow &w, RssiSweep &rssi)
{
    QWidget *page = child<QWidget>(w, "tscharts");
    auto *chart = new QChart;
    chart->setTitle(QStringLiteral("Race flow"));
    auto *axisX = new QValueAxis(chart);
    axisX->setTitleText(QStringLiteral("TIME"));
    auto *axisY = new QValueAxis(chart);
    axisY->setTitleText(QStringLiteral("RSSI"));
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    QList<QLineSeries *> series;
    for (int ch = 1; ch <= 4; ++ch) {
        auto *s = new QLineSeries(chart);
        s->setName(QStringLiteral("CH %1").arg(ch));
        chart->addSeries(s);
        s->attachAxis(axisX);
        s->attachAxis(axisY);
        series << s;
    }
    auto *view = new QChartView(chart, page);
    view->setObjectName(QStringLiteral("Chart1"));
    view->setRenderHint(QPainter::Antialiasing);
    static_cast<QVBoxLayout *>(page->layout())->insertWidget(1, view, 1);

    // Each point carries the time of day of its reading as its label.
    auto *labels = new RssiPointLabels(series, view);
    labels->setObjectName(QStringLiteral("rssipointlabels"));
    QObject::connect(&rssi, &RssiSweep::chartReset, view, [series, axisX, axisY, labels] {
        for (QLineSeries *s : series)
            s->clear();
        labels->clear();
        axisX->setRange(0, 1);
        axisY->setRange(0, 1);
    });
    QObject::connect(&rssi, &RssiSweep::pointAdded, view,
                     [series, axisX, axisY, labels](int channel, qint64 x, int y, const QString &timeText) {
                         if (channel < 1 || channel > series.size())
                             return;
                         series[channel - 1]->append(qreal(x), qreal(y));
                         labels->add(channel, timeText);
                         axisX->setMax(qMax(axisX->max(), qreal(x)));
                         axisY->setMax(qMax(axisY->max(), qreal(y) * 1.1));
                     });
}

} // namespace

void refreshPortLists(MainWindow &w)
{
    QStringList ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports << info.portName();
    for (const char *name : {"comselect", "com2select", "com3select"}) {
        auto *combo = child<QComboBox>(w, name);
        const QString current = combo->currentText();
        const QSignalBlocker block(combo);
        combo->clear();
        combo->addItems(ports);
        combo->setCurrentText(current);
    }
}

void wireDevices(MainWindow &w, TimingDevices &d)
{
    LapvaneGate &gate = d.lapvane();
    VsTimeMachine &vs = d.vsTimeMachine();
    ChorusRf &chorus = d.chorus();

    wireStatus(w, gate, "shplapvanerace", "shplapvane", "lblcomLapvanestat");
    wireStatus(w, vs, "shpvstimerace", "shpvstime", "lblcomVStimestat");
    wireStatus(w, chorus, "shpchorusrace", "shpchorus", "lbcomChorusstat");

    QLabel *counter = child<QLabel>(w, "lblcnt");
    QObject::connect(&gate, &LapvaneGate::counterTextChanged, counter, &QLabel::setText);
    QObject::connect(&gate, &LapvaneGate::queryRunningChanged, &w, [&w](bool running) {
        child<QPushButton>(w, "btvercheck")->setEnabled(!running);
        child<QPushButton>(w, "btcntcheck")->setEnabled(!running);
    });
    QObject::connect(&vs, &VsTimeMachine::deviceClockTextChanged, child<QLabel>(w, "lbtimemachinetime"),
                     &QLabel::setText);
    auto *modules = child<QComboBox>(w, "cbchorusmodule");
    QObject::connect(&chorus, &ChorusRf::modulesChanged, modules, [modules](const QStringList &list) {
        modules->clear();
        modules->addItems(list);
        if (!list.isEmpty())
            modules->setCurrentIndex(0);
    });

    // Connection and the receivers' own commands.
    onCommand(w, "comconnect", [&d] { d.comconnectExecute(); });
    onCommand(w, "comdisconnect", [&d] { d.comdisconnectExecute(); });
    onCommand(w, "raceregpilots", [&d] { d.raceregpilotsExecute(); });
    onCommand(w, "racelistpilots", [&d] { d.racelistpilotsExecute(); });
    onCommand(w, "raceresetlist", [&d] { d.raceresetlistExecute(); });
    onClick(w, "btn1", [&d] { d.btn1Click(); });
    onClick(w, "btCheckCom", [&d] { d.btCheckComClick(); });
    onClick(w, "btvercheck", [&gate] { gate.readVersion(); });
    onClick(w, "btcntcheck", [&gate] { gate.readRaceCounter(); });
    onClick(w, "btcom2connect", [&vs] { vs.connectSerial(); });
    onClick(w, "btcom2disconnect", [&vs] { vs.disconnectSerial(); });
    onClick(w, "Button24", [&vs] { vs.broadcastClear(); });
    onClick(w, "btcom3connect", [&chorus] { chorus.connectChorus(); });
    onClick(w, "btcom3disconnect", [&chorus] { chorus.disconnectChorus(); });
    onClick(w, "btchorussetch", [&w, &chorus, modules] {
        chorus.setChannel(modules->currentText(), child<QComboBox>(w, "cbvtxch")->currentText());
    });

    // Registration keeps the race commands' buttons out of reach until "Done".
    QObject::connect(&d, &TimingDevices::registrationChanged, &w, [&w](bool active) {
        for (const char *name : {"btnclearlist", "btnracelistpilots", "btnstartrace", "btnstoprace", "btnregpilots",
                                 "btconfirmSel", "btexporttoevent"})
            child<QPushButton>(w, name)->setEnabled(!active);
    });
    QObject::connect(&d, &TimingDevices::raceListChanged, w.racePage(), &RacePage::refreshRaceList);
    // Chorus RF modules and slot codes follow the race list as shown, whether
    // the race or the operator sorted it.
    RaceListModel *raceList = w.racePage()->raceListModel();
    QObject::connect(raceList, &RaceListModel::orderByChanged, &d, &TimingDevices::setRaceListOrderBy);
    d.setRaceListOrderBy(raceList->orderBy());
    QObject::connect(&d, &TimingDevices::settingsPageRequested, &w, [&w] { w.showSettingsPage(); });

    RssiSweep &rssi = d.rssi();
    buildChart(w, rssi);
    onClick(w, "Button11", [&rssi] { rssi.measure(); });
    onClick(w, "Button15", [&rssi] { rssi.stop(); });

    refreshPortLists(w);
    // Receivers plugged in while the program runs show up when the Settings page is opened.
    auto *pages = child<QTabWidget>(w, "PageControl1");
    QObject::connect(pages, &QTabWidget::currentChanged, &w, [&w, pages](int index) {
        if (index == pages->count() - 1)
            refreshPortLists(w);
    });

    MainWindow::ShutdownHooks &hooks = w.shutdownHooks();
    hooks.stopRegPilots = [&d] {
        if (d.registrationActive())
            d.btn1Click();
        return !d.registrationActive();
    };
    hooks.closeLapvane = [&gate] {
        gate.disconnectGate();
        return !gate.isOpen();
    };
    hooks.closeVsTime = [&vs] {
        vs.disconnectSerial();
        vs.setWifiEnabled(false);
        return !vs.isOpen();
    };
    hooks.closeChorus = [&chorus, &rssi] {
        rssi.stopAndWait();
        chorus.disconnectChorus();
        return !chorus.isOpen();
    };
}

} // namespace lapvane
