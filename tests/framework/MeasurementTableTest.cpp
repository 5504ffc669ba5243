#include <QLineEdit>
#include <gtest/gtest.h>

#include "LimitTestDoubles.h"
#include "framework/MMiscUtils.h"
#include "host/Report.h"

using namespace kelto;
using namespace kelto::testing;

namespace {

struct Table {
    Table(std::int32_t testId, const QStringList& measured, bool withResult = true)
    {
        element = std::make_shared<FakeElement>(testId);
        if (withResult) {
            result = std::make_shared<FakeResult>();
            for (const QString& key : measured)
                result->add(key, 1.0);
            element->result = result;
        }
        value = MMiscUtils::GetMeasurementTable(report, element);
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (const Variant& row : value.toArray())
            out << row.toArray()[c].toString();
        return out;
    }
    Variant cell(int row, int c) const { return value.toArray()[row].toArray()[c]; }

    Ptr<host::Report> report = std::make_shared<host::Report>();
    Ptr<FakeElement> element;
    Ptr<FakeResult> result;
    Variant value;
};

} // namespace

TEST(MeasurementTable, waveformTestsHaveNoRows)
{
    for (std::int32_t id : {900, 1000, 1100, 0, 1700}) {
        Table t(id, {});
        ASSERT_TRUE(t.value.isArray()) << id;
        EXPECT_TRUE(t.value.toArray().isEmpty()) << id;
    }
}

TEST(MeasurementTable, pacerRowsCarryKeyCaptionFormatAndMeasurement)
{
    Table t(1200, {"PACR", "PULC", "PULW", "PULV"});
    EXPECT_EQ(t.column(0), (QStringList{"PACR", "PULC", "PULW", "PULV"}));
    EXPECT_EQ(t.column(1), (QStringList{"Rate", "Pulse Current", "Pulse Width", "Pulse Voltage"}));
    EXPECT_EQ(t.column(2), (QStringList{"0", "0.0", "0.0", "0.0"}));
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(t.cell(row, 3).toObject(), std::static_pointer_cast<IObject>(t.result->measurements[row])) << row;
    EXPECT_EQ(t.report->callNames().count(QStringLiteral("Translate")), 4);
}

TEST(MeasurementTable, pulseRepetitionEnergyRowCarriesTheFirstNumberedEnergy)
{
    Table t(1600, {"PLSC", "ENGY1", "ENGY2"});
    EXPECT_EQ(t.column(0), (QStringList{"ENGY", "PLSC", "ENGY1"}));
    EXPECT_EQ(t.column(2), (QStringList{"0.0", "0", "0.0"}));
    EXPECT_EQ(t.cell(0, 3).toObject(), t.cell(2, 3).toObject());
    EXPECT_EQ(t.cell(2, 3).toInterface<IMeasurement>()->Key(), QStringLiteral("ENGY1"));
}

TEST(MeasurementTable, seriesChargeTimeRowHasNoMeasurementAndMissingResultLeavesCellsEmpty)
{
    Table series(1400, {"CHTI1", "CHTI2"});
    ASSERT_EQ(series.column(0), QStringList{"CHTI"});
    EXPECT_TRUE(series.cell(0, 3).isNothing());

    Table noResult(1300, {}, false);
    EXPECT_EQ(noResult.column(0), (QStringList{"SENS", "PACE"}));
    EXPECT_EQ(noResult.column(1), (QStringList{"Sensed Rp", "Paced Rp"}));
    EXPECT_TRUE(noResult.cell(0, 3).isEmpty());
    EXPECT_TRUE(noResult.cell(1, 3).isEmpty());
}

TEST(MeasurementTable, withoutReportTheCaptionsStayEmptyAndWithoutOwnerThereAreNoRows)
{
    auto element = std::make_shared<FakeElement>(1200);
    const Variant uncaptioned = MMiscUtils::GetMeasurementTable(nullptr, element);
    ASSERT_EQ(uncaptioned.toArray().size(), 4);
    for (const Variant& row : uncaptioned.toArray()) {
        EXPECT_FALSE(row.toArray()[0].toString().isEmpty());
        EXPECT_TRUE(row.toArray()[1].isEmpty());
        EXPECT_TRUE(row.toArray()[3].isEmpty()) << "the element holds no result";
    }
    EXPECT_TRUE(MMiscUtils::GetMeasurementTable(std::make_shared<host::Report>(), nullptr).toArray().isEmpty());
}

TEST(MeasurementTable, selectAllTextSelectsTheWholeText)
{
    QLineEdit edit(QStringLiteral("12:30"));
    edit.setCursorPosition(2);
    MMiscUtils::SelectAllText(&edit);
    EXPECT_EQ(edit.selectionStart(), 0);
    EXPECT_EQ(edit.selectedText(), QStringLiteral("12:30"));
}
