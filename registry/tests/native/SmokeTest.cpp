#include <gtest/gtest.h>

#include "registry/Errors.h"

TEST(Errors, DescribesOverflow) { EXPECT_STREQ(gt3::Describe(gt3::ErrorNumber::Overflow), "Overflow"); }
