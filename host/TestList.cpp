#include "TestList.h"

#include "platform/PluginError.h"

namespace kelto::host {

void TestList::Add(const Ptr<ITestElement>& element, const Ptr<ITestElement>& parent, std::int32_t)
{
    if (!element)
        raiseError(vberr::ObjectNotSet, QStringLiteral("Kelto.TestList"), QStringLiteral("No test element was given to add to the test list."));
    if (!parent) {
        m_top.append(element);
        return;
    }
    for (auto& group : m_groups) {
        if (group.parent == parent) {
            group.children.append(element);
            return;
        }
    }
    m_groups.append({parent, {element}});
}

Ptr<ITestElement> TestList::ItemAt(int index)
{
    if (index < 0 || index >= m_top.size())
        raiseError(vberr::SubscriptOutOfRange, QStringLiteral("Kelto.TestList"), QStringLiteral("There is no test number %1 (the list holds %2).").arg(index).arg(m_top.size()));
    return m_top[index];
}

Ptr<ITestElement> TestList::Item(std::int32_t testId)
{
    for (const auto& e : m_top)
        if (e->TestID() == testId)
            return e;
    for (const auto& group : m_groups)
        for (const auto& e : group.children)
            if (e->TestID() == testId)
                return e;
    return nullptr;
}

QList<Ptr<ITestElement>> TestList::Children(const Ptr<ITestElement>& parent)
{
    for (const auto& group : m_groups)
        if (group.parent == parent)
            return group.children;
    return {};
}

void TestList::Terminate()
{
    QList<Ptr<ITestElement>> all = m_top;
    for (const auto& group : m_groups)
        all += group.children;
    m_top.clear();
    m_groups.clear();
    for (const auto& e : all)
        ignoreErrors([&] { e->Terminate(); });
}

} // namespace kelto::host
