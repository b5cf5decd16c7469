// The language of the live pages: English on a new installation, Russian
// kept for a settings file from before the choice existed, and the choice
// itself kept once made.
#include "core/inifile.h"
#include "core/settings.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace lapvane;

class TestPagesLanguage : public QObject
{
    Q_OBJECT
private slots:
    void chosenByTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("language");
        QTest::newRow("no file") << QByteArray() << "en";
        QTest::newRow("older file") << QByteArray("[WWWSERVER]\r\nwwwServerPort=8080\r\n") << "ru";
        QTest::newRow("older file, other section") << QByteArray("[RACE]\r\nExportAuto=1\r\n") << "ru";
        QTest::newRow("chosen en") << QByteArray("[WWWSERVER]\r\nwwwServerPort=8080\r\nPagesLanguage=en\r\n") << "en";
        QTest::newRow("chosen ru") << QByteArray("[WWWSERVER]\r\npageslanguage=ru\r\n") << "ru";
    }

    void chosenByTheSettingsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, language);
        QTemporaryDir dir;
        const QString path = dir.filePath("lapvaneadmin.ini");
        if (!file.isNull()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(file);
        }
        Settings settings;
        {
            IniFile ini(path);
            settings.load(ini);
        }
        QCOMPARE(settings.text("cbpageslanguage"), language);

        // Saved, it stays whatever was chosen.
        settings.set("cbpageslanguage", language == "en" ? "ru" : "en");
        IniFile ini(path);
        QString error;
        QVERIFY2(settings.save(ini, &error), qPrintable(error));
        Settings again;
        again.load(IniFile(path));
        QCOMPARE(again.text("cbpageslanguage"), language == "en" ? QStringLiteral("ru") : QStringLiteral("en"));
    }
};

QTEST_GUILESS_MAIN(TestPagesLanguage)
#include "tst_pageslanguage.moc"
