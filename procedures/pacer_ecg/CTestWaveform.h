#pragma once
// The ECG waveform simulation tests: the analyser plays the configured waveform
// into the defibrillator's ECG input for the configured duration (0: until Stop)
// and the operator judges the monitor by ticking Passed or Failed in the result
// grid. Nothing is measured; the verdict is the result.

#include <QStringList>
#include <memory>

#include "configurations/CConfigWaveform.h"
#include "procedures/CTestElementFrame.h"
#include "results/CResultWaveform.h"

namespace kelto {

template <class Self, class Config, class Result>
class CTestWaveform : public TestElementClass<Self, Config, Result> {
public:
    CTestWaveform();
    ~CTestWaveform() override;

    void Initialize(const QString& plugInId, std::int32_t testId, std::int32_t id) override;
    Variant GetMeasurementList() override { return {}; }

    void mfrmTestGuide_StartTest() override;
    void mfrmTestGuide_StopTest() override;
    void mfrmTestGuide_AbortTest() override;
    void mfrmTestGuide_ItemClicked(bool fCurrentItem) override;

    // Run state beyond the frame's, for the library's tests.
    bool waveStarted() const { return mfWaveStarted; }
    bool wavePlayed() const { return mfWavePlayed; }

protected:
    QString errorSource() const override { return QLatin1String(Self::kClassName); }
    QList<std::pair<QString, QString>> measurementRows() const override { return {}; }
    Variant GetInstructions() override;
    void PerformMeasurement() override { RunWave(); }
    void guideInitialized() override;
    void FinishTest(const Ptr<CMtiData2>& mti) override;
    // A result read from a file was judged on a waveform this object did not play.
    void loadResultItem() override;
    void startTestFailed(const PluginError& error) override;

private:
    static QList<std::int16_t> allSteps();
    void RunWave();
    void StopWave();
    void releaseTimer();

    std::unique_ptr<FTimer> mfrmTimer;
    bool mfTimeUp = false;
    bool mfItemClicked = false;
    bool mfWaveStarted = false;
    bool mfWavePlayed = false;
};

class CTestNormalSinus : public CTestWaveform<CTestNormalSinus, CConfigNormalSinus, CResultNormalSinus> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestNormalSinus";
    static constexpr const char* kClassName = "CTestNormalSinus";
    static constexpr std::int32_t kTestId = 900;
    static const QStringList kInstructions;
};

class CTestArrhythmia : public CTestWaveform<CTestArrhythmia, CConfigArrhythmia, CResultArrhythmia> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestArrhythmia";
    static constexpr const char* kClassName = "CTestArrhythmia";
    static constexpr std::int32_t kTestId = 1000;
    static const QStringList kInstructions;
};

class CTestPerformance : public CTestWaveform<CTestPerformance, CConfigPerformance, CResultPerformance> {
public:
    static constexpr const char* kProgId = "KeltoTarvoXTest.CTestPerformance";
    static constexpr const char* kClassName = "CTestPerformance";
    static constexpr std::int32_t kTestId = 1100;
    static const QStringList kInstructions;
};

} // namespace kelto
