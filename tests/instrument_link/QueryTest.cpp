// The host's instrument query against simulated analysers.

#include "LinkFixture.h"
#include "instrument_link/CTarvoXQuery.h"

namespace kelto::test {
namespace {

using InstrumentQuery = LinkFixture;

Ptr<IKeltoVexaQuery> createQuery()
{
    return ComponentRuntime::instance().createAs<IKeltoVexaQuery>(QLatin1String(linkclass::TarvoXQuery));
}

TEST_F(InstrumentQuery, analyserAnswers_recordFilled_noPrompt)
{
    sim::TarvoSimulator& sim = simOnPort(4);
    MComm::gfQueryPrompted = true;
    auto query = createQuery();
    ASSERT_TRUE(query);
    const qint64 start = now();
    const InstrumentRecord record = query->QueryMTI(4);
    // CR LF ends the reply at once rather than at the time-out.
    EXPECT_LT(now() - start, 100);
    EXPECT_EQ(record.MtiType, QStringLiteral("TarvoX"));
    EXPECT_EQ(record.Present, 1);
    EXPECT_TRUE(record.SerialNo.isEmpty());
    EXPECT_TRUE(record.FWVersion.isEmpty());
    EXPECT_FALSE(MComm::gfQueryPrompted);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(sim.received(), QByteArray("[VER]\n"));
    EXPECT_TRUE(query->MtiType().isEmpty());
    EXPECT_TRUE(query->SerialNo().isEmpty());
    EXPECT_TRUE(query->FWVersion().isEmpty());
}

TEST_F(InstrumentQuery, anyVersionNumberIsFound_otherRepliesGiveEmptyRecord)
{
    // The first four characters read as a number other than 0; the link is stricter.
    for (const char* fault : {"version=2.13", "version=2.5", "version=2.10", "version=1.99", "version=10.0"}) {
        simOnPort(4, withFault(QLatin1String(fault)));
        auto query = createQuery();
        EXPECT_EQ(query->QueryMTI(4).Present, 1) << fault;
        EXPECT_EQ(lastFailure(query), QString()) << fault;
    }
    for (const char* fault : {"version=Vel-Tor", "version=0.00", "version=", "garbled-version"}) {
        simOnPort(4, withFault(QLatin1String(fault)));
        auto query = createQuery();
        EXPECT_TRUE(query->QueryMTI(4).isEmpty()) << fault;
        EXPECT_TRUE(lastFailure(query).contains(QStringLiteral("which does not begin with a version number"))) << fault;
    }
    // No version is longer than a reply may be, whether it arrives in one read or not.
    for (const char* burst : {"", "burst"}) {
        sim::Scenario scenario = withFault(QStringLiteral("version=2.13") + QString(300, QLatin1Char('2')));
        simOnPort(4, *burst ? withFault(QLatin1String(burst), scenario) : scenario);
        auto query = createQuery();
        EXPECT_TRUE(query->QueryMTI(4).isEmpty()) << burst;
        EXPECT_TRUE(lastFailure(query).contains(QStringLiteral("answered [VER] with a line of more than 256 characters"))) << burst;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(InstrumentQuery, deviceGoneDuringTheHandshake_saysSoWithoutPrompting)
{
    simOnPort(4, withFault(QStringLiteral("vanish-after=0")));
    auto query = createQuery();
    EXPECT_TRUE(query->QueryMTI(4).isEmpty());
    EXPECT_TRUE(boxes.empty()) << "the analyser's softkeys cannot bring a device back";
    EXPECT_TRUE(lastFailure(query).endsWith(QStringLiteral("went away while waiting for the reply to [VER]. Check the cable and the "
                                                           "analyser, then start again.")))
        << lastFailure(query).toStdString();
}

TEST_F(InstrumentQuery, portNotFound_emptyRecordAtOnce)
{
    const qint64 start = now();
    auto query = createQuery();
    EXPECT_TRUE(query->QueryMTI(9).isEmpty());
    EXPECT_EQ(now() - start, 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(lastFailure(query).startsWith(QStringLiteral("%1 does not exist.").arg(missingDevice(9)))) << lastFailure(query).toStdString();
    // An analyser found afterwards leaves no reason behind.
    simOnPort(9);
    EXPECT_EQ(query->QueryMTI(9).Present, 1);
    EXPECT_EQ(lastFailure(query), QString());
}

TEST_F(InstrumentQuery, silentAnalyser_promptsOnce_answerAfterPromptCounts)
{
    for (const bool answersAfterPrompt : {true, false}) {
        SCOPED_TRACE(answersAfterPrompt);
        boxes.clear();
        MComm::gfQueryPrompted = false;
        sim::TarvoSimulator& sim = simOnPort(4, withFault(QStringLiteral("no-reply")));
        // The operator brings the analyser to its main menu (or cannot), then clicks OK.
        onBox = [&](const MessageBoxRequest&) {
            if (answersAfterPrompt)
                sim.scenario().noReply = {};
            return mb::OK;
        };
        auto query = createQuery();
        const qint64 start = now();
        const InstrumentRecord record = query->QueryMTI(4);
        EXPECT_EQ(record.Present, answersAfterPrompt ? 1 : 0);
        EXPECT_EQ(record.isEmpty(), !answersAfterPrompt);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].prompt,
            QStringLiteral("Press \"more\" softkey twice on Tarvo and ensure that \"Main Menu 1\" is displayed and then Click OK."));
        EXPECT_TRUE(MComm::gfQueryPrompted);
        EXPECT_EQ(sim.commands().count(QStringLiteral("VER")), 2);
        if (answersAfterPrompt)
            continue;
        // Silent again: the time-out once more, and the empty record.
        EXPECT_EQ(now() - start, 2 * CTarvoXQuery::kReplyTimeOutMs);
        EXPECT_EQ(lastFailure(query), QStringLiteral("No answer to [VER] from %1 within 3000 ms. Check that the analyser is switched on and shows its "
                                                     "main menu, and that its cable is on this port.")
                                          .arg(sim.devicePath()));
    }
}

} // namespace
} // namespace kelto::test
