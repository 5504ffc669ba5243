#pragma once
// A result of real measurements and a test element on the host's element base,
// for the guide and its views before the result and element classes exist.

#include <QCoreApplication>
#include <QTimer>

#include "framework/CLimitData.h"
#include "framework/CMeasurement.h"
#include "platform/ComponentRuntime.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::testing {

class GuideResult : public IResultData {
public:
    QList<Ptr<CMeasurement>> measurements;
    QString comment;
    std::int32_t status = emsNone;
    std::int32_t mtiId = 0;

    Ptr<CMeasurement> add(const QString& key, const QString& unit = QStringLiteral("J"), std::int32_t valueType = evtNumber)
    {
        auto m = std::make_shared<CMeasurement>();
        m->Initialize(key, QStringLiteral("Caption of ") + key, unit, valueType);
        m->SetValueFormat(QStringLiteral("0.00"));
        measurements.append(m);
        return m;
    }

    QString Comment() override { return comment; }
    void SetComment(const QString& text) override { comment = text; }
    bool HasDialog() override { return true; }
    std::int32_t Status() override { return status; }
    Ptr<IMeasurement> Measurement(const Variant& key) override
    {
        if (key.isNumeric()) {
            const int index = key.toLong();
            return index >= 1 && index <= measurements.size() ? measurements[index - 1] : nullptr;
        }
        for (const auto& m : measurements)
            if (m->Key() == key.toString())
                return m;
        return nullptr;
    }
    std::int32_t MeasurementCount() override { return static_cast<std::int32_t>(measurements.size()); }
    Ptr<IServiceRecord> ServiceRecord() override { return nullptr; }
    std::int32_t MTIID() override { return mtiId; }
    Ptr<IDialog> CreateDialog() override { return nullptr; }
    void Load(const Ptr<IXmlElement>&, const Ptr<IProtocolLog>&) override {}
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>&) override { return nullptr; }
    void PrintReport(const Ptr<IReport>&, const Ptr<ITestSetup>&) override {}
};

// A test element that is nothing but the host's element base with its own limits.
class GuideElement : public ITestElement {
public:
    static Ptr<GuideElement> make(std::int32_t testId, const QString& configProgId = QString())
    {
        auto element = std::make_shared<GuideElement>();
        element->base = ComponentRuntime::instance().createAs<ITestElementBase>(QLatin1String(hostclass::TestElementBase));
        element->base->Initialize(QStringLiteral("TarvoX"), testId, 1);
        if (!configProgId.isEmpty())
            element->base->SetConfiguration(ComponentRuntime::instance().createAs<IConfigData>(configProgId));
        auto limits = std::make_shared<CLimitData>();
        limits->Initialize(element, true);
        element->base->SetLimits(limits);
        return element;
    }

    Ptr<ITestElementBase> base;

    QString PlugInID() override { return base->PlugInID(); }
    std::int32_t TestID() override { return base->TestID(); }
    std::int32_t ID() override { return base->ID(); }
    void SetID(std::int32_t id) override { base->SetID(id); }
    Ptr<ITestElement> Parent() override { return base->Parent(); }
    void SetParent(const Ptr<ITestElement>& parent) override { base->SetParent(parent); }
    Ptr<ITestInfo> Info() override { return base->Info(); }
    Ptr<ITestFilter> Filter() override { return base->Filter(); }
    Ptr<IResultData> Result() override { return base->Result(); }
    Ptr<ILimitData> Limits() override { return base->Limits(); }
    Ptr<IConfigData> Configuration() override { return base->Configuration(); }
    void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) override { base->Initialize(plugInId, testId, id); }
    Ptr<ITestElement> Clone() override { return nullptr; }
    void Perform(const Ptr<ITestSetup>&) override {}
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override { base->Load(in, log); }
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner, std::int32_t mode) override { return base->Save(owner, mode); }
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override { base->PrintReport(report, setup); }
    bool QuerySetParent(const Ptr<ITestElement>&) override { return true; }
    void Terminate() override {}
    void UpdateReferences() override {}
    Variant GetMeasurementList() override { return {}; }
};

} // namespace kelto::testing
