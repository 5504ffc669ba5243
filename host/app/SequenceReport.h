#pragma once
// The test report of a sequence, as the host prints it: a title with the sequence
// file's name and the date, then each element in order under a heading of its
// own, printing itself through ITestElement::PrintReport into the host's report
// writer. The window's File > Export report... and "kelto-host report" share it.

#include <QDateTime>
#include <QString>
#include <QTextStream>
#include <functional>

#include "host/Report.h"
#include "host/app/Sequence.h"

namespace kelto::host {

// The standards an element without a passed or failed result is printed with.
using StandardsOf = std::function<Ptr<IStandardCollection>(const Ptr<ITestElement>& element)>;

// An empty file name stands for a sequence not saved yet. Each element prints the
// limits of the standards its result was judged against (as the sequence records
// them; none where nothing recorded them), and its status says when none of them
// judged it; an element without such a result prints those judgedAgainst gives.
// A result whose presets or limits in the sequence differ from those that judged
// it is printed with those, as the record holds them.
void printSequenceReport(const Sequence& sequence, const QString& sequenceFile, const QDateTime& printed, const StandardsOf& judgedAgainst,
    const Ptr<Report>& report);

// The report formats, by the file's extension.
enum class ReportFormat { Html, Pdf, Unknown };
ReportFormat reportFormatOf(const QString& file);

// Writes the report as HTML or PDF, by the file's extension; false with the
// reason, naming the file, when it cannot.
bool writeReport(const Report& report, const QString& file, QString* error);

// "kelto-host report SEQUENCE_FILE --output FILE": exit 0, or 1 with the reason on
// err; 1 as well after writing the report when items could be read only in part,
// or results were judged with other settings or limits than the file holds, or hold
// a verdict their readings do not give by what judged them.
// A test without a passed or failed result is printed with every standard the
// sequence's elements hold, as a run of the sequence is judged unless the operator
// unticks some.
int runReportCommand(const QString& sequenceFile, const QString& output, QTextStream& err);

} // namespace kelto::host
