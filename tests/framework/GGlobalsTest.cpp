#include <QPixmap>
#include <gtest/gtest.h>

#include "framework/GGlobals.h"
#include "framework/MMiscUtils.h"
#include "platform/ComponentRuntime.h"
#include "platform/PluginError.h"
#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/Standards.h"

using namespace kelto;

namespace {

class FakeStandard : public IStandard {
public:
    explicit FakeStandard(QString alpha) : m_alpha(std::move(alpha)) {}
    QString AlphaName() override { return m_alpha; }
    QString CompleteName() override { return {}; }
    void SetNames(const QString&, const QString&, std::int32_t) override {}
    QList<Ptr<ILimit>> Limits() override { return {}; }
    Ptr<ILimit> FindLimit(const QString&) override { return nullptr; }
    void AddLimit(const Ptr<ILimit>&) override {}
    void RemoveLimit(const QString&) override {}
    std::int32_t CheckValue(const QString&, float, const Variant&) override { return 0; }
    Ptr<IStandard> Copy() override { return std::make_shared<FakeStandard>(m_alpha); }

private:
    QString m_alpha;
};

// The host's view of a plug-in, with an identifier.
class BasePlugIn : public IPlugIn {
public:
    explicit BasePlugIn(QString id) : m_id(std::move(id)) {}
    QString ID() override { return m_id; }
    QPixmap Icon(std::int32_t, std::int32_t, std::int32_t) override { return {}; }
    QString Name() override { return {}; }
    std::int32_t Flags() override { return 0; }
    Ptr<ISetup> Setup() override { return nullptr; }
    ObjectPtr ControlPanel() override { return nullptr; }
    Ptr<ITestList> Tests() override { return nullptr; }
    QString Version() override { return {}; }
    ObjectPtr PlugInMenu() override { return nullptr; }
    void Initialize(const Ptr<IProtocolLog>&) override {}
    Ptr<ITestElement> CreateTest(std::int32_t) override { return nullptr; }
    Ptr<IConfigData> CreateDutData() override { return nullptr; }

private:
    QString m_id;
};

// A shell plug-in: answers with a standard named after the request, scribbles on
// the names it is given, and fails for test id 0.
class FakePlugIn : public BasePlugIn, public ITarvoXPlugIn {
public:
    using BasePlugIn::BasePlugIn;

    Ptr<IStandard> LoadStandard(std::int32_t testId, QString& alphaName, QString& completeName) override
    {
        lastTestId = testId;
        if (testId == 0)
            raiseError(vberr::InvalidProcedureCall, QStringLiteral("FakePlugIn"));
        auto standard = std::make_shared<FakeStandard>(alphaName + QLatin1Char('/') + completeName);
        alphaName = QStringLiteral("changed");
        completeName = QStringLiteral("changed");
        return standard;
    }

    std::int32_t lastTestId = -1;
};

class GGlobalsTest : public ::testing::Test {
protected:
    void SetUp() override { MMiscUtils::StorePlugIn(nullptr); }
    void TearDown() override { MMiscUtils::StorePlugIn(nullptr); }

    static Ptr<IGlobals> globals() { return ComponentRuntime::instance().createAs<IGlobals>(QString::fromLatin1(tarvoxclass::GGlobals)); }
};

QString alphaOf(const Ptr<IStandard>& standard)
{
    return standard ? standard->AlphaName() : QStringLiteral("<none>");
}

} // namespace

TEST_F(GGlobalsTest, ClassesAreCreatedByClassIdAndProgId)
{
    EXPECT_NE(globals(), nullptr);
    EXPECT_NE(ComponentRuntime::instance().createAs<IGlobals>(QStringLiteral("KeltoTarvoXTest.GGlobals")), nullptr);
    auto empty = ComponentRuntime::instance().createAs<ITarvoXPlugIn>(QString::fromLatin1(tarvoxclass::ITarvoXPlugIn));
    ASSERT_NE(empty, nullptr);
    QString alpha = QStringLiteral("IEC");
    QString complete = QStringLiteral("IEC 60601");
    EXPECT_EQ(empty->LoadStandard(300, alpha, complete), nullptr);
}

TEST_F(GGlobalsTest, KeptPlugInAnswersStandardRequests)
{
    auto plugIn = std::make_shared<FakePlugIn>(QStringLiteral("TarvoX"));
    globals()->SetPlugInPointer(plugIn);
    EXPECT_EQ(alphaOf(MMiscUtils::LoadStandard(300, QStringLiteral("IEC"), QStringLiteral("IEC 60601"))), QStringLiteral("IEC/IEC 60601"));
    EXPECT_EQ(plugIn->lastTestId, 300);
}

TEST_F(GGlobalsTest, OnlyThePlugInWithTheExactIdIsKept)
{
    auto other = std::make_shared<FakePlugIn>(QStringLiteral("tarvox"));
    globals()->SetPlugInPointer(other);
    EXPECT_EQ(MMiscUtils::LoadStandard(300, QStringLiteral("A"), QStringLiteral("B")), nullptr);
    EXPECT_EQ(other->lastTestId, -1);

    // A later accepted plug-in replaces the earlier one.
    auto first = std::make_shared<FakePlugIn>(QStringLiteral("TarvoX"));
    auto second = std::make_shared<FakePlugIn>(QStringLiteral("TarvoX"));
    globals()->SetPlugInPointer(first);
    globals()->SetPlugInPointer(second);
    MMiscUtils::LoadStandard(100, QStringLiteral("A"), QStringLiteral("B"));
    EXPECT_EQ(first->lastTestId, -1);
    EXPECT_EQ(second->lastTestId, 100);
}

TEST_F(GGlobalsTest, SetPlugInPointerPassesErrorsToTheCaller)
{
    EXPECT_THROW(globals()->SetPlugInPointer(nullptr), PluginError);
    try {
        globals()->SetPlugInPointer(std::make_shared<BasePlugIn>(QStringLiteral("TarvoX")));
        ADD_FAILURE() << "a plug-in without ITarvoXPlugIn was accepted";
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), vberr::TypeMismatch);
    }
}

TEST_F(GGlobalsTest, LoadStandardWithoutPlugInGivesNothing)
{
    EXPECT_EQ(MMiscUtils::LoadStandard(300, QStringLiteral("A"), QStringLiteral("B")), nullptr);
}

TEST_F(GGlobalsTest, LoadStandardSwallowsPlugInErrors)
{
    MMiscUtils::StorePlugIn(std::make_shared<FakePlugIn>(QStringLiteral("TarvoX")));
    EXPECT_EQ(MMiscUtils::LoadStandard(0, QStringLiteral("A"), QStringLiteral("B")), nullptr);
}

TEST_F(GGlobalsTest, CallersNamesStayUnchanged)
{
    MMiscUtils::StorePlugIn(std::make_shared<FakePlugIn>(QStringLiteral("TarvoX")));
    const QString alpha = QStringLiteral("IEC");
    QString complete = QStringLiteral("IEC 60601-2-4");
    EXPECT_NE(MMiscUtils::LoadStandard(300, alpha, complete), nullptr);
    EXPECT_EQ(alpha, QStringLiteral("IEC"));
    EXPECT_EQ(complete, QStringLiteral("IEC 60601-2-4"));
}
