#include "framework/guide/CPrinterXY.h"

#include <cmath>
#include <limits>

#include "platform/Automation.h"
#include "platform/PluginError.h"

namespace kelto {

namespace {

constexpr std::int32_t kDivisionByZero = 11;
const QString kSource = QStringLiteral("KeltoTarvoXTest.CPrinterXY");

// The plot works in 32-bit whole numbers: a value beyond them is an overflow.
std::int32_t checked32(std::int64_t value)
{
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        raiseError(vberr::Overflow, kSource);
    return static_cast<std::int32_t>(value);
}

double round4(double value)
{
    return roundHalfEven(value * 10000.0) / 10000.0;
}

} // namespace

void CPrinterXY::SetDeviceRect(const DeviceRect& rect)
{
    m_rect = rect;
    m_axisX.lineX1 = rect.left;
    m_axisX.lineY1 = rect.bottom;
    m_axisX.lineX2 = rect.right;
    m_axisX.lineY2 = rect.bottom;
    m_axisY.lineX1 = rect.left;
    m_axisY.lineY1 = rect.top;
    m_axisY.lineX2 = rect.left;
    m_axisY.lineY2 = rect.bottom;
}

void CPrinterXY::SetWorld(float x1, float y1, float x2, float y2)
{
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
}

void CPrinterXY::AutoScale(const QVector<float>& samples, std::int32_t step)
{
    if (samples.isEmpty())
        raiseError(vberr::SubscriptOutOfRange, kSource);
    float x1 = 0;
    float x2 = static_cast<float>(samples.size());
    float y1 = samples[0];
    float y2 = samples[0];
    for (float value : samples) {
        y2 = std::max(y2, value);
        y1 = std::min(y1, value);
    }
    if (y1 > 0)
        y1 = 0;
    if (y2 < 0)
        y2 = 0;
    const float margin = (y2 - y1) * 0.1f;
    y2 += margin;
    y1 -= margin;
    SetWorld(x1 * static_cast<float>(step), y1, x2 * static_cast<float>(step), y2);
}

void CPrinterXY::CalcScale(std::int32_t step)
{
    const double worldWidth = static_cast<double>(m_x2) - m_x1;
    const double worldHeight = static_cast<double>(m_y2) - m_y1;
    if (worldWidth == 0 || worldHeight == 0)
        raiseError(kDivisionByZero, kSource, QStringLiteral("The world window of the plot has no width or no height."));
    // Device units per world unit, so that the whole world window fills the rectangle.
    const double scaleX = (static_cast<double>(m_rect.right) - m_rect.left) / worldWidth;
    const double scaleY = (static_cast<double>(m_rect.bottom) - m_rect.top) / worldHeight;
    m_axisX.scale = static_cast<float>(scaleX);
    m_axisX.offset = CLng(m_rect.left - scaleX * m_x1);
    m_axisY.scale = static_cast<float>(scaleY);
    m_axisY.offset = CLng(m_rect.bottom + scaleY * m_y1);
    CalcAxisX(CLng(m_x1), CLng(m_x2), step);
    CalcAxisY(m_y1, m_y2);
}

std::int32_t CPrinterXY::XToDevice(float x) const
{
    return CLng(static_cast<double>(x) * m_axisX.scale + m_axisX.offset);
}

std::int32_t CPrinterXY::YToDevice(float y) const
{
    return CLng(m_axisY.offset - static_cast<double>(y) * m_axisY.scale);
}

void CPrinterXY::CalcAxisX(std::int32_t from, std::int32_t to, std::int32_t step)
{
    if (step == 0)
        raiseError(kDivisionByZero, kSource);
    // Remainders in 64 bits: the smallest number divided by -1 has none in 32.
    if (static_cast<std::int64_t>(from) % step > 0)
        from = checked32(static_cast<std::int64_t>(from) + step - static_cast<std::int64_t>(from) % step);
    to = checked32(static_cast<std::int64_t>(to) - static_cast<std::int64_t>(to) % step);
    const std::int32_t span = checked32(static_cast<std::int64_t>(to) - from);
    const std::int32_t product = checked32(static_cast<std::int64_t>(span) * step);
    std::int32_t count = 1;
    if (product > 1) {
        for (std::int32_t candidate = 9; candidate >= 2; --candidate) {
            if (product % candidate == 0) {
                count = candidate;
                break;
            }
        }
    }
    m_axisX.firstTick = from;
    m_axisX.lastTick = to;
    m_axisX.tick = span / count;
    m_axisX.unit = step;
}

void CPrinterXY::CalcAxisY(float minimum, float maximum)
{
    double span = round4(static_cast<double>(maximum) - minimum);
    std::int32_t factor = 1;
    // Four decimals at most, so at most four steps make the span whole.
    for (int i = 0; i < 4 && span != std::floor(span); ++i) {
        span = round4(span * 10);
        factor *= 10;
    }
    const std::int32_t lo = CLng(static_cast<double>(minimum) * factor);
    const std::int32_t hi = CLng(static_cast<double>(maximum) * factor);
    const std::int32_t tick = CalcDivisions(checked32(static_cast<std::int64_t>(hi) - lo), 11);
    std::int32_t first = lo - lo % tick;
    if (lo % tick > 0)
        first += tick;
    std::int32_t last = hi - hi % tick;
    if (hi % tick < 0)
        last -= tick;
    m_axisY.firstTick = first;
    m_axisY.lastTick = last;
    m_axisY.tick = tick;
    m_axisY.unit = factor;
}

std::int32_t CPrinterXY::CalcDivisions(std::int32_t range, std::int32_t maximum)
{
    // A maximum no count can meet ends when the step leaves the 32-bit range.
    std::int64_t decade = 1;
    for (;;) {
        for (std::int64_t multiple : {1, 2, 5}) {
            const std::int32_t step = checked32(multiple * decade);
            if (range / step <= maximum)
                return step;
        }
        decade *= 10;
    }
}

} // namespace kelto
