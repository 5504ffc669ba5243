#include <gtest/gtest.h>

#include "ResultTestSupport.h"
#include "results/CResultPacer.h"
#include "results/CResultSingleReading.h"

using namespace kelto;
using namespace kelto::resulttest;

namespace {

const QString kHeader = QStringLiteral("|{\\i\\b Result:}|{\\i\\b Preset Value}|{\\i\\b Value}|{\\i\\b Unit};");

Ptr<host::Report> reportOfWidth(std::int32_t width, std::int32_t flags = 0)
{
    auto report = std::make_shared<host::Report>();
    report->setTableWidth(width);
    report->setFlags(flags);
    return report;
}

// A pacer result with its rate failed and the other three passed.
Ptr<CResultPacerParameter> pacerWithFailedRate()
{
    auto result = std::make_shared<CResultPacerParameter>();
    result->Initialize(std::make_shared<CConfigPacerParameter>());
    result->StoreResult({QStringLiteral("72"), QStringLiteral("49.5"), QStringLiteral("20"), QStringLiteral("1200")});
    auto owner = OwnerElement::make({makeStandard(QStringLiteral("A"), {{QStringLiteral("PACR"), 65.0f}})});
    result->UpdateStatus(owner, selection({QStringLiteral("A")}));
    return result;
}

} // namespace

TEST(ResultReport, printsHeaderAndOneRowPerMeasurementAfterTheTableSettings)
{
    CResultVFIBEnergy result;
    auto config = std::make_shared<CConfigVFIBEnergy>();
    config->SetPresetEnergy(200);
    result.Initialize(config);
    result.StoreResult(QStringLiteral("198.44"));
    auto report = reportOfWidth(7360);
    result.PrintReport(report, nullptr);

    EXPECT_EQ(report->callNames(), (QStringList{"Translate", "Translate", "Translate", "Translate", "Width", "Flags", "Translate",
                                       "TableSettingA", "TableSettingB", "TableSettingC", "PrintTable"}));
    ASSERT_EQ(report->tables().size(), 1);
    EXPECT_EQ(report->tables()[0].format, QStringLiteral("<+560|<2240|>+1000|>+1000|^+1000|<+!1000|<+560;"));
    EXPECT_EQ(report->tables()[0].header, kHeader);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Energy|200.0|198.4|J;"));

    const auto& calls = report->calls();
    EXPECT_EQ(calls[0].args[1], Variant("312::Result:"));
    EXPECT_EQ(calls[1].args[1], Variant("20136::Preset Value"));
    EXPECT_EQ(calls[2].args[1], Variant("231::Value"));
    EXPECT_EQ(calls[3].args[1], Variant("234::Unit"));
    EXPECT_EQ(calls[0].args[0], Variant("TarvoX"));
    EXPECT_EQ(calls[4].args[0], Variant(std::int32_t(10)));
    EXPECT_EQ(calls[7].args[0], Variant(std::int32_t(7)));
    EXPECT_EQ(calls[8].args[0], Variant(std::int16_t(0)));
    EXPECT_EQ(calls[9].args[0], Variant(std::int32_t(1)));
    EXPECT_EQ(calls[10].args.mid(3), (VariantArray{std::int32_t(0), std::int32_t(0), std::int32_t(0)}));
}

TEST(ResultReport, sharedColumnWidthTruncatesTowardZero)
{
    const struct {
        std::int32_t reportWidth;
        const char* w;
    } cases[] = {{3357, "0"}, {3360, "0"}, {3363, "0"}, {3356, "-1"}, {3370, "2"}, {3350, "-2"}, {3364, "1"}, {9638, "1569"}};
    for (const auto& c : cases) {
        auto result = std::make_shared<CResultChargeTime>();
        result->Initialize(nullptr);
        auto report = reportOfWidth(c.reportWidth);
        result->PrintReport(report, nullptr);
        ASSERT_EQ(report->tables().size(), 1);
        const QString w = QString::fromLatin1(c.w);
        EXPECT_EQ(report->tables()[0].format,
            QStringLiteral("<+560|<2240|>+%1|>+%1|^+%1|<+!%1|<+560;").arg(w))
            << c.reportWidth;
    }
}

TEST(ResultReport, chargeTimeRowShowsTheLeadingNumberInItsFormatAndEmptyCellsForWhatIsMissing)
{
    auto result = std::make_shared<CResultChargeTime>();
    result->Initialize(nullptr);
    auto report = reportOfWidth(7360);
    result->PrintReport(report, nullptr);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Charge Time|||s;")) << "a measurement without value prints its row";

    result->StoreResult(QStringLiteral("5.6"));
    report->clear();
    result->PrintReport(report, nullptr);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Charge Time||6|s;"));
}

TEST(ResultReport, rowsFollowOneAnotherInListOrder)
{
    auto result = pacerWithFailedRate();
    auto report = reportOfWidth(7360);
    result->PrintReport(report, nullptr);
    ASSERT_EQ(report->tables().size(), 1);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Rate|60|72|ppm;|      Pulse Current|50.0|49.5|mA;"
                                                       "|      Pulse Width||20.0|ms;|      Pulse Voltage||1200.0|mV;"));
}

TEST(ResultReport, failedOnlyReportsPrintJustTheFailedRows)
{
    auto result = pacerWithFailedRate();
    auto report = reportOfWidth(7360, reportflag::FailedItemsOnly);
    result->PrintReport(report, nullptr);
    ASSERT_EQ(report->tables().size(), 1);
    EXPECT_EQ(report->tables()[0].rows, QStringLiteral("|      Rate|60|72|ppm;"));
    EXPECT_EQ(report->tables()[0].header, kHeader);

    auto passed = std::make_shared<CResultChargeTime>();
    passed->Initialize(nullptr);
    passed->StoreResult(QStringLiteral("3"));
    passed->UpdateStatus(OwnerElement::make(), selection({}));
    report->clear();
    passed->PrintReport(report, nullptr);
    EXPECT_TRUE(report->tables().isEmpty());
    EXPECT_FALSE(report->callNames().contains(QStringLiteral("TableSettingA")));
}

TEST(ResultReport, aReportWhoseFlagsCannotBeReadPrintsNoTable)
{
    class FlagsFail : public host::Report {
    public:
        std::int32_t Flags() override { raiseError(hresult(0x80004005), QStringLiteral("Report")); }
    };
    auto result = pacerWithFailedRate();
    auto report = std::make_shared<FlagsFail>();
    result->PrintReport(report, nullptr);
    EXPECT_TRUE(report->tables().isEmpty()) << "the failed rate is left out as well";
    EXPECT_FALSE(report->callNames().contains(QStringLiteral("PrintTable")));
}

TEST(ResultReport, aResultWithoutMeasurementsAsksForHeaderAndWidthOnly)
{
    CResultChargeTime result; // not initialised
    auto report = reportOfWidth(7360);
    result.PrintReport(report, nullptr);
    EXPECT_EQ(report->callNames(), (QStringList{"Translate", "Translate", "Translate", "Translate", "Width"}));
    EXPECT_TRUE(report->tables().isEmpty());

    result.PrintReport(nullptr, nullptr); // no report writer: nothing to do, no failure
}
