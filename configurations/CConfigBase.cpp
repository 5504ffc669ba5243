#include "configurations/CConfigBase.h"

#include <QWidget>

#include "framework/FDialogWrapper.h"
#include "framework/HostServices.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/Report.h"

namespace kelto {

namespace {

const QString kPlugInData = QStringLiteral("PlugInData");
const QString kPlugInAttribute = QStringLiteral("PlugIn");
const QString kTestGuideSettings = QStringLiteral("TestGuideSettings");

bool isOwnError(std::int32_t number)
{
    return number == configerr::WrongElement || number == configerr::NoElement;
}

} // namespace

CConfigBase::CConfigBase(const ConfigIdentity& identity) : m_identity(identity), m_testGuide(newTestGuide())
{
}

CConfigBase::~CConfigBase() = default;

Ptr<ITestGuideConfig> CConfigBase::newTestGuide()
{
    return valueOr([] { return ComponentRuntime::instance().createAs<ITestGuideConfig>(QString::fromLatin1(hostclass::TestGuideConfig)); },
        Ptr<ITestGuideConfig>());
}

void CConfigBase::copyTestGuideFrom(const CConfigBase& source)
{
    const Ptr<ITestGuideConfig> settings = source.TestGuideConfig();
    m_testGuide = settings ? settings->Clone() : newTestGuide();
}

void CConfigBase::raiseOwn(std::int32_t number, int severity)
{
    errorReporter()->Raise(kOwnerWord, number, progId(), severity);
    raiseError(number, progId()); // not reached: Raise does not return
}

void CConfigBase::handleError()
{
    const PluginError error = currentError();
    if (isOwnError(error.number()))
        throw; // the host's Raise("", 0, "", 1) amounts to this
    errorReporter()->ReportError(error, progId());
}

Ptr<IConfigData> CConfigBase::Clone()
{
    try {
        Ptr<CConfigBase> copy = newInstance();
        copy->copyFromSame(*this);
        return copy;
    } catch (...) {
        ignoreErrors([&] { errorReporter()->ReportError(currentError(), progId()); });
        return nullptr;
    }
}

Ptr<IDialog> CConfigBase::CreateDialog()
{
    try {
        auto dialog = std::make_shared<FDialogWrapper>();
        // Without its panel the dialog is still returned, holding none.
        dialog->CreateSetupCtrl(panelProgId());
        dialog->Initialize(Variant(shared_from_this()));
        return dialog;
    } catch (...) {
        return nullptr;
    }
}

void CConfigBase::Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log)
{
    try {
        if (!in)
            raiseError(vberr::ObjectNotSet, progId(), QStringLiteral("No \"PlugInData\" element was given to load."));
        // The element is checked before anything is replaced, and nothing is stored
        // until every child has been read: a refused or failed load changes nothing.
        if (in->TagName() != kPlugInData || in->GetAttribute(kPlugInAttribute) != kOwnerWord)
            raiseOwn(configerr::WrongElement, 4);
        const std::function<void()> storeFields = readFields(in);
        Ptr<ITestGuideConfig> settings = newTestGuide();
        if (const Ptr<IXmlElement> child = in->FindChild(kTestGuideSettings, 0)) {
            if (!settings)
                raiseError(vberr::ObjectNotSet, progId(), QStringLiteral("The host's test-guide settings cannot be created."));
            settings->Load(child, log);
        }
        storeFields();
        m_testGuide = settings;
    } catch (...) {
        handleError();
    }
}

Ptr<IXmlElement> CConfigBase::Save(const Ptr<IXmlDocument>& owner)
{
    try {
        if (!owner)
            raiseError(vberr::ObjectNotSet, progId(), QStringLiteral("No document was given to save into."));
        const Ptr<IXmlElement> element = owner->CreateElement(kPlugInData);
        if (!element)
            raiseOwn(configerr::NoElement, 3);
        element->SetAttribute(kPlugInAttribute, kOwnerWord);
        writeFields(element);
        if (m_testGuide) {
            if (const Ptr<IXmlElement> settings = m_testGuide->Save(owner))
                element->AppendChild(settings);
        }
        return element;
    } catch (...) {
        handleError();
        return nullptr;
    }
}

QString CConfigBase::reportRow(const QString& label, const QString& value, const QString& unit)
{
    return QStringLiteral("|      ") + label + QLatin1Char('|') + value + QLatin1Char('|') + unit + QLatin1Char(';');
}

QString CConfigBase::standardColumnFormat(std::int32_t width)
{
    // Integer division drops the fraction toward zero, also for narrow reports.
    const QString w = QString::number((width - 2240) / 4);
    return QStringLiteral("<+560|<2240|>+") + w + QStringLiteral("|>+") + w + QStringLiteral("|>+") + w + QStringLiteral("|>+") + w
        + QStringLiteral("!|<+560;");
}

QString CConfigBase::reportColumnFormat(const Ptr<IReport>& report)
{
    std::int32_t width = 0;
    ignoreErrors([&] { width = report->Width(7); });
    return standardColumnFormat(width);
}

QString CConfigBase::familyRow(const Ptr<IReport>& report, const QString& labelRef, const QString& value, const QString& unitRef)
{
    QString label;
    QString unit;
    ignoreErrors([&] { label = report->Translate(kOwnerWord, labelRef, {}); });
    ignoreErrors([&] { unit = translate(unitRef); });
    return reportRow(label, value, unit);
}

void CConfigBase::PrintReport(const Ptr<IReport>& report)
{
    if (!report)
        return;
    QString format;
    QString cells[3];
    ignoreErrors([&] { format = reportColumnFormat(report); });
    const char* headerRefs[3] = {"310::Configuration", "231::Value", "234::Unit"};
    for (int i = 0; i < 3; ++i)
        ignoreErrors([&] { cells[i] = report->Translate(kOwnerWord, QString::fromLatin1(headerRefs[i]), {}); });
    const QString header = QStringLiteral("|{\\i\\b ") + cells[0] + QStringLiteral("}|{\\i\\b ") + cells[1] + QStringLiteral("}|{\\i\\b ")
        + cells[2] + QStringLiteral("};");
    QString rows;
    ignoreErrors([&] { rows = reportRows(report); });
    if (rows.isEmpty())
        return;
    ignoreErrors([&] { report->TableSettingA(7); });
    ignoreErrors([&] { report->TableSettingB(std::int16_t(0)); });
    ignoreErrors([&] { report->TableSettingC(1); });
    ignoreErrors([&] { report->PrintTable(format, header, rows, 0, 0, 0); });
}

} // namespace kelto
