#pragma once
// A test element that answers every member with nothing; test doubles derive from
// it and give only the members their tests ask for.

#include "platform/interfaces/TestElement.h"

namespace kelto {

class NullTestElement : public ITestElement {
public:
    QString PlugInID() override { return QStringLiteral("TarvoX"); }
    std::int32_t TestID() override { return 0; }
    std::int32_t ID() override { return 0; }
    void SetID(std::int32_t) override {}
    Ptr<ITestElement> Parent() override { return nullptr; }
    void SetParent(const Ptr<ITestElement>&) override {}
    Ptr<ITestInfo> Info() override { return nullptr; }
    Ptr<ITestFilter> Filter() override { return nullptr; }
    Ptr<IResultData> Result() override { return nullptr; }
    Ptr<ILimitData> Limits() override { return nullptr; }
    Ptr<IConfigData> Configuration() override { return nullptr; }
    void Initialize(const QString&, std::int32_t, std::int32_t) override {}
    Ptr<ITestElement> Clone() override { return nullptr; }
    void Perform(const Ptr<ITestSetup>&) override {}
    void Load(const Ptr<IXmlElement>&, const Ptr<IProtocolLog>&) override {}
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>&, std::int32_t) override { return nullptr; }
    void PrintReport(const Ptr<IReport>&, const Ptr<ITestSetup>&) override {}
    bool QuerySetParent(const Ptr<ITestElement>&) override { return false; }
    void Terminate() override {}
    void UpdateReferences() override {}
    Variant GetMeasurementList() override { return {}; }
};

} // namespace kelto
