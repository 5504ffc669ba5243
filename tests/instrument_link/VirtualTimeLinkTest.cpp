#include <QElapsedTimer>

#include "tests/instrument_link/LinkFixture.h"

namespace kelto::test {

using VirtualTimeLink = LinkFixture;

TEST_F(VirtualTimeLink, heldReadingArrivesAfterItsVirtualDelayInRealMilliseconds)
{
    sim::Scenario scenario;
    scenario.dischargeAfterMs = 30 * 60000;
    sim::TarvoSimulator& sim = openOnPort1(scenario);
    QElapsedTimer real;
    real.start();
    const qint64 start = Clock::instance().nowMs();
    const QString reply = link->SendCommand(QStringLiteral("[CRG]")).toString();
    EXPECT_FALSE(reply.isEmpty());
    EXPECT_GE(Clock::instance().nowMs() - start, 30 * 60000);
    EXPECT_LT(real.elapsed(), 3 * 60000); // a tenth of the real wait, for a loaded machine
    EXPECT_TRUE(sim.commands().contains(QStringLiteral("CRG")));
}

TEST_F(VirtualTimeLink, wireTimeIsKeptInVirtualTime)
{
    openOnPort1();
    const qint64 start = Clock::instance().nowMs();
    EXPECT_FALSE(link->SendCommand(QStringLiteral("[CRG]")).toString().isEmpty());
    // The 100 ms pause before a send, and about 4 ms a byte each way.
    EXPECT_GE(Clock::instance().nowMs() - start, 100 + 5 * 4);
    EXPECT_LT(Clock::instance().nowMs() - start, 1000);
}

} // namespace kelto::test
