#pragma once
// Hands the mouse presses of a widget to a view, before the widget handles them.

#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <functional>

namespace kelto {

class PressFilter : public QObject {
public:
    explicit PressFilter(std::function<void(QMouseEvent*)> onPress, QObject* parent) : QObject(parent), m_onPress(std::move(onPress)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            m_onPress(static_cast<QMouseEvent*>(event));
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(QMouseEvent*)> m_onPress;
};

} // namespace kelto
