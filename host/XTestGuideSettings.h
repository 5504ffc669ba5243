#pragma once
// The host's test-guide settings control: two check boxes that edit, in place,
// the ITestGuideConfig it is given and report each operator change.

#include <QCheckBox>
#include <QPointer>
#include <memory>

#include "platform/interfaces/HostControls.h"
#include "platform/interfaces/TestData.h"

namespace kelto::host {

class XTestGuideSettings : public ITestGuideSettings {
public:
    XTestGuideSettings();
    ~XTestGuideSettings() override;

    QWidget* widget() override { return m_widget; }
    void Initialize(const Variant& inData) override;
    bool Locked() override { return m_locked; }
    void SetLocked(bool locked) override;
    void SetOnChange(std::function<void()> onChange) override { m_onChange = std::move(onChange); }

    // For tests and the host window.
    QCheckBox* showPicturesBox() const { return m_showPictures; }
    QCheckBox* confirmNextBox() const { return m_confirmNext; }
    Ptr<ITestGuideConfig> settings() const { return m_settings; }

private:
    void applyEnabled();
    void edited();

    QPointer<QWidget> m_widget; // owned by whatever panel it is placed on
    std::unique_ptr<QObject> m_context; // ends the connections with this object
    QPointer<QCheckBox> m_showPictures;
    QPointer<QCheckBox> m_confirmNext;
    Ptr<ITestGuideConfig> m_settings;
    std::function<void()> m_onChange;
    bool m_locked = false;
};

} // namespace kelto::host
