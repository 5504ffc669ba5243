#pragma once
// A spin control bound to a value label (its buddy): the arrows step the value
// within a range and write it into the label's caption.

#include <QWidget>
#include <functional>

class QLabel;
class QToolButton;

namespace kelto {

class UpDown : public QWidget {
public:
    UpDown(QLabel* buddy, int minimum, int maximum, int step, QWidget* parent = nullptr);

    int value() const { return m_value; }
    // Sets the value (clamped to the range) and the buddy's caption.
    void setValue(int value);
    // Called after an arrow changed the caption.
    void setOnChange(std::function<void()> onChange) { m_onChange = std::move(onChange); }

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

private:
    void stepBy(int steps);

    QLabel* m_buddy;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_minimum;
    int m_maximum;
    int m_step;
    int m_value;
    std::function<void()> m_onChange;
};

} // namespace kelto
