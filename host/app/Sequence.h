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
    // A technician's sequence holds tens of tests; a file with more items than
    // this is refused unread.
    static constexpr int kMaxItems = 1000;

    QList<Ptr<ITestElement>>& elements() { return m_elements; }
    const QList<Ptr<ITestElement>>& elements() const { return m_elements; }

    // Adds a new element of a test type made by the plug-in.
    Ptr<ITestElement> add(IPlugIn& plugIn, std::int32_t testId);

    // Written atomically: a failed save leaves the previous file as it was.
    bool save(const QString& file, QString* error) const;
    // Replaces the elements with those of the file; on failure nothing changes.
    // Only a regular file is read.
    bool load(const QString& file, IPlugIn& plugIn, QString* error);

private:
    QList<Ptr<ITestElement>> m_elements;
};

// An element as the window and the report name it: its name, or "Test <id>".
QString elementTitle(const Ptr<ITestElement>& element);
// Its result's status ("passed", "failed", ...); empty when it has no result.
QString resultStatusText(const Ptr<ITestElement>& element);

} // namespace kelto::host
