#pragma once
// The host's XML document, element and element list on Qt's DOM, and the value
// codec that writes typed values and statuses.
//
// Typed value:  <Value Type="1" Variant="Double">196.4</Value>
//   Type is the caller's value type; Variant keeps Empty, Null, Boolean, Integer,
//   Long, Single, Double and String apart. Numbers are written locale-independently.
// Status:       <Status Value="2">text</Status>

#include <QDomDocument>
#include <QStringList>

#include "platform/FileStamp.h"
#include "platform/interfaces/HostServices.h"

namespace kelto::host {

class XmlDocument;

class XmlElement : public IXmlElement {
public:
    XmlElement(std::shared_ptr<XmlDocument> doc, QDomElement element);
    QString TagName() override;
    void SetTagName(const QString& name) override;
    QString GetAttribute(const QString& name) override;
    void SetAttribute(const QString& name, const QString& value) override;
    Ptr<IXmlElementList> Children() override;
    bool HasChildren() override;
    QString Text() override;
    void SetText(const QString& text) override;
    Ptr<IXmlElement> AddTextElement(const QString& name, const QString& text) override;
    void AppendChild(const Ptr<IXmlElement>& child) override;
    Ptr<IXmlElement> FindChild(const QString& name, int start = 0) override;

    QDomElement dom() const { return m_element; }
    // Where the element stands in the file it was read from: "FILE, line N", or
    // "line N" for a text read without a file; empty for an element made in memory.
    QString location() const;

private:
    std::shared_ptr<XmlDocument> m_doc; // keeps the DOM alive
    QDomElement m_element;
};

class XmlElementList : public IXmlElementList {
public:
    explicit XmlElementList(QList<Ptr<IXmlElement>> items) : m_items(std::move(items)) {}
    int Count() override { return static_cast<int>(m_items.size()); }
    Ptr<IXmlElement> Item(int index) override;

private:
    QList<Ptr<IXmlElement>> m_items;
};

class XmlDocument : public IXmlDocument {
public:
    // Any XML the host reads is bounded: our own files are far below a megabyte,
    // under ten levels deep, with a handful of attributes on an element and a few
    // hundred nodes for each test, so more is a wrong or hostile file, refused at
    // once. Within the bounds a file costs time and memory in proportion to its size.
    static constexpr qint64 kMaxXmlBytes = 8 * 1024 * 1024;
    static constexpr int kMaxXmlDepth = 64;
    static constexpr int kMaxXmlAttributes = 256; // on one element
    // Elements, attributes, comments, CDATA sections and processing instructions;
    // at most about 350 MB as a DOM, where an element with attributes costs some
    // 2.5 kB. A sequence of a thousand of the largest tests with their results and
    // what judged them (a battery test of twenty readings, about 225 each) holds
    // some 225,000.
    static constexpr qint64 kMaxXmlNodes = 250000;
    // The host's own files, counted before the tree is built, far above a real file:
    // a test holds a few standards of a few limits, and at most 20 readings. Within
    // the node bound each would still cost hundreds of megabytes, and the report as
    // many lines. Standards and limits are counted wherever they stand.
    static constexpr int kMaxItems = 1000;       // test items of a sequence
    static constexpr int kMaxStandards = 10000;  // in a file
    static constexpr int kMaxLimits = 10000;     // in a file
    static constexpr int kMaxReadings = 1000;    // measurements of one result
    static constexpr int kMaxNameChars = 1000;   // characters of a Name, Alpha or Complete value

    XmlDocument();
    // Only a regular file is read: a named pipe or a device is refused unopened.
    bool Load(const QString& file) override;
    bool LoadXml(const QString& text) override;
    // Atomic, and every byte checked: a failed save keeps the earlier file.
    bool Save(const QString& file) override;
    QString Xml() override;
    Ptr<IXmlElement> DocumentElement() override;
    void SetDocumentElement(const Ptr<IXmlElement>& root) override;
    Ptr<IXmlElement> CreateElement(const QString& name) override;

    // For tests of callers' failure paths: CreateElement answers null for these
    // names ("*" for every name).
    void failElementCreation(QStringList names) { m_failing = std::move(names); }
    // Why the last Load, LoadXml or Save failed: the file, and for XML faults the
    // line and column.
    QString LastError() override { return m_lastError; }
    // How many texts the XML parser has been given in this process: one for each
    // load within the bounds, none for a text a bound refuses. The cost of a load
    // is counted by it.
    static qint64 parserPasses();

    QDomDocument& dom() { return m_dom; }
    Ptr<IXmlElement> wrap(const QDomElement& element);
    // The file the document was last read from; empty after LoadXml.
    QString fileName() const { return m_file; }
    // The bytes the last successful Load read or Save wrote, as their file holds them.
    const FileStamp& fileStamp() const { return m_stamp; }

private:
    bool parse(const QByteArray& data, const QString& name);
    static QString boundBreached(const QByteArray& utf8, const QString& name);

    QDomDocument m_dom;
    QString m_file;
    FileStamp m_stamp;
    QStringList m_failing;
    QString m_lastError;
};

// The location of a host element (XmlElement::location); empty for any other.
QString xmlLocation(const Ptr<IXmlElement>& element);

class XmlValueCodec : public IXmlValueCodec {
public:
    Ptr<IXmlDocument> CreateDocument() override;
    Ptr<IXmlElement> WriteValue(const Ptr<IXmlDocument>& doc, const Variant& value, std::int32_t valueType) override;
    void ReadValue(const Ptr<IXmlElement>& element, Variant& value, std::int32_t& valueType) override;
    Ptr<IXmlElement> WriteStatus(const Ptr<IXmlDocument>& doc, std::int32_t status, const QString& statusText) override;
    void ReadStatus(const Ptr<IXmlElement>& element, std::int32_t& status, QString& statusText) override;
};

} // namespace kelto::host
