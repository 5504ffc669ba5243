#pragma once
// The plug-in's settings: the test template file, the analyser's communication
// time-out and the pacer refractory time-out, kept in the registry under one fixed
// key whatever the host passes.

#include <QString>
#include <cstdint>

#include "platform/PluginError.h"
#include "platform/interfaces/PlugIn.h"

namespace kelto {

class CTarvoXSetup : public ISetup {
public:
    static constexpr const char* kProgId = "KeltoTarvoX.CTarvoXSetup";
    static constexpr const char* kClassId = "{D9F00172-144E-4F3E-AD77-3469BBAF7638}";
    static constexpr const char* kRegistryKey = "Software\\Quilo\\kelto\\TarvoX";
    static constexpr std::int32_t errKeyMissing = hresult(0x8004A28E);
    static constexpr std::int32_t kDefaultCommTimeOut = 1000;          // ms
    static constexpr std::int32_t kDefaultPacerRefractoryTimeout = 120; // s

    // Loads the settings; every error is ignored.
    void Initialize();
    Ptr<IDialog> GetSetup() { return CreateDialog(); }

    QString Configuration() const { return mConfiguration; }
    void SetConfiguration(const QString& path) { mConfiguration = path; }
    std::int32_t CommTimeOut() const { return mCommTimeOut; }
    void SetCommTimeOut(std::int32_t ms) { mCommTimeOut = ms; }
    std::int32_t PacerRefractoryTimeout() const { return mPacerRefractoryTimeout; }
    void SetPacerRefractoryTimeout(std::int32_t seconds) { mPacerRefractoryTimeout = seconds; }

    // The template beside the KeltoTarvoX library.
    static QString defaultConfiguration();

    // ISetup
    bool HasDialog() override { return true; }
    Variant Settings() override { return {}; }
    void SetSettings(const Variant&) override {}
    Ptr<IDialog> CreateDialog() override;
    void RegLoad(std::int32_t root, const QString& key) override;
    // Writes the two numbers; "Configuration" is only ever read.
    void RegSave(std::int32_t root, const QString& key) override;

private:
    void applyDefaults();

    QString mConfiguration;
    std::int32_t mCommTimeOut = 0;
    std::int32_t mPacerRefractoryTimeout = 0;
};

} // namespace kelto
