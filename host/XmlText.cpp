#include "XmlText.h"

#include <QDomAttr>
#include <QDomNamedNodeMap>
#include <QDomProcessingInstruction>
#include <algorithm>
#include <vector>

namespace kelto::host {

namespace {

constexpr int kIndent = 2;

// Escaped as the DOM escapes it: an attribute keeps its quotes, line ends and tabs
// as references, since a reader would turn them into spaces.
void appendEscaped(QString& out, const QString& text, bool attribute)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'<')
            out += u"&lt;";
        else if (c == u'&')
            out += u"&amp;";
        else if (c == u'"' && attribute)
            out += u"&quot;";
        else if (c == u'>' && i >= 2 && text[i - 1] == u']' && text[i - 2] == u']')
            out += u"&gt;"; // "]]>" may not stand in a text
        else if (c == u'\r')
            out += u"&#xd;";
        else if (c == u'\n' && attribute)
            out += u"&#xa;";
        else if (c == u'\t' && attribute)
            out += u"&#x9;";
        else
            out += c;
    }
}

// No white space is written where it would become part of a text beside the node.
void appendIndent(QString& out, const QDomNode& node, int depth)
{
    if (!node.previousSibling().isText())
        out += QString(depth * kIndent, u' ');
}

void appendLineEnd(QString& out, const QDomNode& node)
{
    if (!node.nextSibling().isText())
        out += u'\n';
}

void appendNode(QString& out, const QDomNode& node, int depth);

void appendChildren(QString& out, const QDomNode& parent, int depth)
{
    for (QDomNode child = parent.firstChild(); !child.isNull(); child = child.nextSibling())
        appendNode(out, child, depth);
}

void appendElement(QString& out, const QDomElement& element, int depth)
{
    appendIndent(out, element, depth);
    out += u'<';
    out += element.nodeName();
    const QDomNamedNodeMap map = element.attributes();
    std::vector<QDomAttr> attributes;
    attributes.reserve(std::size_t(map.count()));
    for (int i = 0; i < map.count(); ++i)
        attributes.push_back(map.item(i).toAttr());
    std::sort(attributes.begin(), attributes.end(), [](const QDomAttr& a, const QDomAttr& b) { return a.nodeName() < b.nodeName(); });
    for (const QDomAttr& attribute : attributes) {
        out += u' ';
        out += attribute.nodeName();
        out += u"=\"";
        appendEscaped(out, attribute.value(), true);
        out += u'"';
    }
    if (!element.hasChildNodes()) {
        out += u"/>";
    } else {
        out += u'>';
        if (!element.firstChild().isText())
            out += u'\n';
        appendChildren(out, element, depth + 1);
        if (!element.lastChild().isText())
            out += QString(depth * kIndent, u' ');
        out += u"</";
        out += element.nodeName();
        out += u'>';
    }
    appendLineEnd(out, element);
}

void appendNode(QString& out, const QDomNode& node, int depth)
{
    switch (node.nodeType()) {
    case QDomNode::ElementNode:
        appendElement(out, node.toElement(), depth);
        break;
    case QDomNode::TextNode:
        appendEscaped(out, node.nodeValue(), false);
        break;
    case QDomNode::CDATASectionNode:
        out += QStringLiteral("<![CDATA[") + node.nodeValue() + QStringLiteral("]]>");
        break;
    case QDomNode::CommentNode:
        appendIndent(out, node, depth);
        // A comment may not end in "--->".
        out += QStringLiteral("<!--") + node.nodeValue() + (node.nodeValue().endsWith(u'-') ? QStringLiteral(" -->") : QStringLiteral("-->"));
        appendLineEnd(out, node);
        break;
    case QDomNode::ProcessingInstructionNode: {
        const QDomProcessingInstruction instruction = node.toProcessingInstruction();
        out += QStringLiteral("<?") + instruction.target() + u' ' + instruction.data() + QStringLiteral("?>\n");
        break;
    }
    case QDomNode::EntityReferenceNode:
        out += u'&' + node.nodeName() + u';';
        break;
    default: // a document type is refused when read, and never made
        break;
    }
}

} // namespace

QString xmlText(const QDomNode& document)
{
    QString out;
    appendChildren(out, document, 0);
    return out;
}

} // namespace kelto::host
