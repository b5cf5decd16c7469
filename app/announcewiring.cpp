// Connects the sound cues and the speech to the window.
#include "app/announcewiring.h"

#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/defaultsounds.h"
#include "app/filedialogs.h"
#include "app/commands.h"
#include "app/eventspage.h"
#include "app/mainwindow.h"
#include "app/pilotspage.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/settingwidgets.h"
#include "events/pilotregistry.h"
#include "events/stagegroups.h"
#include "race/raceengine.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace lapvane {

namespace {

template <typename T>
T *child(MainWindow &w, const char *name)
{
    T *found = w.findChild<T *>(QLatin1String(name));
    Q_ASSERT_X(found, "wireAnnouncer", name);
    return found;
}

void onClick(MainWindow &w, const char *button, const std::function<void()> &run)
{
    QObject::connect(child<QPushButton>(w, button), &QPushButton::clicked, &w, run);
}

void wireRaceSounds(MainWindow &w, ProgramContext &ctx, ProgramServices &services, CueSounds &cues)
{
    static const struct
    {
        Cue cue;
        const char *choose;
        const char *play;
    } kButtons[] = {
        {Cue::StartCountdown, "bt5", "bt6"},  {Cue::StartSignal, "Button17", "Button23"},
        {Cue::LapPass, "bt7", "bt8"},         {Cue::FinishFirst, "Button2", "Button3"},
        {Cue::FinishOther, "bt9", "bt10"},    {Cue::FinishAll, "Button6", "Button7"},
        {Cue::RegisterCheck, "Button4", "Button5"},
    };
    for (const auto &b : kButtons) {
        const Cue cue = b.cue;
        onClick(w, b.choose, [&w, &ctx, &cues, &services, cue] {
            const QString current = ctx.settings.text(CueSounds::pathControl(cue));
            const QString file = chooseOpenFile(
                &w, QStringLiteral("Sound file"), current.isEmpty() ? ctx.folder : QFileInfo(current).absolutePath(),
                QStringLiteral("WAV files (*.wav);;MP3 files (*.mp3);;All files (*.*)"));
            if (file.isEmpty())
                return;
            cues.choose(cue, file);
        });
        // "Try" of the other finishers goes straight to the file, as the play command does.
        if (cue == Cue::FinishOther)
            onClick(w, b.play, [&ctx, &cues] { cues.playPath(ctx.settings.text(QStringLiteral("edfinishpath"))); });
        else
            onClick(w, b.play, [&cues, cue] { cues.tryCue(cue); });
    }

    // A chosen file is read on the cue loader; one that does not play is said when known.
    QObject::connect(&cues, &CueSounds::chooseFailed, &w, [&services](Cue, const QString &file, const QString &error) {
        services.prompt.notice(QStringLiteral("%1 cannot be played: %2").arg(file, error));
    });

    // The countdown measurement: "Start" waits, the program working on, until "Stop".
    QPushButton *start = child<QPushButton>(w, "Button8");
    QObject::connect(start, &QPushButton::clicked, &w, [&w, &ctx, &services, &cues, start] {
        start->setEnabled(false);
        // Closing the window ends the wait too, or the program could not quit.
        const qint64 ms = cues.measureCountdown(ctx.STOPFLAG, services.clock, [&w] { return !w.isVisible(); });
        start->setEnabled(true);
        if (w.isVisible())
            ctx.settings.set(QStringLiteral("edstartdelay"), QString::number(ms));
    });
    onClick(w, "Button9", [&ctx] { ctx.STOPFLAG.raise(); });

    onClick(w, "btdefaultsounds", [&ctx, &services, &cues] {
        QString error;
        if (!useDefaultSounds(ctx.folder, cues, &error))
            services.prompt.notice(error);
        else
            ctx.log.savelog(QStringLiteral("Default sounds written to %1; \"Save settings\" keeps them.")
                                .arg(QDir(ctx.folder).filePath(QStringLiteral("sounds"))));
    });
}

void wireVoice(MainWindow &w, ProgramContext &ctx, ProgramServices &services, Announcer &announcer)
{
    onClick(w, "Button13", [&announcer] { announcer.Button13Click(); });
    onClick(w, "btvoicesrefresh", [&announcer] { announcer.btvoicesrefreshClick(); });
    QWidget *voices = child<QWidget>(w, "cbVoices");
    QObject::connect(&announcer, &Announcer::voicesChanged, voices,
                     [&ctx, voices](const QStringList &names) { setSettingChoices(ctx.settings, voices, names); });

    // A message box opened while another one shows the same is left out:
    // the invitation repeats "Voice not started" at every phrase.
    QObject::connect(&announcer, &Announcer::noticeRequested, &w, [&services, showing = false](const QString &text) mutable {
        if (showing)
            return;
        showing = true;
        services.prompt.notice(text);
        showing = false;
    });
    QObject::connect(&announcer, &Announcer::voiceSettingsRequested, &w, [&w] {
        w.showSettingsPage();
        child<QTabWidget>(w, "pcdevices")->setCurrentWidget(child<QWidget>(w, "tsvoice"));
        child<QWidget>(w, "chksoundnames")->setFocus();
    });
}

void wireRacePage(MainWindow &w, ProgramServices &services, Announcer &announcer)
{
    QPushButton *invite = child<QPushButton>(w, "btvoiceinvite");
    QPushButton *stop = child<QPushButton>(w, "btvoiceinvitestop");
    for (QPushButton *b : {invite, stop}) {
        b->setEnabled(true);
        b->setToolTip(QString());
    }
    QObject::connect(invite, &QPushButton::clicked, &announcer, &Announcer::btvoiceinviteClick);
    QObject::connect(stop, &QPushButton::clicked, &announcer, &Announcer::btvoiceinvitestopClick);
    QObject::connect(&announcer, &Announcer::inviteEnabledChanged, invite, &QPushButton::setEnabled);
    QLabel *time = child<QLabel>(w, "lbltime");
    QObject::connect(&announcer, &Announcer::countdownChanged, time,
                     [time](int seconds) { time->setText(QString::number(seconds)); });
    w.eventsPage()->groups().hooks().voiceInvite = [&announcer] { announcer.btvoiceinviteClick(); };

    RaceEngine &race = *services.race;
    QObject::connect(&race, &RaceEngine::voiceInviteStopRequested, &announcer,
                     &Announcer::stopInvitationForRaceStart);
    // Each counted lap wakes the lap announcer.
    QObject::connect(&race, &RaceEngine::pilotLapsChanged, &announcer, &Announcer::lapWritten);

    // The race calls: what each lap and finish meant, the race's own end, and
    // the race clock for the time left.
    QObject::connect(&race, &RaceEngine::lapCounted, &announcer, &Announcer::lapCounted);
    QObject::connect(&race, &RaceEngine::raceCompleted, &announcer, &Announcer::raceCompleted);
    auto *clock = new QTimer(&announcer);
    clock->setInterval(50);
    // The time left counts down to the limit the race runs by: the stage's
    // in a race format, the Race page's in the default one.
    QObject::connect(clock, &QTimer::timeout, &announcer, [&race, &announcer] {
        announcer.raceClock(race.raceClock().elapsedMs(), race.limitsShown().options.timeLimitMs);
    });
    QObject::connect(&race, &RaceEngine::runningChanged, clock, [clock, &announcer](bool running) {
        if (running) {
            announcer.raceStarted();
            clock->start();
        } else {
            clock->stop();
        }
    });
}

void wirePilotsPage(MainWindow &w, CommandList &commands, Announcer &announcer)
{
    PilotsPage *page = w.pilotsPage();
    auto playName = [page, &announcer] {
        if (const auto pilot = page->pilots().currentPilot())
            announcer.pilotplaynameExecute(pilot->name);
    };
    QAction *play = commands.action(QStringLiteral("pilotplayname"));
    play->setEnabled(true);
    play->setToolTip(QString());
    QObject::connect(play, &QAction::triggered, page, playName);
    QLabel *sound = child<QLabel>(w, "lbhassound");
    sound->setToolTip(QString());
    QObject::connect(sound, &QLabel::linkActivated, page, playName);
}

} // namespace

void wireAnnouncer(MainWindow &window, ProgramContext &ctx, ProgramServices &services, CueSounds &cues,
                   Announcer &announcer)
{
    wireRaceSounds(window, ctx, services, cues);
    wireVoice(window, ctx, services, announcer);
    announcer.setFinishCueCheck([&cues] { return cues.finishCuePlaying(); });
    wireRacePage(window, services, announcer);
    wirePilotsPage(window, window.commands(), announcer);

    window.startupHooks().openSoundPlayers = [&cues] { cues.openPlayers(); };
    window.startupHooks().checkSoundNames = [&announcer] { announcer.startupCheck(); };
    window.shutdownHooks().stopVoiceInvite = [&announcer] { return announcer.shutdown(); };
}

} // namespace lapvane
