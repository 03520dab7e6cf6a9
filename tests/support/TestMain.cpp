// Test main: starts the Qt runtime (offscreen when there is no display) before the tests.
#include <gtest/gtest.h>

#include "base/QtRuntime.h"

int main(int argc, char** argv) {
    brimsal::QtRuntime qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
