#pragma once
// Procedures shared by the classes of the test library.

#include <QString>
#include <cstdint>

#include "framework/ITarvoXPlugIn.h"
#include "platform/Variant.h"

class QLineEdit;

namespace kelto {

class IStandard;
class IReport;
class ITestElement;
class IMtiDatabase;
class CMtiData2;

namespace MMiscUtils {

// Keeps the shell's plug-in for the library's lifetime, replacing any earlier one.
void StorePlugIn(const Ptr<ITarvoXPlugIn>& plugIn);

// The template's standard of that name for a test type, from the kept plug-in;
// null when no plug-in is kept or the plug-in fails. The names are never changed.
Ptr<IStandard> LoadStandard(std::int32_t testId, const QString& alphaName, const QString& completeName);

// The measurement table of the owner's test type for printing its limits: one row
// (a VariantArray) per measurement key with key, translated caption, number format
// and the result's measurement (null when it has none, Empty when the result
// cannot be reached). No rows for test types without limits.
Variant GetMeasurementTable(const Ptr<IReport>& report, const Ptr<ITestElement>& owner);

// Selects the whole text of a text box.
void SelectAllText(QLineEdit* text);

// The identity of the analyser record of that id (owner "TarvoX"); id 0 stands for
// the record StoreMtiData added last in this process. Null when there is none.
Ptr<CMtiData2> GetMtiData(const Ptr<IMtiDatabase>& mtiDatabase, std::int32_t& mtiId);

// The id of the record holding this identity: an existing record of the same model,
// serial number and firmware, else a record added for it (ids are the database's
// own, so they never collide across models). Records are never changed. 0 when
// there is no database or identity.
std::int32_t StoreMtiData(const Ptr<IMtiDatabase>& mtiDatabase, Ptr<CMtiData2>& mti);

} // namespace MMiscUtils

} // namespace kelto
