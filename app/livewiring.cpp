// The built-in web server's controls and its feed's wiring.
#include "app/livewiring.h"

#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/racemodels.h"
#include "app/racepage.h"
#include "app/settingwidgets.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "publish/liveservice.h"
#include "race/lapcorrections.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racelist.h"
#include "race/racestage.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace lapvane {

QWidget *createWebServerBlock(Settings &settings, QWidget *parent)
{
    auto *box = new QGroupBox(QStringLiteral("Built-in web server"), parent);
    box->setObjectName(QStringLiteral("gbwwwserver"));
    auto *form = new QFormLayout(box);
    auto *address = new QLabel(QStringLiteral("Off"), box);
    address->setObjectName(QStringLiteral("lbwwwserveraddress"));
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(createSettingControl(settings, QLatin1String(LiveService::kSwitch), box), address);

    // A spin box: the port takes effect on Enter or leaving the field, not
    // at every digit typed.
    auto *port = new QSpinBox(box);
    port->setObjectName(QLatin1String(LiveService::kPort));
    port->setRange(1, 65535);
    port->setKeyboardTracking(false);
    port->setValue(settings.integer(QLatin1String(LiveService::kPort)));
    QObject::connect(&settings, &Settings::changed, port, [port](const QString &control, const QVariant &v) {
        if (control == QLatin1String(LiveService::kPort) && port->value() != v.toInt())
            port->setValue(v.toInt());
    });
    QObject::connect(port, &QSpinBox::valueChanged, &settings,
                     [&settings](int v) { settings.set(QLatin1String(LiveService::kPort), v); });
    form->addRow(Settings::definition(QLatin1String(LiveService::kPort))->caption, port);
    form->addRow(createSettingControl(settings, QLatin1String(LiveService::kLan), box));
    // The words of the overlay and the board, by the language's own name.
    auto *language = new QComboBox(box);
    language->setObjectName(QLatin1String(LiveService::kLanguage));
    language->addItem(QStringLiteral("English"), QStringLiteral("en"));
    language->addItem(QString::fromUtf8("Русский"), QStringLiteral("ru"));
    auto showLanguage = [language](const QString &code) {
        language->setCurrentIndex(qMax(0, language->findData(code)));
    };
    showLanguage(settings.text(QLatin1String(LiveService::kLanguage)));
    QObject::connect(&settings, &Settings::changed, language,
                     [showLanguage](const QString &control, const QVariant &v) {
                         if (control == QLatin1String(LiveService::kLanguage))
                             showLanguage(v.toString());
                     });
    QObject::connect(language, &QComboBox::activated, &settings, [&settings, language](int index) {
        settings.set(QLatin1String(LiveService::kLanguage), language->itemData(index).toString());
    });
    form->addRow(Settings::definition(QLatin1String(LiveService::kLanguage))->caption + QLatin1Char(':'),
                 language);
    auto *hint =
        new QLabel(QStringLiteral("Open <b>/overlay</b> for the live race over video and <b>/board</b> for "
                                  "a big screen by the pits; the pages of the \"htmls\" folder and "
                                  "/api/race, /api/results, /api/bracket, /api/events are served too."),
                   box);
    hint->setWordWrap(true);
    form->addRow(hint);
    return box;
}

LiveService *wireLiveServer(MainWindow &window, ProgramContext &ctx, ProgramServices &services)
{
    auto *live = new LiveService(ctx.db.db(), ctx.settings, ctx.log, services.raceStage.get(),
                                 QDir(ctx.folder).filePath(QStringLiteral("htmls")), &window);
    LiveFeed *feed = &live->feed();
    RaceEngine *race = services.race.get();
    feed->setStatusProvider([race] {
        RaceStatus status;
        status.running = race->isRunning();
        status.clockMs = status.running ? race->raceClock().elapsedMs() : 0;
        return status;
    });

    QObject::connect(race, &RaceEngine::lapCounted, feed, &LiveFeed::lapCounted);
    QObject::connect(race, &RaceEngine::raceFinished, feed, &LiveFeed::raceFinished);
    QObject::connect(race, &RaceEngine::runningChanged, feed, [feed](bool running) {
        if (running)
            feed->raceStarted();
        else
            feed->raceListChanged();
    });
    QObject::connect(race, &RaceEngine::raceListChanged, feed, &LiveFeed::raceListChanged);
    QObject::connect(services.raceList.get(), &RaceList::raceListChanged, feed, &LiveFeed::raceListChanged);
    QObject::connect(services.laps.get(), &LapCorrections::lapsCorrected, feed, &LiveFeed::lapsCorrected);
    QObject::connect(services.laps.get(), &LapCorrections::raceListChanged, feed, &LiveFeed::raceListChanged);
    if (services.devices)
        QObject::connect(services.devices.get(), &TimingDevices::raceListChanged, feed,
                         &LiveFeed::raceListChanged);
    // Whatever else changes the race list (a group sent to the race, an edit
    // in the grid) shows in its view.
    RaceListModel *raceModel = window.racePage()->raceListModel();
    QObject::connect(raceModel, &QAbstractItemModel::modelReset, feed, &LiveFeed::raceListChanged);
    QObject::connect(raceModel, &QAbstractItemModel::dataChanged, feed, &LiveFeed::raceListChanged);

    EventsViews *events = services.events.get();
    auto resultsChanged = [feed] {
        feed->resultsChanged();
        feed->raceListChanged(); // the stage name the race shows
    };
    QObject::connect(events, &EventsViews::currentChanged, feed, resultsChanged);
    QObject::connect(events, &EventsViews::resultsStagesChanged, feed, resultsChanged);
    QObject::connect(events->resultsModel(), &QAbstractItemModel::dataChanged, feed,
                     &LiveFeed::resultsChanged);
    QObject::connect(events->resultsModel(), &QAbstractItemModel::modelReset, feed,
                     &LiveFeed::resultsChanged);
    QObject::connect(services.raceExport.get(), &RaceExport::resultsChanged, feed, &LiveFeed::resultsChanged);
    QObject::connect(&ctx.settings, &Settings::changed, feed, [feed](const QString &control) {
        if (control == QLatin1String("cbresfields") || control == QLatin1String("cbresfieldssort"))
            feed->resultsChanged();
        else if (control == QLatin1String("edtlaps") || control == QLatin1String("edttimelimit"))
            feed->raceListChanged();
    });

    if (auto *label = window.findChild<QLabel *>(QStringLiteral("lbwwwserveraddress"))) {
        label->setText(live->statusText());
        QObject::connect(live, &LiveService::statusChanged, label, &QLabel::setText);
    }
    // "Board" on the Race page opens the race board in the default browser.
    if (auto *board = window.findChild<QPushButton *>(QStringLiteral("btnboard"))) {
        OperatorLog *log = &ctx.log;
        QObject::connect(board, &QPushButton::clicked, live, [live, log] {
            const QUrl url = live->boardUrl();
            if (url.isEmpty()) {
                log->savelog(
                    QStringLiteral("Board: the built-in web server is off. Switch it on in Settings, "
                                   "Web pages, then press Board again."));
                return;
            }
            if (!QDesktopServices::openUrl(url))
                log->savelog(QStringLiteral("Board: no browser could be opened; open %1 by hand.")
                                 .arg(url.toString()));
        });
    }
    OperatorPrompt *prompt = &services.prompt;
    QObject::connect(live, &LiveService::failed, &window,
                     [prompt](const QString &message) { prompt->notice(message); });
    return live;
}

} // namespace lapvane
