#include "host/app/SequenceReport.h"

#include <QFileInfo>
#include <QLocale>

#include "host/Judgement.h"
#include "host/TestSetup.h"
#include "host/XmlDocument.h"
#include "host/app/CommandLine.h"
#include "host/app/PlugInHost.h"
#include "platform/Deref.h"
#include "platform/PluginError.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

namespace {

// The presets that judged a result, where they are not those of the file.
void printJudgingPresets(Report& report, const Ptr<ITestElement>& element, const JudgementRecord& record)
{
    QString rows;
    for (const QStringList& cells : record.presetCells(element))
        rows += QStringLiteral("|      %1|%2|%3;").arg(cells[0], cells[1], cells[2]);
    if (rows.isEmpty())
        return;
    const QString width = QString::number((report.Width(10) - 2800) / 2);
    report.PrintTable(QStringLiteral("<+560|<2240|>+%1|^+%1;").arg(width), QStringLiteral("|{\\i\\b Judged with}|{\\i\\b Preset Value}|{\\i\\b Unit};"),
        rows);
}

} // namespace

void printSequenceReport(const Sequence& sequence, const QString& sequenceFile, const QDateTime& printed, const StandardsOf& judgedAgainst,
    const Ptr<Report>& report)
{
    const QString name = sequenceFile.isEmpty() ? QStringLiteral("unsaved sequence") : QFileInfo(sequenceFile).fileName();
    report->setTitle(QStringLiteral("Test report: %1").arg(name),
        QStringLiteral("Printed %1").arg(QLocale::c().toString(printed, QStringLiteral("yyyy-MM-dd HH:mm"))));
    int number = 0;
    for (const Ptr<ITestElement>& element : sequence.elements()) {
        const Ptr<IStandardCollection> notJudged = judgedAgainst(element);
        auto setup = std::make_shared<TestSetup>();
        setup->setSelectedStandards(sequence.standardsShownFor(element, notJudged));
        QString heading = QStringLiteral("%1. %2").arg(++number).arg(elementTitle(element));
        const ShownResult shown = sequence.shown(element, notJudged);
        const QString status = shown.text();
        if (!status.isEmpty())
            heading += QStringLiteral(": ");
        const QString unread = sequence.unreadNote(element);
        report->addHeading(heading, status, shown.look, unread.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unread));
        // An element that fails to print does not cost the others their pages.
        ignoreErrors([&] {
            const JudgementRecord* other = sequence.judgedWithOther(element);
            if (!other) {
                element->PrintReport(report, setup);
                return;
            }
            // A result read beside other presets or limits is printed with those that judged it.
            printJudgingPresets(*report, element, *other);
            setup->setSelectedStandards(other->standards());
            other->judgedElement(element)->PrintReport(report, setup);
        });
    }
}

ReportFormat reportFormatOf(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("html"))
        return ReportFormat::Html;
    if (suffix == QLatin1String("pdf"))
        return ReportFormat::Pdf;
    return ReportFormat::Unknown;
}

bool writeReport(const Report& report, const QString& file, QString* error)
{
    switch (reportFormatOf(file)) {
    case ReportFormat::Html:
        return report.writeHtml(file, error);
    case ReportFormat::Pdf:
        return report.writePdf(file, error);
    case ReportFormat::Unknown:
        break;
    }
    *error = QStringLiteral("The report file %1 must end in .html or .pdf.").arg(file);
    return false;
}

int runReportCommand(const QString& sequenceFile, const QString& output, QTextStream& err)
{
    PlugInHost host;
    if (!host.load()) {
        printCannotStart(err, host.error());
        return exitcode::Failure;
    }
    Sequence sequence;
    QString error;
    if (!sequence.load(sequenceFile, *host.plugIn(), &error)) {
        if (!error.contains(sequenceFile))
            error = QStringLiteral("The test sequence %1 cannot be read: %2").arg(sequenceFile, error);
        err << error << "\n";
        return exitcode::Failure;
    }
    // Items read in part, and results judged with other settings or limits than the
    // file holds or holding a verdict their readings do not give, are named here and
    // in their headings; the report is written all the same, and the exit code says
    // it is not what the file's settings judge.
    const QStringList problems = sequence.loadProblems() + sequence.otherJudgements();
    for (const QString& problem : problems)
        err << problem << "\n";
    auto report = std::make_shared<Report>();
    const Ptr<IStandardCollection> held = standardsHeldBy(sequence.elements());
    printSequenceReport(sequence, sequenceFile, QDateTime::currentDateTime(), [&](const Ptr<ITestElement>&) { return held; }, report);
    if (!writeReport(*report, output, &error)) {
        err << error << "\n";
        return exitcode::Failure;
    }
    return problems.isEmpty() ? exitcode::Success : exitcode::Failure;
}

} // namespace kelto::host
