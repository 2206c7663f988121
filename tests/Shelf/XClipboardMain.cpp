#include "XDesktop.h"

#include <QGuiApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

int applicationArgc = 1;
char applicationName[] = "ClipboardX11Tests";
char* applicationArgv[] = {applicationName, nullptr};

// Each test process gets an X server of its own and an application on it, made only when tests
// run (listing them must not start servers).
class XApplication : public testing::Environment {
public:
    void SetUp() override {
        if (const auto missing = orlet::test::XDesktop::missingTools(false)) {
            GTEST_SKIP() << *missing;
        }
        desktop_ = orlet::test::XDesktop::startXvfb(640, 480);
        runtime_ = std::make_unique<orlet::test::TemporaryDirectory>("/tmp/orlet-runtime-");
        setenv("DISPLAY", desktop_->display().c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("XDG_RUNTIME_DIR", runtime_->path().c_str(), 1);
        application_ = std::make_unique<QGuiApplication>(applicationArgc, applicationArgv);
    }

    void TearDown() override {
        application_.reset();
        desktop_.reset();
        runtime_.reset();
    }

    static orlet::test::XDesktop& desktop() { return *desktop_; }

private:
    static inline std::unique_ptr<orlet::test::XDesktop> desktop_;
    std::unique_ptr<orlet::test::TemporaryDirectory> runtime_;
    std::unique_ptr<QGuiApplication> application_;
};

} // namespace

namespace orlet::test {
XDesktop& testDesktop() {
    return XApplication::desktop();
}
} // namespace orlet::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XApplication); // gtest owns it
    return RUN_ALL_TESTS();
}
