#pragma once
// One measured quantity of a test result: its reading, its evaluation against the
// limits of the selected standards, its report row and its "Measurement" element.

#include <QString>

#include "platform/PluginError.h"
#include "platform/interfaces/Report.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

class CMeasurement : public IMeasurement, public IMeasurement2 {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CMeasurement";
    static constexpr std::int32_t errBadElement = hresult(0x8004A3FF);
    static constexpr std::int32_t errCannotCreate = hresult(0x8004A400);

    // The reading as a number; false for Empty, Null, NaN and a text that is not a
    // number ("NOSYNC"), which never pass a limit.
    static bool numericReading(const Variant& value, float* number);

    // Internal members used by the results, views and the measurement table.
    void Initialize(const QString& key, const QString& description, const QString& unit, std::int32_t valueType);
    void SetKey(const QString& key) { m_key = key; }
    Variant Value() const { return m_value; }
    void SetValue(const Variant& value) { m_value = value; }
    void SetValueFormat(const QString& format) { m_valueFormat = format; }
    void SetPresetValue(const Variant& preset) { m_presetValue = preset; }
    void SetStatus(std::int32_t status) { m_status = status; }
    // The caption as the creator passed it (a TextRef or a translated text).
    QString RawDescription() const { return m_description; }
    // The value cell holds the reading in its format, or with the decimals it was
    // measured to where that format would put it onto, or across, one of the bounds
    // (limit values) it was judged against.
    QString GetReportRow(const Ptr<IReport>& report, const QList<float>& bounds = {});
    // Passed or failed by the limits; failed, and false returned, when the limits
    // cannot be asked.
    bool UpdateStatus(const Ptr<ILimitData>& limits, const Ptr<IStandardCollection>& selected);
    void GetDisplayValue(QString& value, std::int32_t& status);

    // IMeasurement
    QString Description() override;
    QString Key() override { return m_key; }
    QString LimitKey() override { return m_key; }
    std::int32_t Status() override { return m_status; }
    QString Unit() override { return m_unit; }
    Variant value() override { return m_value; }
    Variant PresetValue() override { return m_presetValue; }
    std::int32_t ValueType() override { return m_valueType; }
    QString ValueFormat() override { return m_valueFormat; }
    QString Flags() override { return {}; }
    QString ToolTipText() override { return {}; }
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;

    // IMeasurement2
    Variant GetLimitValue(const Ptr<IStandard>& standard, std::int32_t hiLo, std::int32_t format = 0) override;
    Variant GetResultValue(std::int32_t format = 0) override;
    bool SupportsLimit(std::int32_t hiLo) override;
    float CalculateLimitValue(const Ptr<ILimit>& limit, std::int32_t hiLo) override;
    std::int32_t ValidateLimits(const Ptr<IStandard>& standard) override;

private:
    bool FindLimitValue(std::int32_t hiLo, const Ptr<IStandard>& standard, bool calculate, float& limit, QString& unit);
    std::int32_t CheckLimit(const Ptr<ILimit>& limit);
    QString FormatValue(const Variant& value, const QList<float>& bounds = {});

    QString m_key;
    QString m_description;
    std::int32_t m_valueType = 0;
    std::int32_t m_status = emsNone;
    Variant m_value;
    Variant m_presetValue;
    QString m_unit;
    QString m_statusText;
    QString m_valueFormat;
};

// Text of a number or value in a display format ("0.0", "# ##0"); a text that
// is not a number comes out unchanged, an empty format gives the plain text.
QString formatWithPattern(const Variant& value, const QString& format);

} // namespace kelto
