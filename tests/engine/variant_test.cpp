// How property values describe themselves, for people and for the tests that compare them.
#include "variant.h"

#include <gtest/gtest.h>

#include <cmath>

using engine::Variant;

TEST(Variant, Describe)
{
    EXPECT_EQ(Variant().describe(), "Null");
    EXPECT_EQ(Variant::boolean(true).describe(), "True");
    EXPECT_EQ(Variant::boolean(false).describe(), "False");
    EXPECT_EQ(Variant::number(60).describe(), "60");
    EXPECT_EQ(Variant::number(-100000).describe(), "-100000");
    EXPECT_EQ(Variant::number(0.1).describe(), "0.1");
    EXPECT_EQ(Variant::number(2147483647.0).describe(), "2147483647");
    EXPECT_EQ(Variant::number(1e300).describe(), "1e+300");
    EXPECT_EQ(Variant::number(std::nan("")).describe(), "nan");
    EXPECT_EQ(Variant::text("a \"b\"").describe(), "\"a \"b\"\"");
    // Kinds never compare equal across: a text "1" is no number 1, False is no 0.
    EXPECT_NE(Variant::text("1"), Variant::number(1));
    EXPECT_NE(Variant::boolean(false), Variant::number(0));
    EXPECT_NE(Variant(), Variant::text(""));
}
