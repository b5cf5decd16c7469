// The settings file: defaults, round trip of every key, hand-edited and
// malformed files, and the reactions of switches during the load.
#include "core/inifile.h"
#include "core/settings.h"
#include "tests/common/testfiles.h"

#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace lapvane;
using lapvane::test::readFile;
using lapvane::test::writeFile;

namespace {

// A value different from the default, of the setting's type.
QVariant otherValue(const SettingDef &d)
{
    switch (d.type) {
    case SettingType::Boolean:
        return !d.def.toBool();
    case SettingType::Integer:
        return d.choices.size() > 1 ? 1 : (d.widget == SettingControl::Slider ? -7 : 3);
    case SettingType::Text:
        return QString::fromUtf8("  Имя=%1; C:\\Sounds\\x.wav, ok").arg(d.key);
    }
    return {};
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void firstStartWithoutFile()
    {
        QTemporaryDir dir;
        IniFile ini(dir.filePath("lapvaneadmin.ini"));
        Settings s;
        s.load(ini);
        s.loadVoiceIndex(ini);
        const WindowPlacement p = Settings::loadPlacement(ini);
        QCOMPARE(p.width, 100);
        QCOMPARE(p.height, 100);
        QCOMPARE(p.x, 10);
        QCOMPARE(p.y, 10);
        QCOMPARE(s.text("edtlaps"), QStringLiteral("5"));
        QCOMPARE(s.text("edttimelimit"), QStringLiteral("0"));
        QCOMPARE(s.text("edstartdelay"), QStringLiteral("5000"));
        QCOMPARE(s.text("edantidoubleread"), QStringLiteral("1000"));
        QCOMPARE(s.text("edtopcount"), QStringLiteral("5"));
        for (const char *t : {"edPilotView", "edtopresultspage", "edOneRaceview", "edoneraceresults"})
            QCOMPARE(s.text(t), QStringLiteral("n/a"));
        QVERIFY(s.flag("chdupgroup"));
        QVERIFY(s.flag("chdupvtx"));
        for (const char *t : {"chkdupplace", "chkdupwins", "chkduplaps", "chkdupbestlap", "chkduptotaltime",
                              "chkdupqualtime"})
            QVERIFY2(!s.flag(t), t);
        QCOMPARE(s.text("edvoiceinvite1"), QString::fromUtf8("На старт приглашается группа "));
        QCOMPARE(s.text("edseconds"), QString::fromUtf8(" секунд"));
        QCOMPARE(s.text("edprepare2start"), QString::fromUtf8("Время окончено. Приготовьтесь к старту."));
        QCOMPARE(s.text("edvoicecountdownsec"), QStringLiteral("60"));
        QCOMPARE(s.text("cbvtxchannels"), QStringLiteral("R1 R2 R3 R4 R5 R6 R7 R8"));
        // Values that are not stored start the same on every run.
        QVERIFY(s.flag("chsavelogfile"));
        QVERIFY(!s.flag("chshowdebug"));
        QCOMPARE(s.text("eddostarta"), QString::fromUtf8("До старта"));
        QCOMPARE(s.text("edvstimeUDPport"), QStringLiteral("8889"));
        QCOMPARE(s.text("combaud"), QStringLiteral("115200"));
        QCOMPARE(s.text("cbb1"), QStringLiteral("name"));
        // Reading creates no file.
        QVERIFY(!QFile::exists(dir.filePath("lapvaneadmin.ini")));
    }

    void roundTripOfEveryKey()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        QHash<QString, QVariant> expected;
        {
            IniFile ini(path);
            Settings s;
            for (const SettingDef &d : Settings::definitions()) {
                if (d.section.isEmpty() || d.control == "chkbest2qual")
                    continue; // the two "to qual" switches exclude each other: see below
                s.set(d.control, otherValue(d));
                expected.insert(d.control, s.value(d.control));
            }
            QString error;
            QVERIFY2(s.save(ini, &error), qPrintable(error));
            // Placement is written only at shutdown.
            QVERIFY(!readFile(path).contains("[Size]"));
            QVERIFY(Settings::savePlacement(ini, {800, 650, 120, 45}));
        }
        IniFile ini(path);
        Settings s;
        s.load(ini);
        s.loadVoiceIndex(ini);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(s.value(it.key()) == it.value(), qPrintable(it.key() + " = " + s.text(it.key())));
        const WindowPlacement p = Settings::loadPlacement(ini);
        QCOMPARE(p.width, 800);
        QCOMPARE(p.height, 650);
        QCOMPARE(p.x, 120);
        QCOMPARE(p.y, 45);
        // Booleans as 1/0, integers as decimal text, the file in UTF-8.
        const QByteArray file = readFile(path);
        QVERIFY(file.contains("SoundEnabled=1\r\n"));
        QVERIFY(file.contains("UpdLaps=0\r\n"));
        QVERIFY(file.contains("WinPlaces=1\r\n"));
        QVERIFY(file.contains(QString::fromUtf8("playSecondsTxt=  Имя=playSecondsTxt;").toUtf8()));
    }

    void bothToQualSwitchesOnLoadsOnlyTotal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        writeFile(path, "[SETTINGS]\nUpdBest2Qual=1\nUpdTotal2Qual=1\n");
        Settings s;
        s.load(IniFile(path));
        QVERIFY(!s.flag("chkbest2qual"));
        QVERIFY(s.flag("chktotal2qual"));
    }

    void loadReactsOnlyToSwitchesThatChange()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        // wwwSavehtmls turns on (off before the load); wwwName stays on.
        writeFile(path, "[WWWSERVER]\nwwwSavehtmls=1\nwwwName=1\n");
        Settings s;
        QSignalSpy spy(&s, &Settings::changed);
        s.load(IniFile(path));
        QStringList changed;
        for (const auto &args : spy)
            changed << args.at(0).toString();
        QVERIFY(changed.contains("chsavehtmls"));
        QVERIFY(!changed.contains("chtopname"));
        // chksoundnames is on before the load and its default is off: it changes.
        QVERIFY(changed.contains("chksoundnames"));
        QVERIFY(changed.indexOf("chsavehtmls") < changed.indexOf("chksoundnames"));
    }

    void handEditedAndMalformedFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        const QByteArray content = "\xEF\xBB\xBF; written by hand\r\n"
                                   "[race]\r\n"
                                   "LAPSLIMIT=7\r\n"
                                   "this line is garbage\r\n"
                                   "=no key\r\n"
                                   "[Unknown]\r\n"
                                   "Foo=bar\r\n"
                                   "[settings]\r\n"
                                   "winplaces=abc\r\n"
                                   "SoundEnabled=2\r\n"
                                   "AntiDoubleRead= 1500\r\n"
                                   "[Size]\r\n"
                                   "Width=12x\r\n"
                                   "Height=700\r\n"
                                   "[PLAYNAMES]\r\n"
                                   "playVoicerate=99\r\n"
                                   "[broken\r\n"
                                   "playCountdownSec=30\r\n";
        writeFile(path, content);
        IniFile ini(path);
        Settings s;
        s.load(ini);
        QCOMPARE(s.text("edtlaps"), QStringLiteral("7"));              // keys without regard to case
        QCOMPARE(s.integer("cbwinplaces"), 0);                         // not an integer: default
        QVERIFY(s.flag("chksounds"));                                  // any non-zero is true
        QCOMPARE(s.text("edantidoubleread"), QStringLiteral(" 1500")); // leading blank kept
        QCOMPARE(s.integer("trvoicerate"), 10);                        // slider range
        QCOMPARE(s.text("edvoicecountdownsec"), QStringLiteral("30")); // malformed section line ignored
        const WindowPlacement p = Settings::loadPlacement(ini);
        QCOMPARE(p.width, 100);
        QCOMPARE(p.height, 700);

        // Saving keeps the hand-written lines, the unknown section and the order.
        QString error;
        QVERIFY2(s.save(ini, &error), qPrintable(error));
        const QByteArray after = readFile(path);
        QVERIFY(after.startsWith("; written by hand\r\n[race]\r\nLAPSLIMIT=7\r\nthis line is garbage\r\n"));
        QVERIFY(after.contains("[Unknown]\r\nFoo=bar\r\n"));
        QVERIFY(after.contains("AntiDoubleRead= 1500\r\n"));
        QCOMPARE(after.count("LapsLimit="), 0); // the existing spelling is updated in place
        QCOMPARE(after.count("[SETTINGS]") + after.count("[settings]"), 1);
    }

    // Integers are a sign and digits; blanks around them are the ini
    // convention, anything else inside makes the value unreadable.
    void strictIntegers_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("winPlaces");
        QTest::addColumn<bool>("sounds");
        QTest::newRow("plain") << QByteArray("3") << 3 << true;
        QTest::newRow("blanks around") << QByteArray(" 3\t") << 3 << true;
        QTest::newRow("sign") << QByteArray("+3") << 3 << true;
        QTest::newRow("NUL inside") << QByteArray("1\0x9", 4) << 0 << false;
        QTest::newRow("escaped NUL text") << QByteArray("1\\0x9") << 0 << false;
        QTest::newRow("trailing letter") << QByteArray("1x") << 0 << false;
        QTest::newRow("fraction") << QByteArray("3.0") << 0 << false;
        QTest::newRow("hex") << QByteArray("0x3") << 0 << false;
        QTest::newRow("blank inside") << QByteArray("1 2") << 0 << false;
        QTest::newRow("other script digit") << QByteArray("\xd9\xa3") << 0 << false;
        QTest::newRow("beyond 32 bits") << QByteArray("4294967297") << 0 << false;
        QTest::newRow("empty") << QByteArray("") << 0 << false;
    }
    void strictIntegers()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, winPlaces);
        QFETCH(bool, sounds);
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        writeFile(path, "[SETTINGS]\r\nWinPlaces=" + value + "\r\nSoundEnabled=" + value + "\r\n");
        IniFile ini(path);
        Settings s;
        s.load(ini);
        QCOMPARE(s.integer("cbwinplaces"), winPlaces);
        QCOMPARE(s.flag("chksounds"), sounds); // default off
    }

    // A pasted token with a line break is saved on one line; the keys after
    // it stay readable.
    void valueWithLineBreak()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        {
            IniFile ini(path);
            Settings s;
            s.set("bottoken", QStringLiteral("123:ab\r\ncd\n"));
            s.set("cbtelechatid", QStringLiteral("@chat\u2028"));
            s.set("edaerolistsalt", QStringLiteral("salt"));
            s.set("chktelegareceive", false);
            QString error;
            QVERIFY2(s.save(ini, &error), qPrintable(error));
        }
        const QByteArray file = readFile(path);
        QVERIFY(file.contains("TelegaToken=123:abcd\r\n"));
        IniFile again(path);
        Settings s;
        s.load(again);
        QCOMPARE(s.text("bottoken"), QStringLiteral("123:abcd"));
        QCOMPARE(s.text("cbtelechatid"), QStringLiteral("@chat"));
        QCOMPARE(s.text("edaerolistsalt"), QStringLiteral("salt"));
        // Every line of the file is a section, a key or empty.
        for (const QByteArray &line : file.split('\n')) {
            const QByteArray t = line.trimmed();
            QVERIFY2(t.isEmpty() || t.startsWith('[') || t.contains('='), line.constData());
        }
    }

    // A line in the Cyrillic Windows code page (older tools) is read as such,
    // reported once, and saved back as the same text in UTF-8.
    void cyrillicCodePageLine()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        const QString invite = QString::fromUtf8("На старт приглашается группа ");
        QStringEncoder cp1251("windows-1251");
        QVERIFY(cp1251.isValid());
        const QByteArray legacy = cp1251.encode(invite);
        writeFile(path, "[PLAYNAMES]\r\nplayVoiceinvite=" + legacy +
                            "\r\nplaySecondsTxt=" + QString::fromUtf8(" сек").toUtf8() + "\r\n" +
                            cp1251.encode(QString::fromUtf8("; заметка оператора")) + "\r\n");
        IniFile ini(path);
        QVERIFY(ini.conversionNote().contains("2 line(s)"));
        Settings s;
        s.load(ini);
        QCOMPARE(s.text("edvoiceinvite1"), invite);
        QCOMPARE(s.text("edseconds"), QString::fromUtf8(" сек"));
        QString error;
        QVERIFY2(s.save(ini, &error), qPrintable(error));
        const QByteArray after = readFile(path);
        QVERIFY(after.contains("playVoiceinvite=" + invite.toUtf8() + "\r\n"));
        QVERIFY(after.contains(QString::fromUtf8("; заметка оператора\r\n").toUtf8()));
        QVERIFY(!after.contains("\xEF\xBF\xBD")); // no U+FFFD anywhere
        QVERIFY(IniFile(path).conversionNote().isEmpty());
    }

    // The file holds the bot token and the MQTT password: written, it is
    // readable by its owner only, whether it was new or had a wider mode.
    // The process's mask is cleared meanwhile, so a file made with the
    // default mode would be readable by all.
    void savedReadableByItsOwnerOnly_data()
    {
        QTest::addColumn<int>("modeBefore"); // -1: no file yet
        QTest::newRow("new file") << -1;
        QTest::newRow("readable by all") << 0644;
        QTest::newRow("writable by all") << 0666;
        QTest::newRow("group") << 0640;
        QTest::newRow("owner only") << 0600;
    }

    void savedReadableByItsOwnerOnly()
    {
        QFETCH(int, modeBefore);
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        if (modeBefore >= 0) {
            writeFile(path, "[TELEGRAM]\r\nBotToken=old\r\n");
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(modeBefore)), 0);
        }
        const mode_t mask = ::umask(0);
        IniFile ini(path);
        const bool saved = ini.writeString("TELEGRAM", "BotToken", "123:secret");
        ::umask(mask);
        QVERIFY2(saved, qPrintable(ini.errorString()));
        struct stat st
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(QString::number(st.st_mode & 07777, 8), QStringLiteral("600"));
        QVERIFY(ini.permissionNote().isEmpty());
        QCOMPARE(IniFile(path).readString("TELEGRAM", "BotToken", {}), QStringLiteral("123:secret"));
        // No temporary copy left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"lapvaneadmin.ini"});
    }

    void failedSaveStopsAtTheKey()
    {
        QTemporaryDir dir;
        // A folder where the file should be: every write fails.
        const QString path = dir.filePath("lapvaneadmin.ini");
        QVERIFY(QDir().mkpath(path));
        IniFile ini(path);
        Settings s;
        QString error;
        QVERIFY(!s.save(ini, &error));
        QVERIFY2(error.contains("LapsLimit"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
