#pragma once
// The host's report writer. It keeps every call made on it (the plug-in's report
// code is checked against that list) and lays the printed tables out as a document
// a person reads, as HTML or PDF.
//
// Table language: the column format is one entry per column separated by "|" and
// ended by ";"; an entry holds an alignment mark ("<" left, ">" right, "^" centre),
// "+" for a framed column, "!" for an emphasised column, and the width in twips
// (a width of zero or below leaves the column to the layout). Rows are cells
// separated by "|" and ended by ";"; a cell may hold "{\i\b text}" groups that set
// italic and bold for their text.

#include <QList>
#include <QStringList>
#include <memory>

#include "host/Judgement.h"
#include "platform/interfaces/Report.h"

class QPdfWriter;
class QTextDocument;
class QTextTable;

namespace kelto::host {

class Report : public IReport {
public:
    struct Call {
        QString member; // "Translate", "Width", "Flags", "TableSettingA" ...
        VariantArray args;
    };
    struct Table {
        QString format;
        QString header;
        QString rows;
    };

    // 17 cm, the text width of an A4 page with 2 cm margins.
    static constexpr std::int32_t kDefaultWidth = 9638;

    QString Translate(const QString& owner, const QString& text, const VariantArray& params = {}) override;
    void TableSettingA(std::int32_t value) override;
    // Width(10) is the table width. Width(7), which tables with a wider label area
    // ask for, is that width less the two narrow 560 columns they add themselves.
    std::int32_t Width(std::int32_t what) override;
    void TableSettingB(std::int16_t value) override;
    void TableSettingC(std::int32_t value) override;
    std::int32_t Flags() override;
    void PrintTable(const QString& format, const QString& header, const QString& rows, std::int32_t a = 0, std::int32_t b = 0, std::int32_t c = 0) override;

    void setTableWidth(std::int32_t twips) { m_width = twips; }
    std::int32_t tableWidth() const { return m_width; }
    void setFlags(std::int32_t flags) { m_flags = flags; }

    // The host's own text around the plug-in's tables: a title with a line under
    // it, and headings, each placed before the tables printed after it. A heading
    // may name a result's status between its text and a note after it, marked by
    // its look so that passed, failed and not judged read apart at a glance, in
    // grey too: a mark and a weight or slant besides the colour.
    void setTitle(const QString& title, const QString& subtitle = QString());
    void addHeading(const QString& heading, const QString& status = QString(), ResultLook look = ResultLook::None, const QString& note = QString());

    const QList<Call>& calls() const { return m_calls; }
    // The members called, in order ("Translate", "Width", ...).
    QStringList callNames() const;
    const QList<Table>& tables() const { return m_tables; }
    void clear();

    // The title, headings and printed tables as an HTML document.
    QString html() const;
    // Write the document atomically; false, with the reason naming the file, when
    // it cannot be written in full or is no regular file (an earlier file of that
    // name is then kept).
    bool writeHtml(const QString& file, QString* error = nullptr) const;
    // As an A4 PDF.
    bool writePdf(const QString& file, QString* error = nullptr) const;
    // The document as writePdf prints it: the writer set to A4 with 2 cm margins,
    // the document laid out in pages of the writer's text area. Cells keep to one
    // line unless their table would then run past the page, the heading before a
    // table is the table's header row (kept on a page with the row after it), the
    // tables of an element that fits on a page stand on one, and a long text goes
    // on in further paragraphs, or table rows, of bounded length, so that the cost
    // stays linear in the text (no character is left out).
    std::unique_ptr<QTextDocument> printedDocument(QPdfWriter& writer) const;

private:
    // Printed, a long text is cut into pieces and cells carry no style of their own
    // for wrapping (see printedDocument).
    QString documentHtml(bool printed) const;
    // The tables of each element as printed, [first, end) by index, from its heading
    // to the next; an element whose heading is not printed in its table is left out.
    QList<std::pair<int, int>> printedElements() const;

    QList<Call> m_calls;
    QList<Table> m_tables;
    QString m_title;
    QString m_subtitle;
    struct Heading {
        int table = 0; // it stands before the table of this index
        QString text;
        QString status;
        ResultLook look = ResultLook::None;
        QString note;
        qsizetype size() const { return text.size() + status.size() + note.size(); }
        QString html() const;
    };
    QList<Heading> m_headings;
    std::int32_t m_width = kDefaultWidth;
    std::int32_t m_flags = 0;
};

// One table in HTML (a <table> element), for a report of the given width in twips.
QString reportTableHtml(const QString& format, const QString& header, const QString& rows, std::int32_t reportWidth);

// False when the document's layout ran past the range of Qt's positions (about 33
// million device pixels): they wrap round there, and the pages after would come
// out empty or on top of each other.
bool laidOutInRange(const QTextDocument& document);

// The tables of a document, in their order.
QList<QTextTable*> tablesOf(const QTextDocument& document);

// The text of one cell in HTML: the "{\i\b ...}" groups as italic and bold, leading
// blanks kept as an indent, everything else escaped.
QString reportCellHtml(const QString& cell);

} // namespace kelto::host
