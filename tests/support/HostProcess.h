#pragma once
// Runs kelto-host as a program, as a technician does, and the analyser simulator
// tarvo-sim beside it. The test program defines KELTO_HOST_EXE (and TARVO_SIM_EXE
// for the simulator).

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace kelto::test {

struct HostRun {
    int exitCode = -1; // -1: crashed or did not end in time
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};

// kelto-host with these arguments; "wrapper" runs it through another program
// (setpriv ...) first; "prepare" may set up the process (its environment).
inline HostRun runHost(const QStringList& args, const QStringList& wrapper = {}, const std::function<void(QProcess&)>& prepare = {})
{
    constexpr int kLimitMs = 20000;
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
    if (!host.waitForFinished(kLimitMs)) {
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

#ifdef TARVO_SIM_EXE
// tarvo-sim on a pseudo-terminal of its own, quit when the object goes.
class SimProcess {
public:
    explicit SimProcess(const QStringList& args = {})
    {
        m_sim.start(QStringLiteral(TARVO_SIM_EXE), args);
        EXPECT_TRUE(m_sim.waitForStarted(5000));
        EXPECT_TRUE(m_sim.waitForReadyRead(5000));
        m_device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        EXPECT_TRUE(m_device.startsWith(QLatin1Char('/'))) << m_device.toStdString();
    }
    ~SimProcess()
    {
        m_sim.write("quit\n");
        if (!m_sim.waitForFinished(2000)) {
            m_sim.kill();
            m_sim.waitForFinished();
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const QString& device() const { return m_device; }
    // What the simulator logged of the traffic so far.
    QString log()
    {
        m_sim.waitForReadyRead(100);
        m_log += QString::fromLocal8Bit(m_sim.readAllStandardError());
        return m_log;
    }

private:
    QProcess m_sim;
    QString m_device;
    QString m_log;
};
#endif

} // namespace kelto::test
