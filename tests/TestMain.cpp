#include <gtest/gtest.h>

#if defined(ORLET_TEST_GUI)
#include <QGuiApplication>
#elif defined(ORLET_TEST_QT)
#include <QCoreApplication>
#endif

#include <cstdlib>

// One entry point for every test executable. Suites of the application get a Qt application
// object (windows on the offscreen platform unless a test names a display).
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if defined(ORLET_TEST_GUI)
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QGuiApplication application(argc, argv);
#elif defined(ORLET_TEST_QT)
    QCoreApplication application(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
