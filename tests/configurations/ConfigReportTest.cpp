// Report tables of the four families, checked against the host's recording report writer.

#include "host/HostLog.h"
#include "host/Report.h"

#include "ConfigTestSupport.h"
#include "configurations/CConfigDefibPulse.h"
#include "configurations/CConfigEnergySetting.h"
#include "configurations/CConfigPacer.h"
#include "configurations/CConfigWaveform.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

const QString kHeader = QStringLiteral("|{\\i\\b Configuration}|{\\i\\b Value}|{\\i\\b Unit};");

// A recording report writer whose Width(what) answers width for the question asked.
std::shared_ptr<host::Report> reportAnswering(std::int32_t what, std::int32_t width)
{
    auto report = std::dynamic_pointer_cast<host::Report>(CreateObject(QLatin1String(hostclass::Report)));
    EXPECT_TRUE(report);
    report->setTableWidth(what == 7 ? width + 1120 : width);
    return report;
}

host::Report::Table printedTable(IConfigData& config, const std::shared_ptr<host::Report>& report)
{
    config.PrintReport(report);
    EXPECT_EQ(report->tables().size(), 1);
    return report->tables().value(0);
}

} // namespace

TEST(ConfigReport, EnergyRowAndTheCallsInOrder)
{
    CConfigVFIBEnergy config;
    auto report = reportAnswering(7, 10000);
    const auto table = printedTable(config, report);
    EXPECT_EQ(table.format, QStringLiteral("<+560|<2240|>+1940|>+1940|>+1940|>+1940!|<+560;"));
    EXPECT_EQ(table.header, kHeader);
    EXPECT_EQ(table.rows, QStringLiteral("|      Preset Energy|100.0|J;"));

    EXPECT_EQ(report->callNames(), (QStringList{"Width", "Translate", "Translate", "Translate", "Translate", "TableSettingA", "TableSettingB",
                                       "TableSettingC", "PrintTable"}));
    const auto& calls = report->calls();
    EXPECT_EQ(calls[0].args.value(0), Variant(std::int32_t(7)));
    EXPECT_EQ(calls[1].args.value(1), Variant("310::Configuration"));
    EXPECT_EQ(calls[4].args.value(0), Variant("TarvoX"));
    EXPECT_EQ(calls[4].args.value(1), Variant("20091::Preset Energy"));
    EXPECT_EQ(calls[5].args.value(0), Variant(std::int32_t(7)));
    EXPECT_EQ(calls[6].args.value(0), Variant(std::int16_t(0)));
    EXPECT_EQ(calls[7].args.value(0), Variant(std::int32_t(1)));
}

TEST(ConfigReport, ColumnWidthsDropTheFractionTowardZero)
{
    const std::pair<std::int32_t, const char*> energy[] = {{2241, "0"}, {2239, "0"}, {2236, "-1"}, {0, "-560"}};
    for (const auto& [width, w] : energy) {
        CConfigChargeTime config;
        const QString expected = QStringLiteral("<+560|<2240|>+%1|>+%1|>+%1|>+%1!|<+560;").arg(QLatin1String(w));
        EXPECT_EQ(printedTable(config, reportAnswering(7, width)).format, expected) << width;
    }
    const std::pair<std::int32_t, const char*> wave[] = {{11360, "2000"}, {3361, "0"}, {3359, "0"}, {3356, "-1"}};
    for (const auto& [width, w] : wave) {
        CConfigArrhythmia config;
        const QString expected = QStringLiteral(">+560|<2240|>+%1|>+%1|>+%1|>+!%1|<+560;").arg(QLatin1String(w));
        EXPECT_EQ(printedTable(config, reportAnswering(10, width)).format, expected) << width;
    }
}

TEST(ConfigReport, PulseRowsShowTheTranslatedBatteryFlag)
{
    CConfigDefibPulse config;
    auto report = reportAnswering(7, 10000);
    EXPECT_EQ(printedTable(config, report).rows, QStringLiteral("|      Preset Energy|100.0|J;|      Battery operated|False|None;"));
    config.SetBatteryOperated(true);
    config.SetPresetEnergy(2.25f);
    report->clear();
    EXPECT_EQ(printedTable(config, report).rows, QStringLiteral("|      Preset Energy|2.3|J;|      Battery operated|True|None;"));
}

TEST(ConfigReport, PacerRowsRoundRateAndLoadToWholeNumbers)
{
    CConfigPacerParameter config;
    auto report = reportAnswering(7, 10000);
    const auto table = printedTable(config, report);
    EXPECT_EQ(table.format, QStringLiteral("<+560|<2240|>+1940|>+1940|>+1940|>+1940!|<+560;"));
    EXPECT_EQ(table.rows, QStringLiteral("|      Pacer Load (PLA)|50|Ohms;|      Pacer Rate|60|ppm;|      Pacer Amplitude|50.0|mA;"));
    config.SetPacerRate(72.4f);
    config.SetPacerLoad(QStringLiteral("open"));
    report->clear();
    EXPECT_EQ(printedTable(config, report).rows, QStringLiteral("|      Pacer Load (PLA)|open|Ohms;|      Pacer Rate|72|ppm;|      Pacer Amplitude|50.0|mA;"));
}

TEST(ConfigReport, WaveRowsNameTheSelectedWave)
{
    CConfigArrhythmia config;
    config.SetDuration(0);
    auto report = reportAnswering(10, 11360);
    EXPECT_EQ(printedTable(config, report).rows, QStringLiteral("|      Duration|0.0|s;|      ECG Waveform|Atrial Fibrillation|None;"));
    EXPECT_EQ(report->calls().value(0).args.value(0), Variant(std::int32_t(10)));

    config.GenerateWaveCommand();
    config.SetWaveType(205);
    report->clear();
    EXPECT_EQ(printedTable(config, report).rows, QStringLiteral("|      Duration|0.0|s;|      ECG Waveform|R on T|None;"));
}

TEST(ConfigReport, NoReportWriterPrintsNothing)
{
    // Not an error either: an element is printed without a writer when the host has none.
    CConfigPerformance config;
    const qsizetype reportsBefore = host::HostLog::instance().reportedErrors().size();
    EXPECT_NO_THROW(config.PrintReport(nullptr));
    EXPECT_EQ(host::HostLog::instance().reportedErrors().size(), reportsBefore);
    // The same settings given a writer print their table, so nothing was left out above.
    auto report = reportAnswering(7, 10000);
    config.PrintReport(report);
    EXPECT_EQ(report->tables().size(), 1);
}
