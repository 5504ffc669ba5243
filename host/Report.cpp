#include "Report.h"

#include <QBuffer>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <algorithm>

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

} // namespace

QString reportCellHtml(const QString& cell)
{
    QString out;
    QString pending; // plain text waiting to be escaped
    struct Style {
        bool italic = false;
        bool bold = false;
    };
    QList<Style> stack{Style{}};
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        const Style s = stack.last();
        QString text = pending.toHtmlEscaped();
        if (s.italic)
            text = QStringLiteral("<i>") + text + QStringLiteral("</i>");
        if (s.bold)
            text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
        out += text;
        pending.clear();
    };

    // Leading blanks indent the cell's text.
    int i = 0;
    while (i < cell.size() && cell[i] == QLatin1Char(' ')) {
        out += QStringLiteral("&nbsp;");
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
            int j = i + 1;
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
    return out;
}

QString reportTableHtml(const QString& format, const QString& header, const QString& rows, std::int32_t reportWidth)
{
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
    for (int r = 0; r < body.size(); ++r) {
        html += r < headerRows ? QStringLiteral("<tr class=\"header\">") : QStringLiteral("<tr>");
        for (int c = 0; c < columnCount; ++c) {
            const Column col = c < columns.size() ? columns[c] : Column{};
            html += QStringLiteral("<td align=\"") + col.align + QLatin1Char('"');
            if (col.width > 0 && total > 0)
                html += QStringLiteral(" width=\"") + percent(100.0 * static_cast<double>(col.width) / static_cast<double>(total)) + QLatin1Char('"');
            // An unframed column holds the captions of the framed values beside them:
            // a caption that wrapped would stand out of line with its values.
            if (col.frame)
                html += QStringLiteral(" style=\"border: 1px solid #000000\"");
            else
                html += QStringLiteral(" style=\"white-space: nowrap\"");
            html += QLatin1Char('>');
            QString text = c < body[r].size() ? reportCellHtml(body[r][c]) : QString();
            if (col.emphasis && !text.isEmpty())
                text = QStringLiteral("<b>") + text + QStringLiteral("</b>");
            html += text + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</table>\n");
    return html;
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

void Report::addHeading(const QString& heading)
{
    m_headings.append({static_cast<int>(m_tables.size()), heading});
}

QString Report::html() const
{
    const QString title = m_title.isEmpty() ? QStringLiteral("Report") : m_title;
    QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + title.toHtmlEscaped()
        + QStringLiteral("</title></head><body>\n");
    if (!m_title.isEmpty())
        html += QStringLiteral("<h1>") + m_title.toHtmlEscaped() + QStringLiteral("</h1>\n");
    if (!m_subtitle.isEmpty())
        html += QStringLiteral("<p>") + m_subtitle.toHtmlEscaped() + QStringLiteral("</p>\n");
    // The headings are kept in the order of the tables they stand before.
    qsizetype next = 0;
    auto headingsBefore = [&](int table) {
        for (; next < m_headings.size() && m_headings[next].first <= table; ++next)
            html += QStringLiteral("<h2>") + m_headings[next].second.toHtmlEscaped() + QStringLiteral("</h2>\n");
    };
    for (int i = 0; i < m_tables.size(); ++i) {
        headingsBefore(i);
        const Table& t = m_tables[i];
        html += reportTableHtml(t.format, t.header, t.rows, m_width) + QStringLiteral("<p></p>\n");
    }
    headingsBefore(static_cast<int>(m_tables.size()));
    html += QStringLiteral("</body></html>\n");
    return html;
}

namespace {

bool writeReportFile(const QString& file, const QByteArray& bytes, QString* error)
{
    const bool earlier = QFileInfo(file).isFile();
    QString reason;
    if (saveWholeFile(file, bytes, &reason))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write the report %1: %2. Check the file name, the folder's permissions and the free space%3.")
                     .arg(file, reason, earlier ? QStringLiteral("; an earlier report of that name is kept") : QString());
    return false;
}

} // namespace

bool Report::writeHtml(const QString& file, QString* error) const
{
    return writeReportFile(file, html().toUtf8(), error);
}

bool Report::writePdf(const QString& file, QString* error) const
{
    // Laid out in memory first, so that the file gets all of it or none.
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        writer.setTitle(m_title.isEmpty() ? QStringLiteral("Report") : m_title);
        writer.setCreator(QStringLiteral("kelto-host"));
        QTextDocument document;
        document.setHtml(html());
        document.print(&writer);
    }
    return writeReportFile(file, pdf.data(), error);
}

} // namespace kelto::host
