// The technician's line checks of kelto-host, run as programs against tarvo-sim.

#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct HostRun {
    int exitCode = -1;
    QString out;
    QString err;
};

HostRun runHost(const QStringList& args)
{
    QProcess host;
    host.start(QStringLiteral(KELTO_HOST_EXE), args);
    HostRun run;
    if (!host.waitForFinished(15000)) {
        host.kill();
        host.waitForFinished();
        return run;
    }
    run.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    run.out = QString::fromLocal8Bit(host.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(host.readAllStandardError());
    return run;
}

class HostCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_sim.start(QStringLiteral(TARVO_SIM_EXE), {QStringLiteral("--discharge-after"), QStringLiteral("0")});
        ASSERT_TRUE(m_sim.waitForStarted(5000));
        ASSERT_TRUE(m_sim.waitForReadyRead(5000));
        device = QString::fromLocal8Bit(m_sim.readLine()).trimmed();
        ASSERT_TRUE(device.startsWith(QLatin1Char('/')));
    }
    void TearDown() override
    {
        m_sim.write("quit\n");
        if (!m_sim.waitForFinished(2000)) {
            m_sim.kill();
            m_sim.waitForFinished();
        }
    }
    // What the simulator logged of the traffic.
    QString simLog()
    {
        m_sim.waitForReadyRead(100);
        return QString::fromLocal8Bit(m_sim.readAllStandardError());
    }

    QString device;

private:
    QProcess m_sim;
};

TEST_F(HostCommands, query_printsAnalyserRecord)
{
    const HostRun run = runHost({QStringLiteral("query"), QStringLiteral("--port"), device});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Type: TarvoX"))) << run.out.toStdString();
}

TEST_F(HostCommands, query_noAnalyser_saysSoAndFails)
{
    const HostRun run = runHost({QStringLiteral("query"), QStringLiteral("--port"), QStringLiteral("/nonexistent/ttyTarvo")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(QStringLiteral("No analyser answered on /nonexistent/ttyTarvo"))) << run.out.toStdString();
}

TEST_F(HostCommands, link_printsEachReplyEscaped_andQuits)
{
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), device, QStringLiteral("[CRG]"), QStringLiteral("[PAC]")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("5.3\\r\\n\n60.2\\r\\n\n"));
    const QString log = simLog();
    EXPECT_TRUE(log.contains(QStringLiteral("< [Q]"))) << log.toStdString();
}

TEST_F(HostCommands, link_failure_printsErrorNumber)
{
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), QStringLiteral("/nonexistent/ttyTarvo"), QStringLiteral("[CRG]")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Error #-2147179422"))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
}

} // namespace
