// The energy-setting family, through the charge-time configuration, and the frame
// every configuration shares: "PlugInData" checks, errors, numbers and cloning.

#include "configurations/CConfigEnergySetting.h"

#include <QLineEdit>
#include <QLocale>
#include <cmath>
#include <limits>

#include "ConfigTestSupport.h"
#include "framework/FDialogWrapper.h"
#include "platform/interfaces/Controls.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

const QString kProgId = QStringLiteral("KeltoTarvoXTest.CConfigChargeTime");

} // namespace

TEST(EnergySettingConfig, SavesPresetEnergyThenTheTestGuideSettings)
{
    CConfigChargeTime config;
    auto doc = newDocument();
    auto element = config.Save(doc);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->TagName(), QStringLiteral("PlugInData"));
    EXPECT_EQ(element->GetAttribute(QStringLiteral("PlugIn")), QStringLiteral("TarvoX"));
    EXPECT_EQ(childNames(element), (QStringList{"PresetEnergy", "TestGuideSettings"}));
    EXPECT_EQ(childText(element, QStringLiteral("PresetEnergy")), QStringLiteral("100"));
}

TEST(EnergySettingConfig, LoadsTheNumberAndKeepsTheValueOfAMissingChild)
{
    CConfigChargeTime config;
    config.Load(plugInData(QStringLiteral("<PresetEnergy> 12.5 </PresetEnergy>")), nullptr);
    EXPECT_FLOAT_EQ(config.PresetEnergy(), 12.5f);
    config.SetPresetEnergy(77);
    config.Load(plugInData(QString()), nullptr);
    EXPECT_FLOAT_EQ(config.PresetEnergy(), 77.0f);
}

TEST(EnergySettingConfig, RefusesAnotherElementBeforeChangingAnything)
{
    CConfigChargeTime config;
    config.SetPresetEnergy(150);
    const auto settings = config.TestGuideConfig();
    for (const QString& xml : {QStringLiteral("<plugindata PlugIn=\"TarvoX\"><PresetEnergy>5</PresetEnergy></plugindata>"),
             QStringLiteral("<PlugInData PlugIn=\"tarvox\"><PresetEnergy>5</PresetEnergy></PlugInData>"),
             QStringLiteral("<PlugInData><PresetEnergy>5</PresetEnergy></PlugInData>")}) {
        try {
            config.Load(elementOf(xml), nullptr);
            ADD_FAILURE() << "accepted " << qPrintable(xml);
        } catch (const PluginError& e) {
            EXPECT_EQ(e.number(), hresult(0x8004A3C2));
            EXPECT_EQ(e.source(), kProgId);
            EXPECT_EQ(e.severity(), 4);
        }
        EXPECT_FLOAT_EQ(config.PresetEnergy(), 150.0f);
        EXPECT_EQ(config.TestGuideConfig(), settings) << "the settings object was replaced";
    }
}

TEST(EnergySettingConfig, ALoadThatFailsMidwayIsReportedAndChangesNothing)
{
    CConfigChargeTime config;
    config.SetPresetEnergy(42);
    const auto settings = config.TestGuideConfig();
    host::HostLog::instance().clear();
    // Beyond the single-precision range: an overflow, not a plug-in error of its own.
    EXPECT_NO_THROW(config.Load(plugInData(QStringLiteral("<PresetEnergy>1E39</PresetEnergy>")), nullptr));
    EXPECT_FLOAT_EQ(config.PresetEnergy(), 42.0f);
    EXPECT_EQ(config.TestGuideConfig(), settings);
    const auto errors = reportedErrors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].number, vberr::Overflow);
    EXPECT_EQ(errors[0].source, kProgId);
}

TEST(EnergySettingConfig, ANumberOrFlagOfAnyFamilyThatCannotBeReadIsReportedByNameAndChangesNothing)
{
    // Read in part, rounded or as 0, each would change the setting unseen.
    const struct {
        const char* progId;
        const char* children;
        const char* named;
    } cases[] = {
        {"ChargeTime", "<PresetEnergy>abc</PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"abc\""},
        {"ChargeTime", "<PresetEnergy></PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"\""},
        {"ChargeTime", "<PresetEnergy>NaN</PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"NaN\""},
        {"ChargeTime", "<PresetEnergy>0x64</PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"0x64\""},
        {"VFIBEnergy", "<PresetEnergy>1,5</PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"1,5\""},
        {"ChargeTime", "<PresetEnergy>12.5 J</PresetEnergy>", "The PresetEnergy of the settings cannot be read: \"12.5 J\""},
        {"DefibPulse", "<PresetEnergy>1e999</PresetEnergy>", "The PresetEnergy of the settings is out of range: \"1e999\""},
        {"NormalSinus", "<Duration>7.5</Duration>", "The Duration of the settings cannot be read: \"7.5\""},
        {"Arrhythmia", "<Wavetype>+203</Wavetype>", "The Wavetype of the settings cannot be read: \"+203\""},
        {"PacerParameter", "<LoadIndex>2 </LoadIndex><Rate>72,5</Rate>", "The Rate of the settings cannot be read: \"72,5\""},
        {"PacerRefractory", "<Amplitude>fifty</Amplitude>", "The Amplitude of the settings cannot be read: \"fifty\""},
        {"Performance", "<TestGuideSettings ShowPictures=\"yes\"/>", "The ShowPictures of the test-guide settings cannot be read: \"yes\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.children);
        const QString progId = QStringLiteral("KeltoTarvoXTest.CConfig") + QLatin1String(c.progId);
        const Ptr<IConfigData> config = newConfiguration(QLatin1String(c.progId));
        ASSERT_TRUE(config);
        const auto savedForm = [&] {
            auto doc = newDocument();
            doc->SetDocumentElement(config->Save(doc));
            return doc->Xml();
        };
        const QString before = savedForm();
        host::HostLog::instance().clear();
        EXPECT_NO_THROW(config->Load(plugInData(QLatin1String(c.children)), nullptr));
        EXPECT_EQ(savedForm(), before);
        const auto errors = reportedErrors();
        ASSERT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].text.startsWith(QLatin1String(c.named))) << errors[0].text.toStdString();
        EXPECT_EQ(errors[0].source, progId);
    }
}

TEST(EnergySettingConfig, SaveWithoutAnElementFromTheDocumentRaisesItsOwnError)
{
    CConfigChargeTime config;
    auto doc = std::make_shared<host::XmlDocument>();
    doc->failElementCreation({QStringLiteral("PlugInData")});
    try {
        config.Save(doc);
        ADD_FAILURE() << "saved without an element";
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), hresult(0x8004A3C3));
        EXPECT_EQ(e.source(), kProgId);
        EXPECT_EQ(e.severity(), 3);
    }
}

TEST(EnergySettingConfig, NumbersReadBackExactlyWhateverTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (float energy : {0.1f, 1.0f / 3.0f, 72.4f, 1e-7f, 16777215.0f, 3.0e38f, std::numeric_limits<float>::min(), -0.5f}) {
        CConfigChargeTime source;
        source.SetPresetEnergy(energy);
        auto saved = source.Save(newDocument());
        const QString text = childText(saved, QStringLiteral("PresetEnergy"));
        EXPECT_FALSE(text.contains(QLatin1Char(','))) << qPrintable(text);
        CConfigChargeTime target;
        target.Load(saved, nullptr);
        EXPECT_EQ(target.PresetEnergy(), energy) << qPrintable(text);
    }
    QLocale::setDefault(previous);
}

TEST(EnergySettingConfig, CloneIsAnIndependentCopyOfTheSameClass)
{
    CConfigChargeTime source;
    source.SetPresetEnergy(200);
    auto clone = source.Clone();
    auto copy = std::dynamic_pointer_cast<CConfigChargeTime>(clone);
    ASSERT_TRUE(copy);
    EXPECT_FLOAT_EQ(copy->PresetEnergy(), 200.0f);
    ASSERT_TRUE(copy->TestGuideConfig());
    EXPECT_NE(copy->TestGuideConfig(), source.TestGuideConfig());
    copy->SetPresetEnergy(5);
    EXPECT_FLOAT_EQ(source.PresetEnergy(), 200.0f);

    CConfigChargeTime target;
    target.CopyFrom(nullptr);
    EXPECT_FLOAT_EQ(target.PresetEnergy(), 100.0f);
}

TEST(EnergySettingConfig, TestGuideSettingsAreClonedSavedAndLoadedAsTheirOwnObject)
{
    CConfigChargeTime source;
    ASSERT_TRUE(source.TestGuideConfig());
    source.TestGuideConfig()->SetConfirmNext(true);
    source.TestGuideConfig()->SetShowPictures(false);

    auto copy = std::dynamic_pointer_cast<CConfigChargeTime>(source.Clone());
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->TestGuideConfig()->ConfirmNext());
    copy->TestGuideConfig()->SetConfirmNext(false);
    EXPECT_TRUE(source.TestGuideConfig()->ConfirmNext());

    CConfigChargeTime target;
    const auto before = target.TestGuideConfig();
    target.Load(source.Save(newDocument()), nullptr);
    EXPECT_NE(target.TestGuideConfig(), before);
    EXPECT_TRUE(target.TestGuideConfig()->ConfirmNext());
    EXPECT_FALSE(target.TestGuideConfig()->ShowPictures());

    // An element without settings gives a fresh settings object with the host's defaults.
    target.Load(plugInData(QString()), nullptr);
    EXPECT_FALSE(target.TestGuideConfig()->ConfirmNext());
}

TEST(EnergySettingConfig, CreateDialogGivesAnUndockedDialogHoldingItsPanel)
{
    auto config = std::make_shared<CConfigChargeTime>();
    config->SetPresetEnergy(150);
    auto dialog = config->CreateDialog();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->IsDocked());
    auto wrapper = std::dynamic_pointer_cast<FDialogWrapper>(dialog);
    ASSERT_TRUE(wrapper);
    QWidget* panel = wrapper->window()->findChild<QWidget*>(QStringLiteral("isc"));
    ASSERT_TRUE(panel);
    // The panel was given this configuration.
    auto* energy = panel->findChild<QLineEdit*>(QStringLiteral("txtEnergy"));
    ASSERT_TRUE(energy);
    EXPECT_EQ(energy->text(), QStringLiteral("150"));
    dialog->Unload();
}
