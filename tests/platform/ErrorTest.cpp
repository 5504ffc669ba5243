#include <gtest/gtest.h>

#include "host/BasicServices.h"
#include "host/HostLog.h"
#include "platform/PluginError.h"

using namespace kelto;

TEST(PluginError, ShowsItsNumberAsSignedDecimalInTheFailureBox)
{
    const PluginError e(hresult(0x8004A462), QStringLiteral("KeltoTarvoXVTI.CTarvoXVti"), QStringLiteral("No analyser"));
    EXPECT_EQ(e.number(), -2147179422);
    EXPECT_EQ(e.boxText(), QStringLiteral("Error #-2147179422\r\nNo analyser"));
}

TEST(ErrorReporter, RaiseFailsTheCallWithTheGivenNumberAndSource)
{
    host::ErrorReporter reporter;
    try {
        reporter.Raise(QStringLiteral("TarvoX"), hresult(0x8004A22A), QStringLiteral("KeltoTarvoX.CTarvoXPlugIn"), 3);
        FAIL();
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), hresult(0x8004A22A));
        EXPECT_EQ(e.source(), QStringLiteral("KeltoTarvoX.CTarvoXPlugIn"));
        EXPECT_EQ(e.severity(), 3);
        EXPECT_FALSE(e.description().isEmpty());
    }
}

TEST(ErrorReporter, RaiseWithNumberZeroHandsOnThePendingErrorUnchanged)
{
    host::ErrorReporter reporter;
    try {
        try {
            raiseError(hresult(0x8004A3FF), QStringLiteral("KeltoTarvoXTest.CMeasurement"), QStringLiteral("wrong tag"));
        } catch (...) {
            reporter.Raise(QString(), 0, QString(), 1);
        }
        FAIL();
    } catch (const PluginError& e) {
        EXPECT_EQ(e.number(), hresult(0x8004A3FF));
        EXPECT_EQ(e.source(), QStringLiteral("KeltoTarvoXTest.CMeasurement"));
        EXPECT_EQ(e.description(), QStringLiteral("wrong tag"));
    }
}

TEST(ErrorReporter, ReportErrorLogsAndReturns)
{
    host::HostLog::instance().clear();
    host::ErrorReporter reporter;
    try {
        raiseError(vberr::Overflow, QStringLiteral("inner"));
    } catch (...) {
        reporter.ReportError(currentError(), QStringLiteral("KeltoTarvoX.CTarvoXSetup"));
    }
    const auto errors = host::HostLog::instance().reportedErrors();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].number, vberr::Overflow);
    EXPECT_EQ(errors[0].source, QStringLiteral("KeltoTarvoX.CTarvoXSetup"));
}

TEST(CurrentError, TurnsAnyExceptionIntoAPluginError)
{
    try {
        throw std::runtime_error("disk full");
    } catch (...) {
        const PluginError e = currentError();
        EXPECT_NE(e.number(), 0);
        EXPECT_EQ(e.description(), QStringLiteral("disk full"));
    }
}

TEST(IgnoreErrors, GoesOnWithTheNextStatement)
{
    int reached = 0;
    ignoreErrors([] { raiseError(vberr::TypeMismatch, {}); });
    ignoreErrors([&] { ++reached; });
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(valueOr([]() -> int { raiseError(vberr::Overflow, {}); }, -1), -1);
}
