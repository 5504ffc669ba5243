// The element's life with the host: creation by ProgID, cloning, the measurement
// list and loading a saved result.

#include <gtest/gtest.h>

#include "framework/CLimitData.h"
#include "host/HostLog.h"
#include "host/Standards.h"
#include "host/TestElementBase.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "procedures/defibrillator/CTestBatteryCapacity.h"
#include "procedures/defibrillator/CTestChargeTime.h"
#include "procedures/defibrillator/CTestSingleShot.h"
#include "tests/support/Errors.h"
#include "tests/support/MissingClass.h"

namespace kelto::test {
namespace {

Ptr<ITestElement> create(const char* progId)
{
    return ComponentRuntime::instance().createAs<ITestElement>(QLatin1String(progId));
}

TEST(TestElementFrame, createdByProgIdWithItsOwnConfigurationAndBoundLimits)
{
    const struct {
        const char* progId;
        std::int32_t testId;
        const char* key;
    } classes[] = {
        {"KeltoTarvoXTest.CTestVFIBEnergy", 100, "ENGY"},
        {"KeltoTarvoXTest.CTestVTACHEnergy", 200, "ENGY"},
        {"KeltoTarvoXTest.CTestChargeTime", 300, "CHTI"},
        {"KeltoTarvoXTest.CTestPeakVoltage", 400, "PEAV"},
        {"KeltoTarvoXTest.CTestOverCurrent", 500, "OVRC"},
        {"KeltoTarvoXTest.CTestOverVoltage", 600, "OVRV"},
        {"KeltoTarvoXTest.CTestBatteryCapacity", 1400, "CHTI"},
    };
    for (const auto& c : classes) {
        auto element = create(c.progId);
        ASSERT_TRUE(element) << c.progId;
        EXPECT_EQ(element->PlugInID(), QStringLiteral("TarvoX"));
        EXPECT_EQ(element->TestID(), c.testId);
        EXPECT_EQ(element->ID(), 0);
        EXPECT_TRUE(element->Configuration());
        EXPECT_EQ(element->Limits()->Owner(), element) << c.progId;
        EXPECT_EQ(element->Result(), nullptr);
        const VariantArray rows = element->GetMeasurementList().toArray();
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0].toArray()[0].toString(), QString::fromLatin1(c.key)) << c.progId;
        EXPECT_FALSE(rows[0].toArray()[1].toString().isEmpty());
    }
}

TEST(TestElementFrame, cloneCarriesTheIdsAndOwnsItsCopiedLimitsAndConfiguration)
{
    auto prototype = makeTestElement<CTestOverVoltage>();
    prototype->Initialize(QStringLiteral("TarvoX"), 600, 600);
    prototype->SetID(42);
    auto clone = prototype->Clone();
    ASSERT_TRUE(clone);
    EXPECT_TRUE(query<CTestOverVoltage>(clone));
    EXPECT_EQ(clone->TestID(), 600);
    EXPECT_EQ(clone->ID(), 42);
    EXPECT_EQ(clone->Limits()->Owner(), clone);
    EXPECT_EQ(prototype->Limits()->Owner(), prototype);
    EXPECT_NE(clone->Configuration(), prototype->Configuration());
    query<CConfigOverVoltage>(clone->Configuration())->SetPresetEnergy(250);
    EXPECT_EQ(query<CConfigOverVoltage>(prototype->Configuration())->PresetEnergy(), 100.0f);
    EXPECT_FALSE(query<CTestElementFrame>(clone)->runFlags().started);
}

TEST(TestElementFrame, hostMembersThatIgnoreErrorsNeverFail)
{
    auto element = makeTestElement<CTestChargeTime>();
    EXPECT_TRUE(element->QuerySetParent(nullptr));
    EXPECT_TRUE(element->QuerySetParent(element));
    // Without a standards collection there is nothing to bind.
    ASSERT_FALSE(element->Limits()->Standards());
    EXPECT_NO_THROW(element->UpdateReferences());
    // With one, the element becomes the owner of its standards again.
    element->Limits()->CreateStandard(QStringLiteral("OWN"), QStringLiteral("Own limits"));
    auto standards = std::dynamic_pointer_cast<host::StandardCollection>(element->Limits()->Standards());
    ASSERT_TRUE(standards);
    standards->SetOwner(nullptr);
    element->UpdateReferences();
    EXPECT_EQ(standards->owner(), element);

    const qsizetype reportsBefore = host::HostLog::instance().reportedErrors().size();
    EXPECT_NO_THROW(element->Load(nullptr, nullptr)) << "reported, not thrown";
    const auto reported = host::HostLog::instance().reportedErrors();
    ASSERT_EQ(reported.size(), reportsBefore + 1);
    EXPECT_EQ(reported.last().number, vberr::ObjectNotSet);
    EXPECT_EQ(reported.last().source, QStringLiteral("KeltoTarvoXTest.CTestChargeTime"));
    EXPECT_FALSE(element->Result());
}

TEST(TestElementFrame, loadAndSaveHandOnTheElementBasesOwnNumbersAndCloneReportsItsFailure)
{
    // An element base that fails to load and save with the number it is given.
    struct FailingBase : host::TestElementBase {
        std::int32_t number = 0;
        void Load(const Ptr<IXmlElement>&, const Ptr<IProtocolLog>&) override { raiseError(number, QStringLiteral("host")); }
        Ptr<IXmlElement> Save(const Ptr<IXmlDocument>&, std::int32_t) override { raiseError(number, QStringLiteral("host")); }
    };
    struct Probe : CTestChargeTime {
        using CTestElementFrame::mElementBase;
    };
    auto element = makeTestElement<Probe>();
    auto failing = std::make_shared<FailingBase>();
    element->mElementBase = failing;
    host::XmlDocument doc;
    const Ptr<IXmlDocument> owner(&doc, [](IXmlDocument*) {});
    const struct {
        bool save;
        std::uint32_t number;
        bool handedOn; // else reported, and the member returns
    } cases[] = {
        {false, 0x8004A2C0, true}, {false, 0x8004A2C1, true}, {false, 0x8004A2C2, true}, {false, 0x8004A2C8, true},
        {false, 0x8004A2CD, false}, {true, 0x8004A2CD, true}, {true, 0x8004A2C0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(c.save ? "Save" : "Load").arg(c.number, 0, 16).toStdString());
        failing->number = hresult(c.number);
        const qsizetype reportsBefore = host::HostLog::instance().reportedErrors().size();
        const std::int32_t raised = errorNumberOf([&] {
            if (c.save)
                EXPECT_EQ(element->Save(owner, 0), nullptr);
            else
                element->Load(owner->CreateElement(QStringLiteral("PlugInData")), nullptr);
        });
        const auto reported = host::HostLog::instance().reportedErrors();
        EXPECT_EQ(raised, c.handedOn ? hresult(c.number) : 0);
        ASSERT_EQ(reported.size(), reportsBefore + (c.handedOn ? 0 : 1));
        if (!c.handedOn) {
            EXPECT_EQ(reported.last().number, hresult(c.number));
            EXPECT_EQ(reported.last().source, QStringLiteral("KeltoTarvoXTest.CTestChargeTime"));
        }
    }

    // A clone whose element base the host cannot make is reported, and none is given.
    auto prototype = makeTestElement<CTestOverCurrent>();
    const MissingClass noBase(hostclass::TestElementBase);
    const qsizetype reportsBefore = host::HostLog::instance().reportedErrors().size();
    EXPECT_EQ(prototype->Clone(), nullptr);
    const auto reported = host::HostLog::instance().reportedErrors();
    ASSERT_EQ(reported.size(), reportsBefore + 1);
    EXPECT_EQ(reported.last().source, QStringLiteral("KeltoTarvoXTest.CTestOverCurrent"));
}

TEST(TestElementFrame, loadingAResultItemReadsIntoAFreshResult)
{
    auto element = makeTestElement<CTestChargeTime>();
    host::XmlDocument doc;
    const Ptr<IXmlDocument> owner(&doc, [](IXmlDocument*) {});

    element->Load(owner->CreateElement(QStringLiteral("ResultItem")), nullptr);
    const auto first = element->Result();
    ASSERT_TRUE(query<CResultChargeTime>(first));
    element->Load(owner->CreateElement(QStringLiteral("ResultItem")), nullptr);
    EXPECT_NE(element->Result(), first) << "each ResultItem gets a result of its own";

    auto other = makeTestElement<CTestChargeTime>();
    other->Load(owner->CreateElement(QStringLiteral("resultitem")), nullptr);
    EXPECT_EQ(other->Result(), nullptr) << "the tag name is compared exactly";
}

TEST(TestElementFrame, chargeTimeInstructionsRoundTheEnergyHalfToEven)
{
    struct Probe : CTestChargeTime {
        using CTestChargeTime::GetInstructions;
    };
    auto element = makeTestElement<Probe>();
    auto config = query<CConfigChargeTime>(element->Configuration());
    for (auto [energy, shown] : {std::pair{150.0f, "150"}, {100.5f, "100"}, {101.5f, "102"}}) {
        config->SetPresetEnergy(energy);
        const VariantArray lines = element->GetInstructions().toArray();
        ASSERT_EQ(lines.size(), 4);
        EXPECT_EQ(lines[0].toString(), QStringLiteral("1. Set defibrillator to %1J.").arg(QLatin1String(shown)));
    }
}

} // namespace
} // namespace kelto::test
