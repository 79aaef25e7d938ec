// The not-equal rule every property comparison uses.
#include "value_compare.h"

#include <gtest/gtest.h>

using dualyn::ValuesDiffer;
using engine::Variant;

TEST(ValuesDiffer, NumbersByValueWhateverTheirWidth)
{
    EXPECT_FALSE(ValuesDiffer(Variant::number(60), Variant::number(60.0)));
    EXPECT_FALSE(ValuesDiffer(Variant::number(255), Variant::number(255)));  // a Byte against a Long
    EXPECT_TRUE(ValuesDiffer(Variant::number(4), Variant::number(10)));
    EXPECT_TRUE(ValuesDiffer(Variant::number(0.1), Variant::number(0.10000001)));
}

TEST(ValuesDiffer, BooleansAsMinusOneAndZero)
{
    EXPECT_FALSE(ValuesDiffer(Variant::boolean(true), Variant::number(-1)));
    EXPECT_FALSE(ValuesDiffer(Variant::boolean(false), Variant::number(0)));
    EXPECT_TRUE(ValuesDiffer(Variant::boolean(true), Variant::number(1)));
    EXPECT_TRUE(ValuesDiffer(Variant::boolean(true), Variant::boolean(false)));
    EXPECT_FALSE(ValuesDiffer(Variant::number(-1), Variant::boolean(true)));
}

TEST(ValuesDiffer, TextsExactlyAndCaseSensitively)
{
    EXPECT_FALSE(ValuesDiffer(Variant::text("Like \"a*\""), Variant::text("Like \"a*\"")));
    EXPECT_TRUE(ValuesDiffer(Variant::text("a"), Variant::text("A")));
    EXPECT_TRUE(ValuesDiffer(Variant::text("a"), Variant::text("a ")));
    EXPECT_TRUE(ValuesDiffer(Variant::text(""), Variant::text(" ")));
    EXPECT_TRUE(ValuesDiffer(Variant::text("60"), Variant::number(60)));
    EXPECT_TRUE(ValuesDiffer(Variant::boolean(false), Variant::text("")));
}

TEST(ValuesDiffer, NullNeverDiffers)
{
    for (const Variant& other : {Variant(), Variant::text(""), Variant::text("x"), Variant::number(0), Variant::boolean(true)}) {
        EXPECT_FALSE(ValuesDiffer(Variant(), other)) << other.describe();
        EXPECT_FALSE(ValuesDiffer(other, Variant())) << other.describe();
    }
}
