// The panels as the host meets them: inside the settings dialog of their
// configuration.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSlider>

#include "PanelTestSupport.h"
#include "tests/configurations/ConfigTestSupport.h"
#include "configurations/CConfigBase.h"
#include "configurations/CConfigEnergySetting.h"
#include "framework/FDialogWrapper.h"
#include "platform/interfaces/TestData.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

const char* const kConfigurations[] = {"VFIBEnergy", "VTACHEnergy", "ChargeTime", "PeakVoltage", "OverCurrent", "OverVoltage",
    "SyncRPeak", "SyncQBase", "BatteryCapacity", "BatteryRetention", "DefibPulse", "NormalSinus", "Arrhythmia", "Performance",
    "PacerParameter", "PacerRefractory"};

QWidget* panelOf(const Ptr<IDialog>& dialog)
{
    auto wrapper = std::dynamic_pointer_cast<FDialogWrapper>(dialog);
    return wrapper && wrapper->window() ? wrapper->window()->findChild<QWidget*>(QStringLiteral("isc")) : nullptr;
}

// The operator's controls of a panel, the host's settings control included.
QList<QWidget*> editors(QWidget* panel)
{
    QList<QWidget*> out;
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QListWidget*>(w)
            || qobject_cast<QSlider*>(w))
            out << w;
    }
    return out;
}

// What a control shows: a caption reaches no further than its text.
QRect shown(const QWidget* control)
{
    QRect r = control->geometry();
    if (qobject_cast<const QLabel*>(control) || qobject_cast<const QCheckBox*>(control))
        r.setWidth(std::min(r.width(), control->sizeHint().width()));
    return r;
}

} // namespace

TEST(PanelDialog, EveryConfigurationsDialogHoldsItsPanelAndPassesTheLockOn)
{
    for (const char* name : kConfigurations) {
        SCOPED_TRACE(name);
        auto config = newConfiguration(QLatin1String(name));
        ASSERT_TRUE(config);
        Ptr<IDialog> dialog = config->CreateDialog();
        QWidget* panel = panelOf(dialog);
        ASSERT_TRUE(panel);
        // Initialised with this configuration: its settings are the ones shown.
        auto* settings = panel->findChild<QCheckBox*>(QStringLiteral("showPictures"));
        ASSERT_TRUE(settings);
        EXPECT_TRUE(settings->isEnabled());

        auto callBack = std::make_shared<host::CallBack>();
        dialog->SetCallBack(callBack);
        EXPECT_EQ(dialog->CallBack(), callBack);
        QTest::mouseClick(settings, Qt::LeftButton);
        EXPECT_FALSE(config->TestGuideConfig()->ShowPictures());
        EXPECT_EQ(changesOf(*callBack), 1);

        dialog->SetLocked(true);
        EXPECT_TRUE(dialog->Locked());
        for (QWidget* editor : editors(panel))
            EXPECT_FALSE(editor->isEnabled()) << qPrintable(editor->objectName());
        dialog->Unload();
    }
}

TEST(PanelDialog, EveryPanelDockedAtItsLeastWholeSizeShowsEveryCaptionWholeAndNothingOverlaps)
{
    for (const char* name : kConfigurations) {
        SCOPED_TRACE(name);
        auto config = newConfiguration(QLatin1String(name));
        Ptr<IDialog> dialog = config->CreateDialog();
        QWidget* panel = panelOf(dialog);
        ASSERT_TRUE(panel);
        QWidget host;
        host.resize(panel->minimumSizeHint());
        host.show();
        dialog->Dock(&host);
        dialog->Move(0, 0, host.width() * twipsPerPixel(&host), host.height() * twipsPerPixel(&host));
        dialog->Show();
        ASSERT_EQ(panel->size(), host.size());

        for (QWidget* control : panel->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(control);
            const auto* list = qobject_cast<QListWidget*>(control);
            if ((label && !label->wordWrap()) || qobject_cast<QCheckBox*>(control) || control->objectName() == QLatin1String("xtgTestGuideConfig")) {
                EXPECT_LE(control->sizeHint().width(), control->width()) << qPrintable(control->objectName());
            }
            if (list) {
                EXPECT_LE(list->sizeHintForColumn(0), list->viewport()->width()) << qPrintable(list->objectName());
            }
        }
        const QList<QGroupBox*> frames = panel->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
        for (QGroupBox* frame : frames) {
            const QList<QWidget*> controls = frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* control : controls) {
                EXPECT_TRUE(frame->rect().contains(control->geometry())) << qPrintable(control->objectName());
                for (QWidget* other : controls)
                    EXPECT_TRUE(other == control || !shown(other).intersects(shown(control)))
                        << qPrintable(control->objectName()) << " overlaps " << qPrintable(other->objectName());
            }
            // Within the least whole size: only the pacer's empty frame may reach past it.
            if (!controls.isEmpty()) {
                EXPECT_LE(frame->geometry().right(), panel->width()) << qPrintable(frame->objectName());
            }
            for (QGroupBox* other : frames)
                EXPECT_TRUE(other == frame || !other->geometry().intersects(frame->geometry())) << qPrintable(frame->objectName());
        }
        dialog->Unload();
    }
}

TEST(PanelDialog, ADockedPanelTakesTheOperatorsEdits)
{
    auto config = std::make_shared<CConfigChargeTime>();
    Ptr<IDialog> dialog = config->CreateDialog();
    auto callBack = std::make_shared<host::CallBack>();
    dialog->SetCallBack(callBack);
    QWidget* panel = panelOf(dialog);
    ASSERT_TRUE(panel);
    QWidget host;
    host.resize(800, 300);
    host.show();
    dialog->Dock(&host);
    dialog->Move(0, 0, 9660, 3435);
    dialog->Show();
    EXPECT_EQ(panel->parentWidget(), &host);
    EXPECT_TRUE(panel->isVisible());
    auto* energy = panel->findChild<QLineEdit*>(QStringLiteral("txtEnergy"));
    ASSERT_TRUE(energy);
    clearByBackspace(energy);
    QTest::keyClicks(energy, QStringLiteral("360"));
    EXPECT_FLOAT_EQ(config->PresetEnergy(), 360);
    EXPECT_EQ(changesOf(*callBack), 6);
    dialog->Unload();
    EXPECT_TRUE(host.findChildren<QLineEdit*>().isEmpty());
}

TEST(PanelDialog, AfterUnloadThePanelIgnoresTheDialogsRequests)
{
    for (const char* name : {"ChargeTime", "DefibPulse", "Arrhythmia", "PacerParameter"}) {
        SCOPED_TRACE(name);
        auto config = newConfiguration(QLatin1String(name));
        Ptr<IDialog> dialog = config->CreateDialog();
        dialog->Unload();
        dialog->SetLocked(true);
        dialog->SetLocked(false);
        dialog->Initialize(Variant(config));
        dialog->Refresh();
        dialog->SetFocus();
        dialog->SetCallBack(std::make_shared<host::CallBack>());
        EXPECT_FALSE(dialog->Locked());
    }
}
