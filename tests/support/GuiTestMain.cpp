// Test main of the window tests: a QApplication on the offscreen platform, whatever display the
// session has, with one screen of a small laptop (1366 x 768), and the runtime's numeric locale
// rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "base/QtRuntime.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen:configfile=" BRIMSAL_TEST_SCREEN, 1);
    QApplication application(argc, argv);
    brimsal::UseUserNumericLocale();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
