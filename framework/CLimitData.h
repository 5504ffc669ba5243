#pragma once
// The limits of one test element: its standards (host objects), the built-in
// limits of a new standard, the judgement of a measurement against the selected
// standards, the "ExpectedResult" element and the limit dialog.

#include <QList>
#include <QString>

#include "platform/PluginError.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"

namespace kelto {

class CLimitData : public ILimitData {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CLimitData";
    static constexpr std::int32_t errBadElement = hresult(0x8004A4EE);
    // The host's standard objects raise this one; it is passed on unchanged.
    static constexpr std::int32_t errStandardObjects = hresult(0x8004A50F);

    ~CLimitData() override;

    void Initialize(const Ptr<ITestElement>& owner, bool hasDialog);
    void CopyFrom(const Ptr<ILimitData>& other);
    void SetHasDialog(bool hasDialog) { m_hasDialog = hasDialog; }
    void CreateTestLimits(const Ptr<IStandard>& standard, std::int32_t testId);
    void AddLimit(const Ptr<IStandard>& standard, const QString& key, const QString& unit, const QString& formula);
    // Gives the host's limit view the rows of a test type.
    void ParseLimitsToDialog(const Ptr<IObject>& limitView, std::int32_t testId);

    // ILimitData
    QString Description() override { return {}; }
    void SetDescription(const QString&) override {}
    bool HasDialog() override { return m_hasDialog; }
    Ptr<IStandardCollection> Standards() override { return m_standards; }
    Ptr<ITestElement> Owner() override { return m_owner.lock(); }
    Ptr<ILimitData> Clone() override;
    Ptr<IDialog> CreateDialog() override;
    Ptr<IStandard> CreateStandard(const QString& alphaName, const QString& completeName) override;
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;
    void PrintReport(const Ptr<IReport>& report, const Ptr<ITestSetup>& setup) override;
    void UpdateLimits(const Ptr<IProtocolLog>&) override {}
    // Raises what the host's standard objects raise: a judgement that cannot be made
    // is no pass.
    Ptr<IStandardCollection> FindFailedStandards(const Ptr<IMeasurement>& measurement, const Ptr<IStandardCollection>& selected) override;
    // The limit values a reading is judged against: each side with a value of every
    // limit of its key in the standards of the selection the test holds, computed
    // with its preset. A reading printed beside them must not read otherwise.
    QList<float> JudgingBounds(const Ptr<IMeasurement>& measurement, const Ptr<IStandardCollection>& selected);

private:
    Ptr<IStandardCollection> m_standards;
    // The element holds the limits through its element base; a weak reference
    // keeps that from becoming a cycle.
    std::weak_ptr<ITestElement> m_owner;
    bool m_hasDialog = true;
};

} // namespace kelto
