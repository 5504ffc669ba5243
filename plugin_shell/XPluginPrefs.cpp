#include "plugin_shell/XPluginPrefs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTabBar>
#include <QVBoxLayout>

#include "framework/HostServices.h"
#include "platform/Automation.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/HostControls.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "plugin_shell/UpDown.h"

namespace kelto {

XPluginPrefs::XPluginPrefs() : m_widget(new QWidget)
{
    mfCreating = true;
    m_widget->setObjectName(QStringLiteral("XPluginPrefs"));
    auto* layout = new QVBoxLayout(m_widget);
    tbsTabStrip = new QTabBar;
    tbsTabStrip->addTab(QStringLiteral("20070::General"));
    tbsTabStrip->addTab(QStringLiteral("20074::Communications"));
    layout->addWidget(tbsTabStrip);
    pboPictureBoxes.append(makePage(QStringLiteral("20071::General preferences"),
        QStringLiteral("20073::Set Pacer Refractory Timeout settings to wait during the pacer refractory test. When testing slow PPM rates, the value may need to be increased."),
        QStringLiteral("20072::Pacer Refractory Timeout"), lblPacRefTime, updPacRefTime, 10, 240, 10, QStringLiteral("20201::S")));
    pboPictureBoxes.append(makePage(QStringLiteral("20075::Communication settings"),
        QStringLiteral("20077::Adjust the communication timeout threshold. The threshold set here will only be used when opening the communication port."),
        QStringLiteral("20076::Comms time-out threshold"), lblComms, updCommTimeOut, 300, 3000, 100, QStringLiteral("20202::ms")));
    for (QWidget* page : pboPictureBoxes)
        layout->addWidget(page, 1);
    pboPictureBoxes[1]->hide();
    updPacRefTime->setOnChange([this] { labelChanged(lblPacRefTime); });
    updCommTimeOut->setOnChange([this] { labelChanged(lblComms); });
    QObject::connect(tbsTabStrip, &QTabBar::tabBarClicked, m_widget, [this](int index) { tabClicked(index); });

    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, m_widget); });
    ignoreErrors([&] { textTranslator()->TranslateTabs(kOwnerWord, tbsTabStrip); });
    ignoreErrors([&] { micbPipe = ComponentRuntime::instance().createAs<ICallBack>(QLatin1String(hostclass::CallBack)); });
    mfCreating = false;
}

XPluginPrefs::~XPluginPrefs()
{
    delete m_widget.data();
}

QWidget* XPluginPrefs::makePage(const QString& title, const QString& help, const QString& caption, QLabel*& value,
    UpDown*& upDown, int minimum, int maximum, int step, const QString& unit)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* heading = new QLabel(title);
    heading->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(caption));
    value = new QLabel;
    value->setMinimumWidth(48);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setFrameShape(QFrame::Panel);
    value->setFrameShadow(QFrame::Sunken);
    row->addWidget(value);
    upDown = new UpDown(value, minimum, maximum, step);
    row->addWidget(upDown);
    row->addWidget(new QLabel(unit));
    row->addStretch(1);
    layout->addLayout(row);
    layout->addStretch(1);
    ignoreErrors([&] {
        auto helpText = ComponentRuntime::instance().createAs<IHelpText>(QLatin1String(hostclass::HelpText));
        helpText->SetText(help);
        layout->addWidget(helpText->widget());
        m_helpTexts.append(helpText);
    });
    return page;
}

QWidget* XPluginPrefs::page(int index) const
{
    return pboPictureBoxes.value(index);
}

bool XPluginPrefs::Visible()
{
    // Its own flag, as the host set it: not whether a parent shows it now.
    return m_widget && !m_widget->isHidden();
}

void XPluginPrefs::SetVisible(bool visible)
{
    if (m_widget)
        m_widget->setVisible(visible);
}

void XPluginPrefs::SetLocked(bool locked)
{
    mfLocked = locked;
    updPacRefTime->setEnabled(!mfLocked);
    updCommTimeOut->setEnabled(!mfLocked);
}

void XPluginPrefs::Initialize(const Variant& inData)
{
    mfLoading = true;
    ignoreErrors([&] { mShellSetup = inData.toInterface<CTarvoXSetup>(); });
    ignoreErrors([&] {
        if (mShellSetup)
            mShellSetup->RegLoad(0, QString());
    });
    ignoreErrors([&] {
        if (!mShellSetup)
            return;
        updCommTimeOut->setValue(mShellSetup->CommTimeOut());
        lblComms->setText(QString::number(mShellSetup->CommTimeOut()));
        labelChanged(lblComms);
        updPacRefTime->setValue(mShellSetup->PacerRefractoryTimeout());
        lblPacRefTime->setText(QString::number(mShellSetup->PacerRefractoryTimeout()));
        labelChanged(lblPacRefTime);
    });
    mfLoading = false;
}

void XPluginPrefs::labelChanged(QLabel* label)
{
    if (mfCreating || !mShellSetup)
        return;
    try {
        const std::int32_t value = CLng(Val(label->text()));
        if (label == lblComms)
            mShellSetup->SetCommTimeOut(value);
        else
            mShellSetup->SetPacerRefractoryTimeout(value);
        announceChange();
    } catch (...) {
    }
}

void XPluginPrefs::announceChange()
{
    if (micbPipe && !mfLoading)
        ignoreErrors([&] { micbPipe->FireEvent(QStringLiteral("Change"), {}); });
}

void XPluginPrefs::tabClicked(int index)
{
    ignoreErrors([&] {
        QWidget* shown = pboPictureBoxes.value(index);
        if (!shown)
            return;
        shown->show();
        shown->raise();
        if (miCurrentTab != index)
            pboPictureBoxes.value(miCurrentTab)->hide();
        miCurrentTab = index;
        tbsTabStrip->setCurrentIndex(index);
    });
}

void XPluginPrefs::Refresh()
{
    if (m_widget)
        m_widget->update();
}

void XPluginPrefs::SetFocus()
{
    if (tbsTabStrip)
        tbsTabStrip->setFocus();
}

} // namespace kelto
