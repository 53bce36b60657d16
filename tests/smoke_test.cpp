#include <gtest/gtest.h>

#include "diag/common.h"

TEST(Smoke, PowerOfTwo) {
    EXPECT_TRUE(coffhex::is_power_of_two(8));
    EXPECT_FALSE(coffhex::is_power_of_two(0));
    EXPECT_FALSE(coffhex::is_power_of_two(12));
}
