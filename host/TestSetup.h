#pragma once
// The running test sequence as a test element sees it, and the host's records of
// analysers. Tests set the answers and read back what the element handed over.

#include <QHash>
#include <QList>
#include <QStringList>
#include <functional>

#include "host/Judgement.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class MtiRecord : public IMtiRecord {
public:
    std::int32_t ID() override { return m_id; }
    QString Owner() override { return m_owner; }
    void SetOwner(const QString& owner) override { m_owner = owner; }
    QString Model() override { return m_model; }
    void SetModel(const QString& model) override { m_model = model; }
    QString SerialNumber() override { return m_serial; }
    void SetSerialNumber(const QString& serial) override { m_serial = serial; }
    QString Firmware() override { return m_firmware; }
    void SetFirmware(const QString& firmware) override { m_firmware = firmware; }

    void setId(std::int32_t id) { m_id = id; }

private:
    std::int32_t m_id = 0;
    QString m_owner;
    QString m_model;
    QString m_serial;
    QString m_firmware;
};

// A record is not changed once added: results point at it by its id.
class MtiDatabase : public IMtiDatabase {
public:
    Ptr<IMtiRecord> Item(const QString& owner, std::int32_t id) override;
    // Stores the record under the next id (from 1); a record of another class is
    // stored as a copy.
    std::int32_t Add(const Ptr<IMtiRecord>& record) override;
    QList<Ptr<IMtiRecord>> Records() override;

    // The record of an id, whatever its owner; null when there is none.
    Ptr<IMtiRecord> record(std::int32_t id) const { return m_byId.value(id); }
    // The id of the record with the same owner, model, serial number and firmware;
    // the record is added when there is none.
    std::int32_t adopt(const Ptr<MtiRecord>& record);

private:
    static QStringList identityOf(IMtiRecord& record);

    QList<Ptr<MtiRecord>> m_records;
    QHash<std::int32_t, Ptr<MtiRecord>> m_byId;
    QHash<QStringList, std::int32_t> m_byIdentity;
    std::int32_t m_lastId = 0;
};

class TestSetup : public ITestSetup {
public:
    TestSetup();

    bool QueryPerform(const Ptr<ITestElement>& element) override;
    std::int32_t Navigation() override { return m_navigation; }
    void SetNavigation(std::int32_t navigation) override;
    Ptr<IStandardCollection> SelectedStandards() override { return m_selected; }
    Ptr<IMtiDatabase> MtiDatabase() override { return m_database; }
    const Ptr<host::MtiDatabase>& analyserRecords() const { return m_database; }
    void TestFinished(const Ptr<ITestElement>& element) override { m_finished.append(element); }

    void setQueryPerformAnswer(bool answer) { m_performAnswer = answer; }
    void setSelectedStandards(Ptr<IStandardCollection> selected) { m_selected = std::move(selected); }
    QList<Ptr<ITestElement>> queried() const { return strong(m_queried); }
    QList<Ptr<ITestElement>> finished() const { return strong(m_finished); }
    int finishedCount() const { return static_cast<int>(m_finished.size()); }

    // The standards the result an element holds from an earlier run was judged
    // against, null when nothing recorded them; the guide shows that result by them
    // until the run replaces it. Without it, the selection stands for them.
    using EarlierJudgement = std::function<Ptr<IStandardCollection>(const Ptr<ITestElement>& element)>;
    void setEarlierJudgement(EarlierJudgement judgement) { m_earlierJudgement = std::move(judgement); }
    const EarlierJudgement& earlierJudgement() const { return m_earlierJudgement; }
    // What the window shows of that result (shownResult, by what judged it) and, as
    // text, what judged it where the element's presets or limits now differ from
    // those or its readings do not give its verdict by them (else empty).
    struct EarlierShown {
        ShownResult shown;
        QString judgedWith;
    };
    using EarlierView = std::function<EarlierShown(const Ptr<ITestElement>& element)>;
    void setEarlierShown(EarlierView view) { m_earlierShown = std::move(view); }
    const EarlierView& earlierShown() const { return m_earlierShown; }
    // Every navigation code set, in order.
    const QList<std::int32_t>& navigations() const { return m_navigations; }

private:
    bool m_performAnswer = true;
    std::int32_t m_navigation = etnNext;
    QList<std::int32_t> m_navigations;
    Ptr<IStandardCollection> m_selected;
    Ptr<host::MtiDatabase> m_database;
    EarlierJudgement m_earlierJudgement;
    EarlierView m_earlierShown;
    // The elements keep the setup while they run: the setup only remembers them,
    // so that neither keeps the other alive.
    static QList<Ptr<ITestElement>> strong(const QList<std::weak_ptr<ITestElement>>& elements)
    {
        QList<Ptr<ITestElement>> out;
        for (const auto& e : elements)
            out.append(e.lock());
        return out;
    }
    QList<std::weak_ptr<ITestElement>> m_queried;
    QList<std::weak_ptr<ITestElement>> m_finished;
};

} // namespace kelto::host
