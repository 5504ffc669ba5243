#pragma once
// A test element with the host frame (element base, configuration, limits) but no
// test procedure. The shell and the host application are tested with it in the
// place of the plug-in's element classes.

#include "framework/CLimitData.h"
#include "platform/ClassTable.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::standin {

class StandInElement : public ITestElement {
public:
    // A new element with a fresh base, the given configuration class and its own limits.
    static Ptr<StandInElement> make(const QString& configProgId)
    {
        auto element = std::make_shared<StandInElement>();
        element->m_base = ComponentRuntime::instance().createAs<ITestElementBase>(QLatin1String(hostclass::TestElementBase));
        element->m_base->Initialize(QStringLiteral("TarvoX"), 0, 0);
        element->m_base->SetConfiguration(ComponentRuntime::instance().createAs<IConfigData>(configProgId));
        auto limits = std::make_shared<CLimitData>();
        limits->Initialize(element, true);
        element->m_base->SetLimits(limits);
        element->m_configProgId = configProgId;
        return element;
    }

    QString PlugInID() override { return m_base->PlugInID(); }
    std::int32_t TestID() override { return m_base->TestID(); }
    std::int32_t ID() override { return m_base->ID(); }
    void SetID(std::int32_t id) override { m_base->SetID(id); }
    Ptr<ITestElement> Parent() override { return m_base->Parent(); }
    void SetParent(const Ptr<ITestElement>& parent) override { m_base->SetParent(parent); }
    Ptr<ITestInfo> Info() override { return m_base->Info(); }
    Ptr<ITestFilter> Filter() override { return m_base->Filter(); }
    Ptr<IResultData> Result() override { return m_base->Result(); }
    Ptr<ILimitData> Limits() override { return m_base->Limits(); }
    Ptr<IConfigData> Configuration() override { return m_base->Configuration(); }
    void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) override { m_base->Initialize(plugInId, testId, id); }
    Ptr<ITestElement> Clone() override
    {
        auto copy = std::make_shared<StandInElement>();
        copy->m_configProgId = m_configProgId;
        copy->m_base = m_base->CloneBase();
        if (auto limits = std::dynamic_pointer_cast<CLimitData>(copy->m_base->Limits()))
            limits->Initialize(copy, true);
        return copy;
    }
    void Perform(const Ptr<ITestSetup>&) override {}
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override { m_base->Load(in, log); }
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner, std::int32_t mode) override { return m_base->Save(owner, mode); }
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override { m_base->PrintReport(report, setup); }
    bool QuerySetParent(const Ptr<ITestElement>&) override { return true; }
    void Terminate() override { m_base->Terminate(); }
    void UpdateReferences() override {}
    Variant GetMeasurementList() override { return {}; }

private:
    Ptr<ITestElementBase> m_base;
    QString m_configProgId;
};

// Registers stand-ins under the element ProgIDs of the template, each with the
// configuration class of its test type.
inline void registerStandInElements()
{
    static const ClassEntry entries[] = {
#define KELTO_STAND_IN(name) \
    {"KeltoTarvoXTest.CTest" #name, nullptr, [] { return ObjectPtr(StandInElement::make(QStringLiteral("KeltoTarvoXTest.CConfig" #name))); }}
        KELTO_STAND_IN(VFIBEnergy), KELTO_STAND_IN(VTACHEnergy), KELTO_STAND_IN(ChargeTime), KELTO_STAND_IN(PeakVoltage),
        KELTO_STAND_IN(OverCurrent), KELTO_STAND_IN(OverVoltage), KELTO_STAND_IN(SyncRPeak), KELTO_STAND_IN(SyncQBase),
        KELTO_STAND_IN(NormalSinus), KELTO_STAND_IN(Arrhythmia), KELTO_STAND_IN(Performance), KELTO_STAND_IN(PacerParameter),
        KELTO_STAND_IN(PacerRefractory), KELTO_STAND_IN(BatteryCapacity), KELTO_STAND_IN(BatteryRetention), KELTO_STAND_IN(DefibPulse),
#undef KELTO_STAND_IN
    };
    ComponentRuntime::instance().registerBuiltin({entries, static_cast<int>(std::size(entries))});
}

} // namespace kelto::standin
