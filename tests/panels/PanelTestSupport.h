#pragma once
// Shared helpers of the panel tests: a panel made by its ProgID and shown, the
// host's recording callback, the operator's keys and clicks, and sizes in twips.

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "host/TestGuideServices.h"
#include "host/XTestGuideSettings.h"
#include "panels/XPanelBase.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/HostControls.h"

namespace kelto::testing {

template <class Panel>
Ptr<Panel> makePanel(const char* progId)
{
    auto panel = ComponentRuntime::instance().createAs<Panel>(QString::fromLatin1(progId));
    EXPECT_TRUE(panel) << progId;
    if (panel)
        panel->hWnd()->show();
    return panel;
}

// The panel's host control, to tick its boxes as the operator does.
inline host::XTestGuideSettings* guideSettingsOf(const XPanelBase& panel)
{
    return dynamic_cast<host::XTestGuideSettings*>(panel.testGuideSettings().get());
}

inline int changesOf(const host::CallBack& callBack)
{
    int count = 0;
    for (const auto& event : callBack.events()) {
        EXPECT_EQ(event.name, QStringLiteral("Change"));
        EXPECT_TRUE(event.args.isEmpty());
        ++count;
    }
    return count;
}

// Empties a box as an operator does: to its end, then backspace over every character.
inline void clearByBackspace(QLineEdit* box)
{
    QTest::keyClick(box, Qt::Key_End);
    const int length = static_cast<int>(box->text().size());
    for (int i = 0; i < length; ++i)
        QTest::keyClick(box, Qt::Key_Backspace);
}

inline void resizeInTwips(QWidget* panel, double width, double height)
{
    panel->resize(qRound(width * panel->logicalDpiX() / 1440.0), qRound(height * panel->logicalDpiY() / 1440.0));
}

// One pixel is this many twips; geometry is compared to that accuracy.
inline double twipsPerPixel(const QWidget* panel)
{
    return 1440.0 / panel->logicalDpiX();
}

// The controls the keyboard reaches, in its order.
inline QList<QWidget*> tabChain(QWidget* panel)
{
    QList<QWidget*> chain;
    for (QWidget* w = panel->nextInFocusChain(); w && w != panel; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && panel->isAncestorOf(w))
            chain << w;
    }
    return chain;
}

} // namespace kelto::testing
