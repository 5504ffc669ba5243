#pragma once
// The host's tabbed content pane of a guide window: the first tab shows the
// instruction list above the result view, further tabs one control each.

#include <QList>
#include <QPointer>

#include "platform/interfaces/GuideControls.h"

class QStackedWidget;
class QTabBar;

namespace kelto::host {

class TgTab : public ITgTab {
public:
    QPixmap Picture() override { return m_picture; }
    void SetPicture(const QPixmap& picture) override { m_picture = picture; }
    QPixmap Picture2() override { return m_picture2; }
    void SetPicture2(const QPixmap& picture) override { m_picture2 = picture; }
    std::int32_t MaskColor() override { return m_maskColor; }
    void SetMaskColor(std::int32_t color) override { m_maskColor = color; }
    std::int32_t BackColor() override { return m_backColor; }
    void SetBackColor(std::int32_t color) override { m_backColor = color; }
    QString Caption() override { return m_caption; }
    void SetCaption(const QString& caption) override { m_caption = caption; }

private:
    QPixmap m_picture;
    QPixmap m_picture2;
    std::int32_t m_maskColor = 0;
    std::int32_t m_backColor = olecolor::ButtonFace;
    QString m_caption;
};

class ContentPane : public ITgContentPane {
public:
    ContentPane();
    ~ContentPane() override;

    QWidget* widget() override { return m_widget; }
    void AttachTest(const Ptr<ITestElement>& element, const Ptr<ITestSetup>& setup) override;
    QWidget* ResultView() override { return m_resultView; }
    void SetResultView(QWidget* view) override;
    QWidget* DetailsPane() override { return m_details; }
    void SetDetailsPane(QWidget* pane) override;
    std::int16_t AddTab(const Ptr<ITgTab>& tab, QWidget* control) override;
    void AttachForm(QWidget* window) override { m_form = window; }
    void DetachForm(QWidget* window) override;
    void ReleaseAll() override;
    void AdviseLayout(std::function<void(float, float, float, float)> onLayout) override { m_onLayout = std::move(onLayout); }

    // For the host's tests.
    QTabBar* tabBar() const { return m_tabs; }
    QWidget* page(int index) const;
    QWidget* form() const { return m_form; }
    Ptr<ITestElement> element() const { return m_element.lock(); }
    const QList<Ptr<ITgTab>>& tabs() const { return m_tabObjects; }
    void layoutTestPage();

private:
    void selectTab(int index);

    QPointer<QWidget> m_widget; // the guide window owns it once placed there
    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_pages = nullptr;
    QWidget* m_testPage = nullptr;
    QPointer<QWidget> m_resultView;
    QPointer<QWidget> m_details;
    QPointer<QWidget> m_form;
    QList<Ptr<ITgTab>> m_tabObjects; // one per added tab, after the test tab
    std::weak_ptr<ITestElement> m_element; // the element holds the guide that holds us
    Ptr<ITestSetup> m_setup;
    std::function<void(float, float, float, float)> m_onLayout;
};

} // namespace kelto::host
