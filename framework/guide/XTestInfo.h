#pragma once
// A pane with the numbered instruction list of the host, a count-down number below
// it, and a flashing pacer message that can take the list's place; its border is a
// plain one-pixel frame.

#include <QFrame>
#include <QVariantMap>
#include <cstdint>
#include <memory>

#include "platform/Variant.h"

class QLabel;

namespace kelto {

class ClockTimer;
class IXTestWizard;

class XTestInfo : public QFrame {
public:
    static constexpr std::int32_t kPacerColor = 0x5BC0F7;

    explicit XTestInfo(QWidget* parent = nullptr);
    ~XTestInfo() override;

    std::int32_t BackColor() const { return m_backColor; }
    void SetBackColor(std::int32_t color);
    bool Border() const { return m_border == 1; }
    void SetBorder(bool border);
    bool ShowCounter() const;
    void SetShowCounter(bool show);

    void Initialize(const Variant& instructions);
    void HighLightItem(const Variant& steps);
    void UpdateCounter(std::int32_t count);
    // A message replaces the list and flashes; Null or Empty brings the list back.
    void ShowPacerMsg(const Variant& message);

    // The stored properties "BackColor" and "Border".
    void ReadProperties(const QVariantMap& bag);
    QVariantMap WriteProperties() const;

    Ptr<IXTestWizard> wizard() const { return xtwInfo; }
    QLabel* counter() const { return lblCounter; }
    bool flashing() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutPane();
    void tick();

    Ptr<IXTestWizard> xtwInfo;
    QLabel* lblCounter = nullptr;
    std::unique_ptr<ClockTimer> tmrFlash;
    Variant m_instructions;
    std::int16_t m_ticks = 0;
    std::int32_t m_backColor;
    int m_border = 1;
};

} // namespace kelto
