// tarvo-sim: the analyser on a pseudo-terminal. Prints the device to open, then
// answers the link until stopped. Standard input takes operator actions:
// "discharge", "pacing on", "pacing off", "hold MS", "off", "on", "vanish", "quit".

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "Scenario.h"
#include "platform/EscapedText.h"
#include "TarvoSimulator.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}


void say(const QString& text)
{
    std::fprintf(stderr, "tarvo-sim: %s\n", qPrintable(text));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvo-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Tarvo defibrillator/pacer analyser on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("link"), QStringLiteral("Also publish the device as a symbolic link at <path>."), QStringLiteral("path")},
        {QStringLiteral("scenario"), QStringLiteral("Read settings and faults from <file> (one \"key value\" a line)."), QStringLiteral("file")},
        {QStringLiteral("fault"),
            QStringLiteral("Fault mode: no-reply[=WORDS], late=MS[:WORDS], over[=WORDS], banner[=MS[:WORDS]], version=TEXT, "
                           "garbled-version, chunks=N[:GAPMS], vanish-after=N, held=keep|drop|cancel|newest|queue (held "
                           "readings: kept through [Q] and [VER] and all answered at a discharge, ended by [Q] and [VER], ended "
                           "by any new command, only the newest kept, or one answered a discharge), order=asked|reverse (the "
                           "readings of one discharge answered oldest or newest first), burst[=MS] (each reply in one write, "
                           "once the line has been quiet MS ms), line-end=lf|cr|none[:WORDS] (answers ended with LF or CR alone, or not at all, not CR LF). "
                           "Repeatable."),
            QStringLiteral("mode")},
        {QStringLiteral("firmware"), QStringLiteral("Version line answered to [VER] (default 2.13)."), QStringLiteral("text")},
        {QStringLiteral("reading"), QStringLiteral("Reading for a command, e.g. CRG=4.8, or a waveform command's acknowledgement "
                                                   "(default OK); answers given as OK|1 go out in turn, the last from then on. "
                                                   "Repeatable."),
            QStringLiteral("word=text")},
        {QStringLiteral("discharge-after"),
            QStringLiteral("Held readings are answered <ms> after they are asked for; 0 at once, -1 only on \"discharge\" (default 2000)."),
            QStringLiteral("ms")},
        {QStringLiteral("pacing"), QStringLiteral("Whether the pacer paces (on/off, default on)."), QStringLiteral("on|off")},
        {QStringLiteral("quiet"), QStringLiteral("Do not log the traffic on standard error.")},
    });
    parser.process(app);

    kelto::sim::Scenario scenario;
    QString error;
    auto apply = [&](const QString& key, const QString& value) {
        if (!kelto::sim::applySetting(scenario, key, value, &error)) {
            say(error);
            std::exit(2);
        }
    };
    if (parser.isSet(QStringLiteral("scenario")) && !kelto::sim::loadScenarioFile(scenario, parser.value(QStringLiteral("scenario")), &error)) {
        say(error);
        return 2;
    }
    for (const QString& faultText : parser.values(QStringLiteral("fault")))
        apply(QStringLiteral("fault"), faultText);
    for (const QString& r : parser.values(QStringLiteral("reading")))
        apply(QStringLiteral("reading"), r);
    for (const char* key : {"firmware", "discharge-after", "pacing"}) {
        if (parser.isSet(QLatin1String(key)))
            apply(QLatin1String(key), parser.value(QLatin1String(key)));
    }

    kelto::sim::TarvoSimulator sim(scenario);
    if (!sim.open(&error)) {
        say(error);
        return 1;
    }
    if (parser.isSet(QStringLiteral("link")) && !sim.publishAs(parser.value(QStringLiteral("link")), &error)) {
        say(error);
        return 1;
    }
    std::printf("%s\n", qPrintable(sim.devicePath()));
    std::fflush(stdout);

    if (!parser.isSet(QStringLiteral("quiet"))) {
        QObject::connect(&sim, &kelto::sim::TarvoSimulator::commandReceived, [](const QString& word) { say(QStringLiteral("< [%1]").arg(word)); });
        QObject::connect(&sim, &kelto::sim::TarvoSimulator::replyQueued, [](const QByteArray& reply) { say(QStringLiteral("> %1").arg(kelto::escapeControls(QString::fromLatin1(reply)))); });
    }
    QObject::connect(&sim, &kelto::sim::TarvoSimulator::vanished, [] { say(QStringLiteral("device vanished")); });

    // Operator actions on standard input.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // no operator: keep running
            return;
        }
        pending.append(buffer, n);
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QStringList words = QString::fromLocal8Bit(pending.left(end)).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            pending.remove(0, end + 1);
            const QString action = words.value(0).toLower();
            if (action == QLatin1String("discharge")) {
                sim.discharge();
            } else if (action == QLatin1String("pacing")) {
                sim.setPacing(words.value(1).toLower() != QLatin1String("off"));
            } else if (action == QLatin1String("hold")) {
                sim.scenario().dischargeAfterMs = words.value(1).toInt();
            } else if (action == QLatin1String("off") || action == QLatin1String("on")) {
                sim.setPowered(action == QLatin1String("on"));
            } else if (action == QLatin1String("vanish")) {
                sim.vanish();
            } else if (action == QLatin1String("quit")) {
                app.quit();
            } else if (!action.isEmpty()) {
                say(QStringLiteral("unknown action \"%1\" (discharge, pacing on|off, hold MS, off, on, vanish, quit)").arg(action));
            }
        }
    });

    // Ctrl+C and termination end cleanly, so the published link is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] { app.quit(); });

    return app.exec();
}
