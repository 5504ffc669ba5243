#pragma once
// What the host tells about the judgement of a result: which standards a run of a
// sequence is judged against by default, and whether the limits of a selection
// judged an element's readings at all. A result that no limit judged keeps the
// status its evaluation gave; the host says so beside it.

#include <QList>
#include <QString>

#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

// Shown beside the status of a result that no limit judged.
QString noLimitsNote();

// True when the element's result has readings that limits judge (numbers) and no
// standard of the selection gives the element a limit value for any of them. A
// result whose readings are the operator's verdict is never such a result.
bool judgedByNoLimit(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);

// A new collection naming each standard the elements hold once, in the order first
// met: the standards a run of these elements is judged against unless the operator
// says otherwise.
Ptr<IStandardCollection> standardsHeldBy(const QList<Ptr<ITestElement>>& elements);

} // namespace kelto::host
