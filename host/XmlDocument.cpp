#include "XmlDocument.h"

#include <QFile>
#include <QXmlStreamReader>
#include <optional>

#include "platform/CheckedFile.h"
#include "platform/Automation.h"

namespace kelto::host {

namespace {

const QString kSource = QStringLiteral("XmlDocument");
const QString kCodecSource = QStringLiteral("XmlValueCodec");

QString tooLarge(const QString& name, qint64 bytes)
{
    return QStringLiteral("%1 is too large to read (%2 bytes; the limit is %3 MiB).")
        .arg(name)
        .arg(bytes)
        .arg(XmlDocument::kMaxXmlBytes / (1024 * 1024));
}

QString refused(const QString& name, const QString& what, qint64 line, qint64 column)
{
    return QStringLiteral("%1 %2 (line %3, column %4).").arg(name, what).arg(line).arg(column);
}

struct Position {
    qint64 line;
    qint64 column; // in characters, from 1
};

Position positionOf(const QByteArray& data, qsizetype offset)
{
    const QByteArrayView before(data.constData(), offset);
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    qint64 column = 1;
    for (qsizetype i = lineStart; i < offset; ++i)
        column += (static_cast<unsigned char>(data[i]) & 0xC0) != 0x80; // UTF-8 continuation bytes are no characters
    return {before.count('\n') + 1, column};
}

// Past a document type declaration that starts at `from`: its internal subset
// holds declarations, quoted text and comments that may each contain a ">".
qsizetype skipDeclaration(const QByteArray& data, qsizetype from)
{
    int depth = 0;
    char quote = 0;
    for (qsizetype i = from; i < data.size(); ++i) {
        const char c = data[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '<' && QByteArrayView(data).sliced(i).startsWith("<!--")) {
            const qsizetype end = data.indexOf("-->", i + 4);
            if (end < 0)
                return data.size();
            i = end + 2;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            --depth;
        } else if (c == '>' && depth <= 0) {
            return i + 1;
        }
    }
    return data.size();
}

// Where a start tag with more attributes than the bound begins, read from the bytes
// alone: the stream reader and the DOM each compare every attribute of a tag with
// all before it, so a tag with many costs the square of their number before either
// returns it. Anything malformed is left to the reader.
std::optional<Position> tagWithTooManyAttributes(const QByteArray& data)
{
    const auto startsAt = [&](qsizetype i, const char* text) { return QByteArrayView(data).sliced(i).startsWith(text); };
    qsizetype i = 0;
    while ((i = data.indexOf('<', i)) >= 0) {
        const char* end = startsAt(i, "<!--") ? "-->" : startsAt(i, "<![CDATA[") ? "]]>" : startsAt(i, "<?") ? "?>" : startsAt(i, "</") ? ">" : nullptr;
        if (end) {
            i = data.indexOf(end, i + 2);
            if (i < 0)
                return std::nullopt;
            continue;
        }
        if (startsAt(i, "<!")) {
            i = skipDeclaration(data, i + 2);
            continue;
        }
        // A start tag: each "=" outside quoted values begins an attribute value.
        const qsizetype tag = i;
        int attributes = 0;
        char quote = 0;
        for (++i; i < data.size(); ++i) {
            const char c = data[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '=' && ++attributes > XmlDocument::kMaxXmlAttributes) {
                return positionOf(data, tag);
            } else if (c == '>') {
                break;
            }
        }
    }
    return std::nullopt;
}

QDomElement domOf(const Ptr<IXmlElement>& element)
{
    auto* e = dynamic_cast<XmlElement*>(element.get());
    if (!e)
        raiseError(vberr::ObjectNotSet, kSource, QStringLiteral("The element is not an element of a host XML document."));
    return e->dom();
}

} // namespace

// ---- element ---------------------------------------------------------------

XmlElement::XmlElement(std::shared_ptr<XmlDocument> doc, QDomElement element) : m_doc(std::move(doc)), m_element(std::move(element)) {}

QString XmlElement::TagName()
{
    return m_element.tagName();
}

void XmlElement::SetTagName(const QString& name)
{
    m_element.setTagName(name);
}

QString XmlElement::GetAttribute(const QString& name)
{
    return m_element.attribute(name);
}

void XmlElement::SetAttribute(const QString& name, const QString& value)
{
    m_element.setAttribute(name, value);
}

QString XmlElement::location() const
{
    const int line = m_element.lineNumber();
    if (line <= 0)
        return {};
    const QString file = m_doc->fileName();
    return file.isEmpty() ? QStringLiteral("line %1").arg(line) : QStringLiteral("%1, line %2").arg(file).arg(line);
}

QString xmlLocation(const Ptr<IXmlElement>& element)
{
    const auto* own = dynamic_cast<const XmlElement*>(element.get());
    return own ? own->location() : QString();
}

Ptr<IXmlElementList> XmlElement::Children()
{
    QList<Ptr<IXmlElement>> items;
    for (QDomElement c = m_element.firstChildElement(); !c.isNull(); c = c.nextSiblingElement())
        items.append(m_doc->wrap(c));
    return std::make_shared<XmlElementList>(std::move(items));
}

bool XmlElement::HasChildren()
{
    return !m_element.firstChildElement().isNull();
}

QString XmlElement::Text()
{
    return m_element.text();
}

void XmlElement::SetText(const QString& text)
{
    while (!m_element.firstChild().isNull())
        m_element.removeChild(m_element.firstChild());
    if (!text.isEmpty())
        m_element.appendChild(m_doc->dom().createTextNode(text));
}

Ptr<IXmlElement> XmlElement::AddTextElement(const QString& name, const QString& text)
{
    QDomElement child = m_doc->dom().createElement(name);
    if (!text.isEmpty())
        child.appendChild(m_doc->dom().createTextNode(text));
    m_element.appendChild(child);
    return m_doc->wrap(child);
}

void XmlElement::AppendChild(const Ptr<IXmlElement>& child)
{
    QDomElement c = domOf(child);
    if (c.ownerDocument() != m_element.ownerDocument())
        c = m_element.ownerDocument().importNode(c, true).toElement();
    m_element.appendChild(c);
}

Ptr<IXmlElement> XmlElement::FindChild(const QString& name, int start)
{
    int index = 0;
    for (QDomElement c = m_element.firstChildElement(); !c.isNull(); c = c.nextSiblingElement(), ++index) {
        if (index >= start && c.tagName() == name)
            return m_doc->wrap(c);
    }
    return nullptr;
}

Ptr<IXmlElement> XmlElementList::Item(int index)
{
    if (index < 0 || index >= m_items.size())
        raiseError(vberr::SubscriptOutOfRange, QStringLiteral("XmlElementList"));
    return m_items[index];
}

// ---- document --------------------------------------------------------------

XmlDocument::XmlDocument() = default;

Ptr<IXmlElement> XmlDocument::wrap(const QDomElement& element)
{
    if (element.isNull())
        return nullptr;
    return std::make_shared<XmlElement>(as<XmlDocument>(), element);
}

bool XmlDocument::Load(const QString& file)
{
    m_lastError.clear();
    QFile f(file);
    QString reason;
    if (!openRegularFile(f, QIODevice::ReadOnly, &reason)) {
        m_lastError = QStringLiteral("Cannot open %1: %2").arg(file, reason);
        return false;
    }
    // The size is checked before anything is read, so a huge file costs nothing.
    if (f.size() > kMaxXmlBytes) {
        m_lastError = tooLarge(file, f.size()) + QStringLiteral(" Check that it is the right file.");
        return false;
    }
    // What the file held when its size was checked, and no more: a buffer of the
    // whole bound would cost megabytes for every small file.
    const QByteArray data = f.read(f.size());
    if (f.error() != QFileDevice::NoError) {
        m_lastError = QStringLiteral("Cannot read %1: %2").arg(file, f.errorString());
        return false;
    }
    if (!parse(data, file))
        return false;
    m_file = file;
    return true;
}

bool XmlDocument::LoadXml(const QString& text)
{
    m_lastError.clear();
    if (!parse(text.toUtf8(), QStringLiteral("The XML text")))
        return false;
    m_file.clear();
    return true;
}

// The first bound of a load that the text goes beyond, as "<name> <what> (line, column)";
// empty when it keeps them all. The stream reader is left where the pass ended, so a
// text that is not well-formed leaves its error there.
QString XmlDocument::boundBreached(const QByteArray& data, const QString& name, QXmlStreamReader& reader)
{
    if (data.size() > kMaxXmlBytes)
        return tooLarge(name, data.size());
    if (const auto tag = tagWithTooManyAttributes(data))
        return refused(name, QStringLiteral("has an element with more than %1 attributes").arg(kMaxXmlAttributes), tag->line, tag->column);
    // A quick pass that refuses deep nesting and more nodes than the bound before
    // the DOM parser, whose time grows with the square of the depth, gets the text.
    reader.addData(data);
    int depth = 0;
    qint64 nodes = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > kMaxXmlDepth)
            return refused(name, QStringLiteral("nests elements more than %1 levels deep").arg(kMaxXmlDepth), reader.lineNumber(), reader.columnNumber());
        switch (token) {
        case QXmlStreamReader::StartElement:
            nodes += 1 + reader.attributes().size();
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Characters:
            nodes += reader.isCDATA(); // plain text joins the text node before it
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
        case QXmlStreamReader::DTD:
            ++nodes;
            break;
        default:
            break;
        }
        if (nodes > kMaxXmlNodes)
            return refused(name, QStringLiteral("holds more than %1 elements, attributes and other XML nodes").arg(kMaxXmlNodes), reader.lineNumber(),
                reader.columnNumber());
    }
    return QString();
}

bool XmlDocument::parse(const QByteArray& data, const QString& name)
{
    QXmlStreamReader reader;
    if (const QString breach = boundBreached(data, name, reader); !breach.isEmpty()) {
        m_lastError = breach + QStringLiteral(" Check that it is the right file.");
        return false;
    }
    QDomDocument dom;
    QString message = reader.errorString();
    qint64 line = reader.lineNumber();
    qint64 column = reader.columnNumber();
    if (!reader.hasError()) {
        int domLine = 0;
        int domColumn = 0;
        if (dom.setContent(data, &message, &domLine, &domColumn)) {
            m_dom = dom;
            return true;
        }
        line = domLine;
        column = domColumn;
    }
    m_lastError = QStringLiteral("%1 is not well-formed XML (line %2, column %3: %4).").arg(name).arg(line).arg(column).arg(message);
    return false;
}

bool XmlDocument::Save(const QString& file)
{
    m_lastError.clear();
    const QByteArray data = Xml().toUtf8();
    // Written, such a file could never be opened again: the earlier one is kept.
    QXmlStreamReader reader;
    if (const QString breach = boundBreached(data, file, reader); !breach.isEmpty()) {
        m_lastError = QStringLiteral("Cannot write %1: it could not be opened again, as it would go beyond what a file may hold: %2. "
                                     "Split it into smaller files.")
                          .arg(file, breach);
        return false;
    }
    QString reason;
    if (saveWholeFile(file, data, &reason))
        return true;
    m_lastError = QStringLiteral("Cannot write %1: %2").arg(file, reason);
    return false;
}

QString XmlDocument::Xml()
{
    QString text = m_dom.toString(2);
    if (!text.startsWith(QLatin1String("<?xml")))
        text.prepend(QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"));
    return text;
}

Ptr<IXmlElement> XmlDocument::DocumentElement()
{
    return wrap(m_dom.documentElement());
}

void XmlDocument::SetDocumentElement(const Ptr<IXmlElement>& root)
{
    QDomElement e = domOf(root);
    if (e.ownerDocument() != m_dom)
        e = m_dom.importNode(e, true).toElement();
    const QDomElement old = m_dom.documentElement();
    if (old.isNull())
        m_dom.appendChild(e);
    else
        m_dom.replaceChild(e, old);
}

Ptr<IXmlElement> XmlDocument::CreateElement(const QString& name)
{
    if (m_failing.contains(QStringLiteral("*")) || m_failing.contains(name))
        return nullptr;
    return wrap(m_dom.createElement(name));
}

// ---- value codec -------------------------------------------------------------

Ptr<IXmlDocument> XmlValueCodec::CreateDocument()
{
    return std::make_shared<XmlDocument>();
}

namespace {

QString variantName(VarType t)
{
    switch (t) {
    case VarType::Empty: return QStringLiteral("Empty");
    case VarType::Null: return QStringLiteral("Null");
    case VarType::Boolean: return QStringLiteral("Boolean");
    case VarType::Integer: return QStringLiteral("Integer");
    case VarType::Long: return QStringLiteral("Long");
    case VarType::Single: return QStringLiteral("Single");
    case VarType::Double: return QStringLiteral("Double");
    case VarType::String: return QStringLiteral("String");
    default: return QString();
    }
}

// A value that cannot be read as its kind is refused, never taken as text or as 0.
Variant variantFromText(const QString& kind, const QString& text)
{
    const QString what = QStringLiteral("A stored %1 value").arg(kind);
    if (kind == QLatin1String("Empty"))
        return Variant();
    if (kind == QLatin1String("Null"))
        return Variant::null();
    if (kind == QLatin1String("String"))
        return Variant(text);
    if (kind == QLatin1String("Boolean"))
        return Variant(storedBoolean(text, what, kCodecSource));
    if (kind == QLatin1String("Integer"))
        return Variant(storedInteger(text, what, kCodecSource));
    if (kind == QLatin1String("Long"))
        return Variant(storedLong(text, what, kCodecSource));
    if (kind == QLatin1String("Single"))
        return Variant(storedSingle(text, what, kCodecSource));
    if (kind == QLatin1String("Double"))
        return Variant(storedDouble(text, what, kCodecSource));
    raiseError(vberr::TypeMismatch, kCodecSource,
        QStringLiteral("A stored value of the kind \"%1\" cannot be read (Empty, Null, Boolean, Integer, Long, Single, Double or String is expected).")
            .arg(kind.left(40)));
}

} // namespace

Ptr<IXmlElement> XmlValueCodec::WriteValue(const Ptr<IXmlDocument>& doc, const Variant& value, std::int32_t valueType)
{
    const QString kind = variantName(value.type());
    if (kind.isEmpty())
        raiseError(vberr::TypeMismatch, QStringLiteral("XmlValueCodec"), QStringLiteral("Objects and arrays cannot be written as a value."));
    Ptr<IXmlElement> element = doc->CreateElement(QStringLiteral("Value"));
    if (!element)
        return nullptr;
    element->SetAttribute(QStringLiteral("Type"), QString::number(valueType));
    element->SetAttribute(QStringLiteral("Variant"), kind);
    if (value.type() == VarType::Single)
        element->SetText(singleToExactString(value.toSingle()));
    else if (value.type() == VarType::Double)
        element->SetText(doubleToExactString(value.toDouble()));
    else if (!value.isEmpty() && !value.isNull())
        element->SetText(value.toString());
    return element;
}

void XmlValueCodec::ReadValue(const Ptr<IXmlElement>& element, Variant& value, std::int32_t& valueType)
{
    // An attribute left out has its default, 0; one that is there must be read whole.
    const QString type = element->GetAttribute(QStringLiteral("Type"));
    valueType = type.isEmpty() ? 0 : storedLong(type, QStringLiteral("The Type of a stored value"), kCodecSource);
    QString kind = element->GetAttribute(QStringLiteral("Variant"));
    if (kind.isEmpty())
        kind = QStringLiteral("String");
    value = variantFromText(kind, element->Text());
}

Ptr<IXmlElement> XmlValueCodec::WriteStatus(const Ptr<IXmlDocument>& doc, std::int32_t status, const QString& statusText)
{
    Ptr<IXmlElement> element = doc->CreateElement(QStringLiteral("Status"));
    if (!element)
        return nullptr;
    element->SetAttribute(QStringLiteral("Value"), QString::number(status));
    element->SetText(statusText);
    return element;
}

void XmlValueCodec::ReadStatus(const Ptr<IXmlElement>& element, std::int32_t& status, QString& statusText)
{
    const QString value = element->GetAttribute(QStringLiteral("Value"));
    status = value.isEmpty() ? 0 : storedLong(value, QStringLiteral("The Value of a stored status"), kCodecSource);
    statusText = element->Text();
}

} // namespace kelto::host
