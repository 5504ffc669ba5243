#pragma once
// The host's part of every test element: ids, parent, information, filter and the
// configuration, limits and result objects the plug-in gives it.
//
// Saved form (Save; Load reads it back):
//
//   <TestElement Filter="1" ID="5" PlugIn="TarvoX" TestID="300">
//     <Info Description="..." Name="..." Parameter="..." Type="..."/>
//     <PlugInData .../>       the configuration's own element
//     <ExpectedResult .../>   the limits' own element
//     <ResultItem .../>       the result's own element, when a result is held
//   </TestElement>
//
// Load takes either that whole element or one of the three inner elements alone
// (the plug-in hands a "ResultItem" over by itself after making a fresh result).
// The configuration is always read before the limits and the result, whatever the
// order in the file, since a result is built from its configuration.

#include "platform/PluginError.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

// Element base errors, passed on unchanged by the plug-in's test elements.
constexpr std::int32_t kElementLoadNoElement = hresult(0x8004A2C0);
constexpr std::int32_t kElementSaveNoElement = hresult(0x8004A2CD);

class TestInfo : public ITestInfo {
public:
    QString Type() override { return m_type; }
    void SetType(const QString& type, const QString& parameter) override;
    QString Parameter() override { return m_parameter; }
    void SetParameter(const QString& text) override { m_parameter = text; }
    QString Name() override { return m_name; }
    void SetName(const QString& text) override { m_name = text; }
    QString Description() override { return m_description; }
    void SetDescription(const QString& text) override { m_description = text; }

    void copyFrom(ITestInfo& other);

private:
    QString m_type;
    QString m_parameter;
    QString m_name;
    QString m_description;
};

class TestFilter : public ITestFilter {
public:
    std::int32_t Flags() override { return m_flags; }
    void SetFlags(std::int32_t flags) override { m_flags = flags; }

private:
    std::int32_t m_flags = 0;
};

class TestElementBase : public ITestElementBase {
public:
    TestElementBase();

    QString PlugInID() override { return m_plugInId; }
    std::int32_t TestID() override { return m_testId; }
    std::int32_t ID() override { return m_id; }
    void SetID(std::int32_t id) override { m_id = id; }
    Ptr<ITestElement> Parent() override { return m_parent.lock(); }
    void SetParent(const Ptr<ITestElement>& parent) override { m_parent = parent; }
    Ptr<ITestInfo> Info() override { return m_info; }
    Ptr<ITestFilter> Filter() override { return m_filter; }
    Ptr<IResultData> Result() override { return m_result; }
    Ptr<ILimitData> Limits() override { return m_limits; }
    Ptr<IConfigData> Configuration() override { return m_configuration; }
    void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) override;
    Ptr<ITestElement> Clone() override;
    void Perform(const Ptr<ITestSetup>&) override {} // the plug-in's element runs the test
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner, std::int32_t saveMode) override;
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override;
    bool QuerySetParent(const Ptr<ITestElement>&) override { return true; }
    void Terminate() override;
    void UpdateReferences() override {}
    Variant GetMeasurementList() override { return {}; }

    void SetConfiguration(const Ptr<IConfigData>& configuration) override { m_configuration = configuration; }
    void SetLimits(const Ptr<ILimitData>& limits) override { m_limits = limits; }
    void SetResult(const Ptr<IResultData>& result) override { m_result = result; }
    Ptr<ITestElementBase> CloneBase() override;

private:
    void loadPart(const Ptr<IXmlElement>& part, const Ptr<IProtocolLog>& log);

    QString m_plugInId;
    std::int32_t m_testId = 0;
    std::int32_t m_id = 0;
    std::weak_ptr<ITestElement> m_parent; // the parent holds its children, not the other way
    Ptr<TestInfo> m_info;
    Ptr<TestFilter> m_filter;
    Ptr<IConfigData> m_configuration;
    Ptr<ILimitData> m_limits;
    Ptr<IResultData> m_result;
};

} // namespace kelto::host
