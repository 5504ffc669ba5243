#include "framework/guide/XDetailedResult.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "framework/HostServices.h"
#include "framework/guide/GuideLayout.h"
#include "platform/Deref.h"
#include "platform/PluginError.h"
#include "platform/interfaces/GuideControls.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

namespace {
const QString kSource = QStringLiteral("KeltoTarvoXTest.XDetailedResult");
}

XDetailedResult::XDetailedResult() : m_widget(new guide::LayoutWidget)
{
    auto* control = static_cast<guide::LayoutWidget*>(m_widget.data());
    control->setObjectName(QStringLiteral("XDetailedResult"));
    lblTitle = new QLabel(QStringLiteral("T1708::Comment"), control);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont bold = lblTitle->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblTitle->adjustSize();
    txtComment = new QPlainTextEdit(control);
    txtComment->setObjectName(QStringLiteral("txtComment"));
    txtComment->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    control->onResize = [this] { layout(); };
    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, control); });
}

XDetailedResult::~XDetailedResult()
{
    delete m_widget.data();
}

bool XDetailedResult::Visible()
{
    return !deref(m_widget.data(), kSource).isHidden();
}

void XDetailedResult::SetVisible(bool visible)
{
    deref(m_widget.data(), kSource).setVisible(visible);
}

void XDetailedResult::Initialize(const Variant& inData)
{
    ignoreErrors([&] {
        const auto result = inData.toInterface<IResultData>();
        if (!result)
            raiseError(vberr::TypeMismatch, QStringLiteral("KeltoTarvoXTest.XDetailedResult"));
        txtComment->setPlainText(result->Comment());
    });
    ignoreErrors([&] { txtComment->setReadOnly(true); });
    ignoreErrors([&] {
        QPalette palette = txtComment->palette();
        palette.setColor(QPalette::Base, olecolor::toQColor(olecolor::ButtonFace));
        txtComment->setPalette(palette);
    });
}

void XDetailedResult::Refresh()
{
    if (m_widget)
        m_widget->update();
}

void XDetailedResult::SetFocus()
{
    ignoreErrors([&] { txtComment->setFocus(); });
}

void XDetailedResult::layout()
{
    if (!m_widget)
        return;
    const double width = guide::pxToTwipsX(m_widget->width(), m_widget);
    const double height = guide::pxToTwipsY(m_widget->height(), m_widget);
    const double titleHeight = guide::pxToTwipsY(lblTitle->height(), m_widget);
    auto place = [&](QWidget* w, double left, double top, double wTwips, double hTwips) {
        // A negative size is refused, as the control would; the other part is still placed.
        if (wTwips < 0 || hTwips < 0)
            return;
        w->setGeometry(guide::twipsToPxX(left, m_widget), guide::twipsToPxY(top, m_widget), guide::twipsToPxX(wTwips, m_widget),
            guide::twipsToPxY(hTwips, m_widget));
    };
    place(lblTitle, 120, 0, width - 120, titleHeight);
    place(txtComment, 120, titleHeight, width - 120, height - titleHeight);
}

} // namespace kelto
