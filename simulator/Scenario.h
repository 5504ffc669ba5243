#pragma once
// How the simulated analyser answers: its version, its readings, when held
// readings are released, and the fault modes. Set from the command line
// (--fault NAME[=ARG]) or a scenario file with one "key value" per line:
//
//   # a model that lacks the pacer tests, on a slow line
//   fault banner=1500:BPM,PAC,PAW,PAV
//   fault chunks=3:40
//   discharge-after 0
//   reading CRG=4.8
//   reading W01=OK|1    # acknowledged "OK", then "1" from the second on
//
// Keys: fault, firmware, reading, discharge-after (ms; -1 holds until a discharge
// is asked for), pacing (on/off). Faults: no-reply[=WORDS], late=MS[:WORDS],
// over[=WORDS], banner[=MS[:WORDS]], version=TEXT, garbled-version,
// chunks=N[:GAPMS], vanish-after=N, held=keep|drop|cancel|newest|queue,
// order=asked|reverse, burst[=MS], line-end=lf|cr|none[:WORDS]. WORDS is a comma list
// such as CRG,WSP.

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

namespace kelto::sim {

// A set of command words; empty with all set means every word.
struct WordSet {
    bool all = false;
    QSet<QString> words;
    bool contains(const QString& word) const { return all || words.contains(word); }
    bool isEmpty() const { return !all && words.isEmpty(); }
};

// What becomes of a held reading the link stopped waiting for. Each request is
// answered with a line of its own, a word asked twice twice. keep: it stays through
// "[Q]" and "[VER]", and one discharge (or pacing) answers every held reading,
// oldest first. drop: as keep, but "[Q]" and "[VER]" end every held reading.
// cancel: any new command ends every held reading. newest: a new held reading takes
// the place of the one held. queue: each request stays, and one discharge (or
// pacing) answers only the oldest.
enum class HeldMode { Keep, Drop, Cancel, Newest, Queue };

struct Scenario {
    QString firmware = QStringLiteral("2.13");
    bool garbledVersion = false;
    QHash<QString, QString> readings = defaultReadings();
    int dischargeAfterMs = 2000;
    bool pacing = true;

    WordSet noReply;
    int lateMs = 0;
    WordSet late;
    WordSet over;
    int bannerMs = -1;
    WordSet banner;
    int chunks = 1;
    int chunkGapMs = 30;
    int vanishAfter = -1;
    HeldMode held = HeldMode::Keep;
    // The readings one discharge (or pacing) answers go out newest first: an
    // analyser with an order of its own.
    bool newestFirst = false;
    // -1: bytes reach the line end one at a time at wire speed. 0 or more: as from
    // a USB serial adapter, a reply arrives in one write once the line has been
    // quiet that many milliseconds, with the replies it closely followed.
    int burstMs = -1;
    // The answers to these words end with this in place of CR LF, as from an analyser
    // (or another device) that ends its lines otherwise, or not at all.
    QByteArray lineEnd = QByteArrayLiteral("\r\n");
    WordSet lineEndWords;

    static QHash<QString, QString> defaultReadings();
};

// "[CRG]", "crg" and "CRG" all name the word "CRG".
QString commandWord(const QString& text);

// Readings the analyser holds until a discharge into it.
bool isDischargeReading(const QString& word);
// Readings the analyser holds until the pacer paces into it.
bool isPacerReading(const QString& word);
// "W01".."W24" and "WSP".
bool isWaveformCommand(const QString& word);

bool applyFault(Scenario& scenario, const QString& faultText, QString* error);
bool applySetting(Scenario& scenario, const QString& key, const QString& value, QString* error);
bool loadScenarioFile(Scenario& scenario, const QString& path, QString* error);

} // namespace kelto::sim
