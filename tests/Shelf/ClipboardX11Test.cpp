#include "Platform/DefaultsStore.h"
#include "Platform/SystemClock.h"
#include "Shelf/ClipboardHistory.h"
#include "Shelf/QtPasteboard.h"
#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <QClipboard>
#include <QGuiApplication>
#include <fstream>
#include <gtest/gtest.h>

namespace orlet::test {
XDesktop& testDesktop();
} // namespace orlet::test

namespace orlet {
namespace {

using namespace std::chrono_literals;
using test::eventually;

bool settles(const std::function<bool()>& condition) {
    return eventually(
        [&condition] {
            QCoreApplication::processEvents();
            return condition();
        },
        15s);
}

// The history on the X server's CLIPBOARD, with xclip and a second Qt program as the other
// programs that copy.
class ClipboardX11Test : public testing::Test {
protected:
    void SetUp() override { history.setEnabled(true); }

    // xclip takes the clipboard with `text` and serves it until another program takes it.
    void xclip(const std::string& text) {
        const auto file = directory.path() / ("copy" + std::to_string(owners.size()));
        std::ofstream(file) << text;
        owners.push_back(test::testDesktop().launch(
            {"xclip", "-quiet", "-selection", "clipboard", file.string()}));
    }

    // Until the history has looked at the change after `count`, whatever it made of it.
    void waitForChangeAfter(std::uint64_t count) {
        ASSERT_TRUE(settles([&] { return pasteboard->changeCount() > count; }));
        QCoreApplication::processEvents(); // the look itself comes queued
    }

    void copyAndSee(const std::string& text, const QString& expected) {
        xclip(text);
        ASSERT_TRUE(settles([&] {
            return !history.entries().empty() && history.entries().front().text == expected;
        })) << "not recorded: "
            << expected.left(40).toStdString();
    }

    QStringList texts() const {
        QStringList list;
        for (const auto& entry : history.entries()) {
            list << entry.text;
        }
        return list;
    }

    test::TemporaryDirectory directory;
    DefaultsStore defaults{QString::fromStdString((directory.path() / "defaults.json").string())};
    SystemClock clock;
    std::shared_ptr<QtPasteboard> pasteboard =
        std::make_shared<QtPasteboard>(*QGuiApplication::clipboard());
    ClipboardHistory history{clock, defaults, pasteboard};
    std::vector<std::unique_ptr<test::BackgroundProcess>> owners;
};

TEST_F(ClipboardX11Test, CopiesAreRecordedInOrderAndARepeatMovesToTheTop) {
    copyAndSee("alpha\n", "alpha");
    copyAndSee("  beta  ", "beta");
    copyAndSee("gamma", "gamma");
    copyAndSee("alpha", "alpha");
    EXPECT_EQ(texts(), (QStringList{"alpha", "gamma", "beta"}));
}

TEST_F(ClipboardX11Test, APasswordMarkedSecretIsSkippedAndALaterCopyIsNot) {
    const std::uint64_t before = pasteboard->changeCount();
    auto keepass =
        test::testDesktop().launch({ORLET_CLIPBOARD_OWNER_PATH, "text/plain=correct horse",
                                    "x-kde-passwordManagerHint=secret"},
                                   {{"QT_QPA_PLATFORM", "xcb"}});
    ASSERT_TRUE(keepass->waitForOut("owned")) << keepass->err();
    waitForChangeAfter(before);
    EXPECT_TRUE(history.entries().empty());
    // The clipboard really holds the password for everybody else.
    ASSERT_TRUE(eventually([&] {
        auto reader = test::testDesktop().launch({"xclip", "-o", "-selection", "clipboard"});
        return reader->waitForExit(5s) && reader->out() == "correct horse";
    }));
    copyAndSee("after", "after");
    EXPECT_EQ(texts(), (QStringList{"after"}));
}

TEST_F(ClipboardX11Test, CopyingBackServesTheTextAndRecordsItOnce) {
    copyAndSee("one", "one");
    copyAndSee("two", "two");
    history.copy(history.entries()[1]);
    EXPECT_EQ(texts(), (QStringList{"one", "two"}));

    auto reader = test::testDesktop().launch({"xclip", "-o", "-selection", "clipboard"});
    std::optional<test::BackgroundProcess::Exit> exit;
    // The reader waits for us to answer, so the event loop must run meanwhile.
    ASSERT_TRUE(settles([&] { return (exit = reader->waitForExit(1ms)).has_value(); }));
    EXPECT_EQ(reader->out(), "one");

    copyAndSee("three", "three");
    EXPECT_EQ(texts(), (QStringList{"three", "one", "two"})) << "our own copy came back once";
}

TEST_F(ClipboardX11Test, HoldsTwentyFiveEntriesAndRefusesOverLongTexts) {
    for (int i = 1; i <= 26; ++i) {
        copyAndSee("copy " + std::to_string(i), QString("copy %1").arg(i));
    }
    EXPECT_EQ(history.entries().size(), 25u);
    EXPECT_EQ(texts().back(), "copy 2");

    const std::uint64_t before = pasteboard->changeCount();
    xclip(std::string(10001, 'x'));
    waitForChangeAfter(before);
    EXPECT_EQ(texts().front(), "copy 26");
    copyAndSee(std::string(10000, 'y'), QString(10000, 'y'));
    EXPECT_EQ(texts()[1], "copy 26") << "the over-long copy left no entry";
}

} // namespace
} // namespace orlet
