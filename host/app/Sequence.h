#pragma once
// A test sequence: the test elements a technician runs in order, kept in an XML
// file. Each element is stored in its own saved form, wrapped with its test id so
// that the plug-in can create the element again before it loads it:
//
//   <TestSequence PlugIn="TarvoX">
//     <Item TestID="300"> ...the element's saved form... </Item>
//   </TestSequence>

#include <QList>
#include <QString>

#include "platform/interfaces/PlugIn.h"
#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class Sequence {
public:
    QList<Ptr<ITestElement>>& elements() { return m_elements; }
    const QList<Ptr<ITestElement>>& elements() const { return m_elements; }

    // Adds a new element of a test type made by the plug-in.
    Ptr<ITestElement> add(IPlugIn& plugIn, std::int32_t testId);

    // Written atomically: a failed save leaves the previous file as it was.
    bool save(const QString& file, QString* error) const;
    // Replaces the elements with those of the file; on failure nothing changes.
    bool load(const QString& file, IPlugIn& plugIn, QString* error);

private:
    QList<Ptr<ITestElement>> m_elements;
};

// An element as the window and the report name it: its name, or "Test <id>".
QString elementTitle(const Ptr<ITestElement>& element);
// Its result's status ("passed", "failed", ...); empty when it has no result. A
// passed result that no limit of the selected standards judged says so:
// "passed (no limits: not judged)".
QString resultStatusText(const Ptr<ITestElement>& element, const Ptr<IStandardCollection>& selected);

} // namespace kelto::host
