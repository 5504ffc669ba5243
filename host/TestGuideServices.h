#pragma once
// The host's test-guide settings of a configuration, its help for guide windows,
// and the callback a panel reports its edits to.
//
// Saved settings:  <TestGuideSettings ConfirmNext="0" ShowPictures="1"/>

#include <QList>

#include "platform/interfaces/Controls.h"
#include "platform/interfaces/TestData.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class TestGuideConfig : public ITestGuideConfig {
public:
    Ptr<ITestGuideConfig> Clone() override;
    // A missing attribute keeps its setting.
    void Load(const Ptr<IXmlElement>& in, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& owner) override;
    bool ShowPictures() override { return m_showPictures; }
    void SetShowPictures(bool show) override { m_showPictures = show; }
    bool ConfirmNext() override { return m_confirmNext; }
    void SetConfirmNext(bool confirm) override { m_confirmNext = confirm; }

private:
    bool m_showPictures = true;
    bool m_confirmNext = false;
};

class TestGuideHelper : public ITestGuideHelper {
public:
    // The element's name as the operator knows it; empty without element or info.
    QString Caption(const Ptr<ITestElement>& element) override;
    // Asks the operator (Yes/No); true for Yes.
    bool ConfirmAbort() override;
};

class CallBack : public ICallBack {
public:
    struct Event {
        QString name;
        VariantArray args;
    };
    void FireEvent(const QString& name, const VariantArray& args) override { m_events.append({name, args}); }

    const QList<Event>& events() const { return m_events; }
    void clear() { m_events.clear(); }

private:
    QList<Event> m_events;
};

} // namespace kelto::host
