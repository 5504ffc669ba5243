#include "HostClasses.h"

#include "BasicServices.h"
#include "ContentPane.h"
#include "GuideToolbar.h"
#include "HelpText.h"
#include "RegistryKey.h"
#include "Report.h"
#include "ServiceRecord.h"
#include "SerialPortMap.h"
#include "Standards.h"
#include "TestElementBase.h"
#include "TestGuideServices.h"
#include "TestList.h"
#include "TestSetup.h"
#include "TestWizard.h"
#include "XLimitView.h"
#include "XTestGuideSettings.h"
#include "XmlDocument.h"
#include "platform/ComponentRuntime.h"

namespace kelto::host {

namespace {

template <class T>
ObjectPtr make()
{
    return std::make_shared<T>();
}

const ClassEntry kHostClasses[] = {
    {"Kelto.TextTranslator", hostclass::TextTranslator, &make<TextTranslator>},
    {"Kelto.ErrorReporter", hostclass::ErrorReporter, &make<ErrorReporter>},
    {"Kelto.XmlValueCodec", hostclass::XmlValueCodec, &make<XmlValueCodec>},
    {"Kelto.ValueFormatter", hostclass::ValueFormatter, &make<ValueFormatter>},
    {"Kelto.RegistryKey", hostclass::RegistryKey, &make<RegistryKey>},
    {hostclass::ProtocolLog, nullptr, &make<ProtocolLog>},
    {hostclass::HostVersion, nullptr, &make<HostVersion>},
    {hostclass::InstrumentSetup, nullptr, &make<InstrumentSetup>},
    {hostclass::SerialPortMap, nullptr, &make<SerialPortMap>},
    {hostclass::StandardCollection, nullptr, &make<StandardCollection>},
    {hostclass::Standard, nullptr, &make<Standard>},
    {hostclass::Limit, nullptr, &make<Limit>},
    {hostclass::HelpText, nullptr, &make<HelpText>},
    {hostclass::RelativeLimit, nullptr, &make<RelativeLimit>},
    {hostclass::LimitView, nullptr, &make<XLimitView>},
    {hostclass::TestGuideSettings, nullptr, &make<XTestGuideSettings>},
    {"Kelto.TestElementBase", hostclass::TestElementBase, &make<TestElementBase>},
    {"Kelto.TestList", hostclass::TestList, &make<TestList>},
    {"Kelto.TestInfo", nullptr, &make<TestInfo>},
    {"Kelto.TestFilter", nullptr, &make<TestFilter>},
    {"Kelto.TestSetup", nullptr, &make<TestSetup>},
    {hostclass::MtiRecord, nullptr, &make<MtiRecord>},
    {"Kelto.MtiDatabase", nullptr, &make<MtiDatabase>},
    {hostclass::ServiceRecord, nullptr, &make<ServiceRecord>},
    {hostclass::TestGuideConfig, nullptr, &make<TestGuideConfig>},
    {hostclass::TestGuideHelper, nullptr, &make<TestGuideHelper>},
    {"Kelto.CallBack", hostclass::CallBack, &make<CallBack>},
    {hostclass::Report, nullptr, &make<Report>},
    {hostclass::TgToolbar, nullptr, &make<GuideToolbar>},
    {hostclass::TgContentPane, nullptr, &make<ContentPane>},
    {"keltoTGCL2.TgTab", hostclass::TgTab, &make<TgTab>},
    {hostclass::TestWizard, nullptr, &make<TestWizard>},
    {hostclass::PictureSource, nullptr, &make<PictureSource>},
};

} // namespace

void registerHostClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ComponentRuntime::instance().registerBuiltin({kHostClasses, static_cast<int>(std::size(kHostClasses))});
}

} // namespace kelto::host
