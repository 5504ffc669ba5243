#include <gtest/gtest.h>

#include "tests/support/Errors.h"

#include "platform/PluginError.h"
#include "platform/Variant.h"

using namespace kelto;

namespace {


class Thing : public IObject {};

} // namespace

TEST(Variant, KeepsEmptyNullAndNothingApart)
{
    const Variant empty;
    const Variant null = Variant::null();
    const Variant nothing = Variant::nothing();
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
    EXPECT_TRUE(null.isNull());
    EXPECT_FALSE(null.isEmpty());
    EXPECT_TRUE(nothing.isNothing());
    EXPECT_TRUE(nothing.isObject());
    EXPECT_FALSE(empty.isNothing());
    EXPECT_NE(empty, null);
    EXPECT_NE(empty, nothing);
    EXPECT_NE(empty, Variant(QString()));
}

TEST(Variant, EmptyConvertsToZeroAndEmptyTextButNullRaises)
{
    EXPECT_EQ(Variant().toLong(), 0);
    EXPECT_EQ(Variant().toString(), QString());
    EXPECT_FALSE(Variant().toBool());
    EXPECT_EQ(errorNumberOf([] { Variant::null().toString(); }), vberr::InvalidUseOfNull);
    EXPECT_EQ(errorNumberOf([] { Variant::null().toDouble(); }), vberr::InvalidUseOfNull);
}

TEST(Variant, KeepsTheNumberKinds)
{
    EXPECT_EQ(Variant(std::int16_t(5)).type(), VarType::Integer);
    EXPECT_EQ(Variant(std::int32_t(5)).type(), VarType::Long);
    EXPECT_EQ(Variant(1.5f).type(), VarType::Single);
    EXPECT_EQ(Variant(1.5).type(), VarType::Double);
    EXPECT_NE(Variant(std::int16_t(5)), Variant(std::int32_t(5)));
}

TEST(Variant, WritesNumbersAsAutomationDoes)
{
    EXPECT_EQ(Variant(196.4f).toString(), QStringLiteral("196.4"));
    EXPECT_EQ(Variant(0.1).toString(), QStringLiteral("0.1"));
    EXPECT_EQ(Variant(true).toString(), QStringLiteral("True"));
    EXPECT_EQ(Variant(std::int32_t(-7)).toString(), QStringLiteral("-7"));
}

TEST(Variant, ConvertsTextStrictlyToNumbers)
{
    EXPECT_EQ(Variant(QStringLiteral("12.5")).toLong(), 12);
    EXPECT_EQ(Variant(QStringLiteral("13.5")).toInteger(), 14);
    EXPECT_EQ(errorNumberOf([] { Variant(QStringLiteral("12 s")).toLong(); }), vberr::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Variant(QStringLiteral("70000")).toInteger(); }), vberr::Overflow);
    EXPECT_TRUE(Variant(QStringLiteral("true")).toBool());
    EXPECT_FALSE(Variant(QStringLiteral("0")).toBool());
}

TEST(Variant, TrueIsMinusOneAsANumber)
{
    EXPECT_EQ(Variant(true).toLong(), -1);
}

TEST(Variant, HoldsObjectsByReferenceAndComparesByIdentity)
{
    auto a = std::make_shared<Thing>();
    const Variant va(a);
    EXPECT_EQ(va.toInterface<Thing>(), a);
    EXPECT_EQ(va, Variant(a));
    EXPECT_NE(va, Variant(std::make_shared<Thing>()));
    EXPECT_EQ(errorNumberOf([&] { va.toDouble(); }), vberr::TypeMismatch);
    EXPECT_EQ(errorNumberOf([] { Variant(1.0).toObject(); }), vberr::TypeMismatch);
}

TEST(Variant, HoldsArrays)
{
    const Variant v(VariantArray{Variant(1.0), Variant(QStringLiteral("x"))});
    ASSERT_TRUE(v.isArray());
    EXPECT_EQ(v.toArray().size(), 2);
    EXPECT_EQ(v.toArray()[1].toString(), QStringLiteral("x"));
}
