#include "Notch/NotchCoordinator.h"

#include "Notch/ScreenCoordinates.h"
#include "Platform/DefaultsStore.h"
#include "Platform/ManualClock.h"
#include "Settings/AppSettings.h"
#include "NoLoginItem.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace orlet {
namespace {

using namespace std::chrono_literals;

using test::NoLoginItem;

class FakeScreens : public ScreenSource {
public:
    std::vector<DisplayInfo> displays() const override { return list; }
    void change(std::vector<DisplayInfo> next) {
        list = std::move(next);
        if (onChange) {
            onChange();
        }
    }
    std::vector<DisplayInfo> list;
};

class FakePointer : public PointerSource {
public:
    Point position() const override { return at; }
    bool start() override { return started = true; }
    void stop() override { started = false; }
    void moveTo(Point point) {
        at = point;
        if (onMove) {
            onMove();
        }
    }
    Point at{0, 0};
    bool started = false;
};

struct SurfaceLog {
    int created = 0;
    int closed = 0;
    int shown = 0;
    int inputChanges = 0;
};

class FakeSurface : public NotchSurface {
public:
    explicit FakeSurface(SurfaceLog& log) : log_(log) { ++log_.created; }
    void setFrame(const Rect& next) override { frame = next; }
    void setIgnoresMouseEvents(bool ignores) override {
        ignores_ = ignores;
        ++log_.inputChanges;
    }
    bool ignoresMouseEvents() const override { return ignores_; }
    void orderFront() override { ++log_.shown; }
    void orderOut() override { ++log_.closed; }
    Rect frame;

private:
    SurfaceLog& log_;
    bool ignores_ = true;
};

DisplayInfo display(std::uint32_t id, Rect frame, bool main, double inset = 0) {
    DisplayInfo info;
    info.id = id;
    info.measurements.frame = frame;
    info.measurements.visibleFrame = {frame.x, frame.y, frame.width, frame.height - 24};
    info.measurements.topInset = inset;
    info.isMain = main;
    return info;
}

const DisplayInfo left = display(1, {0, 0, 1440, 900}, true);
const DisplayInfo right = display(2, {1440, 100, 1280, 800}, false);

// A coordinator over fake displays, pointer and windows, on a manual clock.
class Coordinator : public testing::Test {
protected:
    Coordinator() {
        screens_.list = {left, right};
        makeCoordinator();
    }

    void makeCoordinator() {
        coordinator_.reset();
        coordinator_ = std::make_unique<NotchCoordinator>(NotchCoordinator::Environment{
            clock_,
            settings_,
            store_,
            screens_,
            pointer_,
            [this](NotchViewModel&, const DisplayInfo&) {
                return std::make_unique<FakeSurface>(surfaces_);
            },
            {},
            {},
            [this] { services_.push_back(static_cast<long>(coordinator_->controllers().size())); },
            [this] { services_.push_back(-1); }});
    }

    NotchCoordinator& coordinator() { return *coordinator_; }
    NotchViewModel& model(std::uint32_t id) { return coordinator_->controllers().at(id)->model(); }
    FakeSurface& panel(std::uint32_t id) {
        return static_cast<FakeSurface&>(coordinator_->controllers().at(id)->panel());
    }
    std::vector<std::uint32_t> ids() const {
        std::vector<std::uint32_t> result;
        for (const auto& [id, controller] : coordinator_->controllers()) {
            result.push_back(id);
        }
        return result;
    }

    test::TemporaryDirectory directory_;
    ManualClock clock_;
    DefaultsStore store_{QString::fromStdString((directory_.path() / "defaults.json").string())};
    NoLoginItem loginItem_;
    AppSettings settings_{store_, loginItem_};
    FakeScreens screens_;
    FakePointer pointer_;
    SurfaceLog surfaces_;
    std::vector<long> services_; ///< notches when services started, -1 when they stopped
    std::unique_ptr<NotchCoordinator> coordinator_;
};

TEST_F(Coordinator, StartsOneNotchPerDisplayAtTheTopMiddle) {
    coordinator().start();
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(panel(1).frame, (Rect{396, 676, 648, 224}));
    EXPECT_EQ(panel(2).frame, (Rect{1756, 676, 648, 224}));
    EXPECT_EQ(surfaces_.shown, 2);
    EXPECT_TRUE(pointer_.started);
}

TEST_F(Coordinator, ShowingOnTheMainDisplayOnlyKeepsTheFirstNotch) {
    coordinator().start();
    coordinator().setShowOnAllDisplays(false);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(store_.boolValue("showOnAllDisplays"), false);
    EXPECT_EQ(surfaces_.closed, 1);
    const NotchViewModel* first = &model(1);
    coordinator().setShowOnAllDisplays(true);
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(&model(1), first) << "the first notch is kept, not rebuilt";
    EXPECT_EQ(surfaces_.created, 3);
}

TEST_F(Coordinator, PrefersADisplayWithACameraHousing) {
    screens_.list = {left, display(3, {1440, 0, 1512, 982}, false, 37)};
    store_.set("showOnAllDisplays", false);
    makeCoordinator();
    coordinator().start();
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(coordinator().primaryController(), coordinator().controllers().at(3).get());
}

TEST_F(Coordinator, ThePrimaryControllerIsTheMainDisplaysWithoutAHousing) {
    screens_.list = {right, left};
    makeCoordinator();
    coordinator().start();
    EXPECT_EQ(coordinator().primaryController()->displayID(), 1u);
}

TEST_F(Coordinator, UnpluggingADisplayClosesItsNotchAndPluggingItBackMakesANewClosedOne) {
    coordinator().start();
    coordinator().setDemoLiveActivity(true);
    model(2).expand();
    screens_.change({left});
    EXPECT_EQ(ids(), (std::vector<std::uint32_t>{1}));
    EXPECT_EQ(surfaces_.closed, 1);
    screens_.change({left, right});
    EXPECT_FALSE(model(2).isExpanded());
    EXPECT_EQ(model(2).liveActivity(), LiveActivity::demo) << "with the current live activity";
}

TEST_F(Coordinator, ADisplayThatMovesMovesItsNotch) {
    coordinator().start();
    const NotchViewModel* before = &model(2);
    DisplayInfo moved = right;
    moved.measurements.frame = {1440, 0, 1920, 1080};
    moved.measurements.visibleFrame = {1440, 0, 1920, 1048};
    screens_.change({left, moved});
    EXPECT_EQ(&model(2), before);
    EXPECT_EQ(panel(2).frame, (Rect{2076, 856, 648, 224}));
    EXPECT_EQ(model(2).geometry().notchSize, (Size{190, 32}));
}

TEST_F(Coordinator, PointerMovementsReachEveryNotchAndOpenOnlyTheOneUnderThePointer) {
    coordinator().start();
    pointer_.moveTo({720, 895});
    EXPECT_FALSE(panel(1).ignoresMouseEvents()) << "the body takes clicks under the pointer";
    EXPECT_TRUE(panel(2).ignoresMouseEvents());
    clock_.advance(150ms);
    EXPECT_TRUE(model(1).isExpanded());
    EXPECT_FALSE(model(2).isExpanded());
    pointer_.moveTo({100, 100});
    EXPECT_TRUE(panel(1).ignoresMouseEvents());
    clock_.advance(220ms);
    EXPECT_FALSE(model(1).isExpanded());
}

TEST_F(Coordinator, TheClickFlagChangesOnlyWhenItMust) {
    coordinator().start();
    const int before = surfaces_.inputChanges;
    for (int x = 0; x < 50; ++x) {
        pointer_.moveTo({100.0 + x, 100});
    }
    EXPECT_EQ(surfaces_.inputChanges, before);
}

TEST_F(Coordinator, AnOpenMenuHoldsTheNotchUntilItCloses) {
    coordinator().start();
    coordinator().setMenuOpen(true);
    pointer_.moveTo({720, 895});
    clock_.advance(1s);
    EXPECT_FALSE(model(1).isExpanded());
    coordinator().setMenuOpen(false);
    clock_.advance(150ms);
    EXPECT_TRUE(model(1).isExpanded()) << "the hover delay starts where the pointer is";
}

TEST_F(Coordinator, TransientsReachEveryNotch) {
    coordinator().start();
    coordinator().showTransient(TransientActivity::charging(0.5, 30));
    EXPECT_TRUE(model(1).hasTransient());
    EXPECT_TRUE(model(2).hasTransient());
}

TEST_F(Coordinator, SettingsRequestsCount) {
    coordinator().openSettings();
    coordinator().openSettings();
    EXPECT_EQ(coordinator().settingsRequests(), 2);
}

TEST_F(Coordinator, StopClosesEveryNotchAndStopsWatching) {
    coordinator().start();
    coordinator().start();
    EXPECT_EQ(services_, std::vector<long>{2}) << "services start once, after the notches";
    coordinator().stop();
    EXPECT_EQ(services_, (std::vector<long>{2, -1}));
    EXPECT_TRUE(coordinator().controllers().empty());
    EXPECT_EQ(surfaces_.closed, 2);
    EXPECT_FALSE(pointer_.started);
    screens_.change({left});
    EXPECT_TRUE(coordinator().controllers().empty());
}

TEST_F(Coordinator, NoDisplaysMeansNoNotches) {
    screens_.list.clear();
    makeCoordinator();
    coordinator().start();
    coordinator().showTransient(TransientActivity::charging(0.5, 30));
    EXPECT_EQ(coordinator().primaryController(), nullptr);
}

TEST(ScreenCoordinates, FlipsAroundThePrimaryDisplay) {
    const ScreenCoordinates coordinates(QRect(0, 0, 1440, 900));
    EXPECT_EQ(coordinates.toNotch(QPointF(720, 0)), (Point{720, 900}));
    // A display right of the primary one, 100 px lower in Qt's terms.
    EXPECT_EQ(coordinates.toNotch(QRectF(1440, 100, 1280, 800)), (Rect{1440, 0, 1280, 800}));
    EXPECT_EQ(coordinates.toQt(Rect{1440, 0, 1280, 800}), QRectF(1440, 100, 1280, 800));
    EXPECT_EQ(coordinates.toQt(Rect{396, 676, 648, 224}), QRectF(396, 0, 648, 224));
}

} // namespace
} // namespace orlet
