#include <gtest/gtest.h>

#include "vumeter.h"

TEST(VUMeter, StartsAtItsInitialSize) {
    TVUMeter meter;
    EXPECT_EQ(meter.width(), 127);
    EXPECT_EQ(meter.height(), 38);
}
