// The operator's settings: definitions, load, save and change notification.
#include "core/settings.h"

#include "core/inifile.h"

namespace lapvane {

namespace {

using T = SettingType;
using C = SettingControl;

SettingDef text(const char *control, const char *section, const char *key, const QString &def,
                const char *caption = "")
{
    return {QLatin1String(control), QLatin1String(section), QLatin1String(key), T::Text, C::Edit,
            def, QString::fromUtf8(caption), {}};
}

SettingDef check(const char *control, const char *section, const char *key, bool def,
                 const char *caption = "")
{
    return {QLatin1String(control), QLatin1String(section), QLatin1String(key), T::Boolean, C::Check,
            def, QString::fromUtf8(caption), {}};
}

SettingDef indexCombo(const char *control, const char *section, const char *key, int def,
                      const QStringList &choices, const char *caption = "")
{
    return {QLatin1String(control), QLatin1String(section), QLatin1String(key), T::Integer,
            C::IndexCombo, def, QString::fromUtf8(caption), choices};
}

SettingDef textCombo(const char *control, const char *section, const char *key, const QString &def,
                     const QStringList &choices, const char *caption = "")
{
    return {QLatin1String(control), QLatin1String(section), QLatin1String(key), T::Text,
            C::TextCombo, def, QString::fromUtf8(caption), choices};
}

std::vector<SettingDef> buildDefinitions()
{
    const QStringList baudRates = {QStringLiteral("9600"), QStringLiteral("19200"),
                                   QStringLiteral("38400"), QStringLiteral("57600"),
                                   QStringLiteral("115200")};
    QStringList winPlaces;
    for (int i = 0; i <= 8; ++i)
        winPlaces << QString::number(i);

    std::vector<SettingDef> d = {
        // RACE
        text("edtlaps", "RACE", "LapsLimit", QStringLiteral("5"), "Laps (0-unlimited):"),
        text("edttimelimit", "RACE", "TimeLimit", QStringLiteral("0"), "Time, min (0-unlimited):"),
        check("chautoexport", "RACE", "ExportAuto", false, "auto export results"),
        check("chautotelegram", "RACE", "ExportTelega", false, "auto Telegram"),
        // SETTINGS
        textCombo("comselect", "SETTINGS", "Com", QString(), {}, "Port:"),
        textCombo("com2select", "SETTINGS", "Com2", QString(), {}, "Port:"),
        text("edracerandomstart", "SETTINGS", "WavStartRandom", QStringLiteral("0"),
             "Random pause before start (s):"),
        text("edstartsound", "SETTINGS", "WavStartSound", QString(), "Start sound:"),
        check("chksounds", "SETTINGS", "SoundEnabled", false, "Enable sounds"),
        text("edstartwavepath", "SETTINGS", "WavStart", QString(), "Start countdown:"),
        text("edstartdelay", "SETTINGS", "WavStartDelay", QStringLiteral("5000"),
             "Delay while countdown plays:"),
        text("edlappasspath", "SETTINGS", "WavLapPass", QString(), "Lap pass:"),
        text("edfinishpath", "SETTINGS", "WavFinish", QString(), "Pilot finished other:"),
        text("edfin1path", "SETTINGS", "WavFinishFirst", QString(), "Pilot finished 1st:"),
        text("edfinallpath", "SETTINGS", "WavFinishAll", QString(), "All finished:"),
        text("edregcheckpath", "SETTINGS", "WavRegCheck", QString(), "Register check:"),
        check("chkconfirmAdd", "SETTINGS", "ConfirmPilots", true, "Confirm when add pilots"),
        check("chkupdlaps", "SETTINGS", "UpdLaps", true, "Laps"),
        check("chkupdwins", "SETTINGS", "UpdWins", true, "Wins"),
        check("chupdbestlap", "SETTINGS", "UpdBestLap", true, "Best lap"),
        check("chupdtotaltime", "SETTINGS", "UpdTotalTime", false, "Total time"),
        check("chkbest2qual", "SETTINGS", "UpdBest2Qual", false),
        check("chktotal2qual", "SETTINGS", "UpdTotal2Qual", false),
        indexCombo("cbwinplaces", "SETTINGS", "WinPlaces", 0, winPlaces, "Win places:"),
        text("edantidoubleread", "SETTINGS", "AntiDoubleRead", QStringLiteral("1000"),
             "Ignore transponder for this period after last read, ms"),
        check("chktelegareceive", "SETTINGS", "TelegaReceive", false, "Receive Telegram messages"),
        textCombo("cbtelechatid", "SETTINGS", "TelegaChatID", QString(), {QStringLiteral("@lapvane")},
                  "Chat:"),
        text("bottoken", "SETTINGS", "TelegaToken", QString(), "Bot token:"),
        // WWWSERVER
        text("edPilotView", "WWWSERVER", "wwwPilotView", QStringLiteral("n/a"), "Pilot view:"),
        text("edtopresultspage", "WWWSERVER", "wwwGeneralTop", QStringLiteral("n/a"), "Top results:"),
        text("edOneRaceview", "WWWSERVER", "wwwOneRaceView", QStringLiteral("n/a"), "One race pilots:"),
        text("edoneraceresults", "WWWSERVER", "wwwOneRaceResults", QStringLiteral("n/a"),
             "One race results:"),
        check("chsavehtmls", "WWWSERVER", "wwwSavehtmls", false, "Save local HTMLs (/htmls folder)"),
        text("edtopcount", "WWWSERVER", "wwwTopCount", QStringLiteral("5"), "Show Top:"),
        check("chtopname", "WWWSERVER", "wwwName", true, "Name"),
        check("chtopteam", "WWWSERVER", "wwwTeam", true, "Team"),
        check("chtopgroup", "WWWSERVER", "wwwGroup", true, "Group"),
        check("chtopbestlap", "WWWSERVER", "wwwBestlap", true, "BestLap"),
        check("chtoptotaltime", "WWWSERVER", "wwwTotaltime", true, "TotalTime"),
        check("chtopqualtime", "WWWSERVER", "wwwQualtime", true, "Qual time"),
        check("chtoplaps", "WWWSERVER", "wwwLaps", true, "Laps"),
        check("chtopwins", "WWWSERVER", "wwwWins", true, "Wins"),
        // The field list is filled at start-up from the results table.
        indexCombo("cbresfields", "WWWSERVER", "wwwResultsSort", 0, {}, "Sort by:"),
        indexCombo("cbresfieldssort", "WWWSERVER", "wwwResultsSortOrder", 0,
                   {QStringLiteral("ASC"), QStringLiteral("DESC")}),
        // The built-in web server; the switch comes last, so a file that turns
        // it on starts it with its own port and network choice.
        {QStringLiteral("edwwwserverport"), QStringLiteral("WWWSERVER"), QStringLiteral("wwwServerPort"),
         T::Integer, C::Edit, 8080, QStringLiteral("Port:"), {}},
        check("chwwwserverlan", "WWWSERVER", "wwwServerLan", false, "Allow other devices on the network"),
        check("chwwwserver", "WWWSERVER", "wwwServer", false, "Built-in web server (live pages, overlay, JSON)"),
        // The words of the overlay and the board: "en" or "ru".
        textCombo("cbpageslanguage", "WWWSERVER", "PagesLanguage", QStringLiteral("en"),
                  {QStringLiteral("en"), QStringLiteral("ru")}, "Language of pages and overlay"),
        // EVENTS
        check("chdupgroup", "EVENTS", "dupGroup", true, "Group"),
        check("chdupvtx", "EVENTS", "dupVTX", true, "VTX"),
        check("chkdupplace", "EVENTS", "dupPlace", false, "Place"),
        check("chkdupwins", "EVENTS", "dupWins", false, "Wins"),
        check("chkduplaps", "EVENTS", "dupLaps", false, "Laps"),
        check("chkdupbestlap", "EVENTS", "dupBestLap", false, "Best lap"),
        check("chkduptotaltime", "EVENTS", "dupTotalTime", false, "Total time"),
        check("chkdupqualtime", "EVENTS", "dupQualTime", false, "Qual time"),
        // The video channels a heat's pilots are given when two of them have
        // the same channel: labels separated by blanks, in order of preference.
        textCombo("cbvtxchannels", "EVENTS", "VtxChannels", QStringLiteral("R1 R2 R3 R4 R5 R6 R7 R8"),
                  {QStringLiteral("R1 R2 R3 R4 R5 R6 R7 R8"), QStringLiteral("R1 R2 F2 F4 R7 R8")},
                  "VTX channel set:"),
        // PLAYNAMES
        text("edvoiceinvite1", "PLAYNAMES", "playVoiceinvite",
             QString::fromUtf8("На старт приглашается группа "), "Invitation:"),
        check("chvoicecountdown", "PLAYNAMES", "playCountdown", false, "Countdown"),
        text("edvoicecountdownsec", "PLAYNAMES", "playCountdownSec", QStringLiteral("60"),
             "Countdown, s:"),
        text("edseconds", "PLAYNAMES", "playSecondsTxt", QString::fromUtf8(" секунд"), "Seconds word:"),
        text("edprepare2start", "PLAYNAMES", "playPrepare2start",
             QString::fromUtf8("Время окончено. Приготовьтесь к старту."), "When time is over:"),
        check("chksoundnames", "PLAYNAMES", "playSoundnamesChk", false, "Play names and laps"),
        {QStringLiteral("trvoicerate"), QStringLiteral("PLAYNAMES"), QStringLiteral("playVoicerate"),
         T::Integer, C::Slider, 0, QStringLiteral("Rate:"), {}},
        // The voice list is filled by the voice check at start-up.
        indexCombo("cbVoices", "PLAYNAMES", "playVoiceIndex", 0, {}, "Voice:"),
        // Aerolist
        text("edaerolistsalt", "Aerolist", "Aerolistsalt", QString(), "Salt:"),
        // The registry service's base address, with its scheme.
        text("edaerolisturl", "Aerolist", "AerolistUrl", QString(), "Address:"),
        // MQTT: the race published to a message broker.
        check("chmqttenabled", "MQTT", "MqttEnabled", false, "Publish to an MQTT broker"),
        text("edmqtturl", "MQTT", "MqttUrl", QStringLiteral("mqtt://127.0.0.1:1883"), "Broker address:"),
        text("edmqttclientid", "MQTT", "MqttClientId", QString(), "Client id:"),
        text("edmqttuser", "MQTT", "MqttUser", QString(), "User:"),
        text("edmqttpassword", "MQTT", "MqttPassword", QString(), "Password:"),
        text("edmqttprefix", "MQTT", "MqttPrefix", QStringLiteral("lapvane"), "Topic prefix:"),
        text("edmqttcafile", "MQTT", "MqttCaFile", QString(), "CA file:"),
        // PLAYNAMES: the race calls beyond the lap phrase, in the language of
        // the pages. What each lap says (name and lap number, as before),
        // then the calls an existing file has off.
        check("chkcallname", "PLAYNAMES", "callLapName", true, "Name"),
        check("chkcalllap", "PLAYNAMES", "callLapNumber", true, "Lap number"),
        check("chkcalllaptime", "PLAYNAMES", "callLapTime", false, "Lap time"),
        check("chkcallfinish", "PLAYNAMES", "callFinish", false, "Finish places and the winner"),
        check("chkcalltimeleft", "PLAYNAMES", "callTimeLeft", false, "Time left in timed races"),
        check("chkcallstale", "PLAYNAMES", "callDropStale", false, "Drop lap calls older than, s:"),
        text("edcallstalesec", "PLAYNAMES", "callStaleSec", QStringLiteral("5")),

        // Not kept in the settings file: these start at the same value on every run.
        check("chsavelogfile", "", "", true, "Save log file"),
        check("chshowdebug", "", "", false, "show DEBUG info in log"),
        check("chlockresults", "", "", false, "lock stage"),
        check("chkteamrace", "", "", false, "Team race"),
        check("chracecontinue", "", "", false, "continue"),
        check("chautoconfirm", "", "", false, "confirm"),
        check("chautoreg", "", "", false, "register"),
        check("chvoiceinvite", "", "", false, "Voice invite"),
        text("eddostarta", "", "", QString::fromUtf8("До старта")),
        text("Edit1", "", "", QStringLiteral("voice test")),
        textCombo("combaud", "", "", QStringLiteral("115200"), baudRates, "Baud:"),
        textCombo("com2baud", "", "", QStringLiteral("115200"), baudRates, "Baud:"),
        textCombo("ComComboBox2", "", "", QStringLiteral("115200"), baudRates, "Baud:"),
        textCombo("com3select", "", "", QString(), {}, "Port:"),
        check("chraceuseinttimer", "", "", true, "use internal timer"),
        check("chvstimeWifi", "", "", false, "use WiFi"),
        text("edvstimeUDPport", "", "", QStringLiteral("8889"), "Remote port:"),
        // Where the VS TimeMachine's WiFi socket listens and where it broadcasts.
        text("edvstimeLocalPort", "", "", QStringLiteral("8888"), "Local port:"),
        text("edvstimeBroadcast", "", "", QStringLiteral("255.255.255.255"), "Broadcast address:"),
        check("chvstimeshowping", "", "", false, "show ping in log"),
        check("chChorusRSSI", "", "", true, "Read RSSI"),
        check("chChorusPing", "", "", false, "ping"),
        textCombo("cbvtxch", "", "", QStringLiteral("5658"),
                  {QStringLiteral("5658"), QStringLiteral("5695"), QStringLiteral("5732"),
                   QStringLiteral("5769"), QStringLiteral("5806"), QStringLiteral("5843"),
                   QStringLiteral("5880"), QStringLiteral("5917")}),
        textCombo("cbb1", "", "", QStringLiteral("name"),
                  {QStringLiteral("login"), QStringLiteral("name"), QStringLiteral("team"),
                   QStringLiteral("city"), QStringLiteral("country")}),
    };
    return d;
}

// Switches that are on before the settings are loaded; every other switch is
// off. Loading a value that differs from this start value runs the switch's
// reaction.
const QStringList &switchesOnBeforeLoad()
{
    static const QStringList on = {
        QStringLiteral("chkupdlaps"),    QStringLiteral("chkupdwins"),     QStringLiteral("chupdbestlap"),
        QStringLiteral("chupdtotaltime"), QStringLiteral("chkbest2qual"),  QStringLiteral("chkconfirmAdd"),
        QStringLiteral("chkdupqualtime"), QStringLiteral("chksoundnames"), QStringLiteral("chtopname"),
        QStringLiteral("chtopbestlap"),  QStringLiteral("chsavelogfile"), QStringLiteral("chraceuseinttimer"),
        QStringLiteral("chChorusRSSI"),  QStringLiteral("chkcallname"),   QStringLiteral("chkcalllap")};
    return on;
}

// The order in which the file's sections are read, and written by "Save settings".
const QStringList kLoadSections = {QStringLiteral("RACE"), QStringLiteral("SETTINGS"),
                                   QStringLiteral("WWWSERVER"), QStringLiteral("EVENTS"),
                                   QStringLiteral("PLAYNAMES"), QStringLiteral("Aerolist"), QStringLiteral("MQTT")};
const QStringList kSaveSections = {QStringLiteral("RACE"), QStringLiteral("SETTINGS"),
                                   QStringLiteral("EVENTS"), QStringLiteral("WWWSERVER"),
                                   QStringLiteral("PLAYNAMES"), QStringLiteral("Aerolist"), QStringLiteral("MQTT")};

} // namespace

const std::vector<SettingDef> &Settings::definitions()
{
    static const std::vector<SettingDef> defs = buildDefinitions();
    return defs;
}

const SettingDef *Settings::definition(const QString &control)
{
    for (const SettingDef &d : definitions()) {
        if (d.control == control)
            return &d;
    }
    return nullptr;
}

Settings::Settings(QObject *parent) : QObject(parent)
{
    for (const SettingDef &d : definitions()) {
        if (d.type == SettingType::Boolean)
            m_values.insert(d.control, switchesOnBeforeLoad().contains(d.control));
        else
            m_values.insert(d.control, d.def);
    }
}

QVariant Settings::value(const QString &control) const
{
    QReadLocker lock(&m_lock);
    return m_values.value(control);
}

QString Settings::text(const QString &control) const
{
    return value(control).toString();
}

bool Settings::flag(const QString &control) const
{
    return value(control).toBool();
}

int Settings::integer(const QString &control) const
{
    return value(control).toInt();
}

void Settings::set(const QString &control, const QVariant &value)
{
    const SettingDef *def = definition(control);
    if (!def)
        return;
    QVariant v = value;
    switch (def->type) {
    case SettingType::Boolean: v = value.toBool(); break;
    case SettingType::Integer: v = value.toInt(); break;
    case SettingType::Text: v = value.toString(); break;
    }
    {
        QWriteLocker lock(&m_lock);
        if (m_values.value(control) == v)
            return;
        m_values.insert(control, v);
    }
    emit changed(control, v);

    // The two ways of carrying a race into the qualification time exclude each other.
    if (v.toBool()) {
        if (control == QLatin1String("chkbest2qual"))
            set(QStringLiteral("chktotal2qual"), false);
        else if (control == QLatin1String("chktotal2qual"))
            set(QStringLiteral("chkbest2qual"), false);
    }
}

void Settings::loadOne(const IniFile &ini, const SettingDef &d)
{
    switch (d.type) {
    case SettingType::Text:
        set(d.control, ini.readString(d.section, d.key, d.def.toString()));
        break;
    case SettingType::Boolean:
        set(d.control, ini.readBool(d.section, d.key, d.def.toBool()));
        break;
    case SettingType::Integer: {
        int v = ini.readInteger(d.section, d.key, d.def.toInt());
        // An index outside a fixed list reads as the default.
        if (!d.choices.isEmpty() && (v < 0 || v >= d.choices.size()))
            v = d.def.toInt();
        if (d.widget == SettingControl::Slider)
            v = qBound(-10, v, 10);
        set(d.control, v);
        break;
    }
    }
}

void Settings::load(const IniFile &ini)
{
    for (const QString &section : kLoadSections) {
        for (const SettingDef &d : definitions()) {
            if (d.section == section && d.control != QLatin1String("cbVoices"))
                loadOne(ini, d);
        }
    }
    // The pages were in Russian before their language could be chosen: a
    // settings file from then keeps them so; a new installation has English.
    const SettingDef &language = *definition(QStringLiteral("cbpageslanguage"));
    if (!ini.contains(language.section, language.key)) {
        bool older = false;
        for (const SettingDef &d : definitions())
            older = older || (!d.section.isEmpty() && ini.contains(d.section, d.key));
        set(language.control, older ? QStringLiteral("ru") : QStringLiteral("en"));
    }
}

void Settings::loadVoiceIndex(const IniFile &ini)
{
    loadOne(ini, *definition(QStringLiteral("cbVoices")));
}

WindowPlacement Settings::loadPlacement(const IniFile &ini)
{
    WindowPlacement p;
    p.width = ini.readInteger(QStringLiteral("Size"), QStringLiteral("Width"), 100);
    p.height = ini.readInteger(QStringLiteral("Size"), QStringLiteral("Height"), 100);
    p.x = ini.readInteger(QStringLiteral("Position"), QStringLiteral("X"), 10);
    p.y = ini.readInteger(QStringLiteral("Position"), QStringLiteral("Y"), 10);
    return p;
}

bool Settings::savePlacement(IniFile &ini, const WindowPlacement &p)
{
    return ini.writeInteger(QStringLiteral("Size"), QStringLiteral("Width"), p.width)
           && ini.writeInteger(QStringLiteral("Size"), QStringLiteral("Height"), p.height)
           && ini.writeInteger(QStringLiteral("Position"), QStringLiteral("X"), p.x)
           && ini.writeInteger(QStringLiteral("Position"), QStringLiteral("Y"), p.y);
}

bool Settings::save(IniFile &ini, QString *error)
{
    for (const QString &section : kSaveSections) {
        for (const SettingDef &d : definitions()) {
            if (d.section != section)
                continue;
            const QVariant v = value(d.control);
            bool ok = false;
            switch (d.type) {
            case SettingType::Text: ok = ini.writeString(d.section, d.key, v.toString()); break;
            case SettingType::Integer: ok = ini.writeInteger(d.section, d.key, v.toInt()); break;
            case SettingType::Boolean: ok = ini.writeBool(d.section, d.key, v.toBool()); break;
            }
            if (!ok) {
                if (error)
                    *error = QStringLiteral("Could not save the setting \"%1\" to %2: %3")
                                 .arg(d.key, ini.path(), ini.errorString());
                return false;
            }
        }
    }
    return true;
}

} // namespace lapvane
