// The analyser simulator as a peer, in virtual time: wire pacing, command splitting,
// held readings, fault modes and scenario files.

#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "TarvoSimulator.h"
#include "platform/Clock.h"

namespace kelto::sim {
namespace {

// Reads from the simulator's device as the link would, without the protocol.
class Peer {
public:
    explicit Peer(const QString& device)
    {
        m_port.setPortName(device);
        EXPECT_TRUE(m_port.open(QIODevice::ReadWrite)) << m_port.errorString().toStdString();
    }
    void send(const QByteArray& bytes)
    {
        m_port.write(bytes);
        m_port.flush();
    }
    // Everything received until the text ends with "ends" or the time is up.
    QByteArray receive(int ms, const QByteArray& ends = "\n", int* pieces = nullptr)
    {
        QByteArray text;
        const qint64 end = Clock::instance().nowMs() + ms;
        int reads = 0;
        while (Clock::instance().nowMs() < end && !(text.endsWith(ends) && text.count(ends) >= m_expectedLines)) {
            Clock::instance().wait(end - Clock::instance().nowMs(), [&] { return m_port.bytesAvailable() > 0; });
            if (m_port.bytesAvailable() > 0) {
                text += m_port.readAll();
                ++reads;
            }
        }
        if (pieces)
            *pieces = reads;
        return text;
    }
    void expectLines(int n) { m_expectedLines = n; }

private:
    QSerialPort m_port;
    int m_expectedLines = 1;
};

// A reply the peer waits for comes within milliseconds; the cap only ends a wait
// for one that never comes. How fast the simulator answers in real time is measured
// by tarvo-link-bench.
constexpr int kReplyCapMs = 10000;

// The simulator paces its bytes and gaps on the clock seam: in virtual time the peer
// sees each write as it was made, however busy the machine.
class Simulator : public ::testing::Test {
protected:
    void SetUp() override { m_previous = Clock::install(makeVirtualClock()); }
    void TearDown() override { Clock::install(std::move(m_previous)); }

private:
    std::unique_ptr<Clock> m_previous;
};

Scenario ready()
{
    Scenario s;
    s.dischargeAfterMs = 0;
    return s;
}

TEST_F(Simulator, repliesAtWireSpeed)
{
    TarvoSimulator sim(ready());
    ASSERT_TRUE(sim.open());
    Peer peer(sim.devicePath());
    const qint64 start = Clock::instance().nowMs();
    peer.send("[VER]\n");
    EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("2.13\r\n"));
    // "[VER]" up to its "]" and six bytes of reply, 10 bits a byte at 2400 baud.
    EXPECT_GE((Clock::instance().nowMs() - start) * 1000000, 11 * TarvoSimulator::kByteNs - 1000000);
}

TEST_F(Simulator, commandsSplitOnClosingBracket_notOnLineEnd)
{
    TarvoSimulator sim(ready());
    ASSERT_TRUE(sim.open());
    Peer peer(sim.devicePath());
    peer.expectLines(2);
    peer.send("[NRG][EVT]");
    EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("199.6\r\n200.4\r\n"));
    EXPECT_EQ(sim.commands(), (QStringList{QStringLiteral("NRG"), QStringLiteral("EVT")}));
}

TEST_F(Simulator, readingsHeldUntilDischargeOrPacing)
{
    Scenario scenario;
    scenario.dischargeAfterMs = -1;
    scenario.pacing = false;
    TarvoSimulator sim(scenario);
    ASSERT_TRUE(sim.open());
    Peer peer(sim.devicePath());
    peer.send("[CRG]\r[HDR]\r[BPM]\r");
    EXPECT_TRUE(peer.receive(300).isEmpty());
    sim.discharge();
    EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("5.3\r\n"));
    sim.setPacing(true);
    EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("70.0\r\n"));
}

TEST_F(Simulator, heldReadingsThroughQuitAndVersion_eachHeldMode)
{
    // A held "[NRG]" the link stopped waiting for, the link closed ("[Q]") and
    // opened again ("[VER]"), then "[PVT]" twice, and two discharges.
    const struct {
        const char* mode;
        QByteArray firstDischarge;
        QByteArray secondDischarge;
    } cases[] = {
        {"held=keep", "199.6\r\n2150\r\n2150\r\n", ""},
        {"held=drop", "2150\r\n2150\r\n", ""},
        {"held=newest", "2150\r\n", ""},
        {"held=queue", "199.6\r\n", "2150\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Scenario scenario;
        scenario.dischargeAfterMs = -1;
        QString error;
        ASSERT_TRUE(applyFault(scenario, QLatin1String(c.mode), &error)) << error.toStdString();
        TarvoSimulator sim(scenario);
        ASSERT_TRUE(sim.open());
        Peer peer(sim.devicePath());
        peer.send("[NRG]\r[Q][VER]\n");
        EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("2.13\r\n"));
        peer.send("[PVT]\r[PVT]\r");
        EXPECT_TRUE(peer.receive(100).isEmpty());
        peer.expectLines(static_cast<int>(c.firstDischarge.count('\n')));
        sim.discharge();
        EXPECT_EQ(peer.receive(kReplyCapMs), c.firstDischarge);
        sim.discharge();
        peer.expectLines(1);
        EXPECT_EQ(peer.receive(c.secondDischarge.isEmpty() ? 300 : kReplyCapMs), c.secondDischarge);
    }
}

TEST_F(Simulator, burstMode_repliesDueTogetherComeInOneRead)
{
    Scenario scenario = ready();
    QString error;
    ASSERT_TRUE(applyFault(scenario, QStringLiteral("burst=50"), &error)) << error.toStdString();
    ASSERT_FALSE(applyFault(scenario, QStringLiteral("burst=soon"), &error));
    ASSERT_FALSE(applyFault(scenario, QStringLiteral("held=maybe"), &error));
    TarvoSimulator sim(scenario);
    ASSERT_TRUE(sim.open());
    Peer peer(sim.devicePath());
    peer.expectLines(2);
    int pieces = 0;
    peer.send("[NRG][EVT]");
    EXPECT_EQ(peer.receive(kReplyCapMs, "\n", &pieces), QByteArray("199.6\r\n200.4\r\n"));
    EXPECT_EQ(pieces, 1);
}

TEST_F(Simulator, faultModes_overChunksAndVanish)
{
    QTemporaryDir dir;
    Scenario scenario = ready();
    QString error;
    ASSERT_TRUE(applyFault(scenario, QStringLiteral("over=CRG"), &error));
    ASSERT_TRUE(applyFault(scenario, QStringLiteral("chunks=3:60"), &error));
    ASSERT_TRUE(applyFault(scenario, QStringLiteral("vanish-after=2"), &error));
    TarvoSimulator sim(scenario);
    ASSERT_TRUE(sim.open());
    const QString linkPath = dir.filePath(QStringLiteral("tarvo"));
    ASSERT_TRUE(sim.publishAs(linkPath, &error)) << error.toStdString();
    Peer peer(linkPath);
    int pieces = 0;
    peer.send("[CRG]\r");
    EXPECT_EQ(peer.receive(kReplyCapMs, "\n", &pieces), QByteArray("OVER\r\n"));
    EXPECT_GE(pieces, 3);
    peer.send("[NRG]\r");
    EXPECT_EQ(peer.receive(kReplyCapMs), QByteArray("199.6\r\n"));
    peer.send("[EVT]\r");
    Clock::instance().wait(kReplyCapMs, [&] { return !sim.isOpen(); });
    EXPECT_FALSE(sim.isOpen());
    EXPECT_FALSE(QFileInfo::exists(linkPath));
}

TEST_F(Simulator, scenarioFile_andBadSettingsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("model.scn"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# a model without pacer tests\n"
               "fault banner=1500:BPM,PAC\n"
               "fault late=300\n"
               "firmware 2.20\n"
               "reading CRG=4.8\n"
               "discharge-after 0\n"
               "pacing off\n");
    file.close();
    Scenario s;
    QString error;
    ASSERT_TRUE(loadScenarioFile(s, path, &error)) << error.toStdString();
    EXPECT_EQ(s.bannerMs, 1500);
    EXPECT_TRUE(s.banner.contains(QStringLiteral("BPM")));
    EXPECT_FALSE(s.banner.contains(QStringLiteral("CRG")));
    EXPECT_EQ(s.lateMs, 300);
    EXPECT_TRUE(s.late.contains(QStringLiteral("VER")));
    EXPECT_EQ(s.firmware, QStringLiteral("2.20"));
    EXPECT_EQ(s.readings.value(QStringLiteral("CRG")), QStringLiteral("4.8"));
    EXPECT_EQ(s.dischargeAfterMs, 0);
    EXPECT_FALSE(s.pacing);

    EXPECT_FALSE(applyFault(s, QStringLiteral("late=soon"), &error));
    EXPECT_FALSE(applyFault(s, QStringLiteral("chunks=0"), &error));
    EXPECT_FALSE(applyFault(s, QStringLiteral("fire"), &error));
    EXPECT_FALSE(applySetting(s, QStringLiteral("pacing"), QStringLiteral("maybe"), &error));
    EXPECT_FALSE(loadScenarioFile(s, dir.filePath(QStringLiteral("missing.scn")), &error));
}

} // namespace
} // namespace kelto::sim
