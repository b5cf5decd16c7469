// receiversim: plays one timing receiver on a pseudo-terminal (and the VS
// TimeMachine also on UDP loopback) for trying the program without hardware.
#include "tools/receiversim/ptylink.h"
#include "tools/receiversim/receiversim.h"
#include "tools/receiversim/simdriver.h"
#include "tools/receiversim/udplink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace lapvane::sim;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("receiversim"));
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Plays a timing receiver for Lapvane Admin.\n\n%1").arg(SimDriver::commandHelp()));
    p.addHelpOption();
    p.addPositionalArgument(QStringLiteral("device"), QStringLiteral("lapvane, vs or chorus"));
    const QCommandLineOption udp(QStringLiteral("udp"), QStringLiteral("VS TimeMachine: also listen on UDP 127.0.0.1:<port> (the program's 'Remote port', 8889)."), QStringLiteral("port"));
    const QCommandLineOption hostPort(QStringLiteral("host-port"), QStringLiteral("VS TimeMachine: the program's local UDP port (default 8888)."), QStringLiteral("port"), QStringLiteral("8888"));
    const QCommandLineOption noPty(QStringLiteral("no-pty"), QStringLiteral("VS TimeMachine: UDP only, no serial line."));
    const QCommandLineOption script(QStringLiteral("script"), QStringLiteral("Run the commands of this file, then read stdin."), QStringLiteral("file"));
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Fly a race for these comma-separated transponders (Chorus RF: modules) at every race start; Lapvane gate: 'listed' flies the transponders the program confirmed."), QStringLiteral("ids"));
    const QCommandLineOption laps(QStringLiteral("laps"), QStringLiteral("Demo: laps per race (default 5)."), QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption lapMs(QStringLiteral("lap-ms"), QStringLiteral("Demo: typical lap in ms (default 20000)."), QStringLiteral("ms"), QStringLiteral("20000"));
    const QCommandLineOption modules(QStringLiteral("modules"), QStringLiteral("Chorus RF: number of modules, 1 to 9 (default 4)."), QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption pingMs(QStringLiteral("ping-ms"), QStringLiteral("VS TimeMachine: ping interval, 0 = none (default 1000)."), QStringLiteral("ms"), QStringLiteral("1000"));
    p.addOptions({udp, hostPort, noPty, script, demo, laps, lapMs, modules, pingMs});
    p.process(app);

    const QString device = p.positionalArguments().value(0);
    std::unique_ptr<ReceiverSim> sim;
    if (device == QLatin1String("lapvane")) {
        sim = std::make_unique<GateSim>();
    } else if (device == QLatin1String("vs")) {
        auto vs = std::make_unique<VsSim>();
        vs->setPingIntervalMs(p.value(pingMs).toInt());
        sim = std::move(vs);
    } else if (device == QLatin1String("chorus")) {
        sim = std::make_unique<ChorusSim>(p.value(modules).toInt());
    } else {
        fprintf(stderr, "Say which receiver to play: lapvane, vs or chorus (see --help).\n");
        return 2;
    }

    QTextStream out(stdout);
    auto say = [&out](const QString &text) {
        out << text << Qt::endl;
    };

    PtyLink pty;
    UdpLink link;
    const bool wantPty = !(device == QLatin1String("vs") && p.isSet(noPty));
    QString error;
    if (wantPty) {
        if (!pty.open(&error)) {
            fprintf(stderr, "Cannot make a pseudo-terminal: %s\n", qPrintable(error));
            return 1;
        }
        QObject::connect(&pty, &PtyLink::received, sim.get(), &ReceiverSim::fromHost);
    }
    const bool wantUdp = device == QLatin1String("vs") && (p.isSet(udp) || p.isSet(noPty));
    if (wantUdp) {
        const quint16 port = quint16(p.value(udp).isEmpty() ? 8889 : p.value(udp).toUInt());
        if (!link.open(port, quint16(p.value(hostPort).toUInt()), &error)) {
            fprintf(stderr, "Cannot listen on UDP 127.0.0.1:%u: %s\n", port, qPrintable(error));
            return 1;
        }
        // Datagrams are whole messages; a line end is added for the parser.
        QObject::connect(&link, &UdpLink::received, sim.get(), [&sim](const QByteArray &d) {
            sim->fromHost(d.endsWith('\n') ? d : d + '\n');
        });
    }
    sim->setSink([&](const QByteArray &bytes) {
        if (wantPty)
            pty.write(bytes);
        if (wantUdp)
            link.write(bytes);
    });

    SimDriver driver(*sim, wantPty ? &pty : nullptr);
    QObject::connect(&driver, &SimDriver::message, &app, say);
    QObject::connect(sim.get(), &ReceiverSim::note, &app, say);
    QObject::connect(&driver, &SimDriver::quitRequested, &app, &QCoreApplication::quit);

    say(sim->name() + QStringLiteral(" simulator"));
    if (wantPty)
        say(QStringLiteral("serial port: ") + pty.slavePath());
    if (wantUdp)
        say(QStringLiteral("UDP: listening on 127.0.0.1:%1, answering 127.0.0.1:%2").arg(link.port()).arg(p.value(hostPort)));

    if (p.isSet(demo) && p.value(demo) == QLatin1String("listed") && device == QLatin1String("lapvane")) {
        driver.startDemoOfListed(p.value(laps).toInt(), p.value(lapMs).toInt());
        say(QStringLiteral("demo: flies the confirmed transponders at every race start"));
    } else if (p.isSet(demo)) {
        QList<qint32> who;
        for (const QString &s : p.value(demo).split(QLatin1Char(','), Qt::SkipEmptyParts))
            who << s.trimmed().toInt();
        driver.startDemo(who, p.value(laps).toInt(), p.value(lapMs).toInt());
        say(QStringLiteral("demo: flies %1 at every race start").arg(p.value(demo)));
    }
    if (p.isSet(script)) {
        QFile f(p.value(script));
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            fprintf(stderr, "Cannot read %s\n", qPrintable(p.value(script)));
            return 1;
        }
        driver.enqueue(QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')));
    }

    // Typed commands.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false); // end of input: keep running (demo, script)
            return;
        }
        typed.append(buf, int(n));
        qsizetype end;
        while ((end = typed.indexOf('\n')) >= 0) {
            driver.enqueue({QString::fromUtf8(typed.left(end))});
            typed.remove(0, end + 1);
        }
    });
    say(QStringLiteral("ready; type commands (pass ID, wait MS, ping, raw TEXT, unplug, quit)"));
    return app.exec();
}
