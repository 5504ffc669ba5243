#pragma once
// The plug-in as the host sees it.

#include <QString>
#include <cstdint>

#include "../Object.h"
#include "../Variant.h"

class QPixmap;

namespace kelto {

class IDialog;
class IConfigData;
class IProtocolLog;
class ITestElement;
class ITestList;

class ISetup : public virtual IObject {
public:
    virtual bool HasDialog() = 0;
    virtual Variant Settings() = 0;
    virtual void SetSettings(const Variant& settings) = 0;
    virtual Ptr<IDialog> CreateDialog() = 0;
    virtual void RegLoad(std::int32_t root, const QString& key) = 0;
    virtual void RegSave(std::int32_t root, const QString& key) = 0;
};

class IPlugIn : public virtual IObject {
public:
    virtual QString ID() = 0;
    // The icon of a test (0: the plug-in itself), size 0 small, 1 wide; null when none.
    virtual QPixmap Icon(std::int32_t testId, std::int32_t size, std::int32_t colors) = 0;
    virtual QString Name() = 0;
    virtual std::int32_t Flags() = 0;
    virtual Ptr<ISetup> Setup() = 0;
    virtual ObjectPtr ControlPanel() = 0;
    virtual Ptr<ITestList> Tests() = 0;
    virtual QString Version() = 0;
    virtual ObjectPtr PlugInMenu() = 0;
    virtual void Initialize(const Ptr<IProtocolLog>& log) = 0;
    virtual Ptr<ITestElement> CreateTest(std::int32_t testId) = 0;
    virtual Ptr<IConfigData> CreateDutData() = 0;
};

} // namespace kelto
