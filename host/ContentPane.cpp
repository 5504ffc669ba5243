#include "ContentPane.h"

#include <QBitmap>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>
#include <functional>

namespace kelto::host {

namespace {

// A page that lays its parts out itself whenever it is resized.
class TestPage : public QWidget {
public:
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize();
    }
};

// The instruction list takes the upper part of the test page, as in the guide's design.
constexpr double kDetailsShare = 2310.0 / 5175.0;
constexpr int kResultLeftPx = 22; // 330 twips at 96 dpi

QIcon tabIcon(const Ptr<ITgTab>& tab)
{
    QIcon icon;
    auto masked = [&](QPixmap picture) {
        if (!picture.isNull())
            picture.setMask(picture.createMaskFromColor(olecolor::toQColor(tab->MaskColor()), Qt::MaskInColor));
        return picture;
    };
    const QPixmap normal = masked(tab->Picture());
    const QPixmap selected = masked(tab->Picture2());
    if (!normal.isNull())
        icon.addPixmap(normal, QIcon::Normal, QIcon::Off);
    if (!selected.isNull())
        icon.addPixmap(selected, QIcon::Normal, QIcon::On);
    return icon;
}

} // namespace

ContentPane::ContentPane() : m_widget(new QWidget)
{
    m_widget->setObjectName(QStringLiteral("XTgContentPane"));
    auto* layout = new QVBoxLayout(m_widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs = new QTabBar;
    m_tabs->addTab(QStringLiteral("Test"));
    m_pages = new QStackedWidget;
    auto* testPage = new TestPage;
    testPage->onResize = [this] { layoutTestPage(); };
    m_testPage = testPage;
    m_pages->addWidget(m_testPage);
    layout->addWidget(m_tabs);
    layout->addWidget(m_pages, 1);
    QObject::connect(m_tabs, &QTabBar::currentChanged, m_widget, [this](int index) { selectTab(index); });
}

ContentPane::~ContentPane()
{
    delete m_widget.data();
}

QWidget* ContentPane::page(int index) const
{
    return m_pages ? m_pages->widget(index) : nullptr;
}

void ContentPane::AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup)
{
    m_element = element;
    m_setup = setup;
}

void ContentPane::SetResultView(QWidget* view)
{
    m_resultView = view;
    if (view) {
        const bool hidden = view->isHidden();
        view->setParent(m_testPage);
        view->setVisible(!hidden);
    }
    layoutTestPage();
}

void ContentPane::SetDetailsPane(QWidget* pane)
{
    m_details = pane;
    if (pane) {
        pane->setParent(m_testPage);
        pane->show();
    }
    layoutTestPage();
}

std::int16_t ContentPane::AddTab(const Ptr<ITgTab>& tab, QWidget* control)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    if (tab) {
        page->setAutoFillBackground(true);
        QPalette palette = page->palette();
        palette.setColor(QPalette::Window, olecolor::toQColor(tab->BackColor()));
        page->setPalette(palette);
    }
    if (control) {
        layout->addWidget(control);
        control->show();
    }
    m_pages->addWidget(page);
    const int index = m_tabs->addTab(tab ? tabIcon(tab) : QIcon(), tab ? tab->Caption() : QString());
    m_tabObjects.append(tab);
    return static_cast<std::int16_t>(index);
}

void ContentPane::DetachForm(QWidget* window)
{
    if (m_form == window)
        m_form = nullptr;
}

void ContentPane::ReleaseAll()
{
    m_element.reset();
    m_setup.reset();
    m_tabObjects.clear();
    m_resultView = nullptr;
    m_details = nullptr;
    m_onLayout = nullptr;
}

void ContentPane::layoutTestPage()
{
    if (!m_testPage)
        return;
    const int width = m_testPage->width();
    const int height = m_testPage->height();
    const int detailsHeight = static_cast<int>(height * kDetailsShare);
    if (m_details)
        m_details->setGeometry(0, 0, width, detailsHeight);
    if (m_resultView) {
        const QRect view(kResultLeftPx, detailsHeight, std::max(0, width - kResultLeftPx), std::max(0, height - detailsHeight));
        m_resultView->setGeometry(view);
        if (m_onLayout)
            m_onLayout(view.left(), view.top(), view.width(), view.height());
    }
}

void ContentPane::selectTab(int index)
{
    m_pages->setCurrentIndex(index);
    // The selected tab shows its second picture.
    for (int i = 1; i < m_tabs->count(); ++i) {
        const auto tab = m_tabObjects.value(i - 1);
        if (!tab)
            continue;
        const QPixmap picture = i == index && !tab->Picture2().isNull() ? tab->Picture2() : tab->Picture();
        QPixmap masked = picture;
        if (!masked.isNull())
            masked.setMask(masked.createMaskFromColor(olecolor::toQColor(tab->MaskColor()), Qt::MaskInColor));
        m_tabs->setTabIcon(i, QIcon(masked));
    }
}

} // namespace kelto::host
