// Numbers for machines keep their decimal point whatever the user's locale.
#include "base/numbers.hpp"

#include <gtest/gtest.h>

#include "tests/support/decimal_comma_locale.hpp"

namespace camvault {
namespace {

TEST(Numbers, PointNotCommaUnderAGermanLocale) {
    CAMVAULT_WITH_DECIMAL_COMMA(german);
    EXPECT_EQ(fixed_decimals(1.6000000238418579, 6), "1.600000");
    EXPECT_EQ(fixed_decimals(-0.0005, 3), "-0.001");
    EXPECT_EQ(fixed_decimals(1080, 6), "1080.000000");
    EXPECT_DOUBLE_EQ(parse_decimal("5130.1234,N"), 5130.1234);
    EXPECT_DOUBLE_EQ(parse_decimal("  -12.5e1x"), -125.0);
    EXPECT_DOUBLE_EQ(parse_decimal("+7"), 7.0);
    EXPECT_EQ(parse_decimal(""), 0.0);
    EXPECT_EQ(parse_decimal("N"), 0.0);
}

}  // namespace
}  // namespace camvault
