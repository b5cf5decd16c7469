// The announcer in the window: the "Race Sounds" and "Voice Settings"
// sub-pages, "Voice invite" and "X" with the countdown in the race clock
// label, Start Race cutting an invitation short, and "Play name". Real
// espeak-ng speech; the sound output records what it is given.
#include "announce/announcer.h"
#include "announce/cuesounds.h"
#include "announce/espeakengine.h"
#include "announce/soundoutput.h"
#include "app/announcewiring.h"
#include "app/commands.h"
#include "app/mainwindow.h"
#include "app/pilotspage.h"
#include "app/programcontext.h"
#include "app/programservices.h"
#include "events/pilotregistry.h"
#include "race/raceengine.h"
#include "tests/common/fakereceivers.h"
#include "tests/common/logcapture.h"
#include "tests/common/scriptedprompt.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;
using namespace lapvane::test;

namespace {

// Records every clip; each ends by itself at the next turn of the event loop.
// The speaking threads play too: every access is locked.
class RecordingOutput : public SoundOutput
{
public:
    quint64 play(const PcmClip &clip) override
    {
        QMutexLocker lock(&m_lock);
        m_names << clip.name;
        const quint64 id = ++m_next;
        QMetaObject::invokeMethod(this, [this, id] { emit finished(id); }, Qt::QueuedConnection);
        return id;
    }
    void stop(quint64) override {}
    bool hasDevice() const override { return true; }
    QStringList names() const
    {
        QMutexLocker lock(&m_lock);
        return m_names;
    }
    void clear()
    {
        QMutexLocker lock(&m_lock);
        m_names.clear();
    }

private:
    mutable QMutex m_lock;
    QStringList m_names;
    quint64 m_next = 0;
};

// A speech engine of a machine whose speech data folder is empty.
class VoicelessSpeech : public SpeechEngine
{
public:
    QStringList voices() override { return {}; }
    bool setVoiceIndex(int) override { return false; }
    void setRate(int) override {}
    bool speak(const QString &) override { return false; }
    void stop() override {}
    bool isSpeaking() const override { return false; }
};

// The program as start-up builds it, with scripted receivers and operator,
// a hand-moved clock and the recording output.
struct AnnounceProgram
{
    explicit AnnounceProgram(const QString &folder, bool voices = true)
        : ctx(folder), lines(ctx.log), cues(ctx.settings, ctx.log, output)
    {
        if (voices)
            speechEngine = std::make_unique<EspeakEngine>(output);
        else
            speechEngine = std::make_unique<VoicelessSpeech>();
        if (!ctx.db.open(QDir(folder).filePath(kDatabaseFileName)))
            qFatal("%s", qPrintable(ctx.db.error()));
        services = std::make_unique<ProgramServices>(ctx, cues, clock, &receivers, &prompt);
        announcer = std::make_unique<Announcer>(ctx.settings, ctx.log, *speechEngine, services->race->ring(),
                                                ctx.db.filePath());
        window = std::make_unique<MainWindow>(ctx, *services);
        wireAnnouncer(*window, ctx, *services, cues, *announcer);
        window->FormCreate();
        window->show();
    }
    ~AnnounceProgram()
    {
        window.reset();
        announcer.reset();
        services.reset();
    }
    template <typename T = QWidget>
    T *find(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no %s", name);
        return w;
    }
    void click(const char *button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }

    ProgramContext ctx;
    LogCapture lines;
    FakeReceivers receivers;
    ScriptedPrompt prompt;
    ManualClock clock{1000000};
    RecordingOutput output;
    CueSounds cues;
    std::unique_ptr<SpeechEngine> speechEngine;
    std::unique_ptr<ProgramServices> services;
    std::unique_ptr<Announcer> announcer;
    std::unique_ptr<MainWindow> window;
};

} // namespace

class TestAnnouncePages : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<AnnounceProgram> m_p;

private slots:
    void init()
    {
        QFile::remove(m_dir.filePath("dbpilots.db"));
        QFile::remove(m_dir.filePath("lapvaneadmin.ini"));
        m_p = std::make_unique<AnnounceProgram>(m_dir.path());
    }
    void cleanup() { m_p.reset(); }

    void startUpChecks()
    {
        // No files yet, "Play names and laps" off in the (missing) settings file.
        const QStringList &l = m_p->lines.lines;
        QCOMPARE(l.mid(0, 2), QStringList({"can't kill name and laps thread", "==="}));
        // The cue files are read on the loader; its summary follows.
        QVERIFY(m_p->cues.waitForLoads());
        QCOMPARE(l.count("WAV player didn't open files, check manually!"), 1);
        QStringList checks = l.mid(l.indexOf("Checking sound names..."));
        checks.removeAll("WAV player didn't open files, check manually!");
        QCOMPARE(checks, QStringList({"Checking sound names...", "can't kill name and laps thread", "Checks finished."}));
        // The voice list is there for the operator to choose from, Russian first.
        auto *voices = m_p->find<QComboBox>("cbVoices");
        QVERIFY(voices->count() > 50);
        QCOMPARE(voices->itemText(0), QStringLiteral("Russian"));
        for (const char *b : {"btvoiceinvite", "btvoiceinvitestop"})
            QVERIFY(m_p->find(b)->isEnabled());
        QVERIFY(m_p->window->commands().action("pilotplayname")->isEnabled());
    }

    void raceSoundsPage()
    {
        m_p->click("btdefaultsounds");
        QVERIFY(m_p->cues.waitForLoads());
        QVERIFY(m_p->prompt.notices.isEmpty());
        const QString folder = QDir(m_dir.filePath("sounds")).absolutePath();
        QStringList files;
        for (const char *edit : {"edstartwavepath", "edstartsound", "edlappasspath", "edfin1path", "edfinishpath",
                                 "edfinallpath", "edregcheckpath"}) {
            const QString path = m_p->find<QLineEdit>(edit)->text();
            QCOMPARE(QFileInfo(path).absolutePath(), folder);
            files << path;
        }
        // "Try" plays with "Enable sounds" off.
        QVERIFY(!m_p->find<QCheckBox>("chksounds")->isChecked());
        for (const char *b : {"bt6", "Button23", "bt8", "Button3", "bt10", "Button7", "Button5"}) {
            m_p->click(b);
            QVERIFY(m_p->cues.waitForLoads());
        }
        QCOMPARE(m_p->output.names(), files);
        QVERIFY(m_p->find<QLineEdit>("edlappasspath")->isReadOnly());
        QVERIFY(!m_p->find<QLineEdit>("edstartsound")->isReadOnly());

        // Start, 3.2 s, Stop: the delay field takes the time between.
        QTimer::singleShot(0, [this] {
            m_p->clock.advance(3200);
            m_p->click("Button9");
        });
        m_p->click("Button8");
        QCOMPARE(m_p->find<QLineEdit>("edstartdelay")->text(), QStringLiteral("3200"));
        QCOMPARE(m_p->output.names().last(), files.first());
    }

    void voiceSettingsPage()
    {
        // "say" with the switch off points at it.
        m_p->find<QTabWidget>("PageControl1")->setCurrentIndex(0);
        m_p->click("Button13");
        QTRY_COMPARE(m_p->prompt.notices, QStringList{"Voice not started in settings!"});
        QCOMPARE(m_p->find<QTabWidget>("PageControl1")->currentIndex(), 3);
        QCOMPARE(m_p->find<QTabWidget>("pcdevices")->currentWidget(), m_p->find("tsvoice"));
        QVERIFY(m_p->output.names().isEmpty());

        m_p->find<QCheckBox>("chksoundnames")->setChecked(true);
        QCOMPARE(m_p->lines.lines.last(), QStringLiteral("Voice name/laps started"));
        m_p->click("Button13");
        QCOMPARE(m_p->output.names(), QStringList{"voice test"});
        m_p->find<QComboBox>("cbVoices")->setCurrentIndex(3);
        m_p->click("btvoicesrefresh");
        QCOMPARE(m_p->find<QComboBox>("cbVoices")->currentIndex(), 0);
        m_p->find<QCheckBox>("chksoundnames")->setChecked(false);
        QCOMPARE(m_p->lines.lines.last(), QStringLiteral("Voice name/laps stopped"));

        // The race calls are switched here, bound to their settings.
        QWidget *voice = m_p->find("tsvoice");
        for (const char *c : {"chkcallname", "chkcalllap", "chkcalllaptime", "chkcallfinish", "chkcalltimeleft",
                              "chkcallstale", "edcallstalesec"})
            QVERIFY2(voice->findChild<QWidget *>(c), c);
        QVERIFY(!m_p->find<QCheckBox>("chkcalllaptime")->isChecked());
        m_p->find<QCheckBox>("chkcalllaptime")->setChecked(true);
        QVERIFY(m_p->ctx.settings.flag("chkcalllaptime"));
        QCOMPARE(m_p->find<QLineEdit>("edcallstalesec")->text(), QStringLiteral("5"));
    }

    void switchOnWithNoVoiceInstalled()
    {
        // The speech data folder is empty: one box, the switch ends off, and
        // closing is quick.
        m_p = std::make_unique<AnnounceProgram>(m_dir.path(), false);
        m_p->lines.lines.clear();
        auto *box = m_p->find<QCheckBox>("chksoundnames");
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        QTest::qWait(50);
        QCOMPARE(m_p->prompt.notices, QStringList{"No voice installed"});
        QVERIFY(!box->isChecked());
        QVERIFY(!m_p->ctx.settings.flag("chksoundnames"));
        QCOMPARE(m_p->lines.lines.count("can't kill name and laps thread"), 1);
        QVERIFY(!m_p->announcer->isAnnouncing());
        QElapsedTimer t;
        t.start();
        m_p->window->close();
        m_p.reset();
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
    }

    void voiceInviteXAndStartRace()
    {
        QSqlQuery q(m_p->ctx.db.db());
        QVERIFY(q.exec("INSERT INTO onerace (pilotid, pilotname, pilottrans, \"group\", confirmed) "
                       "VALUES (1, 'A', 100, '3', 'Y'), (2, 'B', 200, '3', 'Y')"));
        m_p->find<QCheckBox>("chksoundnames")->setChecked(true);
        m_p->ctx.settings.set("chvoicecountdown", true);
        // Russian, as an existing settings file has it (a new one speaks as its pages, in English).
        m_p->ctx.settings.set("cbpageslanguage", "ru");
        auto *invite = m_p->find<QPushButton>("btvoiceinvite");
        auto *time = m_p->find<QLabel>("lbltime");
        const QString final = QString::fromUtf8("Время окончено. Приготовьтесь к старту.");

        m_p->click("btvoiceinvite");
        QVERIFY(!invite->isEnabled());
        QTRY_COMPARE(time->text(), QStringLiteral("60"));
        m_p->click("btvoiceinvitestop");
        QVERIFY(invite->isEnabled());
        QCOMPARE(m_p->lines.lines.count("VoiceInvite terminated manually"), 1);
        QTRY_COMPARE(m_p->output.names().value(m_p->output.names().size() - 1), final);
        QCOMPARE(m_p->output.names().first(), QString::fromUtf8("На старт приглашается группа  3. A, B. "));

        // Start Race cuts a running invitation short.
        m_p->output.clear();
        m_p->click("btvoiceinvite");
        QTRY_COMPARE(time->text(), QStringLiteral("60"));
        QVERIFY(m_p->services->race->racestartraceExecute());
        QCOMPARE(m_p->lines.lines.count("VoiceInvite terminated manually"), 2);
        QVERIFY(invite->isEnabled());
        QTRY_COMPARE(m_p->output.names().value(m_p->output.names().size() - 1), final);
        m_p->services->race->racestopraceExecute();
    }

    void playName()
    {
        QSqlQuery q(m_p->ctx.db.db());
        QVERIFY(q.exec(QString::fromUtf8("INSERT INTO pilots (name) VALUES ('Пётр')")));
        PilotsPage *page = m_p->window->pilotsPage();
        page->pilots().reread();
        page->pilots().setCurrentViewRow(0);
        QAction *play = m_p->window->commands().action("pilotplayname");
        // With the switch off nothing is said, and no message.
        play->trigger();
        QVERIFY(m_p->output.names().isEmpty());
        QVERIFY(m_p->prompt.notices.isEmpty());
        m_p->ctx.settings.set("chksoundnames", true);
        play->trigger();
        QCOMPARE(m_p->output.names(), QStringList{QString::fromUtf8("Пётр")});
    }
};

QTEST_MAIN(TestAnnouncePages)
#include "tst_announcepages.moc"
