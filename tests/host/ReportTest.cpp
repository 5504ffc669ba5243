#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string_view>
#include <gtest/gtest.h>

#include "tests/support/TestFiles.h"

#include "host/Report.h"
#include "host/ServiceRecord.h"
#include "host/TestElementBase.h"
#include "host/TestGuideServices.h"
#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"

using namespace kelto;
using namespace kelto::host;

namespace {

// A result table as the results print it, on a report of 7360 twips (W = 1000).
const QString kFormat = QStringLiteral("<+560|<2240|>+1000|>+1000|^+1000|<+!1000|<+560;");
const QString kHeader = QStringLiteral("|{\\i\\b Result:}|{\\i\\b Preset Value}|{\\i\\b Value}|{\\i\\b Unit};");
const QString kRows = QStringLiteral("|      Charge Time||7|s;|      Energy <J>|200|198.5|J;");
// The limits table as the standards print it on A4.
const QString kLimitFormat = QStringLiteral("<+560|<2240|<+%1|>+%1|>+%1|^+%1;").arg((Report::kDefaultWidth - 2800) / 4);
const QString kLimitHeader = QStringLiteral("|{\\i\\b Limits}|{\\i\\b Standard}|{\\i\\b High limit}|{\\i\\b Low limit}|{\\i\\b Unit};");

} // namespace

TEST(Report, RecordsEveryCallWithItsArguments)
{
    auto report = ComponentRuntime::instance().createAs<IReport>(QLatin1String(hostclass::Report));
    ASSERT_TRUE(report);
    auto own = std::dynamic_pointer_cast<Report>(report);
    own->setFlags(0x10);
    EXPECT_EQ(report->Translate(QStringLiteral("TarvoX"), QStringLiteral("312::Result:")), QStringLiteral("Result:"));
    EXPECT_EQ(report->Width(10), Report::kDefaultWidth);
    EXPECT_EQ(report->Flags(), 0x10);
    report->TableSettingA(7);
    report->TableSettingB(0);
    report->TableSettingC(1);
    report->PrintTable(kFormat, kHeader, kRows, 0, 0, 0);

    EXPECT_EQ(own->callNames(), (QStringList{QStringLiteral("Translate"), QStringLiteral("Width"), QStringLiteral("Flags"), QStringLiteral("TableSettingA"),
                                             QStringLiteral("TableSettingB"), QStringLiteral("TableSettingC"), QStringLiteral("PrintTable")}));
    EXPECT_EQ(own->calls()[0].args[1], Variant(QStringLiteral("312::Result:")));
    EXPECT_EQ(own->calls()[1].args[0], Variant(std::int32_t(10)));
    EXPECT_EQ(own->calls()[4].args[0], Variant(std::int16_t(0)));
    EXPECT_EQ(own->calls()[6].args[2], Variant(kRows));
    ASSERT_EQ(own->tables().size(), 1);
}

TEST(Report, RendersATableWithEmphasisAlignmentAndWidths)
{
    Report report;
    report.setTableWidth(7360);
    report.PrintTable(kFormat, kHeader, kRows, 0, 0, 0);
    const QString html = report.html();

    EXPECT_TRUE(html.contains(QStringLiteral("<b><i>Result:</i></b>"))) << qPrintable(html);
    EXPECT_TRUE(html.contains(QStringLiteral("<b><i>Preset Value</i></b>")));
    EXPECT_FALSE(html.contains(QStringLiteral("\\i"))) << "control words are not shown";
    EXPECT_TRUE(html.contains(QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;Charge Time")));
    EXPECT_TRUE(html.contains(QStringLiteral("Energy &lt;J&gt;")));
    // The widths of the format fill the whole 7360-twip report: 560 of 7360 is 7.6 %.
    EXPECT_TRUE(html.contains(QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" style=\"border-collapse: collapse\" width=\"100.0%\">")));
    const QString framed = QStringLiteral(" style=\"border: 1px solid #000000; white-space: nowrap\"");
    EXPECT_TRUE(html.contains(QStringLiteral("<td align=\"left\" width=\"7.6%\"") + framed + QStringLiteral("></td>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td align=\"left\" width=\"30.4%\" style=\"white-space: nowrap\">")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td align=\"right\" width=\"13.6%\"") + framed + QStringLiteral(">198.5</td>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td align=\"center\" width=\"13.6%\"") + framed + QStringLiteral(">s</td>")));
    EXPECT_EQ(html.count(QStringLiteral("<tr")), 3);
    EXPECT_EQ(html.count(QStringLiteral("<td")), 21) << "seven columns in every row, also where a row has five cells";

    // Half the width of the report: the table takes half the page.
    report.setTableWidth(14720);
    EXPECT_TRUE(report.html().contains(QStringLiteral("width=\"50.0%\">")));
}

TEST(Report, CellsStayOnOneLineWhereThePageHasRoom)
{
    // The limits and the twenty charge times of a battery series, as the plug-in
    // prints them on A4.
    Report report;
    report.PrintTable(kLimitFormat, kLimitHeader, QStringLiteral("|      Charge Time|IEC 60601-2-4|15||s;|      Energy|IEC 60601-2-4 Ed. 3|115.0|85.0|J;"), 0, 0, 0);
    const std::int32_t w = (Report::kDefaultWidth - 3360) / 4;
    const QString format = QStringLiteral("<+560|<2240|>+%1|>+%1|^+%1|<+!%1|<+560;").arg(w);
    QString rows;
    for (int i = 1; i <= 20; ++i)
        rows += QStringLiteral("|      Charge Time %1||5|s;").arg(i);
    report.PrintTable(format, kHeader, rows, 0, 0, 0);
    // Where the page has no room: a standard's name wider than the page, and a
    // caption as wide.
    const QString longName = QStringLiteral("Acceptance test") + QStringLiteral(" of the hospital's defibrillators").repeated(6);
    report.PrintTable(kLimitFormat, kLimitHeader, QStringLiteral("|      Energy|%1|115.0|85.0|J;").arg(longName), 0, 0, 0);
    report.PrintTable(kLimitFormat, kLimitHeader, QStringLiteral("|      %1|IEC 60601-2-4|115.0|85.0|J;").arg(longName), 0, 0, 0);

    QBuffer pdf;
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    QPdfWriter writer(&pdf);
    const auto document = report.printedDocument(writer);
    const QList<QTextTable*> tables = tablesOf(*document);
    ASSERT_EQ(tables.size(), 4);
    auto lines = [&](const QString& text, int table) {
        const QTextCursor found = document->find(text, tables[table]->firstPosition());
        return found.isNull() || found.position() > tables[table]->lastPosition() ? -1 : found.block().layout()->lineCount();
    };
    for (const char* text : {"Limits", "Standard", "High limit", "Low limit", "IEC 60601-2-4", "IEC 60601-2-4 Ed. 3", "115.0"})
        EXPECT_EQ(lines(QLatin1String(text), 0), 1) << text;
    for (const char* text : {"Result:", "Preset Value", "Value", "Unit"})
        EXPECT_EQ(lines(QLatin1String(text), 1), 1) << text;
    for (int i = 1; i <= 20; ++i)
        EXPECT_EQ(lines(QStringLiteral("Charge Time %1").arg(i), 1), 1) << i;
    // The name wraps within the page beside captions and values on one line.
    EXPECT_GT(lines(QStringLiteral("Acceptance test"), 2), 1);
    EXPECT_EQ(lines(QStringLiteral("Energy"), 2), 1);
    EXPECT_EQ(lines(QStringLiteral("115.0"), 2), 1);
    EXPECT_GT(lines(QStringLiteral("Acceptance test"), 3), 1);
    for (QTextTable* table : tables)
        EXPECT_LE(document->documentLayout()->frameBoundingRect(table).width(), document->pageSize().width() + 1) << "nothing is cut off at the page's edge";
}

TEST(Report, AnElementsHeadingAndTablesStandOnOnePageWhenTheyFitOnOne)
{
    // Elements of settings, some with limits, and a result of one to five rows under
    // headings, one longer than a page and one without tables, over a few pages:
    // without care some heading ends a page and its table begins the next, or a
    // result goes on alone to the next page, or its values without their captions.
    Report report;
    const QString settings = QStringLiteral("|      Duration|8.0|s;|      ECG Waveform|60 BPM|;");
    QList<int> lastTable; // of each element
    for (int i = 1; i <= 80; ++i) {
        report.addHeading(QStringLiteral("Element %1").arg(i, 3, 10, QLatin1Char('0')));
        if (i != 20) {
            report.PrintTable(kFormat, kHeader, settings, 0, 0, 0);
            if (i % 3 == 0)
                report.PrintTable(kLimitFormat, kLimitHeader, QStringLiteral("|      Sensed Rp|MFR|400.0|200.0|ms;"), 0, 0, 0);
            report.PrintTable(kFormat, kHeader, QStringLiteral("|      Charge Time||7|s;").repeated(i == 50 ? 70 : 1 + i % 5), 0, 0, 0);
        }
        lastTable.append(static_cast<int>(report.tables().size()) - 1);
    }
    report.addHeading(QStringLiteral("Element 081")); // without a table

    QBuffer pdf;
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    QPdfWriter writer(&pdf);
    const auto document = report.printedDocument(writer);
    ASSERT_GT(document->pageCount(), 3);
    const QList<QTextTable*> tables = tablesOf(*document);
    ASSERT_EQ(tables.size(), 158 + 26);
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    const qreal pageHeight = document->pageSize().height();
    auto pageOf = [&](const QTextBlock& block) { return static_cast<int>(layout->blockBoundingRect(block).top() / pageHeight); };
    for (int i = 1; i <= 81; ++i) {
        const QTextBlock heading = document->find(QStringLiteral("Element %1").arg(i, 3, 10, QLatin1Char('0'))).block();
        ASSERT_TRUE(heading.isValid()) << i;
        if (i == 20 || i == 81)
            continue;
        const int first = i == 1 ? 0 : lastTable[i - 2] + 1;
        EXPECT_EQ(pageOf(heading), pageOf(document->find(QStringLiteral("Result:"), tables[first]->firstPosition()).block())) << i;
        if (i != 50) {
            // Every cell of the result on that page, its framed values too, which the
            // layout would move on alone.
            EXPECT_EQ(pageOf(heading), static_cast<int>((layout->frameBoundingRect(tables[lastTable[i - 1]]).bottom() - 1) / pageHeight)) << i;
        }
    }
}

TEST(Report, APdfOfALongTextTakesTimeInProportionToItsLengthAndKeepsAllOfIt)
{
    // A text eight times as long costs about eight times the work, not sixty-four:
    // a name with blanks, without any place to break a line, and as one letter of
    // accents, and a reading's description in its narrow column.
    for (const char* shape : {"with blanks", "without blanks", "accents", "description"}) {
        SCOPED_TRACE(shape);
        const bool description = shape == std::string_view("description");
        const bool blanks = description || shape == std::string_view("with blanks");
        auto nameOf = [&](int length) {
            if (shape == std::string_view("accents"))
                return QStringLiteral("e") + QString(length - 1, QChar(0x0301));
            QString name;
            for (int i = 0; name.size() < length; ++i)
                name += QString::number(i) + (blanks && i % 8 == 7 ? QStringLiteral(" ") : QString());
            return name.left(length);
        };
        auto reportOf = [&](const QString& name) {
            auto report = std::make_unique<Report>();
            if (description) {
                report->addHeading(QStringLiteral("1. Pacer Refractory Period"));
                report->PrintTable(kFormat, kHeader, QStringLiteral("|      %1||400.0|ms;").arg(name), 0, 0, 0);
            } else {
                report->addHeading(QStringLiteral("1. ") + name);
                report->PrintTable(kLimitFormat, kLimitHeader, QStringLiteral("|      Energy|%1|115.0|85.0|J;").arg(name), 0, 0, 0);
            }
            return report;
        };
        auto cpuSeconds = [&](int length) {
            const auto report = reportOf(nameOf(length));
            QTemporaryDir dir;
            const std::clock_t start = std::clock();
            EXPECT_TRUE(report->writePdf(dir.filePath(QStringLiteral("long.pdf"))));
            return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        };
        cpuSeconds(1000); // fonts loaded
        const double shorter = cpuSeconds(8 * 1024);
        const double longer = cpuSeconds(64 * 1024);
        EXPECT_LT(longer, 16 * shorter) << shorter << " s, then " << longer << " s";

        // Every character is laid out, in the heading and in the cell's column.
        const QString name = nameOf(8 * 1024);
        QBuffer pdf;
        ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
        QPdfWriter writer(&pdf);
        const auto document = reportOf(name)->printedDocument(writer);
        const QTextTable* table = tablesOf(*document).constFirst();
        auto textBetween = [&](int from, int to) {
            QTextCursor cursor(document.get());
            cursor.setPosition(from);
            cursor.setPosition(to, QTextCursor::KeepAnchor);
            return cursor.selectedText().remove(QChar(QChar::ParagraphSeparator));
        };
        if (!description) {
            EXPECT_EQ(textBetween(0, table->firstPosition() - 1), QStringLiteral("1. ") + name);
        }
        // The description's row stands under the heading and the captions, after its indent.
        const int column = description ? 1 : 2;
        QString text;
        for (int r = description ? 2 : 1; r < table->rows(); ++r)
            text += textBetween(table->cellAt(r, column).firstPosition(), table->cellAt(r, column).lastPosition());
        EXPECT_EQ(description ? text.mid(6) : text, name);
        EXPECT_GT(table->rows(), 3) << "the text goes on in rows below its own";
        // Drawn once: a heading drawn again on every page of a table costs the
        // drawing of each page a pass over all of them.
        EXPECT_EQ(table->format().headerRowCount(), 0);
        EXPECT_LT(table->rows(), name.size() / 500) << "in pieces of hundreds of characters";
    }
}

TEST(Report, ADocumentLaidOutPastTheRangeOfItsPositionsIsKnown)
{
    // Spacing of ten million pixels stands in for thousands of pages of text.
    for (const int paragraphs : {3, 4}) {
        QTextDocument document;
        document.setPageSize(QSizeF(1000, 1000));
        QTextCursor cursor(&document);
        QTextBlockFormat spaced;
        spaced.setTopMargin(10'000'000);
        for (int i = 0; i < paragraphs; ++i) {
            cursor.insertBlock(spaced);
            cursor.insertText(QStringLiteral("text"));
        }
        cursor.insertTable(2, 2);
        EXPECT_EQ(laidOutInRange(document), paragraphs == 3) << paragraphs;
    }
}

TEST(Report, ZeroAndNegativeWidthsAreLeftToTheLayout)
{
    const QString html = reportTableHtml(QStringLiteral("<+560|<2240|>+-2|>+0|^+-1000000000000|<+!-2|<+560;"), kHeader, kRows, 3350);
    EXPECT_EQ(html.count(QStringLiteral("<td")), 21);
    EXPECT_FALSE(html.contains(QStringLiteral("width=\"-")));
    EXPECT_TRUE(html.contains(QStringLiteral("<td align=\"right\" style=\"border: 1px solid #000000; white-space: nowrap\">7</td>")));
    EXPECT_TRUE(reportTableHtml(QStringLiteral("<-5|>0;"), {}, QStringLiteral("|a|b;"), 0).contains(QStringLiteral(">a</td>")));
    EXPECT_TRUE(reportTableHtml({}, {}, {}, -1).contains(QStringLiteral("</table>")));
}

TEST(Report, CellMarkupIsReadNotShown)
{
    EXPECT_EQ(reportCellHtml(QStringLiteral("{\\b bold} and {\\i it\\i0  plain}")), QStringLiteral("<b>bold</b> and <i>it</i> plain"));
    EXPECT_EQ(reportCellHtml(QStringLiteral("{\\i\\b }")), QString()) << "an empty translated header cell";
    EXPECT_EQ(reportCellHtml(QStringLiteral("a \\{b\\} {unclosed")), QStringLiteral("a {b} unclosed"));
}

TEST(Report, WritesAPdfOfItsTables)
{
    QTemporaryDir dir;
    Report report;
    report.PrintTable(kFormat, kHeader, kRows, 0, 0, 0);
    report.PrintTable(QStringLiteral("<+-5|>0;"), kHeader, kRows, 0, 0, 0);
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(report.writePdf(file));
    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GT(pdf.size(), 500);
    QString error;
    EXPECT_FALSE(report.writePdf(dir.filePath(QStringLiteral("missing/folder/report.pdf")), &error));
    EXPECT_TRUE(error.contains(dir.filePath(QStringLiteral("missing/folder/report.pdf")))) << error.toStdString();
}

TEST(Report, TheTitleAndEachHeadingStandBeforeTheTablesPrintedAfterThem)
{
    Report report;
    report.setTitle(QStringLiteral("Test report: a&b.xml"), QStringLiteral("Printed 2026-01-02 03:04"));
    report.addHeading(QStringLiteral("1. First"));
    report.PrintTable(kFormat, kHeader, QStringLiteral("|      Charge Time||7|s;"), 0, 0, 0);
    report.addHeading(QStringLiteral("2. Second <none>"));
    report.addHeading(QStringLiteral("3. Third"));
    report.PrintTable(kFormat, kHeader, QStringLiteral("|      Energy|200|198.5|J;"), 0, 0, 0);
    report.addHeading(QStringLiteral("4. Last"));
    const QString html = report.html();

    EXPECT_TRUE(html.contains(QStringLiteral("<title>Test report: a&amp;b.xml</title>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<h1>Test report: a&amp;b.xml</h1>\n<p>Printed 2026-01-02 03:04</p>")));
    const QList<qsizetype> order{html.indexOf(QStringLiteral("<h1>")), html.indexOf(QStringLiteral("<h2>1. First</h2>")),
        html.indexOf(QStringLiteral(">7</td>")), html.indexOf(QStringLiteral("<h2>2. Second &lt;none&gt;</h2>")),
        html.indexOf(QStringLiteral("<h2>3. Third</h2>")), html.indexOf(QStringLiteral(">198.5</td>")), html.indexOf(QStringLiteral("<h2>4. Last</h2>"))};
    for (int i = 0; i < order.size(); ++i) {
        EXPECT_GE(order[i], 0) << i;
        if (i > 0) {
            EXPECT_LT(order[i - 1], order[i]) << i;
        }
    }
    report.clear();
    EXPECT_FALSE(report.html().contains(QStringLiteral("<h2>"))) << "the headings go with the tables they stand before";

    // A result's status in the colour of its look, and printed in grey still read
    // apart: a mark of its own and a weight or slant of its own.
    const struct {
        ResultLook look;
        const char* status;
    } statuses[] = {{ResultLook::Passed, "passed"}, {ResultLook::Failed, "failed"}, {ResultLook::NotJudged, "not judged (no standard judged it)"}};
    for (const auto& s : statuses) {
        report.addHeading(QStringLiteral("Pacer Parameters: "), QLatin1String(s.status), s.look, QStringLiteral(" (result not read from the file)"));
        report.PrintTable(kFormat, kHeader, QStringLiteral("|      Charge Time||7|s;"), 0, 0, 0);
    }
    QBuffer pdf;
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    QPdfWriter writer(&pdf);
    const auto printed = report.printedDocument(writer);
    QSet<QString> marks, styles;
    for (const auto& s : statuses) {
        SCOPED_TRACE(s.status);
        const QTextCursor found = printed->find(QLatin1String(s.status));
        ASSERT_FALSE(found.isNull());
        const QTextCharFormat format = found.charFormat();
        EXPECT_EQ(format.background().color(), lookColour(s.look));
        marks.insert(found.block().text().section(QStringLiteral(": "), 1).left(2));
        styles.insert(QStringLiteral("%1 %2").arg(format.fontWeight()).arg(format.fontItalic()));
        EXPECT_TRUE(found.block().text().endsWith(QStringLiteral(" (result not read from the file)")));
    }
    EXPECT_EQ(marks.size(), 3) << marks.values().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(styles.size(), 3) << styles.values().join(QLatin1Char('|')).toStdString();
}

TEST(Report, WritesItsHtmlOrSaysWhichFileItCannotWrite)
{
    QTemporaryDir dir;
    Report report;
    report.setTitle(QStringLiteral("Test report: s.xml"));
    report.PrintTable(kFormat, kHeader, kRows, 0, 0, 0);
    const QString file = dir.filePath(QStringLiteral("report.html"));
    QString error;
    ASSERT_TRUE(report.writeHtml(file, &error)) << error.toStdString();
    QFile html(file);
    ASSERT_TRUE(html.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(html.readAll()), report.html());

    const QString unwritable = dir.filePath(QStringLiteral("missing/report.html"));
    EXPECT_FALSE(report.writeHtml(unwritable, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write the report %1: ").arg(unwritable))) << error.toStdString();
}

namespace {

using ReportWriter = std::function<bool(const Report&, const QString&, QString*)>;
const struct {
    const char* name;
    ReportWriter write;
} kWriters[] = {
    {"report.html", [](const Report& r, const QString& f, QString* e) { return r.writeHtml(f, e); }},
    {"report.pdf", [](const Report& r, const QString& f, QString* e) { return r.writePdf(f, e); }},
};

} // namespace

TEST(Report, AWriteThatComesBackShortFailsNamingTheReasonAndKeepsTheEarlierReport)
{
    Report report;
    for (int i = 0; i < 200; ++i)
        report.PrintTable(kFormat, kHeader, kRows, 0, 0, 0);
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        QTemporaryDir dir;
        const QString file = dir.filePath(QLatin1String(writer.name));
        ASSERT_TRUE(writeFile(file, "the earlier report"));
        QString error;
        bool written = true;
        withFileSizeLimit(4096, [&] { written = writer.write(report, file, &error); });
        EXPECT_FALSE(written);
        EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write the report %1: %2. ").arg(file, QString::fromLocal8Bit(std::strerror(EFBIG)))))
            << error.toStdString();
        EXPECT_EQ(fileContent(file), QByteArray("the earlier report"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QLatin1String(writer.name)}) << "no part-written file is left";
    }
}

TEST(Report, ReplacesNoNamedPipeOrFolderWithAReport)
{
    Report report;
    report.PrintTable(kFormat, kHeader, kRows, 0, 0, 0);
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe.html"));
    ScopedFifo fifo(pipe);
    ASSERT_TRUE(fifo.made());
    const QString folder = dir.filePath(QStringLiteral("folder.pdf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const auto& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        for (const auto& [file, kind] : {std::pair{pipe, "a named pipe"}, std::pair{folder, "a folder"}}) {
            QString error;
            EXPECT_FALSE(writer.write(report, file, &error));
            EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot write the report %1: it is %2, not a regular file. ").arg(file, QLatin1String(kind))))
                << error.toStdString();
        }
    }
    EXPECT_TRUE(isFifo(pipe));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(ServiceRecord, SavesAndLoadsItsCodesAndValues)
{
    auto filter = std::make_shared<TestFilter>();
    filter->SetFlags(ITestFilter::ServiceRecordFlag);
    auto record = ComponentRuntime::instance().createAs<IServiceRecord>(QLatin1String(hostclass::ServiceRecord));
    ASSERT_TRUE(record);
    record->Fill(filter, QStringLiteral("F"), QStringLiteral("/5.2/7.0"));
    auto doc = std::make_shared<XmlDocument>();
    auto saved = record->Save(doc);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->TagName(), QStringLiteral("ServiceRecord"));

    ServiceRecord loaded;
    loaded.Load(saved, nullptr);
    EXPECT_EQ(loaded.Codes(), QStringLiteral("F"));
    EXPECT_EQ(loaded.Values(), QStringLiteral("/5.2/7.0"));
    EXPECT_THROW(loaded.Load(doc->CreateElement(QStringLiteral("Status")), nullptr), PluginError);
}

TEST(TestGuideServices, SettingsRoundTripAndAbortIsAskedAsYesNo)
{
    TestGuideConfig config;
    config.SetShowPictures(false);
    config.SetConfirmNext(true);
    auto doc = std::make_shared<XmlDocument>();
    auto saved = config.Save(doc);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->TagName(), QStringLiteral("TestGuideSettings"));
    auto copy = config.Clone();
    config.SetConfirmNext(false);
    EXPECT_TRUE(copy->ConfirmNext()) << "a clone is independent";
    TestGuideConfig loaded;
    loaded.Load(saved, nullptr);
    EXPECT_FALSE(loaded.ShowPictures());
    EXPECT_TRUE(loaded.ConfirmNext());

    int flags = 0;
    auto previous = setMessageBoxHandler([&](const MessageBoxRequest& r) {
        flags = r.flags;
        return mb::No;
    });
    TestGuideHelper helper;
    EXPECT_FALSE(helper.ConfirmAbort());
    EXPECT_EQ(flags & 0x0F, mb::YesNo);
    setMessageBoxHandler([](const MessageBoxRequest&) { return mb::Yes; });
    EXPECT_TRUE(helper.ConfirmAbort());
    setMessageBoxHandler(previous);

    auto element = std::make_shared<TestElementBase>();
    element->Info()->SetName(QStringLiteral("Charge time"));
    EXPECT_EQ(helper.Caption(element), QStringLiteral("Charge time"));
    EXPECT_EQ(helper.Caption(nullptr), QString());
}
