// The Telegram commands in the window. Every command returns at once; the
// button it came from stays busy until Telegram has answered.
#include "app/telegramwiring.h"

#include "app/filedialogs.h"
#include "app/commands.h"
#include "app/mainwindow.h"
#include "app/programcontext.h"
#include "app/sendingwindow.h"
#include "online/telegramservice.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QUrl>

namespace lapvane {

namespace {

template <typename T>
T *child(MainWindow &w, const char *name)
{
    T *found = w.findChild<T *>(QLatin1String(name));
    Q_ASSERT_X(found, "wireTelegram", name);
    return found;
}

const char *buttonOf(TelegramService::Command c)
{
    switch (c) {
    case TelegramService::Command::Groups: return "btntelegaSendGroups";
    case TelegramService::Command::Results: return "btnTelegaSendResults";
    case TelegramService::Command::FreeText: return "bt11";
    case TelegramService::Command::Photo: return "Button14";
    }
    return "";
}

// A message box that does not hold up the window.
void showProblem(MainWindow &w, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, w.windowTitle(), text, QMessageBox::Ok, &w);
    box->setObjectName(QStringLiteral("telegramproblem"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void Button16Click(MainWindow &w, TelegramService &tg)
{
    const QString path = chooseSaveFile(&w, QStringLiteral("Export Groups to TXT"), QString(),
                                        QStringLiteral("TXT Files (*.txt);;All files (*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!tg.saveGroupsText(path, &error)) {
        showProblem(w, error);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// Button14Click: the signal chart as a picture in the program folder, then posted.
void Button14Click(MainWindow &w, TelegramService &tg, const QString &folder)
{
    QWidget *chart = w.findChild<QWidget *>(QStringLiteral("Chart1"));
    const QString path = QDir(folder).filePath(
        QStringLiteral("chart%1.jpg").arg(QRandomGenerator::global()->bounded(1000)));
    if (!chart || !chart->grab().save(path, "JPG")) {
        showProblem(w, QStringLiteral("The chart picture %1 could not be written.").arg(path));
        return;
    }
    tg.sendChart(path);
}

} // namespace

void wireTelegram(MainWindow &w, TelegramService &tg, ProgramContext &ctx)
{
    auto onClick = [&w](const char *button, const std::function<void()> &run) {
        QObject::connect(child<QPushButton>(w, button), &QPushButton::clicked, &w, run);
    };
    auto *freeText = child<QPlainTextEdit>(w, "edtelegasend");
    auto *botName = child<QLabel>(w, "lbbotname");
    auto *dialogueLog = child<QPlainTextEdit>(w, "mmo1");

    onClick("Button1", [&tg] { tg.Button1Click(); });
    onClick("bt11", [&tg, freeText] { tg.bt11Click(freeText->toPlainText()); });
    onClick("bttelegawelcome", [&tg, freeText] {
        freeText->setPlainText(tg.welcomeText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")).chopped(1));
    });
    onClick("btntelegaSendGroups", [&tg] { tg.btntelegaSendGroupsClick(); });
    onClick("btnTelegaSendResults", [&tg] { tg.btnTelegaSendResultsClick(); });
    onClick("Button16", [&w, &tg] { Button16Click(w, tg); });
    QObject::connect(w.commands().action(QStringLiteral("racetelegramSend")), &QAction::triggered, &w,
                     [&tg] { tg.racetelegramSendExecute(); });

    auto *chartButton = child<QPushButton>(w, "Button14");
    if (w.findChild<QWidget *>(QStringLiteral("Chart1"))) {
        QObject::connect(chartButton, &QPushButton::clicked, &w, [&w, &tg, folder = ctx.folder] {
            Button14Click(w, tg, folder);
        });
    } else {
        chartButton->setEnabled(false);
        chartButton->setToolTip(QStringLiteral("There is no signal chart without the receivers."));
    }

    QObject::connect(&tg, &TelegramService::botNameChanged, botName, &QLabel::setText);
    QObject::connect(&tg, &TelegramService::dialogueLine, dialogueLog, &QPlainTextEdit::appendPlainText);
    QObject::connect(&tg, &TelegramService::problem, &w, [&w](const QString &text) { showProblem(w, text); });

    // A command shows it is working on its button; the race goes on meanwhile.
    QObject::connect(&tg, &TelegramService::commandStarted, &w, [&w](TelegramService::Command c) {
        auto *b = child<QPushButton>(w, buttonOf(c));
        b->setEnabled(false);
        b->setCursor(Qt::BusyCursor);
    });
    QObject::connect(&tg, &TelegramService::commandFinished, &w, [&w](TelegramService::Command c, bool) {
        auto *b = child<QPushButton>(w, buttonOf(c));
        b->setEnabled(true);
        b->unsetCursor();
    });

    // Created once, hidden until a race result is on its way.
    auto *sending = new Tfrmsendtelega(&w);
    QObject::connect(&tg, &TelegramService::postsInFlightChanged, sending, &Tfrmsendtelega::showPosts);
}

} // namespace lapvane
