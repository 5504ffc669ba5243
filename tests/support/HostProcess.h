#pragma once
// Runs kelto-host as a program, as a technician does, and the analyser simulator
// tarvo-sim beside it. The test program defines KELTO_HOST_EXE (TARVO_SIM_EXE for
// the simulator, KELTO_TEST_PLUGINS_DIR for a window driven through its input).
//
// The limits below only end a program that would never end, or wait for one that
// never starts: a run takes a second or two, and the limits stay far above what it
// takes on a loaded machine under the sanitizers.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>
#include <gtest/gtest.h>

namespace kelto::test {

constexpr int kProcessLimitMs = 180000;

struct HostRun {
    int exitCode = -1; // -1: crashed or did not end within kProcessLimitMs
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};

// Waits for the program to end, ending it at kProcessLimitMs. No program of ours
// ends on a signal, nor runs that long: either fails the test. The exit code, or -1
// for either.
inline int exitCodeOf(QProcess& process)
{
    const QString program = process.program().section(QLatin1Char('/'), -1);
    if (process.error() == QProcess::FailedToStart) {
        ADD_FAILURE() << program.toStdString() << " did not start: " << process.errorString().toStdString();
        return -1;
    }
    // A program that has ended already is not waited for: that wait would fail.
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(kProcessLimitMs)) {
        ADD_FAILURE() << program.toStdString() << " did not end within " << kProcessLimitMs << " ms and was killed";
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " crashed (signal " << process.exitCode() << ")";
        return -1;
    }
    return process.exitCode();
}

// What a kelto-host started at "clock" did, once it has ended.
inline HostRun finishedRun(QProcess& host, const QElapsedTimer& clock)
{
    HostRun run;
    run.exitCode = exitCodeOf(host);
    run.elapsedMs = clock.elapsed();
    run.out = QString::fromLocal8Bit(host.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(host.readAllStandardError());
    return run;
}

// kelto-host with these arguments; "wrapper" runs it through another program
// (setpriv ...) first; "prepare" may set up the process (its environment).
inline HostRun runHost(const QStringList& args, const QStringList& wrapper = {}, const std::function<void(QProcess&)>& prepare = {})
{
    QProcess host;
    if (prepare)
        prepare(host);
    QElapsedTimer clock;
    clock.start();
    if (wrapper.isEmpty())
        host.start(QStringLiteral(KELTO_HOST_EXE), args);
    else
        host.start(wrapper.first(), wrapper.mid(1) + QStringList{QStringLiteral(KELTO_HOST_EXE)} + args);
    return finishedRun(host, clock);
}

// kelto-host runs side by side, all started at once and waited for in turn (a run's
// elapsedMs is at least what it took): runs on analysers of their own, whose waits
// would otherwise add up.
inline QList<HostRun> runHostsAtOnce(const QList<QStringList>& runs)
{
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<QProcess>> hosts;
    for (const QStringList& args : runs) {
        hosts.push_back(std::make_unique<QProcess>());
        hosts.back()->start(QStringLiteral(KELTO_HOST_EXE), args);
    }
    QList<HostRun> ended;
    for (const auto& host : hosts)
        ended << finishedRun(*host, clock);
    return ended;
}

// Tells a program that reads commands on its standard input to quit: it must end
// with exit code 0.
inline void quitProcess(QProcess& process)
{
    process.write("quit\n");
    const int exitCode = exitCodeOf(process);
    if (exitCode >= 0) { // else failed already
        EXPECT_EQ(exitCode, 0) << process.program().section(QLatin1Char('/'), -1).toStdString() << " on quit: "
                               << process.readAllStandardError().toStdString();
    }
}

#ifdef KELTO_TEST_PLUGINS_DIR
// The window of "kelto-host ARGS" in a program of its own, driven through its
// standard input as the window driver plug-in reads it (tests/support/window_driver).
class DrivenHost {
public:
    explicit DrivenHost(const QStringList& args)
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(KELTO_TEST_PLUGINS_DIR));
        environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("keltowindowdriver"));
        m_host.setProcessEnvironment(environment);
        m_host.start(QStringLiteral(KELTO_HOST_EXE), args);
        EXPECT_TRUE(m_host.waitForStarted(kProcessLimitMs));
    }
    ~DrivenHost()
    {
        quitProcess(m_host);
    }
    DrivenHost(const DrivenHost&) = delete;
    DrivenHost& operator=(const DrivenHost&) = delete;

    // The lines the command is answered with, its "ok <title>" last.
    QStringList send(const QString& command)
    {
        m_host.write((command + QLatin1Char('\n')).toUtf8());
        QStringList lines;
        const QDeadlineTimer limit(kProcessLimitMs);
        while (!limit.hasExpired() && m_host.state() == QProcess::Running) {
            if (!m_host.canReadLine() && !m_host.waitForReadyRead(50))
                continue;
            lines << QString::fromUtf8(m_host.readLine()).chopped(1);
            if (lines.last().startsWith(QLatin1String("ok")))
                return lines;
        }
        ADD_FAILURE() << command.toStdString() << " was not answered: " << m_host.readAllStandardError().toStdString();
        return lines;
    }

private:
    QProcess m_host;
};
#endif

#ifdef TARVO_SIM_EXE
// tarvo-sim on a pseudo-terminal of its own, quit when the object goes.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {})
    {
        m_sim.start(QStringLiteral(TARVO_SIM_EXE), args);
        EXPECT_TRUE(m_sim.waitForStarted(kProcessLimitMs));
        EXPECT_TRUE(m_sim.waitForReadyRead(kProcessLimitMs));
        m_device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        EXPECT_TRUE(m_device.startsWith(QLatin1Char('/'))) << m_device.toStdString();
    }
    ~SimProcess()
    {
        quitProcess(m_sim);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const QString& device() const { return m_device; }
    // What the simulator logged of the traffic, once that holds "awaited": a process
    // of its own, it logs what it received when it gets to it.
    QString log(const QString& awaited)
    {
        const QDeadlineTimer limit(kProcessLimitMs);
        for (;;) {
            m_log += QString::fromLocal8Bit(m_sim.readAllStandardError());
            if (m_log.contains(awaited) || limit.hasExpired() || m_sim.state() == QProcess::NotRunning)
                return m_log;
            // Nothing more comes on standard output: this waits while standard error fills.
            m_sim.waitForReadyRead(50);
        }
    }

private:
    QProcess m_sim;
    QString m_device;
    QString m_log;
};
#endif

} // namespace kelto::test
