#include "host/data/value.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using aph::Value;

TEST(Value, NullEmptyStringAndZeroAreDistinct)
{
    const Value null;
    const Value empty = Value::FromString(u"");
    const Value zero = Value::FromNumber(0.0);
    EXPECT_TRUE(null.IsNull());
    EXPECT_TRUE(empty.IsString());
    EXPECT_TRUE(zero.IsNumber());
    EXPECT_FALSE(null == empty);
    EXPECT_FALSE(null == zero);
    EXPECT_FALSE(empty == zero);
    EXPECT_LT(null.Compare(zero), 0);
    EXPECT_LT(zero.Compare(empty), 0);
}

TEST(Value, InlineAndSharedStringsKeepTheirText)
{
    const QString shortText = u"seg"_s;
    const QString edge = u"123456789012345"_s; // 15 bytes: still inline
    const QString longText = u"Ocorrência de hora extra autorizada pelo cliente"_s;
    for (const QString& text : {shortText, edge, longText}) {
        Value v = Value::FromString(text);
        Value copy = v;
        Value moved = std::move(v);
        EXPECT_EQ(copy.ToString(), text);
        EXPECT_EQ(moved.ToString(), text);
        EXPECT_EQ(copy.StringLength(), text.size());
        copy = moved; // self-family assignment keeps the shared buffer alive
        EXPECT_EQ(copy.ToString(), text);
    }
}

TEST(Value, StringsOrderByCodePoint)
{
    EXPECT_LT(Value::FromString(u"abc").Compare(Value::FromString(u"abd")), 0);
    EXPECT_LT(Value::FromString(u"ab").Compare(Value::FromString(u"abc")), 0);
    EXPECT_GT(Value::FromString(u"é").Compare(Value::FromString(u"z")), 0);
    EXPECT_EQ(Value::FromNumber(-1).Compare(Value::FromNumber(2)), -1);
}
