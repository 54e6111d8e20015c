#include <gtest/gtest.h>

#include <cstdlib>

#include "app/zorvane_application.h"
#include "tests/support/temp_dir.h"

// One application object for every test, as in the program; headless unless
// the caller picked a platform. The user's own settings and history stay out
// of reach: the configuration and data folders are temporary ones, chosen
// before the application object reads them, and each window test gets fresh
// ones of its own inside (window_fixture.h).
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const testsupport::TempDir config("zorvane_app_config");
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const testsupport::TempDir data("zorvane_app_data");
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    app::ZorvaneApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
