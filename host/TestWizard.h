#pragma once
// The host's numbered instruction list, and the picture source of its windows.

#include <QList>
#include <QListWidget>
#include <QPointer>
#include <QStringList>

#include "platform/interfaces/GuideControls.h"

namespace kelto::host {

class TestWizard : public IXTestWizard {
public:
    TestWizard();
    ~TestWizard() override;

    QWidget* widget() override;
    void SetInstructions(const Variant& lines) override;
    void SetMessageMode(bool message) override;
    void SetActiveSteps(const Variant& steps) override;
    std::int32_t BackColor() override { return m_backColor; }
    void SetBackColor(std::int32_t color) override;

    // For the host's tests.
    QListWidget* list() const { return m_list; }
    QStringList lines() const { return m_lines; }
    QList<int> activeSteps() const { return m_active; }
    bool messageMode() const { return m_message; }

private:
    void redraw();

    QPointer<QListWidget> m_list; // owned by whatever parent it is placed on
    QStringList m_lines;
    QList<int> m_active;
    bool m_message = false;
    std::int32_t m_backColor = olecolor::Window;
};

class PictureSource : public IPictureSource {
public:
    QPixmap Picture(std::int32_t id) override;
};

} // namespace kelto::host
