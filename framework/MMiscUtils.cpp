#include "framework/MMiscUtils.h"

#include <QLineEdit>

#include "framework/HostServices.h"
#include "framework/guide/CMtiData2.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/Report.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::MMiscUtils {

namespace {

const QString kSource = QStringLiteral("MMiscUtils");

// Set by the shell at start-up and never cleared.
Ptr<ITarvoXPlugIn> mPlugIn;
// The analyser record StoreMtiData added last: the default identity of a new result.
std::int32_t mlLastMtiId = 0;

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
        ignoreErrors([&] { cells[1] = deref(report, kSource).Translate(kOwnerWord, QLatin1String(row.caption), {}); });
        cells[2] = QString::fromLatin1(row.format);
        // Asked anew for each row; no result leaves the cell Empty.
        ignoreErrors([&] { cells[3] = Variant(deref(deref(owner, kSource).Result(), kSource).Measurement(key)); });
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
    deref(text, QStringLiteral("MMiscUtils")).setSelection(0, static_cast<int>(text->text().size()));
}

Ptr<CMtiData2> GetMtiData(const Ptr<IMtiDatabase>& mtiDatabase, std::int32_t& mtiId)
{
    const std::int32_t id = mtiId != 0 ? mtiId : mlLastMtiId;
    if (id <= 0 || !mtiDatabase)
        return nullptr;
    Ptr<IMtiRecord> record;
    ignoreErrors([&] { record = mtiDatabase->Item(kOwnerWord, id); });
    if (!record)
        return nullptr;
    auto identity = std::make_shared<CMtiData2>();
    ignoreErrors([&] { identity->SetMtiType(record->Model()); });
    ignoreErrors([&] { identity->SetSerial(record->SerialNumber()); });
    ignoreErrors([&] { identity->SetFirmware(record->Firmware()); });
    return identity;
}

std::int32_t StoreMtiData(const Ptr<IMtiDatabase>& mtiDatabase, Ptr<CMtiData2>& mti)
{
    if (!mtiDatabase || !mti)
        return 0;
    // A record is one analyser as it measured: model, serial number and firmware.
    // Results keep pointing at their record, so a record is never changed; an
    // analyser with new firmware gets a record of its own.
    QList<Ptr<IMtiRecord>> records;
    ignoreErrors([&] { records = mtiDatabase->Records(); });
    for (const auto& record : records) {
        bool same = false;
        ignoreErrors([&] {
            same = record && record->Owner() == kOwnerWord && record->Model() == mti->MtiType() && record->SerialNumber() == mti->Serial()
                   && record->Firmware() == mti->Firmware();
        });
        if (same)
            return valueOr([&] { return record->ID(); }, 0);
    }
    std::int32_t id = 0;
    ignoreErrors([&] {
        auto record = ComponentRuntime::instance().createAs<IMtiRecord>(QLatin1String(hostclass::MtiRecord));
        if (!record)
            return;
        record->SetOwner(kOwnerWord);
        record->SetModel(mti->MtiType());
        record->SetSerialNumber(mti->Serial());
        record->SetFirmware(mti->Firmware());
        id = mtiDatabase->Add(record);
    });
    if (id > 0)
        mlLastMtiId = id;
    return id;
}

} // namespace kelto::MMiscUtils
