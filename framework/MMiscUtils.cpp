#include "framework/MMiscUtils.h"

#include <QLineEdit>

#include "framework/HostServices.h"
#include "platform/interfaces/Report.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::MMiscUtils {

namespace {

// Set by the shell at start-up and never cleared.
Ptr<ITarvoXPlugIn> mPlugIn;

} // namespace

void StorePlugIn(const Ptr<ITarvoXPlugIn>& plugIn)
{
    mPlugIn = plugIn;
}

Ptr<IStandard> LoadStandard(std::int32_t testId, const QString& alphaName, const QString& completeName)
{
    if (!mPlugIn)
        return nullptr;
    // The interface takes the names by reference; the plug-in gets copies.
    QString alpha = alphaName;
    QString complete = completeName;
    try {
        return mPlugIn->LoadStandard(testId, alpha, complete);
    } catch (...) {
        return nullptr;
    }
}

namespace {

struct TableRow {
    const char* key;
    const char* caption;
    const char* format;
};

// The measurements whose limits a test type prints, in the order of the report.
QList<TableRow> measurementRows(std::int32_t testId)
{
    switch (testId) {
    case 100:
    case 200: return {{"ENGY", "20120::Energy", "0.0"}};
    case 300:
    case 1400:
    case 1500: return {{"CHTI", "20125::Charge Time", "0"}};
    case 400: return {{"PEAV", "20121::Peak Voltage", "0.0"}};
    case 500: return {{"OVRC", "20122::Over Current", "0.0"}};
    case 600: return {{"OVRV", "20123::Over Voltage", "0.0"}};
    case 700:
    case 800: return {{"SYNT", "20124::Sync Time", "0.0"}};
    case 1200:
        return {{"PACR", "20126::Rate", "0"}, {"PULC", "20127::Pulse Current", "0.0"}, {"PULW", "20128::Pulse Width", "0.0"},
            {"PULV", "20129::Pulse Voltage", "0.0"}};
    case 1300: return {{"SENS", "20130::Sensed Rp", "0.0"}, {"PACE", "20131::Paced Rp", "0.0"}};
    case 1600: return {{"ENGY", "20120::Energy", "0.0"}, {"PLSC", "20132::Pulse Count", "0"}, {"ENGY1", "20120::Energy", "0.0"}};
    default: return {};
    }
}

} // namespace

Variant GetMeasurementTable(const Ptr<IReport>& report, const Ptr<ITestElement>& owner)
{
    std::int32_t testId = 0;
    ignoreErrors([&] {
        if (owner)
            testId = owner->TestID();
    });
    VariantArray table;
    for (const TableRow& row : measurementRows(testId)) {
        const QString key = QLatin1String(row.key);
        VariantArray cells(4);
        cells[0] = key;
        ignoreErrors([&] { cells[1] = report->Translate(kOwnerWord, QLatin1String(row.caption), {}); });
        cells[2] = QString::fromLatin1(row.format);
        // Asked anew for each row; no result leaves the cell Empty.
        ignoreErrors([&] {
            if (const Ptr<IResultData> result = owner->Result())
                cells[3] = Variant(result->Measurement(key));
        });
        table.append(Variant(cells));
    }
    // The pulse-repetition result keeps its energies under numbered keys only.
    if (testId == 1600 && table.size() == 3) {
        VariantArray first = table[0].toArray();
        first[3] = table[2].toArray()[3];
        table[0] = Variant(first);
    }
    return Variant(table);
}

void SelectAllText(QLineEdit* text)
{
    if (!text)
        raiseError(vberr::ObjectNotSet, QStringLiteral("MMiscUtils"));
    text->setSelection(0, static_cast<int>(text->text().size()));
}

} // namespace kelto::MMiscUtils
