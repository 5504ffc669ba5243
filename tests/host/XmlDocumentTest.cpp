#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/Errors.h"
#include "tests/support/HostileXml.h"
#include "tests/support/TestFiles.h"

#include "host/XmlDocument.h"
#include "platform/ComponentRuntime.h"

using namespace kelto;

namespace {

Ptr<IXmlDocument> newDocument()
{
    return ComponentRuntime::instance().createAs<IXmlValueCodec>(QLatin1String(hostclass::XmlValueCodec))->CreateDocument();
}

} // namespace

TEST(XmlDocument, BuildsAndWalksElementsInDocumentOrder)
{
    auto doc = newDocument();
    auto root = doc->CreateElement(QStringLiteral("ResultItem"));
    doc->SetDocumentElement(root);
    root->SetAttribute(QStringLiteral("MTI"), QStringLiteral("7"));
    root->AddTextElement(QStringLiteral("Comment"), QStringLiteral("ok"));
    auto m = doc->CreateElement(QStringLiteral("Measurement"));
    root->AppendChild(m);

    auto children = doc->DocumentElement()->Children();
    ASSERT_EQ(children->Count(), 2);
    EXPECT_EQ(children->Item(0)->TagName(), QStringLiteral("Comment"));
    EXPECT_EQ(children->Item(0)->Text(), QStringLiteral("ok"));
    EXPECT_EQ(children->Item(1)->TagName(), QStringLiteral("Measurement"));
    EXPECT_EQ(root->GetAttribute(QStringLiteral("MTI")), QStringLiteral("7"));
    EXPECT_EQ(root->GetAttribute(QStringLiteral("Absent")), QString());
    EXPECT_TRUE(root->HasChildren());
    EXPECT_FALSE(m->HasChildren());
    EXPECT_THROW(children->Item(2), PluginError);
}

TEST(XmlDocument, FindChildLooksFromAChildIndexAndGivesNullWhenAbsent)
{
    auto doc = newDocument();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<a><b>1</b><c/><b>2</b></a>")));
    auto root = doc->DocumentElement();
    EXPECT_EQ(root->FindChild(QStringLiteral("b"))->Text(), QStringLiteral("1"));
    EXPECT_EQ(root->FindChild(QStringLiteral("b"), 1)->Text(), QStringLiteral("2"));
    EXPECT_EQ(root->FindChild(QStringLiteral("B")), nullptr); // names are exact
    EXPECT_EQ(root->FindChild(QStringLiteral("d")), nullptr);
}

TEST(XmlDocument, SavesAtomicallyAndLoadsBack)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sequence.xml"));
    auto doc = newDocument();
    auto root = doc->CreateElement(QStringLiteral("Sequence"));
    doc->SetDocumentElement(root);
    root->AddTextElement(QStringLiteral("Name"), QStringLiteral("Ünïcode & <markup>"));
    ASSERT_TRUE(doc->Save(file));

    auto again = newDocument();
    ASSERT_TRUE(again->Load(file));
    EXPECT_EQ(again->DocumentElement()->FindChild(QStringLiteral("Name"))->Text(), QStringLiteral("Ünïcode & <markup>"));
}

TEST(XmlDocument, RefusesMalformedOrMissingFiles)
{
    QTemporaryDir dir;
    auto doc = std::make_shared<host::XmlDocument>();
    EXPECT_FALSE(doc->Load(dir.filePath(QStringLiteral("missing.xml"))));
    EXPECT_FALSE(doc->LoadXml(QStringLiteral("<a><b></a>")));
    EXPECT_FALSE(doc->LastError().isEmpty());
    EXPECT_EQ(doc->DocumentElement(), nullptr);
}

TEST(XmlDocument, SaysWhichFileAndWhereItIsNotWellFormed)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("broken.xml"));
    ASSERT_TRUE(writeFile(file, "<a>\n  <b>\n  </c>\n</a>"));
    auto doc = newDocument();
    EXPECT_FALSE(doc->Load(file));
    EXPECT_TRUE(doc->LastError().startsWith(file + QStringLiteral(" is not well-formed XML (line 3, column "))) << doc->LastError().toStdString();
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<a/>")));
    EXPECT_EQ(doc->LastError(), QString()); // a success leaves no error behind
}

TEST(XmlDocument, RefusesDeepNestingAtOnceNamingTheFileLineAndColumn)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("deep.xml"));
    ASSERT_TRUE(writeFile(file, deeplyNested(100000, "<root>\n", "\n</root>")));
    auto doc = newDocument();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(doc->Load(file));
    EXPECT_FALSE(doc->LoadXml(QString::fromLatin1(deeplyNested(100000))));
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(doc->LastError().toStdString(), "The XML text nests elements more than 64 levels deep (line 1, column 195). Check that it is the right file.");
    ASSERT_FALSE(doc->Load(file));
    EXPECT_EQ(doc->LastError().toStdString(), (file + QStringLiteral(" nests elements more than 64 levels deep (line 2, column 192). Check that it is the right file.")).toStdString());

    // Our own files stay well below the bound.
    EXPECT_TRUE(doc->LoadXml(QString::fromLatin1(deeplyNested(host::XmlDocument::kMaxXmlDepth))));
}

TEST(XmlDocument, RefusesAFileLargerThanTheBoundBeforeReadingIt)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("large.xml"));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("<a>");
    ASSERT_TRUE(out.resize(host::XmlDocument::kMaxXmlBytes + 1)); // sparse: costs no disk
    out.close();
    auto doc = newDocument();
    EXPECT_FALSE(doc->Load(file));
    EXPECT_EQ(doc->LastError().toStdString(), (file + QStringLiteral(" is too large to read (8388609 bytes; the limit is 8 MiB). Check that it is the right file.")).toStdString());
}

TEST(XmlValueCodec, RefusesStoredNumbersOutOfTheirRangeByName)
{
    host::XmlValueCodec codec;
    auto doc = codec.CreateDocument();
    const struct {
        const char* xml;
        const char* named;
    } cases[] = {
        {"<Value Type=\"1\" Variant=\"Integer\">40000</Value>", "A stored Integer value is out of range: \"40000\""},
        {"<Value Type=\"1\" Variant=\"Long\">-1e308</Value>", "A stored Long value is out of range: \"-1e308\""},
        {"<Value Type=\"1\" Variant=\"Single\">1e39</Value>", "A stored Single value is out of range: \"1e39\""},
        {"<Value Type=\"1e10\" Variant=\"Double\">1</Value>", "The Type of a stored value is out of range: \"1e10\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        ASSERT_TRUE(doc->LoadXml(QLatin1String(c.xml)));
        Variant value;
        std::int32_t type = 0;
        const QString text = errorTextOf([&] { codec.ReadValue(doc->DocumentElement(), value, type); });
        EXPECT_TRUE(text.startsWith(QLatin1String(c.named))) << text.toStdString();
    }
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<Status Value=\"9e99\">x</Status>")));
    std::int32_t status = 0;
    QString statusText;
    EXPECT_EQ(errorNumberOf([&] { codec.ReadStatus(doc->DocumentElement(), status, statusText); }), vberr::Overflow);
}

TEST(XmlDocument, CanBeMadeToFailElementCreation)
{
    auto doc = std::make_shared<host::XmlDocument>();
    doc->failElementCreation({QStringLiteral("Measurement")});
    EXPECT_EQ(doc->CreateElement(QStringLiteral("Measurement")), nullptr);
    EXPECT_NE(doc->CreateElement(QStringLiteral("ResultItem")), nullptr);
}

TEST(XmlValueCodec, RoundTripsEveryValueKindExactly)
{
    host::XmlValueCodec codec;
    auto doc = codec.CreateDocument();
    const Variant values[] = {Variant(), Variant::null(), Variant(true), Variant(std::int16_t(-3)), Variant(std::int32_t(70000)),
        Variant(196.4f), Variant(0.1 + 0.2), Variant(QStringLiteral("NOSYNC")), Variant(QString())};
    for (const Variant& v : values) {
        auto element = codec.WriteValue(doc, v, 5);
        ASSERT_TRUE(element);
        EXPECT_EQ(element->TagName(), QStringLiteral("Value"));
        Variant back;
        std::int32_t type = 0;
        codec.ReadValue(element, back, type);
        EXPECT_EQ(back, v) << qPrintable(v.debugText()) << " read back as " << qPrintable(back.debugText());
        EXPECT_EQ(type, 5);
    }
}

TEST(XmlValueCodec, WritesNumbersWithAFullStopUnderAnyLocale)
{
    QLocale::setDefault(QLocale(QLocale::French));
    host::XmlValueCodec codec;
    auto doc = codec.CreateDocument();
    EXPECT_EQ(codec.WriteValue(doc, Variant(196.4), 1)->Text(), QStringLiteral("196.4"));
    QLocale::setDefault(QLocale::c());
}

TEST(XmlValueCodec, RoundTripsAStatus)
{
    host::XmlValueCodec codec;
    auto doc = codec.CreateDocument();
    auto element = codec.WriteStatus(doc, 2, QStringLiteral("Failed: IEC 60601-2-4"));
    EXPECT_EQ(element->TagName(), QStringLiteral("Status"));
    std::int32_t status = 0;
    QString text;
    codec.ReadStatus(element, status, text);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(text, QStringLiteral("Failed: IEC 60601-2-4"));
}

TEST(XmlValueCodec, GivesNoElementWhenTheDocumentMakesNone)
{
    host::XmlValueCodec codec;
    auto doc = std::make_shared<host::XmlDocument>();
    doc->failElementCreation({QStringLiteral("*")});
    EXPECT_EQ(codec.WriteValue(doc, Variant(1.0), 1), nullptr);
    EXPECT_EQ(codec.WriteStatus(doc, 1, QString()), nullptr);
}
