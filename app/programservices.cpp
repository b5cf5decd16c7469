// The program's working parts below the window, wired together once.
#include "app/programservices.h"

#include "app/programcontext.h"
#include "devices/deviceenv.h"
#include "devices/timingdevices.h"
#include "events/eventsviews.h"
#include "online/telegramservice.h"
#include "publish/pagesnapshot.h"
#include "publish/savehtmls.h"
#include "race/finishedrace.h"
#include "race/lapcorrections.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racelist.h"
#include "race/racestage.h"

#include <QDir>

namespace lapvane {

namespace {

std::unique_ptr<TimingDevices> makeDevices(ProgramContext &ctx, CuePlayer &cues, OperatorPrompt &prompt,
                                           Receivers *receiversOverride)
{
    if (receiversOverride)
        return nullptr;
    return std::make_unique<TimingDevices>(DeviceEnv{ctx.settings, ctx.log, ctx.STOPFLAG}, ctx.db.db(), cues,
                                           &prompt);
}

} // namespace

ProgramServices::ProgramServices(ProgramContext &c, CuePlayer &cuePlayer, const Clock &systemClock,
                                 Receivers *receiversOverride, OperatorPrompt *promptOverride)
    : ctx(c), cues(cuePlayer), clock(systemClock),
      prompt(promptOverride ? *promptOverride : static_cast<OperatorPrompt &>(guiPrompt)),
      devices(makeDevices(c, cuePlayer, prompt, receiversOverride)),
      receivers(receiversOverride ? *receiversOverride : static_cast<Receivers &>(*devices))
{
    events = std::make_unique<EventsViews>(ctx.db.db(), ctx.settings, ctx.log, prompt);
    events->open();
    const QString raceStateFile = QDir(ctx.folder).filePath(QStringLiteral("racestate.json"));
    finishedRace = std::make_unique<FinishedRace>(ctx.db.db(), ctx.log, prompt, raceStateFile);
    raceStage = std::make_unique<RaceStage>(ctx.db.db(), *events, ctx.log, raceStateFile);
    const RaceServices rs{
        ctx.db.db(), ctx.settings, ctx.log,         prompt,        receivers,          cues,
        clock,       ctx.STOPFLAG, raceStage.get(), raceStateFile, finishedRace.get(), raceStage.get()};
    race = std::make_unique<RaceEngine>(rs);
    raceList = std::make_unique<RaceList>(rs);
    laps = std::make_unique<LapCorrections>(rs);
    raceExport = std::make_unique<RaceExport>(ctx.db.db(), ctx.settings, ctx.log, prompt, *raceStage);
    raceExport->setFinishedRace(finishedRace.get());
    raceExport->setRaceStage(raceStage.get());
    finishedRace->setExporter([e = raceExport.get()] { return e->raceexporttoeventExecute(); });
    // The finish with "auto export results" on runs the export.
    QObject::connect(race.get(), &RaceEngine::exportRequested, raceExport.get(),
                     &RaceExport::raceexporttoeventExecute);
    // Telegram: the race result after an export with "auto Telegram" on; the
    // bot answers from the stage selected in the stages list.
    telegram = std::make_unique<TelegramService>(ctx.db.db(), ctx.settings, ctx.log, *events);
    raceExport->setTelegramSender([t = telegram.get()] { t->racetelegramSendExecute(); });
    telegram->setStageSelectedProbe([e = events.get()] { return e->stagesSelection()->hasSelection(); });

    // The live pages: a snapshot of the current event, stage, options and race
    // clock is taken here on the main thread for each of the writer's cycles.
    auto clockText = std::make_shared<QString>(QStringLiteral("00:00:00"));
    QObject::connect(race.get(), &RaceEngine::clockChanged, race.get(),
                     [clockText](const QString &time, const QString &) { *clockText = time; });
    saveHtmls = std::make_unique<SaveHtmls>(ctx.log, ctx.folder, ctx.db.filePath(), [this, clockText] {
        return takePageSnapshot(*events, ctx.settings, raceList->channel(), *clockText);
    });
    // Switching "Save local HTMLs" on or off, also by loading the settings.
    QObject::connect(&ctx.settings, &Settings::changed, saveHtmls.get(),
                     [s = saveHtmls.get()](const QString &control, const QVariant &value) {
                         if (control == QLatin1String("chsavehtmls"))
                             s->checksavehtmls(value.toBool());
                     });

    if (devices) {
        // "Confirm Selected" registers each transponder with the receivers.
        raceList->setConfirmHandler(
            [d = devices.get()](int rowId, qint32 id) { return d->confirmID(rowId, id); });
        devices->setRaceRunningProbe([r = race.get()] { return r->isRunning(); });
        devices->setRaceClockProbe([r = race.get()]() -> std::optional<qint64> {
            return r->isRunning() ? std::optional<qint64>(r->raceClock().elapsedMs()) : std::nullopt;
        });
    }
}

ProgramServices::~ProgramServices()
{
    // The live pages writer reads the race objects' state: it ends first.
    saveHtmls.reset();
    // The race objects go first: they may still reach the receivers.
    telegram.reset();
    raceExport.reset();
    laps.reset();
    raceList.reset();
    race.reset();
    raceStage.reset();
    finishedRace.reset();
    events.reset();
    devices.reset();
}

} // namespace lapvane
