#include "Notch/NotchViewModel.h"

#include "Settings/AppSettings.h"

#include <QPointer>

namespace orlet {

NotchViewModel::NotchViewModel(NotchGeometry geometry, Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)), geometry_(geometry),
      selectedTab_(env_.settings.firstVisibleTab()) {}

// Pointer and transitions --------------------------------------------------------------------

void NotchViewModel::schedule(Clock::Duration delay, void (NotchViewModel::*action)()) {
    // The job dies with the model: the handle lives in a field.
    pendingTransition_ = env_.clock.schedule(delay, [this, action] { (this->*action)(); });
}

Clock::Duration NotchViewModel::expandDelay() const {
    // A hand-edited defaults file may hold anything; a minute is longer than any real choice.
    constexpr double longest = 60'000;
    const double milliseconds = env_.settings.hoverDelayMs();
    if (!(milliseconds > 0)) {
        return Clock::Duration::zero();
    }
    return std::chrono::milliseconds(static_cast<long long>(std::min(milliseconds, longest)));
}

void NotchViewModel::pointerMoved(Point point) {
    const bool inside = hotRect().contains(point);
    if (isMenuOpen_) {
        return;
    }
    if (isPinnedOpen_) {
        setHovering(inside);
        return;
    }
    if (inside != isHovering_) {
        setHovering(inside);
        if (inside) {
            schedule(expandDelay(), &NotchViewModel::expand);
        } else {
            schedule(collapseDelay, &NotchViewModel::collapse);
        }
        return;
    }
    if (!inside && isExpanded() && !pendingTransition_.isPending() &&
        env_.clock.now() > programmaticOpenGrace_) {
        schedule(collapseDelay, &NotchViewModel::collapse);
    }
}

void NotchViewModel::expand() {
    pendingTransition_.cancel();
    if (isExpanded()) {
        return;
    }
    transientTask_.cancel();
    if (transient_ && transient_->isWeather() && env_.settings.isVisible(NotchTab::weather) &&
        selectedTab_ != NotchTab::weather) {
        setSelectedTab(NotchTab::weather, Animation::none);
    }
    setTransient(std::nullopt, Animation::none);
    if (!isHovering_) {
        programmaticOpenGrace_ = env_.clock.now() + programmaticOpenGrace;
    }
    if (!env_.settings.isVisible(selectedTab_)) {
        setSelectedTab(env_.settings.firstVisibleTab(), Animation::none);
    }
    if (isHovering_ && env_.settings.haptics() && env_.hapticPulse) {
        env_.hapticPulse();
    }
    setPhase(Phase::expanded, Animation::open);
}

void NotchViewModel::collapse() {
    pendingTransition_.cancel();
    setPinnedOpen(false);
    setHeaderLevel(std::nullopt, Animation::none);
    if (!isExpanded()) {
        return;
    }
    setPhase(Phase::collapsed, Animation::close);
    if (pendingLarge_) {
        TransientActivity alert = *std::move(pendingLarge_);
        pendingLarge_.reset();
        // Not cancellable on purpose; the pointer guards against a model that is gone.
        env_.clock
            .schedule(deferredAlertDelay,
                      [model = QPointer<NotchViewModel>(this), alert = std::move(alert)] {
                          if (model && !model->isExpanded()) {
                              model->show(alert);
                          }
                      })
            .detach();
    }
}

void NotchViewModel::select(NotchTab tab) {
    setSelectedTab(tab, Animation::tab);
}

void NotchViewModel::setLiveActivity(std::optional<LiveActivity> activity) {
    if (activity == liveActivity_) {
        return;
    }
    setAnimation(Animation::open);
    liveActivity_ = activity;
    emit liveActivityChanged();
    emit shapeChanged();
    if (activity) {
        pop();
    }
}

// Transients ----------------------------------------------------------------------------------

void NotchViewModel::show(const TransientActivity& activity) {
    if (isExpanded()) {
        if (activity.isLevel()) {
            setHeaderLevel(activity, Animation::none);
            transientTask_ = env_.clock.schedule(activity.duration(), [this] {
                setHeaderLevel(std::nullopt, Animation::headerFade);
            });
        } else if (activity.isWeather()) {
            pendingLarge_ = activity;
        }
        return;
    }
    if (activity.isSameKind(transient_)) {
        setTransient(activity, Animation::none);
    } else {
        setTransient(activity, Animation::open);
        if (!activity.isLevel()) {
            pop();
        }
    }
    transientTask_ = env_.clock.schedule(activity.duration(),
                                         [this] { setTransient(std::nullopt, Animation::close); });
}

void NotchViewModel::pop() {
    if (isExpanded()) {
        return;
    }
    popTask_.cancel();
    setPopBoost(popGrowth, Animation::pop);
    popTask_ = env_.clock.schedule(popDuration, [this] { setPopBoost(0, Animation::close); });
}

// Setters ---------------------------------------------------------------------------------------

void NotchViewModel::setGeometry(const NotchGeometry& geometry) {
    if (geometry == geometry_) {
        return;
    }
    geometry_ = geometry;
    emit geometryChanged();
    emit shapeChanged();
}

void NotchViewModel::setPinnedOpen(bool pinned) {
    if (pinned == isPinnedOpen_) {
        return;
    }
    isPinnedOpen_ = pinned;
    emit pinnedOpenChanged();
}

void NotchViewModel::setMenuOpen(bool open) {
    if (open == isMenuOpen_) {
        return;
    }
    isMenuOpen_ = open;
    emit menuOpenChanged();
}

void NotchViewModel::setPhase(Phase phase, Animation animation) {
    if (phase == phase_) {
        return;
    }
    setAnimation(animation);
    phase_ = phase;
    emit phaseChanged();
    emit shapeChanged();
}

void NotchViewModel::setHovering(bool hovering) {
    if (hovering == isHovering_) {
        return;
    }
    isHovering_ = hovering;
    emit hoveringChanged();
}

void NotchViewModel::setPopBoost(double boost, Animation animation) {
    if (boost == popBoost_) {
        return;
    }
    setAnimation(animation);
    popBoost_ = boost;
    emit popBoostChanged();
    emit shapeChanged();
}

void NotchViewModel::setTransient(std::optional<TransientActivity> activity, Animation animation) {
    if (activity == transient_) {
        return;
    }
    setAnimation(animation);
    transient_ = std::move(activity);
    emit transientChanged();
    emit shapeChanged();
}

void NotchViewModel::setHeaderLevel(std::optional<TransientActivity> activity,
                                    Animation animation) {
    if (activity == headerLevel_) {
        return;
    }
    setAnimation(animation);
    headerLevel_ = std::move(activity);
    emit headerLevelChanged();
}

void NotchViewModel::setSelectedTab(NotchTab tab, Animation animation) {
    if (tab == selectedTab_) {
        return;
    }
    setAnimation(animation);
    selectedTab_ = tab;
    emit selectedTabChanged();
}

void NotchViewModel::setAnimation(Animation animation) {
    if (animation == animation_) {
        return;
    }
    animation_ = animation;
    emit animationChanged();
}

// Derived values ----------------------------------------------------------------------------

bool NotchViewModel::usesOpenShape() const {
    return isExpanded() || (transient_ && transient_->isWeather());
}

Size NotchViewModel::bodySize() const {
    if (isExpanded()) {
        return {560, 196};
    }
    if (transient_ && transient_->isWeather()) {
        return {440, 156};
    }
    const double w = geometry_.notchSize.width;
    const double h = geometry_.notchSize.height;
    Size base{w, h};
    if (transient_) {
        base = {w + 208, h};
    } else if (liveActivity_ == LiveActivity::nowPlaying && env_.lyricsShowOnNotch &&
               env_.lyricsShowOnNotch()) {
        base = {w + 200, h + 26};
    } else if (!liveActivity_) {
        base = {w, h};
    } else if (liveActivity_ == LiveActivity::agent) {
        base = {w + 168, h};
    } else {
        base = {w + 128, h};
    }
    return {base.width + popBoost_, base.height + popBoost_ * 0.25};
}

double NotchViewModel::bottomRadius() const {
    if (isExpanded()) {
        return env_.openBottomRadius ? env_.openBottomRadius() : 26;
    }
    return usesOpenShape() ? 26 : 12;
}

Rect NotchViewModel::hotRect() const {
    const Rect& f = geometry_.screenFrame;
    const Size body = bodySize();
    const double pad = usesOpenShape() ? 32 : 12;
    const Rect area{f.midX() - (body.width + pad) / 2, f.maxY() - body.height, body.width + pad,
                    body.height};
    const double grow = isExpanded() ? 2 : 8;
    return area.insetBy(-grow, -grow);
}

QString NotchViewModel::selectedTabName() const {
    const std::string_view raw = rawValue(selectedTab_);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

QString NotchViewModel::liveActivityName() const {
    if (!liveActivity_) {
        return {};
    }
    const std::string_view raw = name(*liveActivity_);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

QString NotchViewModel::animationName() const {
    switch (animation_) {
    case Animation::none:
        return QStringLiteral("none");
    case Animation::open:
        return QStringLiteral("open");
    case Animation::close:
        return QStringLiteral("close");
    case Animation::pop:
        return QStringLiteral("pop");
    case Animation::tab:
        return QStringLiteral("tab");
    case Animation::headerFade:
        return QStringLiteral("headerFade");
    }
    return QStringLiteral("none");
}

} // namespace orlet
