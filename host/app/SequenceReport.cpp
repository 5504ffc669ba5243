#include "host/app/SequenceReport.h"

#include <QFileInfo>
#include <QLocale>

#include "host/Judgement.h"
#include "host/TestSetup.h"
#include "host/app/CommandLine.h"
#include "host/app/PlugInHost.h"
#include "platform/PluginError.h"

namespace kelto::host {

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
        const QString status = sequence.statusText(element, notJudged);
        if (!status.isEmpty())
            heading += QStringLiteral(": ") + status;
        const QString unread = sequence.unreadNote(element);
        if (!unread.isEmpty())
            heading += QStringLiteral(" (%1)").arg(unread);
        report->addHeading(heading);
        // An element that fails to print does not cost the others their pages.
        ignoreErrors([&] { element->PrintReport(report, setup); });
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
        err << "The plug-in cannot start: Error #" << host.error().number() << ": " << host.error().description() << "\n";
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
    // Items read in part are named here and in their headings; the report is
    // written all the same, and the exit code says it is not the whole file's.
    for (const QString& problem : sequence.loadProblems())
        err << problem << "\n";
    auto report = std::make_shared<Report>();
    const Ptr<IStandardCollection> held = standardsHeldBy(sequence.elements());
    printSequenceReport(sequence, sequenceFile, QDateTime::currentDateTime(), [&](const Ptr<ITestElement>&) { return held; }, report);
    if (!writeReport(*report, output, &error)) {
        err << error << "\n";
        return exitcode::Failure;
    }
    return sequence.loadProblems().isEmpty() ? exitcode::Success : exitcode::Failure;
}

} // namespace kelto::host
