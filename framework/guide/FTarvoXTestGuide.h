#pragma once
// The modal window in which one test element runs one test. The element creates a
// guide per Perform, sets it up, shows it modally and does its work in handlers of
// the guide's signals; its navigation handlers end the modal show with Hide. The
// guide holds no test logic: numbered instructions, the analyser identity tab, the
// result view with the instruction popup over it, and the host's toolbar, whose
// buttons become the signals.

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

#include "framework/guide/CMtiData2.h"
#include "framework/guide/ITarvoXResult.h"
#include "framework/guide/XMTIData.h"
#include "framework/guide/XTestInstruction.h"
#include "platform/interfaces/GuideControls.h"

namespace kelto {

class IConfigData;
class IResultData;
class ITestElement;
class ITestGuideConfig;
class ITestSetup;

namespace guidebutton {
constexpr std::int32_t Abort = 101;
constexpr std::int32_t Previous = 102;
constexpr std::int32_t Next = 103;
constexpr std::int32_t Stop = 201;
constexpr std::int32_t Main = 202;
constexpr std::int32_t NotApplicable = 301;
constexpr std::int32_t Skip = 302;
} // namespace guidebutton

class FTarvoXTestGuide : public QObject {
    Q_OBJECT
public:
    // Loads the window (icon, translated captions); it is shown only by Show.
    FTarvoXTestGuide();
    // Unloads the window when the element did not.
    ~FTarvoXTestGuide() override;

    void Initialize(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup, const Variant& vInstructions);
    void SetToolbarMode(std::int16_t iMode, bool fFlag);
    void EnableNextButton(bool fEnable);
    void SetActiveSteps(const QList<std::int16_t>& steps = {});
    void SetStatusText(const QString& sText);
    // The analyser the result shown keeps, whatever the tab names (null: none): while
    // the tab names another, the status line says so. A start forgets it.
    void SetKeptAnalyser(const Ptr<CMtiData2>& mti);
    // The verdict shown as the host shows it, with its reason ("not judged (no
    // standard judged it)"); empty where it shows none.
    QString ShownVerdict();
    void ShowTestResult(const Ptr<IResultData>& ird);
    void ShowResultStatus(const Ptr<IResultData>& ird);
    // Raise to the caller when there is no result view or the picture is unknown.
    void ShowPopup(const QString& sPictureKey, const QString& sText, bool fFlash);
    void HidePopup();
    Ptr<CMtiData2> GetMtiData();

    // Shows the window modally; returns when it is hidden or closed.
    void Show();
    void Hide();
    void Unload();

    QDialog* window() const { return m_window; }
    Ptr<ITgToolbar> xtbToolbar() const { return m_toolbar; }
    Ptr<ITgContentPane> xtwWizard() const { return m_wizard; }
    Ptr<IXTestWizard> xtwDetails() const { return m_details; }
    XMTIData* xmdMtiData() const { return m_mtiData; }
    XTestInstruction* xtipopup() const { return m_popup; }
    Ptr<ITarvoXResult> resultView() const { return mirvResult; }
    QWidget* embeddedControl() const { return mEmbeddedControl; }

    // The test-guide settings of one of the library's configurations; null for any other object.
    static Ptr<ITestGuideConfig> GetTestGuideConfig(const Ptr<IConfigData>& configuration);

signals:
    void StartTest();
    void StopTest();
    void AbortTest();
    void NA();
    void NextTest();
    void Previous();
    void Skip();
    void ItemClicked(bool fCurrentItem);

private:
    Ptr<ITarvoXResult> CreateResultView(std::int32_t testId);
    void InitWizard(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup);
    std::int16_t AddWizardTab(const QString& caption, std::int32_t backColor, const QString& picture1, const QString& picture2, QWidget* control);
    void UpdateToolbar(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup);
    void buttonClick(const Ptr<ITgToolbarItem>& button, bool flag);
    // The Abort item: the host's confirmation, then AbortTest.
    void confirmAbort();
    void standardChanged();
    void layoutWindow();
    void keepPartsApart();
    void placePopup();
    void objectEvent(const QString& name, const VariantArray& params);
    void activated();
    // The status text as the element set it, with what the tab's analyser means for the
    // result shown.
    void showStatusText();

    QPointer<QDialog> m_window;
    Ptr<ITgToolbar> m_toolbar;
    Ptr<ITgContentPane> m_wizard;
    Ptr<IXTestWizard> m_details;
    QPointer<XMTIData> m_mtiData;
    QPointer<XTestInstruction> m_popup;
    ObjectPtr m_resultObject;           // the result view's object, kept with its container
    QPointer<QWidget> mEmbeddedControl; // its widget, added to the window as "irvResult"
    Ptr<ITarvoXResult> mirvResult;
    QString m_statusText; // translated
    Ptr<CMtiData2> m_keptMti;
};

} // namespace kelto
