#include "XmlDocument.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>
#include <atomic>
#include <optional>

#include "XmlText.h"
#include "host/XmlScan.h"
#include "platform/Automation.h"
#include "platform/CheckedFile.h"
#include "platform/EscapedText.h"

namespace kelto::host {

namespace {

const QString kSource = QStringLiteral("XmlDocument");
const QString kCodecSource = QStringLiteral("XmlValueCodec");
// What a refusal of the content advises: such a file is seldom the one meant.
const QString kRightFile = QStringLiteral(" Check that it is the right file.");

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

// The encoding an XML declaration at the start names ("UTF-16"); empty when none.
QByteArray declaredEncoding(const QByteArray& data)
{
    if (!data.startsWith("<?xml"))
        return {};
    const QByteArray head = data.left(data.indexOf("?>") < 0 ? 0 : data.indexOf("?>"));
    static const QRegularExpression encoding(QStringLiteral("\\sencoding\\s*=\\s*[\"']([A-Za-z][A-Za-z0-9._-]*)[\"']"));
    return encoding.match(QString::fromLatin1(head)).captured(1).toLatin1();
}

// The text decoded, when a byte order mark, the byte pattern of "<" or the
// declaration gives another encoding than UTF-8; none when it is UTF-8 (or an
// encoding no decoder knows, which the parser refuses). Bytes that are not of
// that encoding are the problem.
std::optional<QString> decodedUnlessUtf8(const QByteArray& data, QString* problem)
{
    QStringDecoder decoder;
    if (const auto found = QStringConverter::encodingForData(data, u'<')) {
        if (*found == QStringConverter::Utf8)
            return std::nullopt;
        decoder = QStringDecoder(*found);
    } else {
        const QByteArray name = declaredEncoding(data);
        if (name.isEmpty() || QStringConverter::encodingForName(name.constData()) == QStringConverter::Utf8)
            return std::nullopt;
        decoder = QStringDecoder(name.constData());
        if (!decoder.isValid())
            return std::nullopt;
    }
    QString text = decoder(data);
    if (decoder.hasError())
        *problem = QStringLiteral("it holds bytes that are not %1 text").arg(QLatin1String(decoder.name()));
    return text;
}

// The parser's "Unexpected ''." quotes no character where one is at fault: a
// control character, which would show nothing anyway. It is named, escaped.
QString withCharacterNamed(const QString& message, const QString& text, int line, int column)
{
    const QString unnamed = QStringLiteral("''");
    if (!message.contains(unnamed))
        return message;
    qsizetype at = 0;
    for (int l = 1; l < line && at >= 0; ++l)
        at = text.indexOf(QLatin1Char('\n'), at) + 1;
    at += column - 1;
    if (at < 0 || at >= text.size())
        return message;
    QString named = message;
    return named.replace(unnamed, QStringLiteral("'%1'").arg(escapeInvisible(text.mid(at, 1))));
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
        m_lastError = tooLarge(file, f.size()) + kRightFile;
        return false;
    }
    // What the file held when its size was checked, and no more: a buffer of the
    // whole bound would cost megabytes for every small file. A file that tells no
    // size (those of /proc) is read up to one byte beyond the bound.
    const QByteArray data = f.read(f.size() > 0 ? f.size() : kMaxXmlBytes + 1);
    if (f.error() != QFileDevice::NoError) {
        m_lastError = QStringLiteral("Cannot read %1: %2").arg(file, f.errorString());
        return false;
    }
    if (!parse(data, file))
        return false;
    m_file = file;
    m_stamp = FileStamp(file, data);
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

namespace {
std::atomic<qint64> passes{0};
} // namespace

qint64 XmlDocument::parserPasses()
{
    return passes;
}

// The first bound of a load that the UTF-8 text goes beyond, as "<name> <what> (line,
// column)"; empty when it keeps them all.
QString XmlDocument::boundBreached(const QByteArray& utf8, const QString& name)
{
    if (utf8.size() > kMaxXmlBytes)
        return tooLarge(name, utf8.size());
    const std::optional<XmlBreach> breach = xmlBreach(utf8);
    if (!breach)
        return QString();
    if (breach->offset < 0)
        return QStringLiteral("%1 %2.").arg(name, breach->what);
    const TextPosition at = positionOf(utf8, breach->offset);
    return refused(name, breach->what, at.line, at.column);
}

bool XmlDocument::parse(const QByteArray& data, const QString& name)
{
    if (data.size() > kMaxXmlBytes) {
        m_lastError = tooLarge(name, data.size()) + kRightFile;
        return false;
    }
    // A file in another encoding is checked as the parser will read it.
    QString problem;
    const std::optional<QString> decoded = decodedUnlessUtf8(data, &problem);
    if (!problem.isEmpty()) {
        m_lastError = QStringLiteral("%1 is not well-formed XML (%2).").arg(name, problem) + kRightFile;
        return false;
    }
    const QByteArray utf8 = decoded ? decoded->toUtf8() : data;
    if (utf8.size() > kMaxXmlBytes) {
        m_lastError = QStringLiteral("%1 is too large to read (%2 bytes, %3 once converted to UTF-8; the limit is %4 MiB).")
                          .arg(name)
                          .arg(data.size())
                          .arg(utf8.size())
                          .arg(kMaxXmlBytes / (1024 * 1024))
            + kRightFile;
        return false;
    }
    if (const QString breach = boundBreached(utf8, name); !breach.isEmpty()) {
        m_lastError = breach + kRightFile;
        return false;
    }
    ++passes;
    QDomDocument dom;
    QString message;
    int line = 0;
    int column = 0;
    // Given as text, the parser reads it as decoded, whatever the declaration says.
    if (decoded ? dom.setContent(*decoded, &message, &line, &column) : dom.setContent(data, &message, &line, &column)) {
        m_dom = dom;
        return true;
    }
    m_lastError = QStringLiteral("%1 is not well-formed XML (line %2, column %3: %4).")
                      .arg(name)
                      .arg(line)
                      .arg(column)
                      .arg(withCharacterNamed(message, decoded ? *decoded : QString::fromUtf8(data), line, column))
        + kRightFile;
    return false;
}

bool XmlDocument::Save(const QString& file)
{
    m_lastError.clear();
    const QByteArray data = Xml().toUtf8();
    // Written, such a file could never be opened again: the earlier one is kept.
    if (const QString breach = boundBreached(data, file); !breach.isEmpty()) {
        m_lastError = QStringLiteral("Cannot write %1: it could not be opened again, as it would go beyond what a file may hold: %2 "
                                     "Shorten what is too long, or split it into smaller files.")
                          .arg(file, breach);
        return false;
    }
    QString reason;
    if (saveWholeFile(file, data, &reason)) {
        m_stamp = FileStamp(file, data);
        return true;
    }
    m_lastError = QStringLiteral("Cannot write %1: %2").arg(file, reason);
    return false;
}

QString XmlDocument::Xml()
{
    QString text = xmlText(m_dom);
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
        QStringLiteral("A stored value of the kind %1 cannot be read (Empty, Null, Boolean, Integer, Long, Single, Double or String is expected).")
            .arg(quotedValue(kind)));
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
