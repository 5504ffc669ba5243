// The technician's line checks of kelto-host, run as programs against tarvo-sim:
// the replies, the reply time-out, and why a port could not be used.

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

#include "tests/support/HostProcess.h"

namespace kelto::test {
namespace {

const QString kVtiErrorText = QStringLiteral("Error #-2147179422");

// Both line checks fail on the port, on standard error, with the reason (or the
// ones named in `only`).
void expectBothSay(const QString& port, const QString& reason, const QStringList& wrapper = {}, const QStringList& only = {"link", "query"})
{
    for (const QString& name : only) {
        const QByteArray commandName = name.toLatin1();
        const char* command = commandName.constData();
        QStringList args{QLatin1String(command), QStringLiteral("--port"), port};
        if (QLatin1String(command) == QLatin1String("link"))
            args << QStringLiteral("[CRG]");
        const HostRun run = runHost(args, wrapper);
        EXPECT_EQ(run.exitCode, 1) << command << " " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Cannot reach the analyser on %1.").arg(port))) << command << " " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(reason)) << command << " " << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("COM1 ("))) << command << ": the device path as given " << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(kVtiErrorText)) << command << ": the reason is the last word " << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << command << " " << run.out.toStdString();
    }
}

TEST(HostCommands, query_printsAnalyserRecord)
{
    SimProcess sim;
    const HostRun run = runHost({QStringLiteral("query"), QStringLiteral("--port"), sim.device()});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The simulator reports no serial number or firmware: those lines are left out.
    EXPECT_EQ(run.out, QStringLiteral("Analyser on %1:\n  Type: TarvoX\n  Present: 1\n").arg(sim.device()));
}

TEST(HostCommands, link_printsEachReplyEscaped_andQuits)
{
    SimProcess sim({QStringLiteral("--discharge-after"), QStringLiteral("0")});
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("[CRG]"), QStringLiteral("[PAC]")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("5.3\\r\\n\n60.2\\r\\n\n"));
    const QString log = sim.log(QStringLiteral("< [Q]"));
    EXPECT_TRUE(log.contains(QStringLiteral("< [Q]"))) << log.toStdString();
}

TEST(HostCommands, link_replyTimeOut_abortsNamesTheCommandAndSendsNoMore)
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("no-reply=CRG")});
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("--timeout"), QStringLiteral("0.5"),
        QStringLiteral("[VER]"), QStringLiteral("[CRG]"), QStringLiteral("[PAC]")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QStringLiteral("2.13\\r\\n\n")) << "the replies before the silent command are printed";
    EXPECT_TRUE(run.err.contains(QStringLiteral("No reply to [CRG] from the analyser on %1 within 0.5 s").arg(sim.device()))) << run.err.toStdString();
    // It ends by itself (runHost gives -1 for a run it had to end), after the wait.
    EXPECT_GE(run.elapsedMs, 500);
    const QString log = sim.log(QStringLiteral("< [CRG]"));
    EXPECT_TRUE(log.contains(QStringLiteral("< [CRG]"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("< [PAC]"))) << log.toStdString();

    // An analyser that answers, with nothing the link takes: the time-out says so, not
    // that it may be switched off.
    SimProcess answering({QStringLiteral("--discharge-after"), QStringLiteral("0"), QStringLiteral("--reading"), QStringLiteral("CRG=E07")});
    const HostRun told = runHost({QStringLiteral("link"), QStringLiteral("--port"), answering.device(), QStringLiteral("--timeout"),
        QStringLiteral("1.3"), QStringLiteral("[CRG]")});
    EXPECT_EQ(told.exitCode, 1);
    EXPECT_TRUE(told.err.contains(QStringLiteral("sent \"E07\", which is no reading"))) << told.err.toStdString();
    EXPECT_TRUE(told.err.contains(QStringLiteral("within 1.3 s that the link could take: the analyser sent what the lines above say")))
        << told.err.toStdString();
    EXPECT_FALSE(told.err.contains(QStringLiteral("switched on"))) << told.err.toStdString();
}

TEST(HostCommands, link_timeoutZero_waitsForAReadingThatComesLate)
{
    // The analyser holds the reading for a while after it is asked for; the time-out
    // that is too short is far shorter, so that a loaded machine keeps them apart.
    auto linkWith = [&](const char* timeout, const char* holdMs) {
        SimProcess sim({QStringLiteral("--discharge-after"), QLatin1String(holdMs)});
        return runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("--timeout"), QLatin1String(timeout),
            QStringLiteral("[CRG]")});
    };
    const HostRun tooShort = linkWith("0.5", "10000");
    EXPECT_EQ(tooShort.exitCode, 1);
    EXPECT_TRUE(tooShort.err.contains(QStringLiteral("No reply to [CRG]"))) << tooShort.err.toStdString();

    const HostRun unlimited = linkWith("0", "1500");
    EXPECT_EQ(unlimited.exitCode, 0) << unlimited.err.toStdString();
    EXPECT_EQ(unlimited.out, QStringLiteral("5.3\\r\\n\n"));
    EXPECT_GE(unlimited.elapsedMs, 1500);
}

TEST(HostCommands, link_whatTheLinkCannotReadIsToldOnStandardError)
{
    // A stop the analyser answers only after the give-up, with a number, while the
    // next reading waits: the link says that the line may be that late answer, and
    // reads at the discharge.
    {
        SimProcess sim({QStringLiteral("--discharge-after"), QStringLiteral("3000"), QStringLiteral("--fault"), QStringLiteral("late=1500:WSP"),
            QStringLiteral("--reading"), QStringLiteral("WSP=0")});
        const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("[WSP]"), QStringLiteral("[PVT]")});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("\n2150\\r\\n\n"));
        EXPECT_TRUE(run.err.contains(QStringLiteral("sent \"0\", which may be a late answer to an earlier request ([WSP])"))) << run.err.toStdString();
    }
    // Line noise breaks the reading: error 8030. No one is there to switch the
    // analyser off, so the check ends at once and its last words say what stays.
    SimProcess sim({QStringLiteral("--discharge-after"), QStringLiteral("0"), QStringLiteral("--reading"), QStringLiteral("PVT=-\n15.04")});
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("--timeout"), QStringLiteral("5"),
        QStringLiteral("[PVT]")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Error #8030 No reading was taken for [PVT]"))) << run.err.toStdString();
    const QString last = run.err.trimmed().section(QLatin1Char('\n'), -1);
    EXPECT_TRUE(last.contains(QStringLiteral("The check was cancelled. The link goes on counting"))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("Switch it on"))) << run.err.toStdString();
}

TEST(HostCommands, portThatIsNoSerialDevice_bothChecksSayWhy)
{
    QTemporaryDir dir;
    const QString regular = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(regular);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const struct {
        QString port;
        const char* reason;
    } cases[] = {
        {QStringLiteral("/nonexistent/ttyTarvo"), "/nonexistent/ttyTarvo. /nonexistent/ttyTarvo does not exist. Check the port number or device path"},
        {regular, "is not a serial device"},
        {dir.path(), "is not a serial device"},
        {QStringLiteral("/dev/null"), "is not a serial device"},
    };
    for (const auto& c : cases)
        expectBothSay(c.port, QLatin1String(c.reason));
}

TEST(HostCommands, link_failureDuringAnExchange_endsWithTheLinksReason)
{
    SimProcess sim({QStringLiteral("--discharge-after"), QStringLiteral("0"), QStringLiteral("--fault"), QStringLiteral("vanish-after=1")});
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("[CRG]")});
    EXPECT_EQ(run.exitCode, 1);
    const QStringList lines = run.err.trimmed().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.constLast().contains(QStringLiteral("%1 went away while waiting for the reply to").arg(sim.device()))) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(kVtiErrorText)) << run.err.toStdString();
}

TEST(HostCommands, link_analyserModelWithoutTheCommand_exitsOneAndSendsNoMore)
{
    SimProcess sim({QStringLiteral("--discharge-after"), QStringLiteral("0"), QStringLiteral("--fault"), QStringLiteral("banner=1300:BPM")});
    const HostRun run = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("[VER]"), QStringLiteral("[BPM]"),
        QStringLiteral("[CRG]")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("2.13\\r\\n\nVel-Tor"))) << "the banner is the analyser's reply " << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("This test is not supported on this model of the Tarvo"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("The analyser on %1 does not support [BPM] on this model").arg(sim.device()))) << run.err.toStdString();
    EXPECT_FALSE(sim.log(QStringLiteral("< [BPM]")).contains(QStringLiteral("< [CRG]")));
}

TEST(HostCommands, portHeldByAnotherProgram_isInUse)
{
    SimProcess sim;
    QSerialPort other;
    other.setPortName(sim.device());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    expectBothSay(sim.device(), QStringLiteral("is in use by another program. Close the program that holds it"));
}

TEST(HostCommands, portThisUserMayNotOpen_permissionDenied)
{
    SimProcess sim;
    // Root opens anything: it runs the host without the capabilities that allow it.
    QStringList wrapper;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "running as root without setpriv to drop the permission override";
        wrapper = {setpriv, QStringLiteral("--bounding-set"), QStringLiteral("-dac_override,-dac_read_search")};
    }
    ASSERT_TRUE(QFile::setPermissions(sim.device(), {}));
    expectBothSay(sim.device(), QStringLiteral("may not be opened by this user (permission denied)"), wrapper);
    QFile::setPermissions(sim.device(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST(HostCommands, analyserThatDoesNotAnswer_noAnswerToTheHandshake)
{
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("no-reply")});
    expectBothSay(sim.device(), QStringLiteral("No answer to [VER] from %1 within").arg(sim.device()));
}

TEST(HostCommands, versionTheLinkRefuses_queryStillFindsAVersionNumber)
{
    // The query reports any reply that begins with a version number; the link takes
    // 2.11 to 9.99 only, compared as text.
    // An analyser whose lines end with LF alone is named as such.
    const struct {
        const char* fault;
        QString linkSays;
    } analysers[] = {
        {"version=2.10", QStringLiteral("answered [VER] with \"2.10\\r\\n\", which is not a Tarvo version from 2.11 to 9.99")},
        {"version=10.0", QStringLiteral("answered [VER] with \"10.0\\r\\n\", which is not a Tarvo version from 2.11 to 9.99")},
        {"line-end=lf", QStringLiteral("sent \"2.13\\n\" after [VER]: a line that ends with LF alone.")},
        {"line-end=none", QStringLiteral("answered [VER] with \"2.13\" and no line end (CR LF) within")},
    };
    for (const auto& a : analysers) {
        SCOPED_TRACE(a.fault);
        SimProcess sim({QStringLiteral("--fault"), QLatin1String(a.fault)});
        const HostRun link = runHost({QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("[CRG]")});
        EXPECT_EQ(link.exitCode, 1) << link.err.toStdString();
        EXPECT_TRUE(link.err.contains(a.linkSays)) << link.err.toStdString();
        const HostRun query = runHost({QStringLiteral("query"), QStringLiteral("--port"), sim.device()});
        EXPECT_EQ(query.exitCode, 0) << query.err.toStdString();
        EXPECT_EQ(query.out, QStringLiteral("Analyser on %1:\n  Type: TarvoX\n  Present: 1\n").arg(sim.device()));
    }
    SimProcess letters({QStringLiteral("--fault"), QStringLiteral("version=Vel-Tor")});
    expectBothSay(letters.device(), QStringLiteral("answered [VER] with \"Vel-Tor\\r\\n\", which "));
    // No version is longer than a reply may be: both measure the line and quote its
    // beginning alike (each on an analyser of its own: the rest of the line refused
    // is still on its way).
    for (const char* command : {"link", "query"}) {
        SimProcess flood({QStringLiteral("--fault"), QStringLiteral("version=") + QString(300, QLatin1Char('2'))});
        expectBothSay(flood.device(),
            QStringLiteral("answered [VER] with a line of more than 256 characters, which no Tarvo reply is; it begins \"22222222222222222222\u2026\""),
            {}, {QLatin1String(command)});
    }
}

} // namespace
} // namespace kelto::test
