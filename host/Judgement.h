#pragma once
// What the host tells about the judgement of a result: which standards a run of a
// sequence is judged against by default, which of them judge an element, whether
// the limits of a selection judged an element's readings at all, and what every
// view (the guide, the list, the report, the questions) shows of a result. A result
// that no limit judged keeps the status its evaluation gave, as stored files and
// the check of stored verdicts rely on; the views show it as not judged, and why.

#include <QColor>
#include <QList>
#include <QString>

#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class JudgementRecord;

// How a view sets a result's status apart.
enum class ResultLook { None, NotEvaluated, Passed, Failed, NotJudged, NotApplicable };

// What a view shows of a result: its word ("passed", "not judged", ...), its look
// and why, where a reason stands beside it. Empty (ResultLook::None) for no result.
struct ShownResult {
    QString word;
    QString reason;
    ResultLook look = ResultLook::None;
    // "word (reason)", or the word alone.
    QString text() const;
    // The word as the guide's badge shows it ("Not judged"); empty for a result not evaluated.
    QString badge() const;
};

// The colour every view marks a look with; invalid for none.
QColor lookColour(ResultLook look);

// What is known of what judged a result.
struct Judging {
    // The standards it was judged against, by their names (the element's own limits
    // of those names judged it); null where nothing records them.
    Ptr<IStandardCollection> standards;
    // What judged it, where the element's presets or limits now differ from those or
    // its readings do not give its verdict by them; with the note said beside it.
    const JudgementRecord* other = nullptr;
    QString otherNote;
};

// The one rule of what a result shows, for the status a view shows it with: passed
// only where a limit judged at least one of its readings and none of them lacks its
// reading, or, for a waveform check (known by its test type), where the operator's
// tick passed it; failed, not applicable or not evaluated as stored. Any other passed
// result shows as not judged, and why: no limit judged it, it lacks readings a run
// said it failed without, it holds no reading a limit could judge, or its own record
// gives another verdict. One not evaluated yet says where no limit of the standards
// would judge its readings.
ShownResult shownResult(const Ptr<ITestElement>& element, std::int32_t status, const Judging& judging);

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

// The readings of the result that limits judge (every one but the operator's
// verdict, whatever type a save or a file gave it), in its order. Raises where the
// result cannot be asked.
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

// A standard the window offers to give an element: its names, and whether it holds
// a limit value for one of the element's readings.
struct OfferedStandard {
    QString alphaName;
    QString completeName;
    bool limitsReadings = false;
};

// The standards of the template (those its test types hold, each once) to give the
// element: those that the template gives limits for its readings come first, each
// group in the template's order.
QList<OfferedStandard> standardsOffered(const Ptr<ITestElement>& element, const QList<Ptr<ITestElement>>& prototypes);

} // namespace kelto::host
