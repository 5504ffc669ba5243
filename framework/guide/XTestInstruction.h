#pragma once
// The instruction popup the guide lays over its result view: a picture and one
// line of text, with a background that can flash red to draw the operator's eye.
// Flashing runs on a clock timer, so it keeps going while a test waits.

#include <QWidget>
#include <cstdint>
#include <memory>

class QFrame;
class QLabel;

namespace kelto {

class ClockTimer;

class XTestInstruction : public QWidget {
public:
    explicit XTestInstruction(QWidget* parent = nullptr);
    ~XTestInstruction() override;

    bool Flash() const;
    void SetFlash(bool flash);
    // Picture by resource name (empty keeps the current one) and a TextRef; raises
    // when the picture or the translation fails.
    void ShowMsg(const QString& iconId, const QString& msgLid);
    void MoveImage();

    std::int32_t backColor() const { return m_backColor; }
    QLabel* icon() const { return imgIcon; }
    QLabel* helpText() const { return lblHelpTxt; }
    QFrame* background() const { return shpBackground; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setBackColor(std::int32_t color);
    void tick();

    QLabel* imgIcon = nullptr;
    QLabel* lblHelpTxt = nullptr;
    QFrame* shpBackground = nullptr;
    std::unique_ptr<ClockTimer> tmrFlash;
    std::int32_t m_backColor;
};

} // namespace kelto
