#pragma once
// What judged a result, as a sequence keeps it beside the result: the standards
// it was judged against and, in a record this host takes, the preset of each kind
// of reading and every limit of those standards for the readings:
//
//   <JudgedAgainst Values="True">
//     <Preset Key="ENGY" Value="100"/>
//     <Standard Alpha="IEC 60601-2-4" Complete="...">
//       <Limit Key="ENGY" Unit="J"><High Value="15" Formula="X+(X*Y%)"/><Low Value="-15" Formula="X+(X*Y%)"/></Limit>
//     </Standard>
//   </JudgedAgainst>
//
// A preset is kept by the first four characters of the reading keys (ENGY for
// ENGY1 to ENGY15), as the limits are; the limits in the form of the standards'
// saved form. A record without "Values" (saved before the host kept them) names the
// standards alone: the element's present limits of those names stand for what
// judged the result, as they always did.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "host/Standards.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class JudgementRecord {
public:
    // The element a record is kept in, beside the result.
    static inline const QString kElement = QStringLiteral("JudgedAgainst");

    // What a run has just judged the element's result with: the element's own
    // standards of the selection (in its order), with their limits of the result's
    // reading keys, and the result's presets.
    static JudgementRecord taken(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);
    // Raises, naming the file and line, for a preset, limit value or formula that
    // cannot be read: what judged the result would be unknown. So it does for a preset
    // given twice, or more presets than the element's result has kinds of reading.
    static JudgementRecord read(IXmlElement& judged, const Ptr<ITestElement>& element);
    Ptr<IXmlElement> write(IXmlDocument& doc) const;

    // The standards by their names.
    Ptr<IStandardCollection> standards() const;
    // True when the element's present presets or limits for its result's readings are
    // not those that judged it (a standard it no longer holds has none); never for a
    // record of names alone.
    bool differsFrom(const Ptr<ITestElement>& element) const;
    // True when the result's readings, judged as a run judges them by the recorded
    // presets and limits, do not give its status or that of one of its readings;
    // never for a record of names alone, which holds no limits to judge by, nor for
    // the operator's verdict on a waveform, which no limit judges. A failed result
    // that says why (statusText: its limits could not be read) is not
    // contradicted by readings that pass.
    bool contradicts(const Ptr<ITestElement>& element, const QString& statusText) const;
    // True when a recorded standard holds a limit value for one of the readings' keys
    // (by their first four characters): a limit judged them. For a record of names
    // alone, one of the element's own standards of those names does.
    bool limitsAnyOf(const Ptr<ITestElement>& element, const QList<Ptr<IMeasurement>>& readings) const;
    // The recorded standards, each side of a limit holding the value it judged by
    // (its formula computed with the recorded preset).
    Ptr<IStandardCollection> judgingLimits() const;
    // A copy of the element holding its result as it was judged: its readings with the
    // recorded presets (its settings changed where a setting gives them) and the
    // recorded limits, each side at the value it judged by, in place of its own.
    Ptr<ITestElement> judgedElement(const Ptr<ITestElement>& element) const;
    // Each recorded preset as a view prints it: the caption, the preset in the
    // reading's format and the unit of the element's reading of that key.
    QList<QStringList> presetCells(const Ptr<ITestElement>& element) const;
    // The record as text, a line for each preset and each standard.
    QString describe(const Ptr<ITestElement>& element) const;

private:
    // Sets each recorded preset in the copy's settings where a setting gives the
    // readings of its kind their preset, and lays the result out again from them.
    void takePresets(const Ptr<ITestElement>& copy, const Ptr<IXmlElement>& result) const;

    Ptr<StandardCollection> m_standards = std::make_shared<StandardCollection>();
    QList<QPair<QString, float>> m_presets; // by the first four characters of the keys
    bool m_values = false;
};

} // namespace kelto::host
