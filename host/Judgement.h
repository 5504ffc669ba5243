#pragma once
// What the host tells about the judgement of a result: which standards a run of a
// sequence is judged against by default, which of them judge an element, and
// whether the limits of a selection judged an element's readings at all. A result
// that no limit judged keeps the status its evaluation gave; the host says so
// beside it.

#include <QList>
#include <QString>

#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

// Shown beside the status of a result that no limit judged.
QString noLimitsNote();
// Shown beside the status of a result that nothing records the standards of that
// judged it (a sequence saved before the host kept such records).
QString unrecordedNote();

// Shown beside the status of a result whose presets or limits in the sequence now
// differ from those that judged it, or cannot be read.
QString judgedWithOtherNote();

// Shown beside the status of a result whose readings, judged by the presets and
// limits recorded as those that judged it, do not give that status (or that of a
// reading): a file edited outside the host in every place.
QString contradictedNote();

// Said beside a passed or failed result that nothing records the judging standards
// of: for a pass, that no limit judged it where none of the element's own standards
// gives its readings one (nothing can have judged them then); else unrecordedNote.
QString unrecordedJudgementNote(const Ptr<ITestElement>& element);

// The readings of the result that limits judge (numbers, not the operator's
// verdict), in its order. Raises where the result cannot be asked.
QList<Ptr<IMeasurement>> judgedReadings(const Ptr<IResultData>& result);

// True when the element holds a result that limits judge (passed or failed, with
// readings that take limits); the operator's verdict on a waveform is not one.
bool holdsJudgedReadings(const Ptr<ITestElement>& element);

// True when the element's result has readings that limits judge (numbers) and no
// standard of the selection gives the element a limit value for any of them. A
// result whose readings are the operator's verdict is never such a result.
bool judgedByNoLimit(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);

// A new collection naming, in the selection's order, each standard of the selection
// that the element holds: those its evaluation judges it by. None for no selection.
Ptr<IStandardCollection> standardsJudging(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);

// A new collection naming each standard the elements hold once, in the order first
// met: the standards a run of these elements is judged against unless the operator
// says otherwise.
Ptr<IStandardCollection> standardsHeldBy(const QList<Ptr<ITestElement>>& elements);

} // namespace kelto::host
