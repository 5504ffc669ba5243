#pragma once
// What an operator does in the guide window that several run tests share: clicking
// the toolbar's buttons, and ticking the verdict of a played waveform in the result
// grid.

#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "framework/guide/FTarvoXTestGuide.h"
#include "framework/guide/XTestResult.h"
#include "host/GuideToolbar.h"
#include "platform/Clock.h"

namespace kelto::test {

// Grid columns of the operator's verdict (1-based, as the view counts them).
constexpr int kVerdictPassedColumn = 2;
constexpr int kVerdictFailedColumn = 3;

// The main button ignores a click just after its job changed: the operator waits
// that moment out (on the clock seam) before clicking it.
inline void waitForMainButton(const host::GuideToolbar& toolbar)
{
    while (const qint64 left = toolbar.mainHoldLeftMs())
        Clock::instance().wait(left);
}

// Clicks a button of the toolbar, the main button once it takes clicks.
inline void clickToolbarButton(const host::GuideToolbar& toolbar, std::int32_t id)
{
    if (id == guidebutton::Main)
        waitForMainButton(toolbar);
    QTest::mouseClick(toolbar.button(id), Qt::LeftButton);
}

// Clicks the verdict cell of the first row, as the operator does with the mouse.
inline void tickVerdict(const FTarvoXTestGuide& guide, int column)
{
    const auto view = query<XTestResult>(guide.resultView());
    if (!view) {
        ADD_FAILURE() << "the guide shows no result grid to tick";
        return;
    }
    QTableWidget* grid = view->grid();
    const QRect cell = grid->visualRect(grid->model()->index(0, column - 1));
    QTest::mousePress(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

} // namespace kelto::test
