#pragma once
// What every test configuration shares: the owned test-guide settings, the
// "PlugInData" frame and its checks, the error handling of the IConfigData
// members, the settings dialog and the report table. A family adds its fields,
// their children and its report rows.

#include <QString>
#include <cstdint>
#include <functional>

#include "platform/PluginError.h"
#include "platform/interfaces/HostServices.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

class IReport;

namespace configerr {
constexpr std::int32_t WrongElement = hresult(0x8004A3C2); // severity 4
constexpr std::int32_t NoElement = hresult(0x8004A3C3);    // severity 3
} // namespace configerr

// Names of one configuration class: its ProgID (the source of its errors) and the
// ProgID of the panel its settings dialog shows.
struct ConfigIdentity {
    const char* progId;
    const char* panelProgId;
};

class CConfigBase : public IConfigData, public ITestGuideConfigOwner {
public:
    ~CConfigBase() override;

    Ptr<ITestGuideConfig> TestGuideConfig() const override { return m_testGuide; }

    QString progId() const { return QString::fromLatin1(m_identity.progId); }
    QString panelProgId() const { return QString::fromLatin1(m_identity.panelProgId); }

    bool HasDialog() override { return true; }
    Ptr<IConfigData> Clone() override;
    Ptr<IDialog> CreateDialog() override;
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;
    void PrintReport(const Ptr<IReport>& report) override;

    // A report row: six blanks before the label, cells split by "|", ended by ";".
    static QString reportRow(const QString& label, const QString& value, const QString& unit);
    // Report column format of the energy, pulse and pacer families (and its width
    // question 7); the waveform family has its own.
    static QString standardColumnFormat(std::int32_t width);

protected:
    explicit CConfigBase(const ConfigIdentity& identity);

    // A new object of the same class, with its defaults.
    virtual Ptr<CConfigBase> newInstance() const = 0;
    // Makes this configuration a copy of source, which is of the same class.
    virtual void copyFromSame(const CConfigBase& source) = 0;
    // Reads the family's children without changing anything; the returned step
    // stores what was read once everything else of the load has succeeded.
    virtual std::function<void()> readFields(const Ptr<IXmlElement>& in) = 0;
    virtual void writeFields(const Ptr<IXmlElement>& out) = 0;
    virtual QString reportColumnFormat(const Ptr<IReport>& report);
    virtual QString reportRows(const Ptr<IReport>& report) = 0;

    // Label translated by the report writer, unit by the host translator.
    QString familyRow(const Ptr<IReport>& report, const QString& labelRef, const QString& value, const QString& unitRef);

    // The source's settings cloned, or a new settings object when it has none.
    void copyTestGuideFrom(const CConfigBase& source);
    static Ptr<ITestGuideConfig> newTestGuide();

private:
    [[noreturn]] void raiseOwn(std::int32_t number, int severity);
    // Inside a catch block: passes the class's own errors on unchanged and hands
    // any other to the host's log.
    void handleError();

    ConfigIdentity m_identity;
    Ptr<ITestGuideConfig> m_testGuide;
};

// Gives a family's class its identity and lets Clone make the same class.
template <class Self, class Family>
class ConfigClass : public Family {
public:
    ConfigClass() : Family(Self::kIdentity) {}

protected:
    Ptr<CConfigBase> newInstance() const override { return std::make_shared<Self>(); }
};

} // namespace kelto
