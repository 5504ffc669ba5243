#pragma once
// The plug-in object the host creates first: identity, name, version, icons and
// settings, the prototype test elements read from the test template, copies of
// them for the host, and the template's standards for the test library.

#include "framework/ITarvoXPlugIn.h"
#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/TestElement.h"

namespace kelto {

class CTarvoXSetup;
class IXmlElement;

class CTarvoXPlugIn : public IPlugIn, public ITarvoXPlugIn {
public:
    static constexpr const char* kProgId = "KeltoTarvoX.CTarvoXPlugIn";
    static constexpr const char* kClassId = "{29945712-EE0D-41EC-96CE-233D938468C0}";

    CTarvoXPlugIn() = default;
    ~CTarvoXPlugIn() override;

    // IPlugIn
    QString ID() override;
    QPixmap Icon(std::int32_t testId, std::int32_t size, std::int32_t colors) override;
    QString Name() override;
    std::int32_t Flags() override;
    Ptr<ISetup> Setup() override;
    ObjectPtr ControlPanel() override;
    Ptr<ITestList> Tests() override;
    QString Version() override;
    ObjectPtr PlugInMenu() override;
    void Initialize(const Ptr<IProtocolLog>& log) override;
    Ptr<ITestElement> CreateTest(std::int32_t testId) override;
    Ptr<IConfigData> CreateDutData() override;

    // ITarvoXPlugIn
    Ptr<IStandard> LoadStandard(std::int32_t testId, QString& alphaName, QString& completeName) override;

    // The resource name of a test's icon ("TE:CTT(16X16X256)"), empty when none.
    static QString iconResourceName(std::int32_t testId, std::int32_t size);

private:
    Ptr<ITestList> ReadTemplate(const QString& file);
    // `where` names the entry in messages: "The test template FILE, test entry N".
    Ptr<ITestElement> CreateElement(const Ptr<IXmlElement>& entry, const QString& where);
    void ApplyEntry(const Ptr<ITestElement>& element, const Ptr<IXmlElement>& entry);

    Ptr<ITestList> mTestList;
    Ptr<CTarvoXSetup> mShellSetup;
    bool mfInitialized = false;
    std::int32_t mlFlags = 0;
};

} // namespace kelto
