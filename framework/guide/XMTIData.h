#pragma once
// The identity tab of the guide: the operator picks the analyser model and types
// its serial number and firmware. One identity per model and the model used last
// are kept in the registry under "Software\Quilo\Kelto\TarvoX\MtiData\".

#include <QWidget>
#include <array>
#include <cstdint>

#include "framework/guide/CMtiData2.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace kelto {

class XMTIData : public QWidget {
public:
    static constexpr std::int32_t kBackColor = 0x00E0F0F2;

    explicit XMTIData(QWidget* parent = nullptr);

    // The entry of the model shown, itself (edits reach it); null when none is shown.
    Ptr<CMtiData2> GetMtiData() const;
    // Shows that identity: its model becomes the one shown, with its serial number
    // and firmware, so the operator sees what the run will record.
    void SetMtiData(const Ptr<CMtiData2>& mti);
    // Shows that the analyser of the result shown is not on record: no model and
    // empty fields, with nothing to record. The models' entries stay as they are.
    void ShowNoRecord();
    // From no record back to the model used last, as the panel opened.
    void ShowLastUsed();
    void RegSave();
    std::int32_t BackColor() const { return kBackColor; }

    QComboBox* modelList() const { return cboMtiType; }
    QLineEdit* serialBox() const { return txtSerial; }
    QLineEdit* firmwareBox() const { return txtFirmware; }
    std::int32_t selected() const { return m_selected; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RegLoad();
    void setDefaultModels();
    void ShowModel();
    void fillModelList();

    QComboBox* cboMtiType = nullptr;
    QLineEdit* txtSerial = nullptr;
    QLineEdit* txtFirmware = nullptr;
    std::array<Ptr<CMtiData2>, 3> m_entries;
    std::int32_t m_selected = 0;
    std::int32_t m_lastUsed = 0;
};

} // namespace kelto
