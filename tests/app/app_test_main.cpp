#include <gtest/gtest.h>

#include <cstdlib>

#include "app/zorvane_application.h"

// One application object for every test, as in the program; headless unless
// the caller picked a platform.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    app::ZorvaneApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
