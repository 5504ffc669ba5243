#pragma once
// The host's test list: top-level elements in the order added, and for each
// element the children added under it (groups).

#include <QList>

#include "platform/interfaces/TestElement.h"

namespace kelto::host {

class TestList : public ITestList {
public:
    // parent null adds at the top level; flags carry nothing the list needs.
    void Add(const Ptr<ITestElement>& element, const Ptr<ITestElement>& parent, std::int32_t flags) override;
    int Count() override { return static_cast<int>(m_top.size()); }
    Ptr<ITestElement> ItemAt(int index) override;
    // The first element of that test id, top level first, then inside groups.
    Ptr<ITestElement> Item(std::int32_t testId) override;
    QList<Ptr<ITestElement>> Children(const Ptr<ITestElement>& parent) override;
    // Terminates every element held and empties the list.
    void Terminate() override;

private:
    struct Group {
        Ptr<ITestElement> parent;
        QList<Ptr<ITestElement>> children;
    };
    QList<Ptr<ITestElement>> m_top;
    QList<Group> m_groups;
};

} // namespace kelto::host
