#include "plugin_shell/CTarvoXPlugIn.h"

#include <QFileInfo>
#include <QImage>
#include <QPixmap>

#include "framework/HostServices.h"
#include "plugin_shell/CTarvoXSetup.h"
#include "platform/Automation.h"
#include "platform/CheckedFile.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

namespace {

const QString kSource = QStringLiteral("KeltoTarvoX.CTarvoXPlugIn");

namespace err {
constexpr std::int32_t NotInitialized = hresult(0x8004A229);
constexpr std::int32_t TemplateMissing = hresult(0x8004A22A);
constexpr std::int32_t TemplateMalformed = hresult(0x8004A22C);
constexpr std::int32_t NoSuchTest = hresult(0x8004A233);
constexpr std::int32_t TemplateFileError = hresult(0x8004A28F);
// Host errors the template reader skips or passes on.
constexpr std::int32_t HostSkipped = hresult(0x80048ACD);
constexpr std::int32_t HostPassedA = hresult(0x80047730);
constexpr std::int32_t HostPassedB = hresult(0x80047737);
} // namespace err

// The reporter's template error with a text that names the file and what is wrong
// with it, instead of the bare number.
[[noreturn]] void raiseTemplateError(std::int32_t number, int severity, const QString& text)
{
    try {
        errorReporter()->Raise(kOwnerWord, number, kSource, severity);
    } catch (const PluginError& e) {
        throw PluginError(e.number(), e.source(), text, e.severity());
    }
    raiseError(number, kSource, text); // not reached: Raise does not return
}

struct IconCode {
    std::int32_t testId;
    const char* code;
};

constexpr IconCode kIconCodes[] = {
    {100, "VFT"}, {200, "VTT"}, {300, "CTT"}, {400, "PVT"}, {500, "OCT"}, {600, "OVT"}, {700, "SRP"}, {800, "SQB"},
    {900, "NSW"}, {1000, "ARR"}, {1100, "PER"}, {1200, "PPT"}, {1300, "PRT"}, {1400, "BCT"}, {1500, "BRT"}, {1600, "DPR"},
};

// Resource name -> file of the bitmap in the library's resources.
QString iconFile(const QString& resourceName)
{
    if (resourceName == QLatin1String("TarvoX(16X16X256)"))
        return QStringLiteral(":/plugin_shell/tarvox_16x16.png");
    if (resourceName == QLatin1String("TarvoX(32X32X256)"))
        return QStringLiteral(":/plugin_shell/tarvox_32x32.png");
    // "TE:CTT(16X16X256)" -> te_ctt_16x16.png
    const QString code = resourceName.mid(3, 3).toLower();
    const QString size = resourceName.mid(7, 5).toLower();
    return QStringLiteral(":/plugin_shell/te_%1_%2.png").arg(code, size);
}

} // namespace

CTarvoXPlugIn::~CTarvoXPlugIn()
{
    if (mTestList)
        ignoreErrors([&] { mTestList->Terminate(); });
}

QString CTarvoXPlugIn::ID()
{
    return kOwnerWord;
}

QString CTarvoXPlugIn::iconResourceName(std::int32_t testId, std::int32_t size)
{
    if (testId == 0) {
        if (size == 0)
            return QStringLiteral("TarvoX(16X16X256)");
        if (size == 2)
            return QStringLiteral("TarvoX(32X32X256)");
        return QString();
    }
    if (size != 0 && size != 1)
        return QString();
    for (const IconCode& c : kIconCodes) {
        if (c.testId == testId)
            return QStringLiteral("TE:%1(%2X16X256)").arg(QLatin1String(c.code), size == 0 ? QStringLiteral("16") : QStringLiteral("32"));
    }
    return QString();
}

QPixmap CTarvoXPlugIn::Icon(std::int32_t testId, std::int32_t size, std::int32_t)
{
    const QString name = iconResourceName(testId, size);
    if (name.isEmpty())
        return QPixmap();
    QImage image(iconFile(name));
    if (image.isNull())
        return QPixmap();
    // Test icons are 256-colour bitmaps, the plug-in's own 24-bit.
    image = image.convertToFormat(testId == 0 ? QImage::Format_RGB888 : QImage::Format_Indexed8);
    return QPixmap::fromImage(image);
}

QString CTarvoXPlugIn::Name()
{
    return valueOr([] { return translate(QStringLiteral("20000::Tarvo Defibrillator Analyzer")); }, QString());
}

std::int32_t CTarvoXPlugIn::Flags()
{
    return mlFlags;
}

Ptr<ISetup> CTarvoXPlugIn::Setup()
{
    return mShellSetup;
}

ObjectPtr CTarvoXPlugIn::ControlPanel()
{
    return nullptr;
}

Ptr<ITestList> CTarvoXPlugIn::Tests()
{
    if (!mTestList || !mfInitialized)
        errorReporter()->Raise(kOwnerWord, err::NotInitialized, kSource, 4);
    return mTestList;
}

QString CTarvoXPlugIn::Version()
{
    return QStringLiteral(KELTO_VERSION);
}

ObjectPtr CTarvoXPlugIn::PlugInMenu()
{
    return nullptr;
}

Ptr<IConfigData> CTarvoXPlugIn::CreateDutData()
{
    return nullptr;
}

void CTarvoXPlugIn::Initialize(const Ptr<IProtocolLog>&)
{
    try {
        mShellSetup = std::make_shared<CTarvoXSetup>();
        mShellSetup->Initialize();
        mTestList = ReadTemplate(mShellSetup->Configuration());
        // A template that gave no list leaves the plug-in uninitialised, so that
        // Tests and CreateTest keep failing with the plug-in's error.
        if (!mTestList)
            return;
        auto globals = ComponentRuntime::instance().createAs<IGlobals>(QLatin1String(tarvoxclass::GGlobals));
        if (!globals)
            raiseError(vberr::CannotCreateObject, kSource,
                QStringLiteral("The test library KeltoTarvoXTest is not registered: its global object cannot be created."));
        globals->SetPlugInPointer(as<IPlugIn>());
        mfInitialized = true;
    } catch (...) {
        const PluginError e = currentError();
        if (e.number() == err::TemplateMissing || e.number() == err::TemplateMalformed || e.number() == err::TemplateFileError)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        errorReporter()->ReportError(e, kSource);
    }
}

Ptr<ITestList> CTarvoXPlugIn::ReadTemplate(const QString& file)
{
    try {
        const QFileInfo info(file);
        if (!info.exists())
            raiseTemplateError(err::TemplateMissing, 3,
                QStringLiteral("The test template %1 does not exist. Check the plug-in's \"Configuration\" setting.").arg(file));
        if (const QString kind = notARegularFile(file); !kind.isEmpty())
            raiseTemplateError(err::TemplateFileError, 3,
                QStringLiteral("The test template %1 cannot be read: %2. Check the plug-in's \"Configuration\" setting.").arg(file, kind));
        if (!info.isFile() || !info.isReadable())
            raiseTemplateError(err::TemplateFileError, 3,
                QStringLiteral("The test template %1 is not a readable file. Check the file and its permissions.").arg(file));
        Ptr<IXmlDocument> doc = xmlValueCodec()->CreateDocument();
        if (!doc->Load(file))
            raiseTemplateError(err::TemplateMalformed, 3, QStringLiteral("The test template cannot be read: %1").arg(doc->LastError()));
        Ptr<IXmlElement> root = doc->DocumentElement();
        Ptr<IXmlElement> data = root ? root->FindChild(QStringLiteral("TemplateData"), 0) : nullptr;
        if (!data || !data->HasChildren())
            raiseTemplateError(err::TemplateMalformed, 3,
                QStringLiteral("The test template %1 has no \"TemplateData\" element with test entries.").arg(file));

        Ptr<ITestList> list;
        auto ensureList = [&] {
            if (!list)
                list = ComponentRuntime::instance().createAs<ITestList>(QLatin1String(hostclass::TestList));
        };
        const Ptr<IXmlElementList> children = data->Children();
        int position = 0;
        for (int i = 0; i < children->Count(); ++i) {
            const Ptr<IXmlElement> entry = children->Item(i);
            if (entry->TagName() != QLatin1String("TestElement"))
                continue;
            ++position;
            const QString where = QStringLiteral("The test template %1, test entry %2").arg(file).arg(position);
            Ptr<ITestElement> element;
            try {
                element = CreateElement(entry, where);
            } catch (const PluginError& e) {
                raiseTemplateError(e.number(), e.severity(), QStringLiteral("%1: %2").arg(where, e.description()));
            }
            if (element) {
                ensureList();
                deref(list, kSource).Add(element, nullptr, 1);
            }
        }
        ensureList();
        return list;
    } catch (...) {
        const PluginError e = currentError();
        if (e.number() == err::TemplateMalformed)
            raiseTemplateError(err::TemplateMalformed, 1, e.description());
        if (e.number() == err::TemplateMissing || e.number() == err::TemplateFileError)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        errorReporter()->ReportError(e, kSource);
        return nullptr;
    }
}

Ptr<ITestElement> CTarvoXPlugIn::CreateElement(const Ptr<IXmlElement>& entry, const QString& where)
{
    try {
        const QString className = entry->GetAttribute(QStringLiteral("ClassName"));
        if (className.isEmpty())
            raiseTemplateError(err::TemplateMalformed, 3, QStringLiteral("The entry has no \"ClassName\"."));
        Ptr<ITestElement> element = ComponentRuntime::instance().createAs<ITestElement>(className);
        if (!element)
            raiseError(vberr::CannotCreateObject, kSource, QStringLiteral("The test element class %1 cannot be created.").arg(className));
        const QString idText = entry->GetAttribute(QStringLiteral("ID"));
        if (idText.isEmpty())
            raiseTemplateError(err::TemplateMalformed, 3, QStringLiteral("The entry %1 has no \"ID\".").arg(className));
        const std::int32_t id = storedLong(idText, QStringLiteral("The ID of the template entry %1").arg(className), kSource);
        element->Initialize(kOwnerWord, id, id);
        ApplyEntry(element, entry);

        if (auto group = element->as<ITestList>()) {
            const Ptr<IXmlElementList> children = entry->Children();
            for (int i = 0; i < children->Count(); ++i) {
                const Ptr<IXmlElement> child = children->Item(i);
                if (child->TagName() != QLatin1String("TestElement"))
                    continue;
                if (Ptr<ITestElement> member = CreateElement(child, where))
                    group->Add(member, nullptr, 1);
            }
        }
        return element;
    } catch (...) {
        const PluginError e = currentError();
        if (e.number() == err::TemplateMalformed || e.number() == err::HostPassedA || e.number() == err::HostPassedB)
            raiseTemplateError(e.number(), 3, e.description());
        // The entry is left out: the message says which, as the host's XML gives no line.
        errorReporter()->ReportError(PluginError(e.number(), e.source(), QStringLiteral("%1: %2").arg(where, e.description()), e.severity()), kSource);
        return nullptr;
    }
}

void CTarvoXPlugIn::ApplyEntry(const Ptr<ITestElement>& element, const Ptr<IXmlElement>& entry)
{
    QString type, parameter, name, description;
    auto lid = [](const Ptr<IXmlElement>& child) {
        const QString ref = child->GetAttribute(QStringLiteral("LID"));
        return ref.isEmpty() ? QString() : translate(ref);
    };
    const Ptr<IXmlElementList> children = entry->Children();
    for (int i = 0; i < children->Count(); ++i) {
        const Ptr<IXmlElement> child = children->Item(i);
        const QString tag = child->TagName();
        try {
            if (tag == QLatin1String("Type"))
                type = lid(child);
            else if (tag == QLatin1String("Parameter"))
                parameter = lid(child);
            else if (tag == QLatin1String("Name"))
                name = lid(child);
            else if (tag == QLatin1String("Description"))
                description = lid(child);
            else if (tag == QLatin1String("ExpectedResult"))
                deref(element->Limits(), kSource).Load(child, nullptr);
        } catch (const PluginError& e) {
            if (e.number() != err::HostSkipped)
                throw;
        }
    }
    const Ptr<ITestInfo> info = element->Info();
    info->SetType(type, parameter);
    info->SetDescription(description);
    info->SetName(name);
}

Ptr<ITestElement> CTarvoXPlugIn::CreateTest(std::int32_t testId)
{
    try {
        if (!mTestList || !mfInitialized)
            errorReporter()->Raise(kOwnerWord, err::NotInitialized, kSource, 4);
        const Ptr<ITestElement> prototype = mTestList->Item(testId);
        if (!prototype)
            errorReporter()->Raise(kOwnerWord, err::NoSuchTest, kSource, 1);
        Ptr<ITestElement> clone = prototype->Clone();
        // A prototype without standards has no collection to clear: nothing to do.
        ignoreErrors([&] { deref(deref(deref(clone, kSource).Limits(), kSource).Standards(), kSource).Clear(); });
        return clone;
    } catch (...) {
        const PluginError e = currentError();
        if (e.number() == err::NotInitialized || e.number() == err::NoSuchTest)
            errorReporter()->Raise(QString(), 0, QString(), 1);
        errorReporter()->ReportError(e, QStringLiteral("CTarvoXPlugIn"));
        return nullptr;
    }
}

Ptr<IStandard> CTarvoXPlugIn::LoadStandard(std::int32_t testId, QString& alphaName, QString& completeName)
{
    Ptr<ITestElement> prototype;
    Ptr<IStandard> standard;
    Ptr<IStandard> copy;
    ignoreErrors([&] { prototype = deref(mTestList, kSource).Item(testId); });
    if (!prototype)
        return nullptr;
    ignoreErrors([&] { standard = deref(deref(prototype->Limits(), kSource).Standards(), kSource).Find(0, alphaName, completeName); });
    if (!standard)
        return nullptr;
    ignoreErrors([&] { copy = standard->Copy(); });
    return copy;
}

} // namespace kelto
