#include "framework/guide/XMTIData.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "framework/HostServices.h"
#include "framework/MMiscUtils.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/interfaces/GuideControls.h"

namespace kelto {

namespace {

const QString kKey = QStringLiteral("Software\\Quilo\\Kelto\\TarvoX\\MtiData\\");
const QString kSource = QStringLiteral("KeltoTarvoXTest.XMTIData");
const char* const kDefaultModels[] = {"Tarvo", "TarvoM", "TarvoH"};

Ptr<IRegistryKey> newKey()
{
    auto key = ComponentRuntime::instance().createAs<IRegistryKey>(QLatin1String(hostclass::RegistryKey));
    if (!key)
        raiseError(vberr::CannotCreateObject, kSource);
    return key;
}

// Position of a model in the default list; the others after them.
int modelRank(const QString& model)
{
    for (int i = 0; i < 3; ++i)
        if (model == QLatin1String(kDefaultModels[i]))
            return i;
    return 3;
}

} // namespace

XMTIData::XMTIData(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("xmdMtiData"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, olecolor::toQColor(kBackColor));
    setPalette(palette);

    auto* layout = new QGridLayout(this);
    auto* title = new QLabel(QStringLiteral("462::MTI data"));
    title->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont(QStringLiteral("Arial Black"));
    titleFont.setPointSizeF(14.25);
    title->setFont(titleFont);
    layout->addWidget(title, 0, 0, 1, 2);
    cboMtiType = new QComboBox;
    cboMtiType->setObjectName(QStringLiteral("cboMtiType"));
    txtSerial = new QLineEdit;
    txtSerial->setObjectName(QStringLiteral("txtSerial"));
    txtFirmware = new QLineEdit;
    txtFirmware->setObjectName(QStringLiteral("txtFirmware"));
    layout->addWidget(new QLabel(QStringLiteral("20220::MTI Type:")), 1, 0);
    layout->addWidget(cboMtiType, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("20221::Serial number:")), 2, 0);
    layout->addWidget(txtSerial, 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("20222::Firmware version:")), 3, 0);
    layout->addWidget(txtFirmware, 3, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(4, 1);

    ignoreErrors([&] { textTranslator()->TranslateForm(kOwnerWord, this); });
    for (auto& entry : m_entries)
        entry = std::make_shared<CMtiData2>();
    RegLoad();
    m_lastUsed = m_selected;
    fillModelList();
    ShowModel();

    QObject::connect(cboMtiType, &QComboBox::activated, this, [this](int index) {
        m_selected = index;
        ShowModel();
    });
    QObject::connect(txtFirmware, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (const auto entry = GetMtiData())
            entry->SetFirmware(text);
    });
    QObject::connect(txtSerial, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (const auto entry = GetMtiData())
            entry->SetSerial(text);
    });
    txtSerial->installEventFilter(this);
    txtFirmware->installEventFilter(this);
}

bool XMTIData::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn && (watched == txtSerial || watched == txtFirmware))
        ignoreErrors([&] { MMiscUtils::SelectAllText(static_cast<QLineEdit*>(watched)); });
    return QWidget::eventFilter(watched, event);
}

Ptr<CMtiData2> XMTIData::GetMtiData() const
{
    if (m_selected < 0 || m_selected > 2)
        return nullptr;
    return m_entries[static_cast<std::size_t>(m_selected)];
}

void XMTIData::SetMtiData(const Ptr<CMtiData2>& mti)
{
    if (!mti)
        return;
    for (int i = 0; i < 3; ++i) {
        if (m_entries[static_cast<std::size_t>(i)]->MtiType() == mti->MtiType()) {
            m_selected = i;
            break;
        }
    }
    const auto entry = GetMtiData();
    if (!entry)
        return;
    entry->SetMtiType(mti->MtiType());
    entry->SetSerial(mti->Serial());
    entry->SetFirmware(mti->Firmware());
    ignoreErrors([&] { cboMtiType->setItemText(m_selected, entry->MtiType()); });
    ShowModel();
}

void XMTIData::ShowNoRecord()
{
    m_selected = -1;
    ignoreErrors([&] { cboMtiType->setCurrentIndex(-1); });
    ignoreErrors([&] { txtFirmware->clear(); });
    ignoreErrors([&] { txtSerial->clear(); });
}

void XMTIData::ShowLastUsed()
{
    if (GetMtiData())
        return;
    m_selected = m_lastUsed;
    ShowModel();
}

void XMTIData::setDefaultModels()
{
    for (int i = 0; i < 3; ++i) {
        auto entry = std::make_shared<CMtiData2>();
        entry->SetMtiType(QLatin1String(kDefaultModels[i]));
        m_entries[static_cast<std::size_t>(i)] = entry;
    }
}

void XMTIData::RegLoad()
{
    try {
        const auto key = newKey();
        key->OpenKey(hkey::LocalMachine, kKey);
        ignoreErrors([&] { m_selected = key->GetValue(QStringLiteral("MRU")).toLong(); });
        QStringList models = key->SubKeys();
        if (models.isEmpty())
            raiseError(vberr::SubscriptOutOfRange, QStringLiteral("KeltoTarvoXTest.XMTIData")); // the default list
        if (models.size() < 3)
            raiseError(vberr::SubscriptOutOfRange, QStringLiteral("KeltoTarvoXTest.XMTIData"));
        // "MRU" is a position in the list as saved, which is the default model order;
        // the registry lists its sub-keys in an order of its own.
        std::stable_sort(models.begin(), models.end(), [](const QString& a, const QString& b) { return modelRank(a) < modelRank(b); });
        std::array<Ptr<CMtiData2>, 3> read;
        for (int i = 0; i < 3; ++i) {
            const auto modelKey = newKey();
            modelKey->OpenKey(hkey::LocalMachine, kKey + models[i]);
            auto entry = std::make_shared<CMtiData2>();
            entry->SetMtiType(models[i]);
            entry->SetSerial(modelKey->GetValue(QStringLiteral("Serial")).toString().trimmed());
            entry->SetFirmware(modelKey->GetValue(QStringLiteral("Firmware")).toString().trimmed());
            read[static_cast<std::size_t>(i)] = entry;
        }
        m_entries = read;
    } catch (...) {
        setDefaultModels();
    }
    // A damaged "MRU" would leave no identity to record for the run.
    if (m_selected < 0 || m_selected > 2)
        m_selected = 0;
}

void XMTIData::fillModelList()
{
    cboMtiType->clear();
    for (const auto& entry : m_entries)
        cboMtiType->addItem(entry->MtiType());
}

void XMTIData::ShowModel()
{
    const auto entry = GetMtiData();
    if (!entry)
        return;
    // Copies first: filling a box writes it back into the entry shown.
    const QString firmware = entry->Firmware();
    const QString serial = entry->Serial();
    ignoreErrors([&] { cboMtiType->setCurrentIndex(m_selected); });
    ignoreErrors([&] { txtFirmware->setText(firmware); });
    ignoreErrors([&] { txtSerial->setText(serial); });
}

void XMTIData::RegSave()
{
    Ptr<IRegistryKey> key;
    ignoreErrors([&] { key = newKey(); });
    ignoreErrors([&] { deref(key, kSource).CreateKey(hkey::LocalMachine, kKey); });
    ignoreErrors([&] { deref(key, kSource).OpenKey(hkey::LocalMachine, kKey); });
    if (GetMtiData())
        ignoreErrors([&] { deref(key, kSource).SetValue(QStringLiteral("MRU"), Variant(m_selected)); });
    for (const auto& entry : m_entries) {
        Ptr<IRegistryKey> modelKey;
        ignoreErrors([&] { modelKey = newKey(); });
        ignoreErrors([&] { deref(modelKey, kSource).CreateKey(hkey::LocalMachine, kKey + entry->MtiType()); });
        ignoreErrors([&] { deref(modelKey, kSource).OpenKey(hkey::LocalMachine, kKey + entry->MtiType()); });
        ignoreErrors([&] { deref(modelKey, kSource).SetValue(QStringLiteral("Firmware"), Variant(entry->Firmware())); });
        ignoreErrors([&] { deref(modelKey, kSource).SetValue(QStringLiteral("Serial"), Variant(entry->Serial())); });
    }
}

} // namespace kelto
