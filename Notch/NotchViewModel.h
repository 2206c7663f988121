#pragma once

#include "HUD/TransientActivity.h"
#include "Notch/LiveActivity.h"
#include "Notch/NotchGeometry.h"
#include "Notch/NotchTab.h"
#include "Platform/Clock.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace orlet {

class AppSettings;

// The state machine of one display's notch: open or closed, hovered, the selected tab, the
// live activity in the wings, the transient popping up, and the body size and hit area that
// follow. Every timing rule of the notch lives here, on the injected clock.
class NotchViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool expanded READ isExpanded NOTIFY phaseChanged)    ///< open or closed
    Q_PROPERTY(bool hovering READ isHovering NOTIFY hoveringChanged) ///< pointer in hotRect
    Q_PROPERTY(double popBoost READ popBoost NOTIFY popBoostChanged) ///< points, 0 at rest
    Q_PROPERTY(QString selectedTab READ selectedTabName NOTIFY selectedTabChanged) ///< raw value
    Q_PROPERTY(
        QString liveActivity READ liveActivityName NOTIFY liveActivityChanged) ///< "" for none
    Q_PROPERTY(bool pinnedOpen READ isPinnedOpen WRITE setPinnedOpen NOTIFY pinnedOpenChanged)
    Q_PROPERTY(bool menuOpen READ isMenuOpen NOTIFY menuOpenChanged) ///< pointer input ignored
    Q_PROPERTY(bool hasTransient READ hasTransient NOTIFY transientChanged)
    Q_PROPERTY(bool hasHeaderLevel READ hasHeaderLevel NOTIFY headerLevelChanged)
    Q_PROPERTY(double bodyWidth READ bodyWidth NOTIFY shapeChanged)       ///< points
    Q_PROPERTY(double bodyHeight READ bodyHeight NOTIFY shapeChanged)     ///< points
    Q_PROPERTY(double bottomRadius READ bottomRadius NOTIFY shapeChanged) ///< points
    Q_PROPERTY(bool usesOpenShape READ usesOpenShape NOTIFY shapeChanged)
    Q_PROPERTY(
        QString animation READ animationName NOTIFY animationChanged) ///< of the latest change

public:
    enum class Phase { collapsed, expanded };

    // Which animation the views apply to the latest change.
    enum class Animation { none, open, close, pop, tab, headerFade };

    struct Environment {
        Clock& clock;
        const AppSettings& settings;
        std::function<bool()> lyricsShowOnNotch;  ///< empty: lyrics never show on the notch
        std::function<double()> openBottomRadius; ///< empty: the round corner style, 26
        std::function<void()> hapticPulse;        ///< empty: no haptics on this platform
    };

    static constexpr std::chrono::milliseconds collapseDelay{220};
    static constexpr std::chrono::milliseconds programmaticOpenGrace{1500};
    static constexpr std::chrono::milliseconds popDuration{320};
    static constexpr std::chrono::milliseconds deferredAlertDelay{450};
    static constexpr double popGrowth = 14;

    NotchViewModel(NotchGeometry geometry, Environment environment, QObject* parent = nullptr);

    // Input.
    void pointerMoved(Point point);
    Q_INVOKABLE void expand();
    Q_INVOKABLE void collapse();
    void select(NotchTab tab);
    void setLiveActivity(std::optional<LiveActivity> activity);
    void show(const TransientActivity& activity);
    void pop();
    void setGeometry(const NotchGeometry& geometry);
    void setPinnedOpen(bool pinned);
    void setMenuOpen(bool open);

    // State.
    const NotchGeometry& geometry() const { return geometry_; }
    Phase phase() const { return phase_; }
    bool isExpanded() const { return phase_ == Phase::expanded; }
    bool isHovering() const { return isHovering_; }
    double popBoost() const { return popBoost_; }
    NotchTab selectedTab() const { return selectedTab_; }
    std::optional<LiveActivity> liveActivity() const { return liveActivity_; }
    bool isPinnedOpen() const { return isPinnedOpen_; }
    bool isMenuOpen() const { return isMenuOpen_; }
    const std::optional<TransientActivity>& transient() const { return transient_; }
    bool hasTransient() const { return transient_.has_value(); }
    const std::optional<TransientActivity>& headerLevel() const { return headerLevel_; }
    bool hasHeaderLevel() const { return headerLevel_.has_value(); }
    const std::optional<TransientActivity>& pendingLarge() const { return pendingLarge_; }
    bool hasPendingTransition() const { return pendingTransition_.isPending(); }
    Animation animation() const { return animation_; }

    // Derived on every read; cheap and allocation-free, read on every pointer movement.
    bool usesOpenShape() const;
    Size bodySize() const;
    double bodyWidth() const { return bodySize().width; }
    double bodyHeight() const { return bodySize().height; }
    double bottomRadius() const;
    Rect hotRect() const;

    QString selectedTabName() const;
    QString liveActivityName() const;
    QString animationName() const;

signals:
    void phaseChanged();
    void hoveringChanged();
    void popBoostChanged();
    void selectedTabChanged();
    void liveActivityChanged();
    void pinnedOpenChanged();
    void menuOpenChanged();
    void transientChanged();
    void headerLevelChanged();
    void geometryChanged();
    void shapeChanged();
    void animationChanged();

private:
    void schedule(Clock::Duration delay, void (NotchViewModel::*action)());
    Clock::Duration expandDelay() const;
    void setPhase(Phase phase, Animation animation);
    void setHovering(bool hovering);
    void setPopBoost(double boost, Animation animation);
    void setTransient(std::optional<TransientActivity> activity, Animation animation);
    void setHeaderLevel(std::optional<TransientActivity> activity, Animation animation);
    void setSelectedTab(NotchTab tab, Animation animation);
    void setAnimation(Animation animation);

    Environment env_;
    NotchGeometry geometry_;
    Phase phase_ = Phase::collapsed;
    bool isHovering_ = false;
    double popBoost_ = 0;
    NotchTab selectedTab_;
    std::optional<LiveActivity> liveActivity_;
    bool isPinnedOpen_ = false;
    bool isMenuOpen_ = false;
    std::optional<TransientActivity> transient_;
    std::optional<TransientActivity> headerLevel_;
    DelayedJob pendingTransition_;
    DelayedJob popTask_;
    DelayedJob transientTask_;
    Clock::TimePoint programmaticOpenGrace_ = Clock::TimePoint::min();
    std::optional<TransientActivity> pendingLarge_;
    Animation animation_ = Animation::none;
};

} // namespace orlet
