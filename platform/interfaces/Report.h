#pragma once
// The host's report writer. A report table is three texts: the column format
// ("<+560|<2240|>+W|..." one entry per column: alignment "<", ">" or "^", "+" for a
// frame, "!" for emphasis, then the width in twips), the header row and the body
// rows (cells separated by "|", rows ended by ";").

#include <QString>
#include <cstdint>

#include "../Object.h"
#include "../Variant.h"

namespace kelto {

namespace hostclass {
constexpr const char* Report = "Kelto.Report";
} // namespace hostclass

namespace reportflag {
constexpr std::int32_t FailedItemsOnly = 0x10;
} // namespace reportflag

class IReport : public virtual IObject {
public:
    virtual QString Translate(const QString& owner, const QString& text, const VariantArray& params = {}) = 0;
    virtual void TableSettingA(std::int32_t value) = 0;
    virtual std::int32_t Width(std::int32_t what) = 0; // Width(10): the width for a table
    virtual void TableSettingB(std::int16_t value) = 0;
    virtual void TableSettingC(std::int32_t value) = 0;
    virtual std::int32_t Flags() = 0;
    virtual void PrintTable(const QString& format, const QString& header, const QString& rows, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0) = 0;
};

} // namespace kelto
