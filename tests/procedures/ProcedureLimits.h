#pragma once
// Limits for the run tests: one standard on the element with values for a key,
// selected in the test setup.

#include <cmath>

#include <gtest/gtest.h>

#include "host/TestSetup.h"
#include "platform/interfaces/Standards.h"
#include "platform/interfaces/TestData.h"
#include "tests/framework/LimitTestDoubles.h"

namespace kelto::test {

// NaN leaves that side without a value.
inline void limitTo(const Ptr<ITestElement>& element, const Ptr<host::TestSetup>& setup, const QString& key, float high, float low)
{
    const QString alpha = QStringLiteral("IEC");
    const QString complete = QStringLiteral("IEC 60601");
    const Ptr<IStandard> standard = element->Limits()->CreateStandard(alpha, complete);
    const Ptr<ILimit> limit = standard->FindLimit(key);
    ASSERT_TRUE(limit) << key.toStdString();
    if (!std::isnan(high))
        limit->SetValue(elvHigh, high);
    if (!std::isnan(low))
        limit->SetValue(elvLow, low);
    setup->setSelectedStandards(testing::makeCollection({testing::makeStandard(alpha, complete, {})}));
}

} // namespace kelto::test
