// The "Settings" page frame.
#include "app/settingspage.h"

#include "app/filedialogs.h"
#include "app/commands.h"
#include "app/livewiring.h"
#include "app/mqttwiring.h"
#include "app/programcontext.h"
#include "app/settingwidgets.h"
#include "app/widgets.h"
#include "publish/includedtemplates.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lapvane {

namespace {

// A page of settings rows, with room for buttons below.
struct FormPage
{
    QWidget *page;
    QFormLayout *form;
};

FormPage formPage(const QString &name, QWidget *parent)
{
    auto *page = new QWidget(parent);
    page->setObjectName(name);
    auto *form = new QFormLayout(page);
    return {page, form};
}

void addRows(Settings &settings, QFormLayout *form, std::initializer_list<const char *> controls)
{
    for (const char *c : controls)
        addSettingRow(settings, form, QLatin1String(c));
}

QHBoxLayout *buttonRow(std::initializer_list<QWidget *> buttons)
{
    auto *row = new QHBoxLayout;
    for (QWidget *b : buttons)
        row->addWidget(b);
    row->addStretch();
    return row;
}

} // namespace

SettingsPage::SettingsPage(ProgramContext &ctx, CommandList &commands, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tssettings"));
    Settings &s = ctx.settings;

    // Receivers.
    auto *devices = new QTabWidget(this);
    devices->setObjectName(QStringLiteral("pcdevices"));
    {
        FormPage p = formPage(QStringLiteral("tslapvane"), devices);
        p.form->addRow(portLamp(QStringLiteral("shplapvane"), QStringLiteral("Lapvane status"), Qt::green, p.page));
        addRows(s, p.form, {"comselect", "combaud", "chraceuseinttimer"});
        p.page->findChild<QWidget *>(QStringLiteral("chraceuseinttimer"))->setEnabled(false);
        p.form->addRow(buttonRow({commandButton(QStringLiteral("btcomconnect"), commands.action(QStringLiteral("comconnect")), p.page),
                                          commandButton(QStringLiteral("btcomdisconnect"), commands.action(QStringLiteral("comdisconnect")), p.page),
                                          namedButton(QStringLiteral("btvercheck"), QStringLiteral("Version"), p.page),
                                          namedButton(QStringLiteral("btcntcheck"), QStringLiteral("Race counter"), p.page)}));
        p.form->addRow(QStringLiteral("Status:"), namedLabel(QStringLiteral("lblcomLapvanestat"), QStringLiteral("..."), p.page));
        devices->addTab(p.page, QStringLiteral("Lapvane"));
    }
    {
        FormPage p = formPage(QStringLiteral("tstimemachine"), devices);
        p.form->addRow(portLamp(QStringLiteral("shpvstime"), QStringLiteral("VS TimeMachine status"), Qt::yellow, p.page));
        addRows(s, p.form, {"com2select", "com2baud"});
        p.form->addRow(buttonRow({namedButton(QStringLiteral("btcom2connect"), QStringLiteral("Connect"), p.page),
                                          namedButton(QStringLiteral("btcom2disconnect"), QStringLiteral("Disconnect"), p.page)}));
        addRows(s, p.form, {"chvstimeWifi", "edvstimeUDPport", "edvstimeLocalPort", "edvstimeBroadcast"});
        addRows(s, p.form, {"chvstimeshowping"});
        p.form->addRow(QStringLiteral("Status:"), namedLabel(QStringLiteral("lblcomVStimestat"), QStringLiteral("..."), p.page));
        devices->addTab(p.page, QStringLiteral("TimeMachine"));
    }
    {
        FormPage p = formPage(QStringLiteral("tschorus"), devices);
        p.form->addRow(portLamp(QStringLiteral("shpchorus"), QStringLiteral("Chorus RF status"), Qt::blue, p.page));
        addRows(s, p.form, {"com3select", "ComComboBox2"});
        p.form->addRow(buttonRow({namedButton(QStringLiteral("btcom3connect"), QStringLiteral("Connect"), p.page),
                                          namedButton(QStringLiteral("btcom3disconnect"), QStringLiteral("Disconnect"), p.page)}));
        addRows(s, p.form, {"chChorusRSSI", "chChorusPing"});
        auto *modules = new QComboBox(p.page);
        modules->setObjectName(QStringLiteral("cbchorusmodule"));
        p.form->addRow(QStringLiteral("Modules:"), modules);
        auto *tune = new QHBoxLayout;
        tune->addWidget(createSettingControl(s, QStringLiteral("cbvtxch"), p.page));
        tune->addWidget(namedButton(QStringLiteral("btchorussetch"), QStringLiteral("Set"), p.page));
        tune->addStretch();
        p.form->addRow(QStringLiteral("Channel:"), tune);
        p.form->addRow(QStringLiteral("Status:"), namedLabel(QStringLiteral("lbcomChorusstat"), QStringLiteral("..."), p.page));
        devices->addTab(p.page, QStringLiteral("Chorus RF"));
    }
    {
        // Each cue's file with its "..." and "Try"; the announcer wiring connects them.
        FormPage p = formPage(QStringLiteral("tsracesounds"), devices);
        addRows(s, p.form, {"chksounds"});
        auto cueRow = [&](const char *edit, const char *choose, const char *play) {
            auto *row = new QHBoxLayout;
            QWidget *path = createSettingControl(s, QLatin1String(edit), p.page);
            // Paths change through "..." only; the start signal may also be typed.
            if (qstrcmp(edit, "edstartsound") != 0)
                static_cast<QLineEdit *>(path)->setReadOnly(true);
            row->addWidget(path, 1);
            QPushButton *pick = namedButton(QLatin1String(choose), QStringLiteral("..."), p.page);
            pick->setFixedWidth(32);
            row->addWidget(pick);
            row->addWidget(namedButton(QLatin1String(play), QStringLiteral("Try"), p.page));
            p.form->addRow(Settings::definition(QLatin1String(edit))->caption, row);
        };
        cueRow("edstartwavepath", "bt5", "bt6");
        auto *delay = new QHBoxLayout;
        delay->addWidget(createSettingControl(s, QStringLiteral("edstartdelay"), p.page), 1);
        delay->addWidget(namedButton(QStringLiteral("Button8"), QStringLiteral("Start"), p.page));
        delay->addWidget(namedButton(QStringLiteral("Button9"), QStringLiteral("Stop"), p.page));
        p.form->addRow(Settings::definition(QStringLiteral("edstartdelay"))->caption, delay);
        addRows(s, p.form, {"edracerandomstart"});
        cueRow("edstartsound", "Button17", "Button23");
        cueRow("edlappasspath", "bt7", "bt8");
        cueRow("edfin1path", "Button2", "Button3");
        cueRow("edfinishpath", "bt9", "bt10");
        cueRow("edfinallpath", "Button6", "Button7");
        cueRow("edregcheckpath", "Button4", "Button5");
        QPushButton *defaults = namedButton(QStringLiteral("btdefaultsounds"), QStringLiteral("Use default sounds"), p.page);
        defaults->setToolTip(QStringLiteral("Write the program's own cue sounds into the \"sounds\" folder and use them"));
        p.form->addRow(buttonRow({defaults}));
        devices->addTab(p.page, QStringLiteral("Race Sounds"));
    }
    {
        FormPage p = formPage(QStringLiteral("tsvoice"), devices);
        addRows(s, p.form, {"chksoundnames", "cbVoices", "trvoicerate", "edvoiceinvite1", "chvoicecountdown",
                            "edvoicecountdownsec", "edseconds", "edprepare2start", "eddostarta", "Edit1"});
        p.form->addRow(buttonRow({namedButton(QStringLiteral("Button13"), QStringLiteral("say"), p.page),
                                          namedButton(QStringLiteral("btvoicesrefresh"), QStringLiteral("Refresh"), p.page)}));
        // The race calls, in the language of pages and overlay.
        auto *lapCall = new QHBoxLayout;
        for (const char *c : {"chkcallname", "chkcalllap", "chkcalllaptime"})
            lapCall->addWidget(createSettingControl(s, QLatin1String(c), p.page));
        lapCall->addStretch();
        p.form->addRow(QStringLiteral("Each lap says:"), lapCall);
        addRows(s, p.form, {"chkcallfinish", "chkcalltimeleft"});
        auto *stale = new QHBoxLayout;
        stale->addWidget(createSettingControl(s, QStringLiteral("chkcallstale"), p.page));
        QWidget *staleSeconds = createSettingControl(s, QStringLiteral("edcallstalesec"), p.page);
        staleSeconds->setMaximumWidth(60);
        stale->addWidget(staleSeconds);
        stale->addStretch();
        p.form->addRow(stale);
        devices->addTab(p.page, QStringLiteral("Voice Settings"));
    }
    auto *system = new QGroupBox(QStringLiteral("System:"), this);
    (new QVBoxLayout(system))->addWidget(devices);

    // The race and the export of its results.
    auto *race = new QGroupBox(QStringLiteral("Race:"), this);
    auto *raceForm = new QFormLayout(race);
    addRows(s, raceForm, {"edantidoubleread", "cbwinplaces", "chkconfirmAdd"});
    addSettingRow(s, raceForm, QStringLiteral("cbvtxchannels"))
        ->setToolTip(QStringLiteral("Channels given to a pilot whose channel another pilot of his heat has, "
                                    "in this order; separate them by blanks"));
    auto *update = new QHBoxLayout;
    update->addWidget(new QLabel(QStringLiteral("Export updates:"), race));
    for (const char *c : {"chkupdlaps", "chkupdwins", "chupdbestlap", "chupdtotaltime"})
        update->addWidget(createSettingControl(s, QLatin1String(c), race));
    update->addStretch();
    raceForm->addRow(update);

    // Publishing.
    auto *exportTabs = new QTabWidget(this);
    exportTabs->setObjectName(QStringLiteral("pcexport"));
    {
        FormPage p = formPage(QStringLiteral("tsweb"), exportTabs);
        const struct
        {
            const char *edit, *button, *hint;
        } templates[] = {{"edPilotView", "Select", "see at channelX.htm"},
                         {"edtopresultspage", "Button10", "see at top.htm"},
                         {"edOneRaceview", "Button18", "see at onerace.htm"},
                         {"edoneraceresults", "Button19", "see at oneraceresults.htm"}};
        for (const auto &t : templates) {
            auto *row = new QHBoxLayout;
            row->addWidget(createSettingControl(s, QLatin1String(t.edit), p.page), 1);
            QPushButton *pick = namedButton(QLatin1String(t.button), QStringLiteral("..."), p.page);
            // Picks the template file into the edit beside it.
            connect(pick, &QPushButton::clicked, this, [this, &s, edit = QString::fromLatin1(t.edit)] {
                const QString file = chooseOpenFile(
                    this, QStringLiteral("Page template"), QFileInfo(s.text(edit)).absolutePath(),
                    QStringLiteral("HTML/TEXT files (*.htm *.html *.txt);;All files (*)"));
                if (!file.isEmpty())
                    s.set(edit, file);
            });
            row->addWidget(pick);
            row->addWidget(new QLabel(QLatin1String(t.hint), p.page));
            p.form->addRow(Settings::definition(QLatin1String(t.edit))->caption, row);
        }
        // The starter set shipped with the program, copied into "templates".
        QPushButton *included = namedButton(QStringLiteral("btincludedtemplates"),
                                            QStringLiteral("Use the included templates"), p.page);
        connect(included, &QPushButton::clicked, this, [&ctx] {
            QString error;
            QStringList kept;
            if (!useIncludedTemplates(ctx.folder, ctx.settings, &error, &kept)) {
                ctx.log.savelog(error);
                return;
            }
            ctx.log.savelog(QStringLiteral("The included page templates are chosen, in %1%2; \"Save settings\" "
                                           "keeps the choice.")
                                .arg(QDir::toNativeSeparators(QDir(ctx.folder).filePath(QStringLiteral("templates"))),
                                     kept.isEmpty() ? QString()
                                                    : QStringLiteral(" (kept as found there: %1)")
                                                          .arg(kept.join(QStringLiteral(", ")))));
        });
        p.form->addRow(buttonRow({included}));
        addRows(s, p.form, {"chsavehtmls", "edtopcount"});
        auto *columns = new QGridLayout;
        int i = 0;
        for (const char *c : {"chtopname", "chtopteam", "chtopgroup", "chtopbestlap", "chtoptotaltime",
                              "chtopqualtime", "chtoplaps", "chtopwins"}) {
            columns->addWidget(createSettingControl(s, QLatin1String(c), p.page), i / 4, i % 4);
            ++i;
        }
        p.form->addRow(columns);
        auto *sort = new QHBoxLayout;
        sort->addWidget(createSettingControl(s, QStringLiteral("cbresfields"), p.page), 1);
        sort->addWidget(createSettingControl(s, QStringLiteral("cbresfieldssort"), p.page));
        p.form->addRow(Settings::definition(QStringLiteral("cbresfields"))->caption, sort);
        p.form->addRow(createWebServerBlock(s, p.page));
        exportTabs->addTab(p.page, QStringLiteral("Web pages"));
    }
    {
        FormPage p = formPage(QStringLiteral("tstelegram"), exportTabs);
        addRows(s, p.form, {"bottoken", "cbtelechatid", "chktelegareceive"});
        p.form->addRow(QStringLiteral("Bot:"), namedLabel(QStringLiteral("lbbotname"), QStringLiteral("n/a"), p.page));
        p.form->addRow(buttonRow({namedButton(QStringLiteral("Button1"), QStringLiteral("Set"), p.page)}));
        // The free text and the bot dialogue log.
        auto *freeText = new QPlainTextEdit(QStringLiteral("Welcome!"), p.page);
        freeText->setObjectName(QStringLiteral("edtelegasend"));
        freeText->setMinimumHeight(90);
        p.form->addRow(QStringLiteral("Text:"), freeText);
        p.form->addRow(buttonRow({namedButton(QStringLiteral("bt11"), QStringLiteral("Send"), p.page),
                                  namedButton(QStringLiteral("bttelegawelcome"), QStringLiteral("Welcome text"), p.page)}));
        auto *dialogue = new QPlainTextEdit(p.page);
        dialogue->setObjectName(QStringLiteral("mmo1"));
        dialogue->setReadOnly(true);
        dialogue->setMinimumHeight(90);
        p.form->addRow(QStringLiteral("Bot:"), dialogue);
        exportTabs->addTab(p.page, QStringLiteral("Telegram"));
    }
    {
        FormPage p = formPage(QStringLiteral("tsaerolist"), exportTabs);
        addRows(s, p.form, {"edaerolisturl", "edaerolistsalt"});
        exportTabs->addTab(p.page, QStringLiteral("Aerolist"));
    }
    exportTabs->addTab(createMqttTab(s, exportTabs), QStringLiteral("MQTT"));
    auto *exportBox = new QGroupBox(QStringLiteral("Results Export:"), this);
    (new QVBoxLayout(exportBox))->addWidget(exportTabs);

    // The program's own options.
    auto *own = new QGroupBox(QStringLiteral("LapvaneAdmin settings:"), this);
    auto *ownLayout = new QHBoxLayout(own);
    ownLayout->addWidget(createSettingControl(s, QStringLiteral("chshowdebug"), own));
    ownLayout->addWidget(createSettingControl(s, QStringLiteral("chsavelogfile"), own));
    QPushButton *show = namedButton(QStringLiteral("Button20"), QStringLiteral("Show"), own);
    ownLayout->addWidget(show);
    ownLayout->addStretch();
    connect(show, &QPushButton::clicked, this, &SettingsPage::showLogRequested);

    auto *saveRow = new QHBoxLayout;
    saveRow->addWidget(commandButton(QStringLiteral("btsave"), commands.action(QStringLiteral("settsave")), this));
    saveRow->addWidget(commandButton(QStringLiteral("btrestore"), commands.action(QStringLiteral("settrestore")), this));
    saveRow->addStretch();

    auto *content = new QWidget(this);
    auto *columns = new QHBoxLayout(content);
    auto *leftColumn = new QVBoxLayout;
    leftColumn->addWidget(system, 1);
    leftColumn->addWidget(race);
    auto *rightColumn = new QVBoxLayout;
    rightColumn->addWidget(exportBox, 1);
    rightColumn->addWidget(own);
    rightColumn->addLayout(saveRow);
    columns->addLayout(leftColumn, 1);
    columns->addLayout(rightColumn, 1);

    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);
}

} // namespace lapvane
