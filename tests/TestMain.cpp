#include <gtest/gtest.h>

// One entry point for every test executable; application-level suites add their Qt
// application object here.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
