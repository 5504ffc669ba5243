#pragma once
// Twips (1/1440 inch) as the guide's controls are laid out in, and a widget that
// lays its children out itself whenever it is resized.

#include <QWidget>
#include <functional>

namespace kelto::guide {

constexpr double kTwipsPerInch = 1440.0;

inline int twipsToPxX(double twips, const QWidget* widget)
{
    return qRound(twips * (widget ? widget->logicalDpiX() : 96) / kTwipsPerInch);
}

inline int twipsToPxY(double twips, const QWidget* widget)
{
    return qRound(twips * (widget ? widget->logicalDpiY() : 96) / kTwipsPerInch);
}

inline double pxToTwipsX(int px, const QWidget* widget)
{
    return px * kTwipsPerInch / (widget ? widget->logicalDpiX() : 96);
}

inline double pxToTwipsY(int px, const QWidget* widget)
{
    return px * kTwipsPerInch / (widget ? widget->logicalDpiY() : 96);
}

class LayoutWidget : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize();
    }
};

} // namespace kelto::guide
