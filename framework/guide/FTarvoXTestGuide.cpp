#include "framework/guide/FTarvoXTestGuide.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "framework/guide/GuideLayout.h"
#include "framework/guide/GuidePictures.h"
#include "framework/guide/XMTIData.h"
#include "framework/guide/XTestInstruction.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto {

namespace {

const QString kSource = QStringLiteral("KeltoTarvoXTest.FTarvoXTestGuide");

// Design sizes in twips.
constexpr double kWindowWidth = 8910;
constexpr double kWindowHeight = 5625;
constexpr double kViewLeft = 330;
constexpr double kViewTop = 2310;
constexpr double kViewWidth = 8550;
constexpr double kViewHeight = 2895;

// Shared by every guide, created on first use.
template <class T>
Ptr<T> sharedService(const char* classId)
{
    static Ptr<T> service;
    if (!service)
        service = ComponentRuntime::instance().createAs<T>(QLatin1String(classId));
    if (!service)
        raiseError(vberr::CannotCreateObject, kSource, QStringLiteral("The host service %1 is not registered.").arg(QLatin1String(classId)));
    return service;
}

Ptr<ITestGuideHelper> testGuideHelper()
{
    return sharedService<ITestGuideHelper>(hostclass::TestGuideHelper);
}

Ptr<IPictureSource> pictureSource()
{
    return sharedService<IPictureSource>(hostclass::PictureSource);
}

class GuideWindow : public QDialog {
public:
    std::function<void()> onResize;
    std::function<void()> onActivate;
    std::function<void()> onCloseRequest;
    std::function<void()> onPartsChanged;

protected:
    // A part whose size hints changed asks its parent, this window, to lay out again.
    bool event(QEvent* event) override
    {
        const bool handled = QDialog::event(event);
        if (event->type() == QEvent::LayoutRequest && onPartsChanged)
            onPartsChanged();
        return handled;
    }
    void showEvent(QShowEvent* event) override
    {
        if (onPartsChanged)
            onPartsChanged();
        QDialog::showEvent(event);
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QDialog::resizeEvent(event);
        if (onResize)
            onResize();
    }
    void changeEvent(QEvent* event) override
    {
        QDialog::changeEvent(event);
        if (event->type() == QEvent::ActivationChange && isActiveWindow() && onActivate)
            onActivate();
    }
    // The title bar's close (or the window manager's close key) would end the modal
    // show with none of the guide's events, leaving a run going on unseen: it asks
    // to abort instead, and only the test element's handling closes the window.
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        if (onCloseRequest)
            onCloseRequest();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        // Escape must not end a run behind the test element's back.
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

} // namespace

FTarvoXTestGuide::FTarvoXTestGuide()
{
    auto* window = new GuideWindow;
    m_window = window;
    window->setObjectName(QStringLiteral("FTarvoXTestGuide"));
    window->setWindowTitle(QStringLiteral("Kelto Test Guide"));
    window->setModal(true);
    window->resize(guide::twipsToPxX(kWindowWidth, window), guide::twipsToPxY(kWindowHeight, window));

    ignoreErrors([&] { m_wizard = ComponentRuntime::instance().createAs<ITgContentPane>(QLatin1String(hostclass::TgContentPane)); });
    ignoreErrors([&] { m_toolbar = ComponentRuntime::instance().createAs<ITgToolbar>(QLatin1String(hostclass::TgToolbar)); });
    ignoreErrors([&] { m_details = ComponentRuntime::instance().createAs<IXTestWizard>(QLatin1String(hostclass::TestWizard)); });
    if (m_wizard && m_wizard->widget()) {
        m_wizard->widget()->setParent(window);
        m_wizard->widget()->setObjectName(QStringLiteral("xtwWizard"));
    }
    if (m_toolbar && m_toolbar->widget()) {
        m_toolbar->widget()->setParent(window);
        m_toolbar->widget()->setObjectName(QStringLiteral("xtbToolbar"));
    }
    if (m_details && m_details->widget()) {
        m_details->widget()->setParent(window);
        m_details->widget()->setObjectName(QStringLiteral("xtwDetails"));
    }
    m_mtiData = new XMTIData(window);
    m_mtiData->hide();
    // Whatever the operator changes in the tab, the status line says what it means.
    const auto tabChanged = [this] {
        if (m_keptMti)
            showStatusText();
    };
    connect(m_mtiData->modelList(), &QComboBox::currentIndexChanged, this, tabChanged);
    connect(m_mtiData->serialBox(), &QLineEdit::textChanged, this, tabChanged);
    connect(m_mtiData->firmwareBox(), &QLineEdit::textChanged, this, tabChanged);
    m_popup = new XTestInstruction(window);

    if (m_toolbar) {
        TgToolbarEvents events;
        events.ButtonClick = [this](const Ptr<ITgToolbarItem>& button, bool flag) { buttonClick(button, flag); };
        events.Resize = [this] { layoutWindow(); };
        events.StandardChanged = [this] { standardChanged(); };
        m_toolbar->Advise(std::move(events));
    }
    if (m_wizard)
        m_wizard->AdviseLayout([this](float, float, float, float) {
            if (mEmbeddedControl)
                placePopup();
        });
    window->onResize = [this] { layoutWindow(); };
    window->onActivate = [this] { activated(); };
    window->onCloseRequest = [this] { confirmAbort(); };
    window->onPartsChanged = [this] { keepPartsApart(); };

    ignoreErrors([&] { window->setWindowIcon(QIcon(pictureSource()->Picture(101))); });
    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, window); });
    keepPartsApart();
    layoutWindow();
}

FTarvoXTestGuide::~FTarvoXTestGuide()
{
    Unload();
}

// ---- set-up by the test element --------------------------------------------------

void FTarvoXTestGuide::Initialize(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup, const Variant& vInstructions)
{
    if (!ite || !m_window)
        return;
    try {
        m_window->setWindowTitle(testGuideHelper()->Caption(ite));
        deref(m_details, kSource).SetInstructions(vInstructions);
        // A run's result shows the analyser of its record, and one whose record is not
        // known (not stored, or not in a file saved before records were kept) shows
        // none rather than another analyser's. A test not run yet starts from the
        // record stored last, or the identity last used.
        ignoreErrors([&] {
            const Ptr<IResultData> result = ite->Result();
            std::int32_t mtiId = result ? result->MTIID() : 0;
            const bool run = result && (mtiId != 0 || result->Status() != emsNone);
            const auto identity = run && mtiId <= 0 ? nullptr : MMiscUtils::GetMtiData(itsSetup ? itsSetup->MtiDatabase() : nullptr, mtiId);
            if (identity)
                m_mtiData->SetMtiData(identity);
            else if (run)
                m_mtiData->ShowNoRecord();
        });
        mirvResult = CreateResultView(ite->TestID());
        // Without a view the run still needs its tabs and toolbar.
        if (mirvResult) {
            mirvResult->ShowTestResult(ite->Result());
            mirvResult->SetLimits(ite->Limits());
        }
        InitWizard(ite, itsSetup);
        UpdateToolbar(ite, itsSetup);
    } catch (...) {
    }
}

Ptr<ITarvoXResult> FTarvoXTestGuide::CreateResultView(std::int32_t testId)
{
    const bool waveform = testId == 900 || testId == 1000 || testId == 1100;
    const QString progId = QLatin1String(waveform ? tarvoxclass::XTestResult : tarvoxclass::XChargeResult);
    // A second call replaces the view, as the control's name is taken.
    if (mEmbeddedControl)
        delete mEmbeddedControl.data();
    m_resultObject.reset();
    ObjectPtr control;
    ignoreErrors([&] { control = CreateObject(progId); });
    const auto embedded = query<IEmbeddedControl>(control);
    QWidget* widget = embedded ? embedded->widget() : nullptr;
    if (!widget)
        return nullptr;
    m_resultObject = control;
    mEmbeddedControl = widget;
    ignoreErrors([&] {
        widget->setParent(m_window);
        widget->setObjectName(QStringLiteral("irvResult"));
    });
    ignoreErrors([&] { embedded->SetObjectEventHandler([this](const QString& name, const VariantArray& params) { objectEvent(name, params); }); });
    ignoreErrors([&] {
        widget->setGeometry(guide::twipsToPxX(kViewLeft, m_window), guide::twipsToPxY(kViewTop, m_window),
            guide::twipsToPxX(kViewWidth, m_window), guide::twipsToPxY(kViewHeight, m_window));
    });
    ignoreErrors([&] { widget->show(); });
    return query<ITarvoXResult>(control);
}

void FTarvoXTestGuide::InitWizard(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup)
{
    if (!m_wizard)
        return;
    ignoreErrors([&] { m_wizard->AttachTest(ite, itsSetup); });
    ignoreErrors([&] { m_wizard->SetResultView(mEmbeddedControl); });
    ignoreErrors([&] { m_wizard->SetDetailsPane(m_details ? m_details->widget() : nullptr); });
    ignoreErrors([&] {
        AddWizardTab(QStringLiteral("462::MTI Data"), m_mtiData->BackColor(), QStringLiteral("TAB_MTIDATA_1"),
            QStringLiteral("TAB_MTIDATA_2"), m_mtiData);
    });
    ignoreErrors([&] { m_wizard->AttachForm(m_window); });
    ignoreErrors([&] { layoutWindow(); });
}

std::int16_t FTarvoXTestGuide::AddWizardTab(const QString& caption, std::int32_t backColor, const QString& picture1,
    const QString& picture2, QWidget* control)
{
    const auto tab = ComponentRuntime::instance().createAs<ITgTab>(QLatin1String(hostclass::TgTab));
    deref(tab, kSource).SetMaskColor(olecolor::Red); // the background of the tab bitmaps
    tab->SetBackColor(backColor);
    tab->SetPicture(guide::LoadResPicture(picture1));
    tab->SetPicture2(guide::LoadResPicture(picture2));
    tab->SetCaption(textTranslator()->Translate(kOwnerWord, caption, {}));
    return m_wizard->AddTab(tab, control);
}

Ptr<ITestGuideConfig> FTarvoXTestGuide::GetTestGuideConfig(const Ptr<IConfigData>& configuration)
{
    const auto owner = query<ITestGuideConfigOwner>(configuration);
    return owner ? owner->TestGuideConfig() : nullptr;
}

void FTarvoXTestGuide::UpdateToolbar(const Ptr<ITestElement>& ite, const Ptr<ITestSetup>& itsSetup)
{
    if (!m_toolbar)
        return;
    Ptr<ITestGuideConfig> settings;
    ignoreErrors([&] { settings = GetTestGuideConfig(ite->Configuration()); });
    std::int32_t options = 7;
    ignoreErrors([&] {
        if (settings)
            options = settings->Options() | 4;
    });
    ignoreErrors([&] { m_toolbar->SetOptions(options, 3); });
    ignoreErrors([&] { m_toolbar->AttachTest(ite, itsSetup); });
}

// ---- operations during the run ---------------------------------------------------

void FTarvoXTestGuide::SetToolbarMode(std::int16_t iMode, bool fFlag)
{
    if (!m_toolbar || (iMode != 1 && iMode != 2))
        return;
    const bool running = iMode == 2;
    ignoreErrors([&] { m_toolbar->SetRunState(running ? 1 : (fFlag ? 2 : 0)); });
    ignoreErrors([&] { m_toolbar->SetRunFlags(Variant(), running, running); });
}

void FTarvoXTestGuide::EnableNextButton(bool fEnable)
{
    ignoreErrors([&] { deref(deref(m_toolbar, kSource).Item(guidebutton::Next), kSource).SetEnabled(fEnable); });
}

void FTarvoXTestGuide::SetActiveSteps(const QList<std::int16_t>& steps)
{
    VariantArray numbers;
    for (std::int16_t step : steps)
        numbers.append(Variant(step));
    ignoreErrors([&] {
        if (m_details)
            m_details->SetActiveSteps(Variant(numbers));
    });
}

void FTarvoXTestGuide::SetStatusText(const QString& sText)
{
    ignoreErrors([&] {
        const qsizetype separator = sText.indexOf(QStringLiteral("::"));
        m_statusText = separator >= 0 && separator <= 5 ? textTranslator()->Translate(kOwnerWord, sText, {}) : sText;
        showStatusText();
    });
}

void FTarvoXTestGuide::SetKeptAnalyser(const Ptr<CMtiData2>& mti)
{
    m_keptMti = mti ? std::make_shared<CMtiData2>(*mti) : nullptr;
    showStatusText();
}

void FTarvoXTestGuide::showStatusText()
{
    QString text = m_statusText;
    const Ptr<CMtiData2> tab = GetMtiData();
    const bool same = tab && m_keptMti && tab->MtiType() == m_keptMti->MtiType() && tab->Serial() == m_keptMti->Serial()
        && tab->Firmware() == m_keptMti->Firmware();
    // Next records the tab's analyser for a result of this run, not for one kept from
    // an earlier run: a correction made in the tab since would look taken.
    if (m_keptMti && !same) {
        QStringList named{m_keptMti->MtiType()};
        if (!m_keptMti->Serial().isEmpty())
            named << QStringLiteral("serial ") + m_keptMti->Serial();
        if (!m_keptMti->Firmware().isEmpty())
            named << QStringLiteral("firmware ") + m_keptMti->Firmware();
        text += (text.isEmpty() ? QString() : QStringLiteral("; "))
            + QStringLiteral("the result shown keeps the analyser that measured it (%1), not the one the \"MTI Data\" tab names")
                  .arg(named.join(QStringLiteral(", ")));
    }
    ignoreErrors([&] { deref(deref(m_toolbar, kSource).StatusCaption(), kSource).SetText(text); });
}

QString FTarvoXTestGuide::ShownVerdict()
{
    return valueOr([&] { return deref(deref(m_toolbar, kSource).StatusCaption(), kSource).Verdict(); }, QString());
}

void FTarvoXTestGuide::ShowTestResult(const Ptr<IResultData>& ird)
{
    if (!ird || !mirvResult)
        return;
    ignoreErrors([&] { mirvResult->ShowTestResult(ird); });
}

void FTarvoXTestGuide::ShowResultStatus(const Ptr<IResultData>& ird)
{
    if (!ird)
        return;
    ignoreErrors([&] { deref(deref(m_toolbar, kSource).StatusCaption(), kSource).SetStatus(Variant(ird->Status()).toInteger()); });
}

void FTarvoXTestGuide::ShowPopup(const QString& sPictureKey, const QString& sText, bool fFlash)
{
    // The popup covers the result view: without a view there is nothing to cover.
    deref(mEmbeddedControl.data(), kSource);
    XTestInstruction& popup = deref(m_popup.data(), kSource);
    placePopup();
    popup.ShowMsg(sPictureKey, sText);
    popup.SetFlash(fFlash);
    popup.show();
    popup.raise();
}

void FTarvoXTestGuide::HidePopup()
{
    XTestInstruction& popup = deref(m_popup.data(), kSource);
    popup.SetFlash(false);
    popup.hide();
}

Ptr<CMtiData2> FTarvoXTestGuide::GetMtiData()
{
    return m_mtiData ? m_mtiData->GetMtiData() : nullptr;
}

void FTarvoXTestGuide::Show()
{
    if (m_window)
        m_window->exec();
}

void FTarvoXTestGuide::Hide()
{
    if (m_window)
        m_window->hide();
}

void FTarvoXTestGuide::Unload()
{
    if (!m_window)
        return;
    if (m_toolbar)
        ignoreErrors([&] { m_toolbar->Advise({}); });
    if (m_wizard) {
        ignoreErrors([&] { m_wizard->DetachForm(m_window); });
        ignoreErrors([&] { m_wizard->ReleaseAll(); });
    }
    mirvResult.reset();
    m_resultObject.reset();
    delete m_window.data();
}

// ---- events ------------------------------------------------------------------------

void FTarvoXTestGuide::buttonClick(const Ptr<ITgToolbarItem>& button, bool flag)
{
    if (!button)
        return;
    const std::int32_t id = valueOr([&] { return button->ID(); }, 0);
    auto saveIdentity = [this] {
        if (m_mtiData)
            m_mtiData->RegSave();
    };
    switch (id) {
    case guidebutton::Abort: confirmAbort(); break;
    case guidebutton::Previous: emit Previous(); break;
    case guidebutton::Next:
        saveIdentity();
        emit NextTest();
        break;
    case guidebutton::Stop: emit StopTest(); break;
    case guidebutton::Main: {
        const bool nextEnabled = valueOr([&] { return deref(deref(m_toolbar, kSource).Item(guidebutton::Next), kSource).Enabled(); }, false);
        const bool mainChecked = valueOr([&] { return deref(deref(m_toolbar, kSource).Item(guidebutton::Main), kSource).Checked(); }, false);
        if (nextEnabled && flag) {
            saveIdentity();
            emit NextTest();
        } else if (mainChecked && flag) {
            emit StopTest();
        } else {
            // A new run records an analyser: the one last used, unless the operator
            // chooses another.
            if (m_mtiData)
                m_mtiData->ShowLastUsed();
            m_keptMti.reset();
            emit StartTest();
        }
        break;
    }
    case guidebutton::NotApplicable: emit NA(); break;
    case guidebutton::Skip: emit Skip(); break;
    default: break;
    }
}

void FTarvoXTestGuide::confirmAbort()
{
    if (valueOr([] { return testGuideHelper()->ConfirmAbort(); }, false))
        emit AbortTest();
}

void FTarvoXTestGuide::standardChanged()
{
    ignoreErrors([&] {
        const Ptr<ITgStandardItem> item = deref(m_toolbar, kSource).StandardItem();
        auto& standard = deref(item, kSource);
        deref(mirvResult, kSource).SelectStandard(standard.AlphaName(), standard.CompleteName(), standard.Calculate());
    });
}

void FTarvoXTestGuide::layoutWindow()
{
    if (!m_window)
        return;
    const int width = m_window->width();
    const int height = m_window->height();
    const int toolbarHeight = m_toolbar && m_toolbar->widget() ? m_toolbar->widget()->height() : 0;
    if (m_toolbar && m_toolbar->widget())
        m_toolbar->widget()->setGeometry(0, height - toolbarHeight, width, toolbarHeight);
    // A window too small for the toolbar leaves the pane where it was.
    if (m_wizard && m_wizard->widget() && height - toolbarHeight >= 0)
        m_wizard->widget()->setGeometry(0, 0, width, height - toolbarHeight);
}

void FTarvoXTestGuide::keepPartsApart()
{
    if (!m_window)
        return;
    // The toolbar and the pane's pages lay their parts out themselves; below their
    // smallest sizes those parts would run into each other.
    QWidget* toolbar = m_toolbar ? m_toolbar->widget() : nullptr;
    QWidget* pane = m_wizard ? m_wizard->widget() : nullptr;
    const QSize toolbarMinimum = toolbar ? toolbar->minimumSizeHint().expandedTo(toolbar->minimumSize()) : QSize(0, 0);
    const QSize paneMinimum = pane ? pane->minimumSizeHint().expandedTo(QSize(0, 0)) : QSize(0, 0);
    const int toolbarHeight = toolbar ? std::max(toolbar->height(), toolbarMinimum.height()) : 0;
    m_window->setMinimumSize(std::max(toolbarMinimum.width(), paneMinimum.width()), toolbarHeight + paneMinimum.height());
}

void FTarvoXTestGuide::placePopup()
{
    if (!mEmbeddedControl || !m_popup)
        return;
    QWidget* parent = mEmbeddedControl->parentWidget();
    if (m_popup->parentWidget() != parent) {
        const bool hidden = m_popup->isHidden();
        m_popup->setParent(parent);
        m_popup->setVisible(!hidden);
    }
    m_popup->setGeometry(mEmbeddedControl->geometry());
    m_popup->raise();
}

void FTarvoXTestGuide::objectEvent(const QString& name, const VariantArray& params)
{
    std::int16_t parameter = 0;
    if (!params.isEmpty())
        ignoreErrors([&] { parameter = params.first().toInteger(); });
    if (name == QLatin1String("ItemClicked"))
        emit ItemClicked(parameter != 0);
    else if (name == QLatin1String("MouseDown") && parameter == 2)
        ignoreErrors([&] {
            if (m_toolbar)
                m_toolbar->ShowMenu();
        });
}

void FTarvoXTestGuide::activated()
{
    if (mEmbeddedControl)
        mEmbeddedControl->setFocus();
}

} // namespace kelto
