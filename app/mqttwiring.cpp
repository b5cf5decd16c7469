// The MQTT settings tab and the publisher's wiring.
#include "app/mqttwiring.h"

#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "app/settingwidgets.h"
#include "core/settings.h"
#include "events/eventsviews.h"
#include "publish/bracketpublish.h"
#include "publish/liveservice.h"
#include "publish/mqttpublisher.h"
#include "race/lapcorrections.h"
#include "race/raceengine.h"
#include "race/raceexport.h"
#include "race/racestage.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lapvane {

namespace {

// The password is typed, kept and never shown again: the field stays empty
// and says whether one is saved.
QWidget *passwordRow(Settings &settings, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *edit = new QLineEdit(row);
    edit->setObjectName(QLatin1String(MqttPublisher::kPassword));
    edit->setEchoMode(QLineEdit::Password);
    auto *forget = new QPushButton(QStringLiteral("Forget"), row);
    forget->setObjectName(QStringLiteral("btmqttforgetpassword"));
    layout->addWidget(edit, 1);
    layout->addWidget(forget);
    auto show = [edit, forget](bool saved) {
        edit->setPlaceholderText(saved ? QStringLiteral("saved; type to replace") : QStringLiteral("none"));
        forget->setEnabled(saved);
    };
    show(!settings.text(QLatin1String(MqttPublisher::kPassword)).isEmpty());
    QObject::connect(&settings, &Settings::changed, edit, [show](const QString &control, const QVariant &v) {
        if (control == QLatin1String(MqttPublisher::kPassword))
            show(!v.toString().isEmpty());
    });
    QObject::connect(edit, &QLineEdit::editingFinished, &settings, [&settings, edit] {
        if (edit->text().isEmpty())
            return;
        settings.set(QLatin1String(MqttPublisher::kPassword), edit->text());
        edit->clear();
    });
    QObject::connect(forget, &QPushButton::clicked, &settings,
                     [&settings] { settings.set(QLatin1String(MqttPublisher::kPassword), QString()); });
    return row;
}

} // namespace

QWidget *createMqttTab(Settings &settings, QWidget *parent)
{
    auto *page = new QWidget(parent);
    page->setObjectName(QStringLiteral("tsmqtt"));
    auto *form = new QFormLayout(page);
    auto *status = new QLabel(QStringLiteral("Off"), page);
    status->setObjectName(QStringLiteral("lbmqttstatus"));
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(createSettingControl(settings, QLatin1String(MqttPublisher::kEnabled), page));
    form->addRow(QStringLiteral("Status:"), status);
    addSettingRow(settings, form, QLatin1String(MqttPublisher::kUrl));
    addSettingRow(settings, form, QLatin1String(MqttPublisher::kClientId));
    addSettingRow(settings, form, QLatin1String(MqttPublisher::kUser));
    form->addRow(Settings::definition(QLatin1String(MqttPublisher::kPassword))->caption,
                 passwordRow(settings, page));
    addSettingRow(settings, form, QLatin1String(MqttPublisher::kPrefix));
    addSettingRow(settings, form, QLatin1String(MqttPublisher::kCaFile));
    auto *hint =
        new QLabel(QStringLiteral("mqtt://host:1883 or mqtts://host:8883. Topics: <b>prefix/status</b>, and "
                                  "under <b>prefix/event number/</b>: race, results (kept by the broker), "
                                  "lap, lap/deleted, lap/changed. Laps wait in the database while the "
                                  "broker cannot be reached."),
                   page);
    hint->setWordWrap(true);
    form->addRow(hint);
    return page;
}

MqttPublisher *wireMqtt(MainWindow &window, ProgramContext &ctx, ProgramServices &services, LiveService *live)
{
    auto *mqtt = new MqttPublisher(ctx.db.db(), ctx.settings, ctx.log, services.raceStage.get(),
                                   live ? &live->feed() : nullptr, &window);
    RaceEngine *race = services.race.get();
    QObject::connect(race, &RaceEngine::lapCounted, mqtt, &MqttPublisher::lapCounted);
    QObject::connect(race, &RaceEngine::runningChanged, mqtt, [mqtt](bool running) {
        if (running)
            mqtt->raceStarted();
    });
    QObject::connect(services.laps.get(), &LapCorrections::lapsCorrected, mqtt,
                     &MqttPublisher::lapsCorrected);
    if (auto *label = window.findChild<QLabel *>(QStringLiteral("lbmqttstatus"))) {
        label->setText(mqtt->statusText());
        QObject::connect(mqtt, &MqttPublisher::statusChanged, label, &QLabel::setText);
    }
    // The race's stage's bracket, read as the web server reads it.
    EventsViews *events = services.events.get();
    RaceStage *raceStage = services.raceStage.get();
    QSqlDatabase db = ctx.db.db();
    auto bracket = [mqtt, raceStage, db] {
        if (mqtt->isRunning())
            mqtt->publishBracket(readBracketJson(db, raceStage->currentStageId()));
    };
    QObject::connect(events, &EventsViews::currentChanged, mqtt, bracket);
    QObject::connect(raceStage, &RaceStage::changed, mqtt, bracket);
    QObject::connect(events, &EventsViews::resultsStagesChanged, mqtt, bracket);
    QObject::connect(services.raceExport.get(), &RaceExport::resultsChanged, mqtt, bracket);
    QObject::connect(mqtt, &MqttPublisher::statusChanged, mqtt, bracket);
    OperatorPrompt *prompt = &services.prompt;
    QObject::connect(mqtt, &MqttPublisher::failed, &window,
                     [prompt](const QString &message) { prompt->notice(message); });
    mqtt->apply();
    return mqtt;
}

} // namespace lapvane
