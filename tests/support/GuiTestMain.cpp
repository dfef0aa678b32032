// SPDX-License-Identifier: GPL-3.0-or-later
// main() of the test programs that need a QApplication, on the platform the
// build names: "offscreen" for widgets without a screen, "xcb" for tests
// against the X server of tests/fixtures/session --x11.
#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", SCRIVLET_TEST_PLATFORM);
    // Listing the tests (ctest does it to learn their names) needs no display.
    const bool listing = std::any_of(argv, argv + argc,
        [](const char *arg) { return std::strstr(arg, "--gtest_list_tests") != nullptr; });
    if (!listing && std::strcmp(SCRIVLET_TEST_PLATFORM, "xcb") == 0
        && qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "needs an X server: run it inside tests/fixtures/session --x11\n");
        return 1;
    }
    std::optional<QApplication> app;
    if (!listing)
        app.emplace(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
