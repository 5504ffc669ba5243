// The technician's line checks of kelto-host, run as programs against tarvo-sim:
// the replies, the reply time-out, and why a port could not be used.

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <unistd.h>

#include "host/RegistryKey.h"
#include "tests/support/HostProcess.h"

namespace kelto::test {
namespace {

const QString kVtiErrorText = QStringLiteral("Error #-2147179422");

// The arguments of a line check ("link" or "query") on the port.
QStringList checkArgs(const QString& command, const QString& port)
{
    QStringList args{command, QStringLiteral("--port"), port};
    if (command == QLatin1String("link"))
        args << QStringLiteral("[CRG]");
    return args;
}

// The line check failed on the port, on standard error, with the reason.
void expectCannotReach(const HostRun& run, const QString& command, const QString& port, const QString& reason)
{
    const std::string name = command.toStdString();
    EXPECT_EQ(run.exitCode, 1) << name << " " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Cannot reach the analyser on %1.").arg(port))) << name << " " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(reason)) << name << " " << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(QStringLiteral("COM1 ("))) << name << ": the device path as given " << run.err.toStdString();
    EXPECT_FALSE(run.err.contains(kVtiErrorText)) << name << ": the reason is the last word " << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << name << " " << run.out.toStdString();
}

// Both line checks fail on the port, on standard error, with the reason (or the
// ones named in `only`).
void expectBothSay(const QString& port, const QString& reason, const QStringList& wrapper = {}, const QStringList& only = {"link", "query"})
{
    for (const QString& command : only)
        expectCannotReach(runHost(checkArgs(command, port), wrapper), command, port, reason);
}

// The link's reply time-out (the registry value "CommTimeOut") in the kelto-host
// runs of a test, which read the test program's registry file: runs that wait it out
// wait no longer than the line needs.
class ReplyTimeOut {
public:
    explicit ReplyTimeOut(std::int32_t ms) { set(ms); }
    ~ReplyTimeOut() { set(0); } // the link's own default again
    ReplyTimeOut(const ReplyTimeOut&) = delete;
    ReplyTimeOut& operator=(const ReplyTimeOut&) = delete;

private:
    static void set(std::int32_t ms)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("CommTimeOut"), ms);
    }
};

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
    // Each runs on an analyser of its own, both at once.
    SimProcess holdsLong({QStringLiteral("--discharge-after"), QStringLiteral("10000")});
    SimProcess holdsAWhile({QStringLiteral("--discharge-after"), QStringLiteral("1500")});
    const auto linkWith = [](const SimProcess& sim, const char* timeout) {
        return QStringList{QStringLiteral("link"), QStringLiteral("--port"), sim.device(), QStringLiteral("--timeout"), QLatin1String(timeout),
            QStringLiteral("[CRG]")};
    };
    const QList<HostRun> runs = runHostsAtOnce({linkWith(holdsLong, "0.5"), linkWith(holdsAWhile, "0")});
    const HostRun& tooShort = runs[0];
    EXPECT_EQ(tooShort.exitCode, 1);
    EXPECT_TRUE(tooShort.err.contains(QStringLiteral("No reply to [CRG]"))) << tooShort.err.toStdString();

    const HostRun& unlimited = runs[1];
    EXPECT_EQ(unlimited.exitCode, 0) << unlimited.err.toStdString();
    EXPECT_EQ(unlimited.out, QStringLiteral("5.3\\r\\n\n"));
    EXPECT_GE(unlimited.elapsedMs, 1500);
}

TEST(HostCommands, link_whatTheLinkCannotReadIsToldOnStandardError)
{
    // Each on an analyser of its own, both at once, with a reply time-out of half a
    // second.
    const ReplyTimeOut replyTimeOut(500);
    // A stop the analyser answers only after the give-up (1 s), with a number, while
    // the next reading waits: the line goes quiet for the reply time-out after that
    // number, before the reading, so the link says that it may be that late answer,
    // and reads at the discharge.
    SimProcess lateStop({QStringLiteral("--discharge-after"), QStringLiteral("1500"), QStringLiteral("--fault"), QStringLiteral("late=1500:WSP"),
        QStringLiteral("--reading"), QStringLiteral("WSP=0")});
    // Line noise breaks the reading: error 8030. No one is there to switch the
    // analyser off, so the check ends at once and its last words say what stays.
    SimProcess noise({QStringLiteral("--discharge-after"), QStringLiteral("0"), QStringLiteral("--reading"), QStringLiteral("PVT=-\n15.04")});
    const QList<HostRun> runs = runHostsAtOnce({
        {QStringLiteral("link"), QStringLiteral("--port"), lateStop.device(), QStringLiteral("[WSP]"), QStringLiteral("[PVT]")},
        {QStringLiteral("link"), QStringLiteral("--port"), noise.device(), QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("[PVT]")},
    });
    {
        const HostRun& run = runs[0];
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("\n2150\\r\\n\n"));
        EXPECT_TRUE(run.err.contains(QStringLiteral("sent \"0\", which may be a late answer to an earlier request ([WSP])"))) << run.err.toStdString();
    }
    const HostRun& run = runs[1];
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
    // Any reply time-out is waited out here. The query waits its own 3 s twice, around
    // its prompt: InstrumentQuery has that in virtual time.
    const ReplyTimeOut replyTimeOut(100);
    SimProcess sim({QStringLiteral("--fault"), QStringLiteral("no-reply")});
    expectBothSay(sim.device(), QStringLiteral("No answer to [VER] from %1 within 100 ms.").arg(sim.device()), {}, {QStringLiteral("link")});
}

TEST(HostCommands, versionTheLinkRefuses_queryStillFindsAVersionNumber)
{
    // The query reports any reply that begins with a version number; the link takes
    // 2.11 to 9.99 only, compared as text.
    // An analyser whose lines end with LF alone is named as such.
    // No version is longer than a reply may be: both measure the line and quote its
    // beginning alike.
    // Each check runs on an analyser of its own (the rest of a line refused is still on
    // its way), all at once; the link's reply time-out is half a second.
    const ReplyTimeOut replyTimeOut(500);
    const QString letters = QStringLiteral("answered [VER] with \"Vel-Tor\\r\\n\", which ");
    const QString flood =
        QStringLiteral("answered [VER] with a line of more than 256 characters, which no Tarvo reply is; it begins \"22222222222222222222\u2026\"");
    const struct {
        QString fault;
        QString linkSays;
        QString querySays = {}; // empty: the query finds the analyser
    } analysers[] = {
        {QStringLiteral("version=2.10"), QStringLiteral("answered [VER] with \"2.10\\r\\n\", which is not a Tarvo version from 2.11 to 9.99")},
        {QStringLiteral("version=10.0"), QStringLiteral("answered [VER] with \"10.0\\r\\n\", which is not a Tarvo version from 2.11 to 9.99")},
        {QStringLiteral("line-end=lf"), QStringLiteral("sent \"2.13\\n\" after [VER]: a line that ends with LF alone.")},
        {QStringLiteral("line-end=none"), QStringLiteral("answered [VER] with \"2.13\" and no line end (CR LF) within 500 ms")},
        {QStringLiteral("version=Vel-Tor"), letters, letters},
        {QStringLiteral("version=") + QString(300, QLatin1Char('2')), flood, flood},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    QList<QStringList> checks;
    for (const auto& a : analysers) {
        for (const char* command : {"link", "query"}) {
            sims.push_back(std::make_unique<SimProcess>(QStringList{QStringLiteral("--fault"), a.fault}));
            checks << checkArgs(QLatin1String(command), sims.back()->device());
        }
    }
    const QList<HostRun> runs = runHostsAtOnce(checks);
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const auto& a = analysers[i / 2];
        const QString& command = checks[i].first();
        const QString& port = sims[i]->device();
        SCOPED_TRACE(a.fault.left(20).toStdString() + " " + command.toStdString());
        const QString says = command == QLatin1String("link") ? a.linkSays : a.querySays;
        if (!says.isEmpty()) {
            expectCannotReach(runs[i], command, port, says);
            continue;
        }
        EXPECT_EQ(runs[i].exitCode, 0) << runs[i].err.toStdString();
        EXPECT_EQ(runs[i].out, QStringLiteral("Analyser on %1:\n  Type: TarvoX\n  Present: 1\n").arg(port));
    }
}

} // namespace
} // namespace kelto::test
