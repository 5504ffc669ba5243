#pragma once
// The plug-in's own interfaces between the shell and the test library: the shell
// implements ITarvoXPlugIn and hands itself to the library's globals object, the
// library asks it back for the standards of the test template.

#include <QString>
#include <cstdint>

#include "platform/Object.h"

namespace kelto {

class IPlugIn;
class IStandard;

namespace tarvoxclass {
constexpr const char* GGlobals = "{D51F3870-3342-4B6C-A6C4-66FEC951B4C3}";
constexpr const char* ITarvoXPlugIn = "{9089407C-12D2-4E3D-B28C-2DC2715931F3}";
} // namespace tarvoxclass

class ITarvoXPlugIn : public virtual IObject {
public:
    // A copy of the standard the plug-in holds for a test type, or null. The names
    // are passed by reference as the interface defines them; callers that must keep
    // theirs pass copies.
    virtual Ptr<IStandard> LoadStandard(std::int32_t testId, QString& alphaName, QString& completeName) = 0;
};

// The default interface of the library's globals object.
class IGlobals : public virtual IObject {
public:
    virtual void SetPlugInPointer(const Ptr<IPlugIn>& plugIn) = 0;
};

} // namespace kelto
