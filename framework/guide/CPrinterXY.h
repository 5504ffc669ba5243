#pragma once
// Scales an XY plot of sampled values: maps a world window (x growing right, y
// growing up) onto a device rectangle (y growing down), finds whole-number axis
// ranges with their tick spacings and holds the two axis lines.

#include <QVector>
#include <cstdint>

namespace kelto {

struct DeviceRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct AxisRecord {
    std::int32_t firstTick = 0;
    std::int32_t lastTick = 0;
    std::int32_t tick = 0;   // tick spacing
    std::int32_t unit = 0;   // X: the sample step; Y: the decade factor of the ticks
    std::int32_t offset = 0; // device coordinate of world 0
    float scale = 0;         // device units per world unit
    std::int32_t lineX1 = 0;
    std::int32_t lineY1 = 0;
    std::int32_t lineX2 = 0;
    std::int32_t lineY2 = 0;
};

class CPrinterXY {
public:
    AxisRecord AxisX() const { return m_axisX; }
    AxisRecord AxisY() const { return m_axisY; }
    float WorldX1() const { return m_x1; }
    float WorldX2() const { return m_x2; }
    float WorldY1() const { return m_y1; }
    float WorldY2() const { return m_y2; }

    void SetDeviceRect(const DeviceRect& rect);
    void SetWorld(float x1, float y1, float x2, float y2);
    // World from samples indexed from 0: x over the indexes (times step), y over the
    // values with 0 always inside and a tenth of the span added above and below.
    void AutoScale(const QVector<float>& samples, std::int32_t step);
    void CalcScale(std::int32_t step);
    std::int32_t XToDevice(float x) const;
    std::int32_t YToDevice(float y) const;
    void CalcAxisX(std::int32_t from, std::int32_t to, std::int32_t step);
    void CalcAxisY(float minimum, float maximum);
    // The smallest of 1, 2, 5, 10, 20, 50 ... that cuts range into at most maximum parts.
    static std::int32_t CalcDivisions(std::int32_t range, std::int32_t maximum);

private:
    DeviceRect m_rect;
    float m_x1 = 0;
    float m_y1 = 0;
    float m_x2 = 0;
    float m_y2 = 0;
    AxisRecord m_axisX;
    AxisRecord m_axisY;
};

} // namespace kelto
