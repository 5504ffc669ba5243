#pragma once
// Shared set-up of the link's tests: simulated analysers on pseudo-terminals put
// on host ports, message boxes answered and recorded, and the host's settings the
// link reads (port, host version, "CommTimeOut"). The link and the simulator run in
// virtual time over the real pseudo-terminal: the clock lets the bytes cross before
// it moves on, so time-outs are proved exactly, however loaded the machine, and
// long waits take moments. kelto-host runs the same link in real time (HostCommands).

#include "tests/support/Errors.h"
#include "tests/support/Later.h"
#include <QCoreApplication>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

#include "TarvoSimulator.h"
#include "host/BasicServices.h"
#include "host/RegistryKey.h"
#include "host/SerialPortMap.h"
#include "instrument_link/MComm.h"
#include "instrument_link/SerialControl.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/MessageBox.h"
#include "platform/interfaces/Instrument.h"

namespace kelto::test {

// A host older than 2.1.2 makes the link scan ports 1 to 16.
inline bool g_oldHost = false;

class SwitchableHostVersion : public IHostVersion {
public:
    std::int32_t Compare(const QString& version) override { return g_oldHost ? 0 : host::HostVersion().Compare(version); }
};

class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousClock = Clock::install(makeVirtualClock());
        static const ClassEntry versionClass[] = {
            {hostclass::HostVersion, nullptr, [] { return ObjectPtr(std::make_shared<SwitchableHostVersion>()); }},
        };
        ComponentRuntime::instance().registerBuiltin({versionClass, 1});
        g_oldHost = false;
        m_previousHandler = setMessageBoxHandler([this](const MessageBoxRequest& request) {
            boxes.push_back(request);
            return onBox ? onBox(request) : firstButtonAnswer(request.flags);
        });
        for (int port = 1; port <= 16; ++port)
            host::SerialPortMap::SetSessionPath(port, missingDevice(port));
        host::InstrumentSettings::SetPort(QStringLiteral("TarvoX"), 1);
        setCommTimeOut(0);
        MComm::gfQueryPrompted = false;
        MComm::ForgetAnalyser();
    }

    void TearDown() override
    {
        if (link)
            link->CloseChannel();
        MComm::ClosePort();
        sims.clear();
        for (int port = 1; port <= 16; ++port)
            host::SerialPortMap::SetSessionPath(port, QString());
        g_oldHost = false;
        setMessageBoxHandler(m_previousHandler);
        m_later.clear();
        Clock::install(std::move(m_previousClock));
    }

    // The device of a port with nothing on it. The serial port locks a device by its
    // name before it opens it, so test programs running side by side use names of
    // their own: a shared name would read as a port in use.
    static QString missingDevice(int port)
    {
        return QStringLiteral("/nonexistent/tarvo-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(port);
    }

    // A simulated analyser answering on a host port, which owes the link nothing.
    sim::TarvoSimulator& simOnPort(int port, sim::Scenario scenario = {})
    {
        MComm::ForgetAnalyser();
        auto sim = std::make_unique<sim::TarvoSimulator>(std::move(scenario));
        QString error;
        EXPECT_TRUE(sim->open(&error)) << error.toStdString();
        host::SerialPortMap::SetSessionPath(port, sim->devicePath());
        // The port lets go of its device (and the lock on its name) before the device
        // goes: another test program may be given the same name at once.
        if (sims.count(port))
            MComm::ClosePort();
        sims[port] = std::move(sim);
        return *sims[port];
    }

    static sim::Scenario withFault(const QString& faultText, sim::Scenario scenario = {})
    {
        QString error;
        EXPECT_TRUE(sim::applyFault(scenario, faultText, &error)) << error.toStdString();
        return scenario;
    }

    static sim::Scenario readyReadings()
    {
        sim::Scenario scenario;
        scenario.dischargeAfterMs = 0;
        return scenario;
    }

    static void setCommTimeOut(std::int32_t ms)
    {
        host::RegistryKey key;
        key.CreateKey(hkey::LocalMachine, QStringLiteral("Software\\Quilo\\kelto\\TarvoX"));
        key.SetValue(QStringLiteral("CommTimeOut"), ms);
    }

    Ptr<ITarvoXVTi> createLink()
    {
        link = ComponentRuntime::instance().createAs<ITarvoXVTi>(QLatin1String(linkclass::TarvoXVtiId));
        return link;
    }

    // The link open on port 1 with an analyser whose readings are ready.
    sim::TarvoSimulator& openOnPort1(sim::Scenario scenario = readyReadings())
    {
        sim::TarvoSimulator& sim = simOnPort(1, std::move(scenario));
        createLink()->OpenChannel();
        EXPECT_EQ(link->State(), evtiIdle);
        sim.clearLog();
        return sim;
    }

    // Runs the action once, ms from now.
    void after(int ms, std::function<void()> action) { m_later.after(ms, std::move(action)); }
    // Lets the event loop run: the simulator receives what is still on the wire.
    static void settle(int ms) { Clock::instance().wait(ms); }
    static qint64 now() { return Clock::instance().nowMs(); }


    // Why the last open of a link or query failed, as a technician's check reads it.
    static QString lastFailure(const Ptr<IObject>& object)
    {
        const auto diagnostics = std::dynamic_pointer_cast<ILinkDiagnostics>(object);
        EXPECT_TRUE(diagnostics);
        return diagnostics ? diagnostics->LastFailure() : QString();
    }

    int boxesContaining(const QString& text) const
    {
        int n = 0;
        for (const MessageBoxRequest& box : boxes)
            n += box.prompt.contains(text) ? 1 : 0;
        return n;
    }

    Ptr<ITarvoXVTi> link;
    std::map<int, std::unique_ptr<sim::TarvoSimulator>> sims;
    std::vector<MessageBoxRequest> boxes;
    std::function<int(const MessageBoxRequest&)> onBox;

private:
    MessageBoxHandler m_previousHandler;
    Later m_later;
    std::unique_ptr<Clock> m_previousClock;
};

} // namespace kelto::test
