// The host's test-guide settings control: edits the settings object in place.

#include "host/XTestGuideSettings.h"

#include <QTest>
#include <gtest/gtest.h>

#include "host/TestGuideServices.h"
#include "platform/ComponentRuntime.h"

using namespace kelto;

namespace {

class XTestGuideSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        control = ComponentRuntime::instance().createAs<host::XTestGuideSettings>(QLatin1String(hostclass::TestGuideSettings));
        ASSERT_TRUE(control);
        control->widget()->show();
        control->SetOnChange([this] { ++changes; });
    }

    Ptr<host::XTestGuideSettings> control;
    Ptr<host::TestGuideConfig> settings = std::make_shared<host::TestGuideConfig>();
    int changes = 0;
};

} // namespace

TEST_F(XTestGuideSettingsTest, ShowsTheSettingsWithoutReportingAChange)
{
    settings->SetShowPictures(false);
    settings->SetConfirmNext(true);
    control->Initialize(Variant(settings));
    EXPECT_FALSE(control->showPicturesBox()->isChecked());
    EXPECT_TRUE(control->confirmNextBox()->isChecked());
    EXPECT_EQ(changes, 0);
}

TEST_F(XTestGuideSettingsTest, EachClickWritesTheObjectItselfAndIsReportedOnce)
{
    control->Initialize(Variant(settings));
    QTest::mouseClick(control->confirmNextBox(), Qt::LeftButton);
    EXPECT_TRUE(settings->ConfirmNext());
    EXPECT_EQ(changes, 1);
    QTest::mouseClick(control->showPicturesBox(), Qt::LeftButton);
    EXPECT_FALSE(settings->ShowPictures());
    EXPECT_EQ(changes, 2);
}

TEST_F(XTestGuideSettingsTest, LockedOrWithoutSettingsNothingCanBeChanged)
{
    control->Initialize(Variant(settings));
    control->SetLocked(true);
    EXPECT_TRUE(control->Locked());
    QTest::mouseClick(control->confirmNextBox(), Qt::LeftButton);
    EXPECT_FALSE(settings->ConfirmNext());
    control->SetLocked(false);
    EXPECT_TRUE(control->confirmNextBox()->isEnabled());

    control->Initialize(Variant::nothing());
    EXPECT_FALSE(control->showPicturesBox()->isEnabled());
    control->Initialize(Variant(QStringLiteral("not settings")));
    QTest::mouseClick(control->showPicturesBox(), Qt::LeftButton);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(settings->ShowPictures());
}
