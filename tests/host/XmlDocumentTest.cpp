#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A document of about `bytes` of readings.
Ptr<IXmlDocument> documentOfSize(int bytes)
{
    auto doc = newDocument();
    auto root = doc->CreateElement(QStringLiteral("TestSequence"));
    doc->SetDocumentElement(root);
    for (int i = 0; i < bytes / 40; ++i)
        root->AddTextElement(QStringLiteral("Reading"), QStringLiteral("%1 J").arg(i));
    return doc;
}

// `count` elements <e .../> of `attributes` attributes each, inside <r>.
QByteArray elementsWithAttributes(int count, int attributes, const QByteArray& before = {})
{
    QByteArray xml = "<r>" + before;
    for (int e = 0; e < count; ++e) {
        xml += "<e";
        for (int a = 0; a < attributes; ++a)
            xml += " a" + QByteArray::number(a) + "=''";
        xml += "/>";
    }
    return xml + "</r>";
}

QByteArray repeated(const QByteArray& node, qint64 count, const QByteArray& before = {})
{
    return "<r>" + before + node.repeated(count) + "</r>";
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
    // Also a name of 250 bytes, too long to take the temporary file's ending whole.
    for (const QString& name : {QStringLiteral("sequence.xml"), QStringLiteral("ü").repeated(119) + QStringLiteral("sequence.xml")}) {
        SCOPED_TRACE(QFile::encodeName(name).size());
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        auto doc = newDocument();
        auto root = doc->CreateElement(QStringLiteral("Sequence"));
        doc->SetDocumentElement(root);
        root->AddTextElement(QStringLiteral("Name"), QStringLiteral("Ünïcode & <markup>"));
        ASSERT_TRUE(doc->Save(file)) << doc->LastError().toStdString();
        ASSERT_TRUE(doc->Save(file)) << "over the earlier file: " << doc->LastError().toStdString();

        auto again = newDocument();
        ASSERT_TRUE(again->Load(file));
        EXPECT_EQ(again->DocumentElement()->FindChild(QStringLiteral("Name"))->Text(), QStringLiteral("Ünïcode & <markup>"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{name});
    }
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

TEST(XmlDocument, SaysWhichFileAndWhereItIsNotWellFormedOrNotXmlAtAll)
{
    QStringEncoder utf16(QStringEncoder::Utf16LE);
    const struct {
        const char* what;
        QByteArray content;
        const char* said;
    } cases[] = {
        {"not well-formed", "<a>\n  <b>\n  </c>\n</a>", " is not well-formed XML (line 3, column "},
        {"a control character, which shows nothing", "<a>\n<b>\x01</b></a>", " is not well-formed XML (line 2, column 4: Unexpected '\\x01'.)."},
        // Each read as markup, they were refused as nested more than 64 levels deep.
        {"random bytes", "<a>\n<\x93\xf1\x0e<<\xfe" + QByteArray("<b>").repeated(70), " is not UTF-8, UTF-16 or UTF-32 text (line 2, column 2)."},
        {"UTF-16 after a UTF-8 byte order mark", "\xEF\xBB\xBF" + QByteArray(utf16(QStringLiteral("<a>") + QStringLiteral("<b>").repeated(70))),
            " is not UTF-8, UTF-16 or UTF-32 text: it holds a NUL character (line 1, column 3)."},
        {"text of another kind", "Name:\tkelto-host\nState:\tR (running)\n", " is not XML: it does not begin with \"<\" (line 1, column 1)."},
        {"nothing", " \n", " holds no XML: it is empty or blank."},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("broken.xml"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFile(file, c.content));
        auto doc = newDocument();
        EXPECT_FALSE(doc->Load(file));
        EXPECT_TRUE(doc->LastError().startsWith(file + QLatin1String(c.said))) << doc->LastError().toStdString();
        EXPECT_TRUE(doc->LastError().endsWith(QStringLiteral(". Check that it is the right file."))) << doc->LastError().toStdString();
    }
    auto doc = newDocument();
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
    EXPECT_LT(timer.elapsed(), 20000) << "refused by the first pass, not after minutes in the DOM parser";
    EXPECT_EQ(doc->LastError().toStdString(), "The XML text nests elements more than 64 levels deep (line 1, column 193). Check that it is the right file.");
    ASSERT_FALSE(doc->Load(file));
    EXPECT_EQ(doc->LastError().toStdString(), (file + QStringLiteral(" nests elements more than 64 levels deep (line 2, column 190). Check that it is the right file.")).toStdString());

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

    // Within the bound as UTF-16, beyond it as the UTF-8 it is checked in.
    QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    ASSERT_TRUE(writeFile(file, utf16(QStringLiteral("<a>") + QString(4 * 1024 * 1024 - 8, QChar(0x6587)) + QStringLiteral("</a>"))));
    EXPECT_FALSE(doc->Load(file));
    EXPECT_EQ(doc->LastError().toStdString(), (file + QStringLiteral(" is too large to read (8388608 bytes, 12582895 once converted to UTF-8; the limit is 8 MiB). "
                                                       "Check that it is the right file.")).toStdString());
}

TEST(XmlDocument, RefusesMoreThanItsBoundsHoldBeforeParsingNamingTheFileAndLine)
{
    using host::XmlDocument;
    const int kAttributes = XmlDocument::kMaxXmlAttributes;
    const qint64 kNodes = XmlDocument::kMaxXmlNodes;
    // Each would count as more attributes than the bound if it were read as attributes.
    const QByteArray many(kAttributes + 1, '=');
    const QByteArray notAttributes = "<?xml version='1.0'?><!-- don't > <!DOCTYPE -->\n<r v='" + many + ">' w=\"'" + many + "\"><!--" + many
        + "--><![CDATA[<e " + many + "><!DOCTYPE]]><?pi " + many + "?>" + many + "</r>";
    const struct {
        const char* what;
        QByteArray xml;
        const char* refused; // empty: the file loads
    } cases[] = {
        {"attributes at the bound", elementsWithAttributes(2, kAttributes, "\n\n"), ""},
        {"attributes beyond the bound", elementsWithAttributes(2, kAttributes + 1, "\n\n  "),
            " has an element with more than 256 attributes (line 3, column 3). Check that it is the right file."},
        {"the issue's shape", elementsWithAttributes(1, 80000), " has an element with more than 256 attributes (line 1, column 4)."},
        {"\"=\" and \">\" in values, comments, sections and instructions are no attributes", notAttributes, ""},
        {"a document type declaration, refused before any parser reads its square of declarations",
            "<?xml version=\"1.0\"?>\n<!DOCTYPE r [" + QByteArray("<!ATTLIST e a CDATA 'x'>").repeated(80000) + "]>\n<r/>",
            " has a document type declaration (<!DOCTYPE), which none of the host's files holds (line 2, column 1). Check that it is the right file."},
        {"entity declarations", "<!-- a file -->\n\n  <!DOCTYPE r [" + QByteArray("<!ENTITY e 'x'>").repeated(380000) + "]><r/>",
            " has a document type declaration (<!DOCTYPE), which none of the host's files holds (line 3, column 3)."},
        {"one value of nearly the whole size", "<r a='" + QByteArray(int(XmlDocument::kMaxXmlBytes) - 32, 'x') + "'>12</r>", ""},
        {"nodes at the bound", repeated("<a/>", kNodes - 1), ""},
        {"an XML declaration is no node", "<?xml version=\"1.0\"?>" + repeated("<a/>", kNodes - 1), ""},
        {"elements beyond the bound", repeated("<a/>", kNodes, "\n"),
            " holds more than 250000 elements, attributes and other XML nodes (line 2, column 999997). Check that it is the right file."},
        {"attributes count as nodes", elementsWithAttributes(int(kNodes / 200), 200), " holds more than 250000 elements, attributes and other XML nodes (line 1, "},
        {"comments count as nodes", repeated("<!---->", kNodes), " holds more than 250000 elements, attributes and other XML nodes (line 1, "},
        {"sections count as nodes", repeated("<![CDATA[x]]>", kNodes), " holds more than 250000 elements, attributes and other XML nodes (line 1, "},
        {"instructions count as nodes", repeated("<?p?>", kNodes), " holds more than 250000 elements, attributes and other XML nodes (line 1, "},
        {"text and references are no nodes of their own", repeated("x&amp;", kNodes * 2), ""},
        {"test items at the bound", "<TestSequence>" + QByteArray("<Item/>").repeated(XmlDocument::kMaxItems) + "</TestSequence>", ""},
        {"test items beyond it", "<TestSequence>" + QByteArray("\n<Item/>").repeated(XmlDocument::kMaxItems + 1) + "</TestSequence>",
            " holds more than 1000 test items (line 1002, column 1). Check that it is the right file."},
        {"standards beyond their bound", repeated("\n<Standard/>", XmlDocument::kMaxStandards + 1), " holds more than 10000 standards (line 10002, column 1)."},
        {"limits beyond theirs", repeated("\n<Limit/>", XmlDocument::kMaxLimits + 1), " holds more than 10000 limits (line 10002, column 1)."},
        {"readings up to the bound in each result",
            repeated("<ResultItem>" + QByteArray("<Measurement/>").repeated(XmlDocument::kMaxReadings) + "</ResultItem>", 2), ""},
        {"more readings in one result", "<ResultItem>" + QByteArray("\n<Measurement/>").repeated(XmlDocument::kMaxReadings + 1) + "</ResultItem>",
            " holds a result of more than 1000 readings (line 1002, column 1)."},
        {"names up to the bound, in characters",
            "<r><Info Name='" + QByteArray("\u00e9").repeated(1000) + "'/><Standard Alpha='" + QByteArray("&amp;").repeated(1000) + "' Complete=\""
                + QByteArray(1000, 'x') + "\"/></r>",
            ""},
        {"a longer name", "<r><Standard Alpha='A' Complete='" + QByteArray(1001, 'x') + "'/></r>", " has a name longer than 1000 characters (line 1, column 34)."},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shape.xml"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeFile(file, c.xml));
        auto doc = newDocument();
        // A text within the bounds is parsed once; one beyond them by no parser at all.
        const qint64 passes = XmlDocument::parserPasses();
        if (!*c.refused) {
            EXPECT_TRUE(doc->Load(file)) << doc->LastError().toStdString();
            EXPECT_EQ(XmlDocument::parserPasses(), passes + 1);
            continue;
        }
        EXPECT_FALSE(doc->Load(file));
        EXPECT_TRUE(doc->LastError().startsWith(file + QLatin1String(c.refused))) << doc->LastError().toStdString();
        EXPECT_FALSE(doc->LoadXml(QString::fromUtf8(c.xml)));
        EXPECT_TRUE(doc->LastError().startsWith(QStringLiteral("The XML text") + QLatin1String(c.refused))) << doc->LastError().toStdString();
        EXPECT_EQ(XmlDocument::parserPasses(), passes);
    }
    // Files in the encodings the parser reads open, and are checked as it reads them.
    for (const char* encoding : {"UTF-16", "UTF-32", "ISO-8859-1"}) {
        SCOPED_TRACE(encoding);
        QStringEncoder encode(encoding, QStringEncoder::Flag::WriteBom);
        const QString declaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n").arg(QLatin1String(encoding));
        ASSERT_TRUE(writeFile(file, encode(declaration + QStringLiteral("<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>"))));
        auto doc = newDocument();
        EXPECT_FALSE(doc->Load(file));
        EXPECT_EQ(doc->LastError(), file + QStringLiteral(" has a document type declaration (<!DOCTYPE), which none of the host's files holds (line 2, "
                                                           "column 1). Check that it is the right file."));
        ASSERT_TRUE(writeFile(file, encode(declaration + QStringLiteral("<r>\u00e9</r>"))));
        ASSERT_TRUE(doc->Load(file)) << doc->LastError().toStdString();
        EXPECT_EQ(doc->DocumentElement()->Text(), QStringLiteral("\u00e9"));
    }

    // Nor is a file written that a load would refuse: it could never be opened again.
    ASSERT_TRUE(documentOfSize(1000)->Save(file));
    const QByteArray earlier = fileContent(file);
    auto grown = documentOfSize(40 * int(kNodes));
    EXPECT_FALSE(grown->Save(file));
    EXPECT_TRUE(grown->LastError().startsWith(QStringLiteral("Cannot write %1: it could not be opened again, as it would go beyond what a file may hold: %1 holds "
                                                             "more than 250000 elements")
                                                  .arg(file)))
        << grown->LastError().toStdString();
    auto named = documentOfSize(100);
    named->DocumentElement()->SetAttribute(QStringLiteral("Name"), QString(XmlDocument::kMaxNameChars + 1, QLatin1Char('n')));
    EXPECT_FALSE(named->Save(file));
    EXPECT_TRUE(named->LastError().endsWith(QStringLiteral("%1 has a name longer than 1000 characters (line 2, column 21). "
                                                           "Shorten what is too long, or split it into smaller files.")
                                                .arg(file)))
        << named->LastError().toStdString();
    EXPECT_EQ(fileContent(file), earlier);
}

TEST(XmlDocument, AWriteThatComesBackShortFailsNamingTheReasonAndKeepsTheEarlierFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sequence.xml"));
    ASSERT_TRUE(documentOfSize(1000)->Save(file));
    const QByteArray earlier = fileContent(file);

    auto doc = documentOfSize(41000);
    bool saved = true;
    withFileSizeLimit(20000, [&] { saved = doc->Save(file); });
    EXPECT_FALSE(saved);
    EXPECT_EQ(doc->LastError(), QStringLiteral("Cannot write %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(EFBIG))));
    EXPECT_EQ(fileContent(file), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("sequence.xml")}) << "no part-written file is left";
    EXPECT_TRUE(doc->Save(file)) << "with room again";
}

TEST(XmlDocument, ASaveRemovesNoOtherFileBesideTheFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("run.xml"));
    ASSERT_TRUE(documentOfSize(100)->Save(file));
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // Named as a save names its temporary file, yet nothing tells who wrote it: another
    // program's save on its way, a stopped save's new file, the operator's copy.
    const QStringList kept = {QStringLiteral("run.xml.kelto-save-jagPKW"), QStringLiteral("run.xml.kelto-save-000000"),
        QStringLiteral("run.xml.backup"), QStringLiteral("run.xml.jagPKW"), QStringLiteral("other.xml.kelto-save-jagPKW")};
    for (const QString& name : kept)
        ASSERT_TRUE(writeFile(dir.filePath(name), "a file"));
    const QString link = dir.filePath(QStringLiteral("latest.xml"));
    ASSERT_TRUE(QFile::link(file, link));

    auto doc = documentOfSize(200);
    ASSERT_TRUE(doc->Save(link)) << doc->LastError().toStdString();
    QStringList expected = kept + QStringList{QStringLiteral("latest.xml"), QStringLiteral("run.xml")};
    expected.sort();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System, QDir::Name).join(QLatin1Char(' ')).toStdString(),
        expected.join(QLatin1Char(' ')).toStdString());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), file) << "a link stays a link to the file saved";
    EXPECT_EQ(fileContent(file), doc->Xml().toUtf8());
    EXPECT_EQ(QFile::permissions(file), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser)
        << "the earlier file's permissions are kept";

    // Root's save of another user's file leaves it that user's.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
        ASSERT_TRUE(documentOfSize(300)->Save(file));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
}

TEST(XmlDocument, NeitherReadsNorReplacesWhatIsNotARegularFile)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe.xml"));
    ScopedFifo fifo(pipe);
    ASSERT_TRUE(fifo.made());
    const QString folder = dir.filePath(QStringLiteral("folder.xml"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QString file;
        const char* kind;
    } cases[] = {{pipe, "a named pipe"}, {folder, "a folder"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const QString reason = QStringLiteral("it is %1, not a regular file").arg(QLatin1String(c.kind));
        auto doc = documentOfSize(100);
        EXPECT_FALSE(doc->Load(c.file));
        EXPECT_EQ(doc->LastError(), QStringLiteral("Cannot open %1: %2").arg(c.file, reason));
        EXPECT_FALSE(doc->Save(c.file));
        EXPECT_EQ(doc->LastError(), QStringLiteral("Cannot write %1: %2").arg(c.file, reason));
    }
    EXPECT_TRUE(isFifo(pipe)) << "a save renames nothing over it";
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(XmlValueCodec, RefusesStoredValuesThatCannotBeReadOrAreOutOfTheirRangeByName)
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
        {"<Value Type=\"1\" Variant=\"Double\">1e999</Value>", "A stored Double value is out of range: \"1e999\""},
        // Taken as text, as 0 or as False, each would print as a reading it is not.
        {"<Value Type=\"1\" Variant=\"Double\">NaN</Value>", "A stored Double value cannot be read: \"NaN\""},
        {"<Value Type=\"1\" Variant=\"Double\"></Value>", "A stored Double value cannot be read: \"\""},
        {"<Value Type=\"1\" Variant=\"Single\">5,3</Value>", "A stored Single value cannot be read: \"5,3\""},
        {"<Value Type=\"1\" Variant=\"Long\">12abc</Value>", "A stored Long value cannot be read: \"12abc\""},
        {"<Value Type=\"3\" Variant=\"Boolean\">yes</Value>", "A stored Boolean value cannot be read: \"yes\""},
        {"<Value Type=\"1\" Variant=\"Date\">2024-01-01</Value>", "A stored value of the kind \"Date\" cannot be read"},
        {"<Value Type=\"1.5\" Variant=\"Double\">1</Value>", "The Type of a stored value cannot be read: \"1.5\""},
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
    ASSERT_TRUE(doc->LoadXml(QStringLiteral("<Status Value=\"abc\">x</Status>")));
    EXPECT_TRUE(errorTextOf([&] { codec.ReadStatus(doc->DocumentElement(), status, statusText); })
                    .startsWith(QStringLiteral("The Value of a stored status cannot be read: \"abc\"")));
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
