// tarvo-link-bench: what the link costs beyond the line itself, against tarvo-sim.
//  1. One "[CRG]" exchange with a reading ready: the time beyond the wire time and
//     the link's fixed 100 ms pause before a command (aim: under 5 ms).
//  2. The CPU time the process spends while a reading is held for 10 s (aim:
//     under 1% of a core).
// Usage: tarvo-link-bench [exchanges] [hold-ms]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

#include "host/BasicServices.h"
#include "host/HostClasses.h"
#include "host/SerialPortMap.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/Instrument.h"

namespace {

constexpr double kByteMs = 10.0 * 1000.0 / 2400.0;
constexpr double kSendPauseMs = 100.0;

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int holdMs = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 10000;

    QTemporaryDir registryDir;
    qputenv("KELTO_REGISTRY_FILE", registryDir.filePath(QStringLiteral("registry.ini")).toUtf8());
    kelto::host::registerHostClasses();

    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QStringLiteral(TARVO_SIM_EXE), {QStringLiteral("--quiet"), QStringLiteral("--discharge-after"), QStringLiteral("0")});
    if (!sim.waitForStarted(5000) || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "tarvo-sim did not start\n");
        return 1;
    }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    kelto::host::SerialPortMap::SetSessionPath(1, device);
    kelto::host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 1);

    auto link = kelto::ComponentRuntime::instance().createAs<kelto::ITarvoXVTi>(QLatin1String(kelto::linkclass::TarvoXVtiId));
    if (!link) {
        std::fprintf(stderr, "KeltoTarvoXVTI is not registered\n");
        return 1;
    }
    try {
        link->OpenChannel();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "OpenChannel failed: %s\n", e.what());
        return 1;
    }

    // The analyser acts on the "]" of "[CRG]" (5 bytes) and answers "5.3\r\n" (5 bytes).
    const double wireMs = (5 + 5) * kByteMs;
    std::vector<double> beyond;
    for (int i = 0; i < exchanges; ++i) {
        QElapsedTimer timer;
        timer.start();
        const kelto::Variant reply = link->SendCommand(QStringLiteral("[CRG]"));
        const double ms = timer.nsecsElapsed() / 1e6;
        if (reply.toString() != QLatin1String("5.3\r\n")) {
            std::fprintf(stderr, "unexpected reply\n");
            return 1;
        }
        beyond.push_back(ms - wireMs - kSendPauseMs);
    }
    std::sort(beyond.begin(), beyond.end());
    std::printf("[CRG] exchange, reading ready (%d runs): wire %.1f ms + pause %.0f ms, beyond: median %.2f ms, min %.2f ms, max %.2f ms\n",
        exchanges, wireMs, kSendPauseMs, beyond[beyond.size() / 2], beyond.front(), beyond.back());

    // The analyser now holds the reading until a discharge holdMs after the request.
    sim.write(QStringLiteral("hold %1\n").arg(holdMs).toLatin1());
    sim.waitForBytesWritten(1000);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuMs();
    link->SendCommand(QStringLiteral("[CRG]"));
    const double cpu = cpuMs() - cpuBefore;
    const double elapsed = wall.nsecsElapsed() / 1e6;
    std::printf("[CRG] held %.0f ms: process CPU %.1f ms = %.3f%% of a core\n", elapsed, cpu, 100.0 * cpu / elapsed);

    link->CloseChannel();
    sim.write("quit\n");
    sim.waitForFinished(2000);
    return 0;
}
