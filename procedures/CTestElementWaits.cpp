// The instrument link of a test element, its one-second tick window and the
// waits that pump the event loop on the clock seam.

#include "procedures/CTestElementFrame.h"

#include <QApplication>
#include <QCoreApplication>

#include "framework/FTimer.h"
#include "framework/HostServices.h"
#include "framework/guide/FTarvoXTestGuide.h"
#include "platform/Clock.h"
#include "platform/ComponentRuntime.h"
#include "platform/Deref.h"
#include "platform/MessageBox.h"

namespace kelto {

// ---- the link and waits ------------------------------------------------------------------

Ptr<ITarvoXVTi> CTestElementFrame::vti()
{
    if (!mVTI) {
        mVTI = query<ITarvoXVTi>(CreateObject(QLatin1String(linkclass::TarvoXVtiId)));
        if (!mVTI)
            raiseError(vberr::CannotCreateObject, errorSource(),
                QStringLiteral("The instrument link %1 cannot be created. Check that the KeltoTarvoXVTI library is installed and registered.")
                    .arg(QLatin1String(linkclass::TarvoXVti)));
        // What the link saw while a reading waits, and cannot read, goes to the guide;
        // so does what it does after error 8030, when no discharge is wanted.
        if (const auto notices = query<ILinkNotice>(mVTI)) {
            notices->SetNoticeHandler([this](const QString& text) {
                ignoreErrors([&] { Guide().SetStatusText(text + QStringLiteral(" Press Stop to end the test.")); });
            });
            notices->SetCheckHandler([this](const QString& text) {
                ignoreErrors([&] { Guide().HidePopup(); });
                ignoreErrors([&] { Guide().SetStatusText(text); });
            });
        }
    }
    return mVTI;
}

void CTestElementFrame::requestAbort()
{
    mfAbort = true;
    Clock::instance().wake();
}

void CTestElementFrame::StartWaitTimer()
{
    StopWaitTimer();
    mfrmWaitTimer = std::make_unique<FTimer>();
    QObject::connect(mfrmWaitTimer.get(), &FTimer::Timer, mfrmWaitTimer.get(), [this] {
        ignoreErrors([&] { mfrmWaitTimer_Timer(); });
        // The loops waiting on the tick's flags look at them now.
        Clock::instance().wake();
    });
    mfrmWaitTimer->StartTimer(1000);
}

void CTestElementFrame::StopWaitTimer()
{
    if (!mfrmWaitTimer)
        return;
    FTimer* timer = mfrmWaitTimer.release();
    ignoreErrors([&] { timer->StopTimer(); });
    QObject::disconnect(timer, nullptr, nullptr, nullptr);
    // A tick handler may be the one stopping its timer.
    timer->deleteLater();
}

QString CTestElementFrame::pollDischargeReading(const std::function<QString()>& readMeasurement)
{
    vti()->Wait(50);
    QString reply;
    if (!mfAbort) {
        FTarvoXTestGuide& guide = Guide();
        guide.SetActiveSteps({});
        guide.ShowPopup(QStringLiteral("TI:SHOCK"), QStringLiteral("20170::Defibrillate Now"), true);
        do {
            reply = readMeasurement();
        } while (reply.isEmpty() && !mfAbort);
        guide.HidePopup();
    }
    return reply;
}

void CTestElementFrame::seriesMeasurementFailed(const PluginError& error)
{
    mfAbort = true;
    StopWaitTimer();
    ignoreErrors([&] { Guide().HidePopup(); });
    ignoreErrors([&] { Guide().EnableNextButton(true); });
    if (mSeriesReadings > 0) {
        const QString taken = mSeriesReadings == 1 ? QStringLiteral("The one reading this run took was")
                                                   : QStringLiteral("The %1 readings this run took were").arg(mSeriesReadings);
        MsgBox(taken + QStringLiteral(" not stored: a run that ends with an error stores nothing. Start the test again."),
            mb::OKOnly | mb::Exclamation, QStringLiteral("KeltoTarvoXTest"));
    }
    if (error.number() != kVtiError)
        ignoreErrors([&] { errorReporter()->ReportError(error, errorSource()); });
}

void CTestElementFrame::waitUntil(const std::function<bool()>& done)
{
    while (!done())
        Clock::instance().wait(1000, done);
}

void CTestElementFrame::pumpEvents()
{
    QCoreApplication::processEvents();
}

void CTestElementFrame::Beep(std::int32_t, std::int32_t)
{
    QApplication::beep();
}

} // namespace kelto
