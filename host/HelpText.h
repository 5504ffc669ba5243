#pragma once
// The host's help-text strip: a word-wrapped text on a light panel.

#include <QPointer>

#include "platform/interfaces/HostControls.h"

class QLabel;

namespace kelto::host {

class HelpText : public IHelpText {
public:
    HelpText();
    ~HelpText() override;
    QWidget* widget() override;
    void SetText(const QString& text) override;
    QString Text() override;
    void FitToHeight(float& height) override;
    float Top() override;

private:
    QPointer<QLabel> m_label; // owned by whatever parent it is placed on
};

} // namespace kelto::host
