#include <gtest/gtest.h>

#include "vyr.h"

TEST(string_test, stricmp_folds_ascii_case) {
    EXPECT_EQ(stricmp("Std", "std"), 0);
    EXPECT_EQ(strnicmp("date=0815", "date", 4), 0);
}
