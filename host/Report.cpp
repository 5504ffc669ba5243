#include "Report.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHash>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

#include "BasicServices.h"
#include "platform/CheckedFile.h"

namespace kelto::host {

namespace {

struct Column {
    QString align = QStringLiteral("left");
    bool frame = false;
    bool emphasis = false;
    std::int32_t width = 0; // twips; 0 leaves the column to the layout
};

// Drops the one ";" that ends a format or a row list, then splits it into its
// column entries (separator "|") or rows (separator ";").
QStringList splitEnded(const QString& text, QChar separator)
{
    QString body = text;
    if (body.endsWith(QLatin1Char(';')))
        body.chop(1);
    if (body.isEmpty())
        return {};
    return body.split(separator);
}

QList<Column> parseFormat(const QString& format)
{
    static const QRegularExpression number(QStringLiteral("-?\\d+"));
    QList<Column> columns;
    for (const QString& entry : splitEnded(format, QLatin1Char('|'))) {
        Column c;
        for (QChar ch : entry) {
            if (ch == QLatin1Char('<'))
                c.align = QStringLiteral("left");
            else if (ch == QLatin1Char('>'))
                c.align = QStringLiteral("right");
            else if (ch == QLatin1Char('^'))
                c.align = QStringLiteral("center");
            else if (ch == QLatin1Char('+'))
                c.frame = true;
            else if (ch == QLatin1Char('!'))
                c.emphasis = true;
        }
        const auto m = number.match(entry);
        if (m.hasMatch())
            c.width = std::max<qint64>(0, std::min<qint64>(m.captured().toLongLong(), 1000000)); // below 1 is left to the layout
        columns.append(c);
    }
    return columns;
}

QString percent(double value)
{
    return QString::number(value, 'f', 1) + QLatin1Char('%');
}

// Qt lays out a paragraph whole and draws all of it on every page it reaches, and
// breaks a word longer than a line by measuring it again for every line; a table
// row is drawn whole on every page it reaches too. A very long text in one of them
// costs time with the square of its length, so printed paragraphs and cells hold
// at most this many characters: a longer text goes on in the next paragraph, or
// in the same column of rows added below its own.
constexpr qsizetype kPrintedChars = 1000;

// Where a text longer than maxChars is cut into pieces of at most maxChars: after a
// blank in the last quarter of a piece where there is one, never inside a character,
// and before the accents of a letter.
QList<qsizetype> textCuts(const QString& text, qsizetype maxChars)
{
    QList<qsizetype> cuts;
    qsizetype from = 0;
    while (text.size() - from > maxChars) {
        qsizetype cut = from + maxChars;
        for (qsizetype i = cut; i > from + maxChars * 3 / 4; --i) {
            if (text[i - 1].isSpace()) {
                cut = i;
                break;
            }
        }
        const qsizetype whole = cut;
        while (cut > from + maxChars / 2 && (text[cut].isLowSurrogate() || text[cut].isMark()))
            --cut;
        // A letter of hundreds of accents is no word: kept whole, it would leave
        // a piece of one character for each of them.
        if (text[cut].isLowSurrogate() || text[cut].isMark())
            cut = whole - text[whole].isLowSurrogate();
        cuts.append(cut);
        from = cut;
    }
    return cuts;
}

// A stretch of a cell's text in one style. Leading blanks, which indent the text,
// are kept as no-break spaces.
struct Run {
    bool italic = false;
    bool bold = false;
    QString text;
};

QList<Run> cellRuns(const QString& cell)
{
    QList<Run> runs;
    QString pending; // plain text of the style on top of the stack
    struct Style {
        bool italic = false;
        bool bold = false;
    };
    QList<Style> stack{Style{}};
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        runs.append({stack.last().italic, stack.last().bold, pending});
        pending.clear();
    };

    // Leading blanks indent the cell's text.
    qsizetype i = 0;
    while (i < cell.size() && cell[i] == QLatin1Char(' ')) {
        pending += QChar(QChar::Nbsp);
        ++i;
    }
    for (; i < cell.size(); ++i) {
        const QChar ch = cell[i];
        if (ch == QLatin1Char('{')) {
            flush();
            stack.append(stack.last());
        } else if (ch == QLatin1Char('}')) {
            flush();
            if (stack.size() > 1)
                stack.removeLast();
        } else if (ch == QLatin1Char('\\') && i + 1 < cell.size() && cell[i + 1].isLetter()) {
            // A control word: letters, an optional number, and one blank that ends it.
            flush();
            qsizetype j = i + 1;
            QString word;
            while (j < cell.size() && cell[j].isLetter())
                word += cell[j++];
            QString param;
            while (j < cell.size() && (cell[j].isDigit() || (param.isEmpty() && cell[j] == QLatin1Char('-'))))
                param += cell[j++];
            if (j < cell.size() && cell[j] == QLatin1Char(' '))
                ++j;
            const bool on = param != QLatin1String("0");
            if (word == QLatin1String("i"))
                stack.last().italic = on;
            else if (word == QLatin1String("b"))
                stack.last().bold = on;
            i = j - 1;
        } else if (ch == QLatin1Char('\\') && i + 1 < cell.size()) {
            pending += cell[++i]; // an escaped "\{", "\}" or "\\"
        } else {
            pending += ch;
        }
    }
    flush();
    return runs;
}

QString runHtml(const Run& run, qsizetype from, qsizetype length)
{
    QString text = run.text.mid(from, length).toHtmlEscaped().replace(QChar(QChar::Nbsp), QLatin1String("&nbsp;"));
    if (run.italic)
        text = QStringLiteral("<i>") + text + QStringLiteral("</i>");
    if (run.bold)
        text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
    return text;
}

// The cell's text in HTML, cut into pieces of at most maxChars characters each
// (at least one piece, which may be empty).
QStringList cellPiecesHtml(const QString& cell, qsizetype maxChars)
{
    const QList<Run> runs = cellRuns(cell);
    QString plain;
    for (const Run& run : runs)
        plain += run.text;
    QList<qsizetype> ends = textCuts(plain, maxChars);
    ends.append(plain.size());
    QStringList pieces(1);
    qsizetype at = 0; // in the plain text
    qsizetype end = 0; // the index in ends of the current piece's end
    for (const Run& run : runs) {
        qsizetype from = 0;
        while (from < run.text.size()) {
            const qsizetype length = std::min(run.text.size() - from, ends[end] - at);
            pieces.last() += runHtml(run, from, length);
            from += length;
            at += length;
            if (at == ends[end] && end + 1 < ends.size()) {
                ++end;
                pieces.append(QString());
            }
        }
    }
    return pieces;
}

} // namespace

QString reportCellHtml(const QString& cell)
{
    return cellPiecesHtml(cell, std::numeric_limits<qsizetype>::max()).constFirst();
}

namespace {

// The table as reportTableHtml writes it, or, printed, as printedDocument lays it
// out: cut into pieces of kPrintedChars, without the style that keeps cells to one
// line (Qt's reader would turn their blanks into no-break spaces; the printed
// document keeps them to one line itself where the page has room), and with the
// heading before it, if any, as its first row.
QString tableHtml(const QString& format, const QString& header, const QString& rows, std::int32_t reportWidth, bool printed,
    const QString* headingHtml = nullptr)
{
    const qsizetype maxCellChars = printed ? kPrintedChars : std::numeric_limits<qsizetype>::max();
    const QList<Column> columns = parseFormat(format);
    QList<QStringList> body;
    for (const QString& row : splitEnded(header, QLatin1Char(';')))
        body.append(row.split(QLatin1Char('|')));
    const int headerRows = static_cast<int>(body.size());
    for (const QString& row : splitEnded(rows, QLatin1Char(';')))
        body.append(row.split(QLatin1Char('|')));

    int columnCount = static_cast<int>(columns.size());
    for (const auto& row : body)
        columnCount = std::max(columnCount, static_cast<int>(row.size()));

    qint64 total = 0;
    for (const auto& c : columns)
        total += c.width;

    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" style=\"border-collapse: collapse\"");
    if (total > 0 && reportWidth > 0)
        html += QStringLiteral(" width=\"") + percent(std::min(100.0, 100.0 * static_cast<double>(total) / reportWidth)) + QLatin1Char('"');
    html += QStringLiteral(">\n");
    if (headingHtml) {
        // A header row: the layout moves it to the next page together with the row
        // after it rather than leave it alone at the foot of a page.
        html += QStringLiteral("<thead><tr><td colspan=\"%1\" style=\"padding: 16px 0 0 0\"><h2>").arg(std::max(1, columnCount)) + *headingHtml
            + QStringLiteral("</h2></td></tr></thead>\n");
    }
    for (int r = 0; r < body.size(); ++r) {
        QList<QStringList> cells;
        qsizetype lines = 1; // table rows this row takes
        for (int c = 0; c < columnCount; ++c) {
            cells.append(c < body[r].size() ? cellPiecesHtml(body[r][c], maxCellChars) : QStringList(QString()));
            lines = std::max(lines, cells.last().size());
        }
        for (qsizetype line = 0; line < lines; ++line) {
            html += r < headerRows ? QStringLiteral("<tr class=\"header\">") : QStringLiteral("<tr>");
            for (int c = 0; c < columnCount; ++c) {
                const Column col = c < columns.size() ? columns[c] : Column{};
                html += QStringLiteral("<td align=\"") + col.align + QLatin1Char('"');
                if (col.width > 0 && total > 0)
                    html += QStringLiteral(" width=\"") + percent(100.0 * static_cast<double>(col.width) / static_cast<double>(total)) + QLatin1Char('"');
                // Cells stay on one line: a standard's name or a caption that wrapped
                // would stand out of line with the values beside it.
                QStringList style;
                if (col.frame)
                    style.append(QStringLiteral("border: 1px solid #000000"));
                if (!printed)
                    style.append(QStringLiteral("white-space: nowrap"));
                if (!style.isEmpty())
                    html += QStringLiteral(" style=\"") + style.join(QStringLiteral("; ")) + QLatin1Char('"');
                html += QLatin1Char('>');
                QString text = cells[c].value(line);
                if (col.emphasis && !text.isEmpty())
                    text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
                html += text + QStringLiteral("</td>");
            }
            html += QStringLiteral("</tr>\n");
        }
    }
    html += QStringLiteral("</table>\n");
    return html;
}

} // namespace

QString reportTableHtml(const QString& format, const QString& header, const QString& rows, std::int32_t reportWidth)
{
    return tableHtml(format, header, rows, reportWidth, false);
}

// ---- the writer -------------------------------------------------------------

QString Report::Translate(const QString& owner, const QString& text, const VariantArray& params)
{
    m_calls.append({QStringLiteral("Translate"), {owner, text, params}});
    return TextTranslator().Translate(owner, text, params);
}

void Report::TableSettingA(std::int32_t value)
{
    m_calls.append({QStringLiteral("TableSettingA"), {value}});
}

std::int32_t Report::Width(std::int32_t what)
{
    m_calls.append({QStringLiteral("Width"), {what}});
    return what == 7 ? m_width - 1120 : m_width;
}

void Report::TableSettingB(std::int16_t value)
{
    m_calls.append({QStringLiteral("TableSettingB"), {value}});
}

void Report::TableSettingC(std::int32_t value)
{
    m_calls.append({QStringLiteral("TableSettingC"), {value}});
}

std::int32_t Report::Flags()
{
    m_calls.append({QStringLiteral("Flags"), {}});
    return m_flags;
}

void Report::PrintTable(const QString& format, const QString& header, const QString& rows, std::int32_t a, std::int32_t b, std::int32_t c)
{
    m_calls.append({QStringLiteral("PrintTable"), {format, header, rows, a, b, c}});
    m_tables.append({format, header, rows});
}

QStringList Report::callNames() const
{
    QStringList names;
    for (const auto& call : m_calls)
        names.append(call.member);
    return names;
}

void Report::clear()
{
    m_calls.clear();
    m_tables.clear();
    m_headings.clear();
}

void Report::setTitle(const QString& title, const QString& subtitle)
{
    m_title = title;
    m_subtitle = subtitle;
}

void Report::addHeading(const QString& heading, const QString& status, ResultLook look, const QString& note)
{
    m_headings.append({static_cast<int>(m_tables.size()), heading, status, look, note});
}

QString Report::Heading::html() const
{
    QString html = text.toHtmlEscaped();
    if (!status.isEmpty()) {
        // A mark and a weight or slant of its own for each look, as the colour
        // alone would not tell them apart printed in grey; the badge's text as
        // dark or light as reads on its colour.
        const char* mark = look == ResultLook::Passed ? "\u2714" : look == ResultLook::Failed ? "\u2718" : look == ResultLook::NotJudged ? "?"
            : look == ResultLook::NotApplicable                                                      ? "\u2013"
                                                                                                       : "";
        QStringList style{look == ResultLook::Failed ? QStringLiteral("font-weight: bold") : QStringLiteral("font-weight: normal")};
        if (look == ResultLook::NotJudged)
            style.append(QStringLiteral("font-style: italic"));
        if (const QColor colour = lookColour(look); colour.isValid()) {
            const double luminance = 0.299 * colour.red() + 0.587 * colour.green() + 0.114 * colour.blue();
            style.append(QStringLiteral("color: %1; background-color: %2").arg(luminance > 150 ? QStringLiteral("#000000") : QStringLiteral("#ffffff"), colour.name()));
        }
        html += QStringLiteral("<span style=\"%1\">").arg(style.join(QStringLiteral("; ")));
        if (*mark)
            html += QString::fromUtf8(mark) + QLatin1Char(' ');
        html += status.toHtmlEscaped() + QStringLiteral("</span>");
    }
    return html + note.toHtmlEscaped();
}

QString Report::html() const
{
    return documentHtml(false);
}

QString Report::documentHtml(bool printed) const
{
    const QString title = m_title.isEmpty() ? QStringLiteral("Report") : m_title;
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + title.toHtmlEscaped()
        + QStringLiteral("</title></head><body>\n");
    if (!m_title.isEmpty())
        html += QStringLiteral("<h1>") + m_title.toHtmlEscaped() + QStringLiteral("</h1>\n");
    if (!m_subtitle.isEmpty())
        html += QStringLiteral("<p>") + m_subtitle.toHtmlEscaped() + QStringLiteral("</p>\n");
    // The headings are kept in the order of the tables they stand before. Printed,
    // the heading just before a table goes into the table, so that it does not end
    // a page alone; a heading longer than a paragraph is printed holds stays apart.
    qsizetype next = 0;
    auto headingHtml = [&](qsizetype h) { return QStringLiteral("<h2>") + m_headings[h].html() + QStringLiteral("</h2>\n"); };
    for (int i = 0; i < m_tables.size(); ++i) {
        std::optional<QString> inTable;
        for (; next < m_headings.size() && m_headings[next].table <= i; ++next) {
            const bool last = next + 1 == m_headings.size() || m_headings[next + 1].table > i;
            if (printed && last && m_headings[next].size() <= kPrintedChars)
                inTable = m_headings[next].html();
            else
                html += headingHtml(next);
        }
        const Table& t = m_tables[i];
        html += tableHtml(t.format, t.header, t.rows, m_width, printed, inTable ? &*inTable : nullptr) + QStringLiteral("<p></p>\n");
    }
    for (; next < m_headings.size(); ++next)
        html += headingHtml(next);
    html += QStringLiteral("</body></html>\n");
    return html;
}

QList<std::pair<int, int>> Report::printedElements() const
{
    QList<std::pair<int, int>> elements;
    for (qsizetype h = 0; h < m_headings.size(); ++h) {
        const int first = m_headings[h].table;
        const int end = h + 1 < m_headings.size() ? m_headings[h + 1].table : static_cast<int>(m_tables.size());
        // Only a heading printed in its first table moves with it.
        if (end > first && m_headings[h].size() <= kPrintedChars)
            elements.append({first, end});
    }
    return elements;
}

namespace {

bool writeReportFile(const QString& file, const QByteArray& bytes, QString* error)
{
    const bool earlier = QFileInfo(file).isFile();
    QString reason;
    if (saveWholeFile(file, bytes, &reason))
        return true;
    if (!error)
        return false;
    // What stands there may not be replaced: the reason is known, and nothing else
    // is to be checked.
    if (!notReplaceable(file).isEmpty())
        *error = QStringLiteral("Cannot write the report %1: %2. It stays as it is; write the report under another name.").arg(file, reason);
    else
        *error = QStringLiteral("Cannot write the report %1: %2. Check the file name, the folder's permissions and the free space%3.")
                     .arg(file, reason, earlier ? QStringLiteral("; an earlier report of that name is kept") : QString());
    return false;
}

} // namespace

bool Report::writeHtml(const QString& file, QString* error) const
{
    return writeReportFile(file, html().toUtf8(), error);
}

namespace {

// Splits every paragraph longer than kPrintedChars; the pieces read as one
// paragraph (no spacing between them) and keep every character.
void boundParagraphs(QTextDocument& document)
{
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.length() - 1 <= kPrintedChars)
            continue;
        const QList<qsizetype> cuts = textCuts(block.text(), kPrintedChars);
        const int start = block.position();
        for (qsizetype i = cuts.size() - 1; i >= 0; --i) {
            cursor.setPosition(start + static_cast<int>(cuts[i]));
            cursor.insertBlock(); // with the paragraph's own format
        }
        QTextBlock piece = block;
        for (qsizetype i = 0; i <= cuts.size(); ++i, piece = piece.next()) {
            QTextBlockFormat format = piece.blockFormat();
            if (i > 0) {
                format.setTopMargin(0);
                format.setTextIndent(0);
            }
            if (i < cuts.size())
                format.setBottomMargin(0);
            QTextCursor(piece).setBlockFormat(format);
        }
    }
    cursor.endEditBlock();
}

// Sets whether the cells of a column keep to one line; a heading in the table's
// header row wraps as any heading does.
void setOneLine(QTextTable* table, int column, bool oneLine)
{
    QTextBlockFormat format;
    format.setNonBreakableLines(oneLine);
    for (int r = table->format().headerRowCount(); r < table->rows(); ++r) {
        const QTextTableCell cell = table->cellAt(r, column);
        for (auto it = cell.begin(); !it.atEnd(); ++it)
            if (it.currentBlock().isValid())
                QTextCursor(it.currentBlock()).mergeBlockFormat(format);
    }
}

void keepCellsToOneLine(QTextDocument& document)
{
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (QTextTable* table : tablesOf(document))
        for (int c = 0; c < table->columns(); ++c)
            setOneLine(table, c, true);
    cursor.endEditBlock();
}

// A table that runs past the page with its cells on one line lets its framed
// values wrap, and when that is not enough its captions too, so that nothing is
// cut off at the page's edge.
void fitTablesToPage(QTextDocument& document, const QList<Report::Table>& printed)
{
    const qreal pageWidth = document.pageSize().width();
    const QList<QTextTable*> tables = tablesOf(document);
    QList<qsizetype> tooWide(tables.size());
    std::iota(tooWide.begin(), tooWide.end(), 0);
    for (const bool captionsToo : {false, true}) {
        tooWide.removeIf([&](qsizetype t) { return document.documentLayout()->frameBoundingRect(tables[t]).width() <= pageWidth + 1; });
        if (tooWide.isEmpty())
            return;
        QTextCursor cursor(&document);
        cursor.beginEditBlock();
        for (const qsizetype t : tooWide) {
            const QList<Column> columns = t < printed.size() ? parseFormat(printed[t].format) : QList<Column>{};
            for (int c = 0; c < tables[t]->columns(); ++c)
                if (captionsToo || (c < columns.size() && columns[c].frame))
                    setOneLine(tables[t], c, false);
        }
        cursor.endEditBlock();
    }
}

// Where pages begin so that each element that fits on a page stands on one: a
// result alone at the top of a page reads as another element's. Decided on the
// document laid out as one long page, where each part follows the parts before it
// (laid out in pages, each break set would cost a layout of the rest): a part that
// runs past the end of a page begins the next one, as the layout in pages moves a
// line of text. An element longer than a page begins one, and so does the part after
// it, since where such an element ends is known only once it is laid out in pages.
struct PageBreaks {
    QList<QTextTable*> before;
    QList<QTextTable*> after;
};

PageBreaks pageBreaks(const QTextDocument& unpaged, const QList<std::pair<int, int>>& elements, qreal pageHeight, qreal tableLead)
{
    QAbstractTextDocumentLayout* layout = unpaged.documentLayout();
    const QList<QTextTable*> tables = tablesOf(unpaged);
    QHash<const QTextTable*, QTextTable*> lastOf; // of an element's first table
    for (const auto& [first, end] : elements)
        if (first < end && end <= tables.size())
            lastOf.insert(tables[first], tables[end - 1]);
    PageBreaks breaks;
    qreal shift = 0; // where a part stands in pages less where it stands unpaged
    bool freshPage = false; // the part before ends its page
    int inside = -1; // the last position of the element being passed
    auto pageTop = [&](qreal y) { return std::floor(y / pageHeight) * pageHeight; };
    // Moves the part that begins at y unpaged to the next page where it would cross
    // a page's end, or where the part before ended its page; there it stands lead
    // below the page's top.
    auto place = [&](qreal top, qreal height, qreal lead) {
        const qreal at = top + shift;
        const bool atPageTop = at - pageTop(at) < lead + 1;
        const bool moved = !atPageTop && (freshPage || at + height > pageTop(at) + pageHeight);
        if (moved)
            shift += pageTop(at) + pageHeight + lead - at;
        freshPage = false;
        return moved;
    };
    for (auto it = unpaged.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (auto* table = qobject_cast<QTextTable*>(it.currentFrame())) {
            if (table->firstPosition() <= inside)
                continue;
            QTextTable* last = lastOf.value(table, table);
            inside = last->lastPosition();
            const qreal top = layout->frameBoundingRect(table).top();
            const qreal height = layout->frameBoundingRect(last).bottom() - top;
            // After an element longer than a page the page has ended already.
            const bool pageEnded = freshPage;
            if (place(top, height, tableLead) && !pageEnded)
                breaks.before.append(table);
            if (tableLead + height > pageHeight) {
                breaks.after.append(last);
                freshPage = true;
            }
        } else if (const QTextBlock block = it.currentBlock(); block.position() > inside && block.length() > 1) {
            // A paragraph's lines go on to the next page one by one.
            const QTextLayout* text = block.layout();
            for (int i = 0; i < text->lineCount(); ++i)
                place(text->position().y() + text->lineAt(i).y(), text->lineAt(i).height(), 0);
        }
    }
    return breaks;
}

// How far below a page's top the layout sets a table that a page break moves
// there: the padding of its first row, which the same table laid out in one long
// page does not take. Measured on the report's two kinds of table (under a heading
// and without one) in the document's font and device; the larger counts.
qreal pageTopLead(const QTextDocument& document, std::int32_t reportWidth)
{
    const QString heading = QStringLiteral("1.");
    const QString tables[] = {tableHtml(QStringLiteral("<+560;"), {}, QStringLiteral("|x;"), reportWidth, true, &heading),
        tableHtml(QStringLiteral("<+560;"), {}, QStringLiteral("|x;"), reportWidth, true)};
    const qreal pageHeight = 1000;
    qreal lead = 0;
    for (const QString& table : tables) {
        QTextDocument probe;
        probe.setUndoRedoEnabled(false);
        probe.documentLayout()->setPaintDevice(document.documentLayout()->paintDevice());
        probe.setDefaultFont(document.defaultFont());
        probe.setDocumentMargin(0);
        probe.setHtml(QStringLiteral("<p>x</p>") + table);
        QTextTable* moved = tablesOf(probe).value(0);
        if (!moved)
            continue;
        QTextTableFormat format = moved->format();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        moved->setFormat(format);
        probe.setPageSize(QSizeF(document.pageSize().width(), pageHeight));
        lead = std::max(lead, probe.documentLayout()->frameBoundingRect(moved).top() - pageHeight);
    }
    return lead;
}

// Qt keeps the positions in a laid-out document in fixed point, which wraps round
// past about 33.5 million device pixels. At this resolution that is about 21,000
// A4 pages, more than the longest text a readable file holds takes. Text and lines
// are drawn as vectors in the PDF: the resolution only sets where they are placed,
// to a 64th of a pixel.
constexpr int kPrintResolution = 150;
constexpr qreal kLaidOutHeight = 33'000'000;

} // namespace

QList<QTextTable*> tablesOf(const QTextDocument& document)
{
    QList<QTextTable*> tables;
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            tables.append(table);
    return tables;
}

bool laidOutInRange(const QTextDocument& document)
{
    // Wrapped round, a position goes back by about 67 million pixels; the layout
    // itself may set a paragraph beside a table a pixel below the table's top.
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    const qreal slack = std::max<qreal>(document.pageSize().height(), 1000);
    qreal top = 0;
    for (auto it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        const qreal next = it.currentFrame() ? layout->frameBoundingRect(it.currentFrame()).top() : layout->blockBoundingRect(it.currentBlock()).top();
        if (next < top - slack)
            return false;
        top = std::max(top, next);
    }
    const qreal height = layout->documentSize().height();
    return height >= top && height < kLaidOutHeight;
}

std::unique_ptr<QTextDocument> Report::printedDocument(QPdfWriter& writer) const
{
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
    writer.setResolution(kPrintResolution);
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->documentLayout()->setPaintDevice(&writer);
    // Not laid out before its paragraphs are bounded: a null page size holds the layout off.
    document->setPageSize(QSizeF(0, 0));
    document->setHtml(documentHtml(true));
    // The writer's margins are the page's: the text takes the whole area inside them.
    document->setDocumentMargin(0);
    boundParagraphs(*document);
    keepCellsToOneLine(*document);
    // Laid out first as one long page (a negative height): the widths are those of the
    // pages, and each part follows the one before it.
    document->setPageSize(QSizeF(writer.width(), -1));
    fitTablesToPage(*document, m_tables);
    const PageBreaks breaks = pageBreaks(*document, printedElements(), writer.height(), pageTopLead(*document, m_width));
    // A table longer than a page begins one, its heading with it. Kept as a header
    // row, the heading would be drawn again on each of its pages, and the drawing
    // of every page passes over all of them: a cost with the square of its length.
    QList<QTextTable*> headless;
    for (QTextTable* table : tablesOf(*document))
        if (table->format().headerRowCount() > 0 && document->documentLayout()->frameBoundingRect(table).height() > writer.height())
            headless.append(table);
    document->setPageSize(QSizeF(0, 0));
    for (QTextTable* table : headless) {
        QTextTableFormat format = table->format();
        format.setHeaderRowCount(0);
        table->setFormat(format);
    }
    for (const auto& [tables, policy] : {std::pair{&breaks.before, QTextFormat::PageBreak_AlwaysBefore}, std::pair{&breaks.after, QTextFormat::PageBreak_AlwaysAfter}}) {
        for (QTextTable* table : *tables) {
            QTextTableFormat format = table->format();
            format.setPageBreakPolicy(format.pageBreakPolicy() | policy);
            table->setFormat(format);
        }
    }
    document->setPageSize(QSizeF(writer.width(), writer.height()));
    return document;
}

bool Report::writePdf(const QString& file, QString* error) const
{
    // Laid out in memory first, so that the file gets all of it or none.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(m_title.isEmpty() ? QStringLiteral("Report") : m_title);
        writer.setCreator(QStringLiteral("kelto-host"));
        const std::unique_ptr<QTextDocument> document = printedDocument(writer);
        if (!laidOutInRange(*document)) {
            if (error)
                *error = QStringLiteral("Cannot write the report %1: it is too long to be laid out as a PDF (more than about %2 pages). "
                                        "Write it as HTML, a name ending in .html, which holds all of it.")
                             .arg(file)
                             .arg(static_cast<int>(kLaidOutHeight / document->pageSize().height()));
            return false;
        }
        QAbstractTextDocumentLayout* layout = document->documentLayout();
        const QSizeF page = document->pageSize();
        QPainter painter(&writer);
        const QFont numberFont = document->defaultFont();
        const qreal numberY = page.height() + QFontMetricsF(numberFont, &writer).ascent() + 5 * writer.logicalDpiY() / 72.0;
        const int pages = document->pageCount();
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                writer.newPage();
            painter.save();
            const QRectF view(0, i * page.height(), page.width(), page.height());
            painter.translate(0, -view.top());
            painter.setClipRect(view);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = view;
            context.palette.setColor(QPalette::Text, Qt::black);
            layout->draw(&painter, context);
            painter.restore();
            // The page's number at the right in the bottom margin.
            painter.setFont(numberFont);
            const QString number = QString::number(i + 1);
            painter.drawText(QPointF(page.width() - QFontMetricsF(numberFont, &writer).horizontalAdvance(number), numberY), number);
        }
    }
    return writeReportFile(file, pdf.data(), error);
}

} // namespace kelto::host
