#include "Scenario.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace kelto::sim {

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

WordSet parseWords(const QString& list)
{
    WordSet set;
    if (list.trimmed().isEmpty() || list.trimmed() == QLatin1String("*")) {
        set.all = true;
        return set;
    }
    for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        set.words.insert(commandWord(part));
    return set;
}

bool parseInt(const QString& text, int* out, int minimum)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < minimum)
        return false;
    *out = value;
    return true;
}

// "MS" or "MS:WORDS"
bool parseTimeAndWords(const QString& arg, int* ms, WordSet* words)
{
    const int colon = arg.indexOf(QLatin1Char(':'));
    if (!parseInt(colon < 0 ? arg : arg.left(colon), ms, 0))
        return false;
    *words = parseWords(colon < 0 ? QString() : arg.mid(colon + 1));
    return true;
}

} // namespace

QHash<QString, QString> Scenario::defaultReadings()
{
    return {
        {QStringLiteral("CRG"), QStringLiteral("5.3")},
        {QStringLiteral("NRG"), QStringLiteral("199.6")},
        {QStringLiteral("EVT"), QStringLiteral("200.4")},
        {QStringLiteral("PVT"), QStringLiteral("2150")},
        {QStringLiteral("OCR"), QStringLiteral("41.5")},
        {QStringLiteral("OVT"), QStringLiteral("1980")},
        {QStringLiteral("STP"), QStringLiteral("38")},
        {QStringLiteral("STB"), QStringLiteral("45")},
        {QStringLiteral("BPM"), QStringLiteral("70.0")},
        {QStringLiteral("PAC"), QStringLiteral("60.2")},
        {QStringLiteral("PAW"), QStringLiteral("20.0")},
        {QStringLiteral("PAV"), QStringLiteral("12.1")},
        {QStringLiteral("PRP"), QStringLiteral("250")},
        {QStringLiteral("SRP"), QStringLiteral("300")},
    };
}

QString commandWord(const QString& text)
{
    QString word = text.trimmed().toUpper();
    if (word.startsWith(QLatin1Char('[')))
        word.remove(0, 1);
    if (word.endsWith(QLatin1Char(']')))
        word.chop(1);
    return word;
}

bool isDischargeReading(const QString& word)
{
    static const QSet<QString> words{QStringLiteral("CRG"), QStringLiteral("NRG"), QStringLiteral("EVT"), QStringLiteral("PVT"),
        QStringLiteral("OCR"), QStringLiteral("OVT"), QStringLiteral("STP"), QStringLiteral("STB")};
    return words.contains(word);
}

bool isPacerReading(const QString& word)
{
    static const QSet<QString> words{QStringLiteral("BPM"), QStringLiteral("PAC"), QStringLiteral("PAW"), QStringLiteral("PAV"),
        QStringLiteral("PRP"), QStringLiteral("SRP")};
    return words.contains(word);
}

bool isWaveformCommand(const QString& word)
{
    static const QRegularExpression wave(QStringLiteral("^W(0[1-9]|1[0-9]|2[0-4])$"));
    return word == QLatin1String("WSP") || wave.match(word).hasMatch();
}

bool applyFault(Scenario& scenario, const QString& faultText, QString* error)
{
    // A fault that cannot be read leaves the scenario as it was.
    Scenario s = scenario;
    const int eq = faultText.indexOf(QLatin1Char('='));
    const QString name = (eq < 0 ? faultText : faultText.left(eq)).trimmed().toLower();
    const QString arg = eq < 0 ? QString() : faultText.mid(eq + 1).trimmed();
    if (name == QLatin1String("no-reply")) {
        s.noReply = parseWords(arg);
    } else if (name == QLatin1String("late")) {
        if (!parseTimeAndWords(arg, &s.lateMs, &s.late))
            return fail(error, QStringLiteral("late needs MS[:WORDS], not \"%1\"").arg(arg));
    } else if (name == QLatin1String("over")) {
        s.over = parseWords(arg);
    } else if (name == QLatin1String("banner")) {
        s.bannerMs = 1500;
        s.banner.all = true;
        if (!arg.isEmpty() && !parseTimeAndWords(arg, &s.bannerMs, &s.banner))
            return fail(error, QStringLiteral("banner needs [MS[:WORDS]], not \"%1\"").arg(arg));
    } else if (name == QLatin1String("version")) {
        s.firmware = arg;
    } else if (name == QLatin1String("garbled-version")) {
        s.garbledVersion = true;
    } else if (name == QLatin1String("chunks")) {
        const int colon = arg.indexOf(QLatin1Char(':'));
        if (!parseInt(colon < 0 ? arg : arg.left(colon), &s.chunks, 1)
            || (colon >= 0 && !parseInt(arg.mid(colon + 1), &s.chunkGapMs, 0)))
            return fail(error, QStringLiteral("chunks needs N[:GAPMS], not \"%1\"").arg(arg));
    } else if (name == QLatin1String("held")) {
        const QString mode = arg.toLower();
        if (mode == QLatin1String("keep"))
            s.held = HeldMode::Keep;
        else if (mode == QLatin1String("drop"))
            s.held = HeldMode::Drop;
        else if (mode == QLatin1String("cancel"))
            s.held = HeldMode::Cancel;
        else if (mode == QLatin1String("newest"))
            s.held = HeldMode::Newest;
        else if (mode == QLatin1String("queue"))
            s.held = HeldMode::Queue;
        else
            return fail(error, QStringLiteral("held is keep, drop, cancel, newest or queue, not \"%1\"").arg(arg));
    } else if (name == QLatin1String("order")) {
        const QString order = arg.toLower();
        if (order != QLatin1String("asked") && order != QLatin1String("reverse"))
            return fail(error, QStringLiteral("order is asked or reverse, not \"%1\"").arg(arg));
        s.newestFirst = order == QLatin1String("reverse");
    } else if (name == QLatin1String("burst")) {
        s.burstMs = 0;
        if (!arg.isEmpty() && !parseInt(arg, &s.burstMs, 0))
            return fail(error, QStringLiteral("burst needs [MS], not \"%1\"").arg(arg));
    } else if (name == QLatin1String("line-end")) {
        const int colon = arg.indexOf(QLatin1Char(':'));
        const QString end = (colon < 0 ? arg : arg.left(colon)).toLower();
        if (end != QLatin1String("lf") && end != QLatin1String("cr") && end != QLatin1String("none"))
            return fail(error, QStringLiteral("line-end needs lf|cr|none[:WORDS], not \"%1\"").arg(arg));
        s.lineEnd = end == QLatin1String("lf") ? QByteArray("\n") : end == QLatin1String("cr") ? QByteArray("\r") : QByteArray();
        s.lineEndWords = parseWords(colon < 0 ? QString() : arg.mid(colon + 1));
    } else if (name == QLatin1String("vanish-after")) {
        if (!parseInt(arg, &s.vanishAfter, 0))
            return fail(error, QStringLiteral("vanish-after needs a number of commands, not \"%1\"").arg(arg));
    } else {
        return fail(error, QStringLiteral("unknown fault \"%1\"").arg(name));
    }
    scenario = std::move(s);
    return true;
}

bool applySetting(Scenario& s, const QString& key, const QString& value, QString* error)
{
    const QString k = key.trimmed().toLower();
    if (k == QLatin1String("fault"))
        return applyFault(s, value, error);
    if (k == QLatin1String("firmware")) {
        s.firmware = value.trimmed();
        return true;
    }
    if (k == QLatin1String("reading")) {
        const int eq = value.indexOf(QLatin1Char('='));
        if (eq < 1)
            return fail(error, QStringLiteral("reading needs WORD=TEXT, not \"%1\"").arg(value));
        // Blanks around the answer go; any other byte is sent as given, line noise among them.
        QString answer = value.mid(eq + 1);
        while (answer.endsWith(QLatin1Char(' ')) || answer.endsWith(QLatin1Char('\t')))
            answer.chop(1);
        while (answer.startsWith(QLatin1Char(' ')) || answer.startsWith(QLatin1Char('\t')))
            answer.remove(0, 1);
        s.readings.insert(commandWord(value.left(eq)), answer);
        return true;
    }
    if (k == QLatin1String("discharge-after")) {
        if (!parseInt(value, &s.dischargeAfterMs, -1))
            return fail(error, QStringLiteral("discharge-after needs milliseconds or -1, not \"%1\"").arg(value));
        return true;
    }
    if (k == QLatin1String("pacing")) {
        const QString v = value.trimmed().toLower();
        if (v != QLatin1String("on") && v != QLatin1String("off"))
            return fail(error, QStringLiteral("pacing is on or off, not \"%1\"").arg(value));
        s.pacing = v == QLatin1String("on");
        return true;
    }
    return fail(error, QStringLiteral("unknown setting \"%1\"").arg(key));
}

bool loadScenarioFile(Scenario& s, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    QTextStream in(&file);
    int lineNumber = 0;
    while (!in.atEnd()) {
        ++lineNumber;
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int space = line.indexOf(QRegularExpression(QStringLiteral("\\s")));
        const QString key = space < 0 ? line : line.left(space);
        const QString value = space < 0 ? QString() : line.mid(space + 1).trimmed();
        QString why;
        if (!applySetting(s, key, value, &why))
            return fail(error, QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(why));
    }
    return true;
}

} // namespace kelto::sim
