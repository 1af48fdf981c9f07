#include <gtest/gtest.h>

#include "recorder/MZFlipView.h"

TEST(MZFlipView, IsFlipped) { EXPECT_TRUE(MZFlipView().isFlipped()); }
