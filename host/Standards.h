#pragma once
// The host's standards catalogue: limit, relative limit, standard and standards
// collection.
//
// Saved form (the content of the limits' "ExpectedResult" element; the collection
// writes it as "Standards" and the caller renames it):
//
//   <Standards>
//     <Standard Alpha="EN" Complete="EN 60601-2-4" Flags="1">
//       <Limit Key="ENGY" Unit="J">
//         <High Formula="X+(X*Y%)" Value="15"/>
//         <Low Formula="X+(X*Y%)" Value="-15"/>
//       </Limit>
//     </Standard>
//   </Standards>
//
// "High" is limit index 0 and "Low" index 1; an index that has neither value nor
// formula is left out, and so is an absent Value or an empty Formula. Each side keeps
// its own formula; a side without one computes with the other side's, so a formula
// given on one side only (as the built-in limits give it) makes both sides relative.
// Formulas are written back as they were given. Values are written so that they read
// back to exactly the same single-precision number, with "." as the only decimal
// separator. A value that is not such a number, a formula other than those a limit
// can compute (isKnownLimitFormula), a second standard of the same names and a
// standard of more than kMaxLimitsPerStandard limits refuse the whole element with
// the file and line: none of them could be judged as the file means it.
// A standard may hold several limits of one key; each is judged. Unknown elements are
// skipped on load, so later additions stay readable by this reader.

#include <QHash>
#include <QList>
#include <QPair>
#include <array>
#include <optional>

#include "platform/PluginError.h"
#include "platform/interfaces/Standards.h"

namespace kelto::host {

// Error of the standard objects: a limit asked for a value it does not have.
constexpr std::int32_t kLimitHasNoValue = hresult(0x8004A50F);

// Far above any real standard (a test has at most a few dozen measurement keys);
// more is a wrong or hostile file, and is refused before it costs time or memory.
constexpr int kMaxLimitsPerStandard = 10000;

// Every limit can compute its value from a preset: a plain "Y" limit answers its
// value, so callers need not know which formula a limit was given after creation.
class Limit : public ILimit, public IRelativeLimit {
public:
    // Both raise for a formula that is not known, and then change nothing.
    void Initialize(const QString& key, const QString& unit, const QString& highFormula, const QString& lowFormula) override;
    QString Key() override { return m_key; }
    QString Unit() override { return m_unit; }
    bool HasValue(int index) override;
    float Value(int index) override;
    void SetValue(int index, float value) override;
    void ClearValue(int index) override;
    // The side's own formula, else the other side's.
    QString Formula(int index) override;
    void SetFormula(int index, const QString& formula) override;

    float CalculateValue(float preset, int index) override;

    // The formula an index computes with: its own, else the other side's.
    QString formula(int index) const;
    // What was given on the index itself, as it is stored.
    QString ownFormula(int index) const { return m_formulas[checkedIndex(index)]; }
    // The limit value of an index for a preset (X); a plain "Y" ignores the preset.
    float limitFor(int index, double preset) const;
    // An independent copy.
    Ptr<Limit> copy() const;

protected:
    void copyInto(Limit& other) const;

private:
    static int checkedIndex(int index);

    QString m_key;
    QString m_unit;
    std::array<std::optional<float>, 2> m_values;
    std::array<QString, 2> m_formulas;
};

// The host's relative-limit class: the same as a limit.
class RelativeLimit : public Limit {};

// "Y", "X+Y", "X+(X*Y%)" (blanks and letter case aside) or empty: the formulas a
// limit computes. Any other is refused wherever it would be taken.
bool isKnownLimitFormula(const QString& formula);
// A formula as it computes: without blanks, in capitals, "Y" for none.
QString canonicalLimitFormula(const QString& formula);

// A limit value as a file or the limit view gives it: a plain number with "." as the
// decimal separator, of at most 3.4E+38 in size; none for any other text.
std::optional<float> limitValue(const QString& text);
// Why such a text is refused as the value of a side of a limit: "The High value "1,5"
// of the limit ENGY of the standard "IEC 60601-2-4"<where> is not a number ...".
QString refusedLimitValue(int index, const QString& text, const QString& key, const QString& alphaName, const QString& where);

// Evaluates a limit formula with X the preset and Y the limit value; an empty
// formula is the value itself. Raises for a formula that is not known: a limit
// that cannot be computed judges nothing, and must not pass as its bare value.
double evaluateLimitFormula(const QString& formula, double x, double y);

class Standard : public IStandard {
public:
    QString AlphaName() override { return m_alpha; }
    QString CompleteName() override { return m_complete; }
    void SetNames(const QString& alphaName, const QString& completeName, std::int32_t flags) override;
    QList<Ptr<ILimit>> Limits() override { return m_limits; }
    // The first limit of the key.
    Ptr<ILimit> FindLimit(const QString& key) override;
    // Appended, also beside limits of the same key; refused beyond
    // kMaxLimitsPerStandard.
    void AddLimit(const Ptr<ILimit>& limit) override;
    void RemoveLimit(const QString& key) override;
    // Judged in single precision against every limit of the key: above the high or
    // below the low limit fails, a value equal to a limit passes, a side without a
    // value is not judged.
    std::int32_t CheckValue(const QString& key, float value, const Variant& preset) override;
    Ptr<IStandard> Copy() override;

    std::int32_t flags() const { return m_flags; }

private:
    QString m_alpha;
    QString m_complete;
    std::int32_t m_flags = 0;
    QList<Ptr<ILimit>> m_limits;
};

// A standard is found by the names it had when it was added, in constant time: a
// test's own standards and a run's selection may each hold thousands.
class StandardCollection : public IStandardCollection {
public:
    int Count() override { return static_cast<int>(m_standards.size()); }
    Ptr<IStandard> Item(int index) override;
    // The first standard of the names.
    Ptr<IStandard> Find(std::int32_t flags, const QString& alphaName, const QString& completeName) override;
    // The place of the first standard of the names; -1 when there is none.
    int indexOf(const QString& alphaName, const QString& completeName) const;
    // Beside one of the same names too (a selection may name a standard twice);
    // Save refuses such a collection.
    void Add(const Ptr<IStandard>& standard) override;
    void Clear() override;
    Ptr<IStandardCollection> Clone() override;
    void Load(const Ptr<IXmlElement>& element, const Ptr<IProtocolLog>& log) override;
    Ptr<IXmlElement> Save(const Ptr<IXmlDocument>& doc) override;
    // The measurement table is an array of rows, each an array (key, caption, number
    // format, measurement); a row's limit is that of its key or of the key's first
    // four characters. Without a selection every standard is printed, else those of
    // the selection in its order; the cost follows this collection, not the selection.
    void PrintReport(const Ptr<IReport>& report, const Ptr<IStandardCollection>& selected, const Variant& measurementTable) override;
    void SetOwner(const Ptr<ITestElement>& owner) override { m_owner = owner; }

    Ptr<ITestElement> owner() const { return m_owner.lock(); }

private:
    using Names = QPair<QString, QString>;
    void append(const Ptr<IStandard>& standard);

    QList<Ptr<IStandard>> m_standards;
    QHash<Names, int> m_first; // the place of the first standard of each names
    std::weak_ptr<ITestElement> m_owner; // the element holds us through its limits
};

// A copy of any limit, ours or another's.
Ptr<ILimit> copyLimit(const Ptr<ILimit>& limit);

// The limits of a standard in their saved form, the "Limit" children of its
// element; a record of what judged a result keeps them in the same form. Reading
// refuses what the collection's Load refuses, naming the file and line.
void loadLimits(IXmlElement& element, Standard& standard);
void saveLimits(IXmlDocument& doc, IStandard& standard, IXmlElement& element);

} // namespace kelto::host
