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
#include <gtest/gtest.h>

namespace kelto::test {

constexpr int kProcessLimitMs = 180000;

struct HostRun {
    int exitCode = -1; // -1: crashed or did not end within kProcessLimitMs
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};

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
    HostRun run;
    if (!host.waitForFinished(kProcessLimitMs)) {
        host.kill();
        host.waitForFinished();
        return run;
    }
    run.elapsedMs = clock.elapsed();
    run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.out = QString::fromLocal8Bit(host.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(host.readAllStandardError());
    return run;
}

// Tells a program that reads commands on its standard input to quit, and ends it
// when it does not.
inline void quitProcess(QProcess& process)
{
    process.write("quit\n");
    if (!process.waitForFinished(kProcessLimitMs)) {
        process.kill();
        process.waitForFinished();
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
