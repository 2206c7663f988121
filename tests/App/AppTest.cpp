#include "App/AppDelegate.h"
#include "App/SingleInstance.h"
#include "App/Updates.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Preferences.h"
#include "QtTestSupport.h"
#include "TemporaryDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace orlet {
namespace {

TEST(AppDelegate, HandsOnlyOrletURLsToTheCoordinatorInOrder) {
    // The delegate loads the user's settings: keep them in a private folder.
    test::TemporaryDirectory config;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path().string()));
    AppDelegate delegate;
    QStringList handled;
    {
        test::LogCapture log;
        delegate.open({"orlet://expand", "https://example.org", "ORLET://collapse",
                       "orlet:tab?name=media", "no scheme", "orlet://toggle"});
        for (const auto& line : log.lines()) {
            if (line.message.startsWith(QLatin1String("Ignoring URL command "))) {
                handled << line.message.section(QLatin1Char(' '), 3);
            }
        }
    }
    EXPECT_EQ(handled, (QStringList{"orlet://expand", "orlet:tab?name=media", "orlet://toggle"}));
}

TEST(Preferences, RegisteredDefaultsApplyUntilWritten) {
    test::TemporaryDirectory directory;
    DefaultsStore store(QString::fromStdString((directory.path() / "defaults.json").string()));
    Preferences::registerDefaults(store);
    EXPECT_EQ(store.boolValue("hud.show"), true);
    EXPECT_EQ(store.boolValue("hud.replaceSystem"), false);
    EXPECT_EQ(store.boolValue("alerts.enabled"), true);
    store.set("hud.show", false);
    EXPECT_EQ(store.boolValue("hud.show"), false);
}

TEST(Updates, StartsOnceAndHasNoControllerOnLinux) {
    Updates::shared().start();
    Updates::shared().start();
    EXPECT_TRUE(Updates::shared().isStarted());
    EXPECT_EQ(Updates::shared().controller(), nullptr);
}

// Runs the event loop until `done` or a generous deadline: the server side is asynchronous.
template <typename Predicate> bool processUntil(Predicate done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return done();
}

TEST(SingleInstance, ASecondStartHandsItsURLsToTheFirst) {
    test::TemporaryDirectory directory;
    const QString path = QString::fromStdString((directory.path() / "instance").string());
    SingleInstance first(path);
    EXPECT_FALSE(first.handOff({})) << "nobody runs yet";
    ASSERT_TRUE(first.listen());
    QStringList received;
    first.onURLs = [&](const QStringList& urls) { received << urls; };

    SingleInstance second(path);
    EXPECT_TRUE(second.handOff({"orlet://expand", "orlet://tab/media"}));
    EXPECT_TRUE(processUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (QStringList{"orlet://expand", "orlet://tab/media"}));
}

TEST(SingleInstance, AStaleSocketDoesNotStopANewStart) {
    test::TemporaryDirectory directory;
    const QString path = QString::fromStdString((directory.path() / "instance").string());
    {
        SingleInstance gone(path);
        ASSERT_TRUE(gone.listen());
    }
    SingleInstance next(path);
    EXPECT_FALSE(next.handOff({"orlet://expand"}));
    EXPECT_TRUE(next.listen());
}

} // namespace
} // namespace orlet
