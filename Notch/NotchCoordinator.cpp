#include "Notch/NotchCoordinator.h"

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

#include <algorithm>

namespace orlet {

NotchCoordinator::NotchCoordinator(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)),
      showOnAllDisplays_(
          env_.defaults.boolValue(QStringLiteral("showOnAllDisplays")).value_or(true)) {}

NotchCoordinator::~NotchCoordinator() {
    stop();
}

void NotchCoordinator::start() {
    if (started_) {
        return;
    }
    started_ = true;
    rebuild();
    if (env_.startServices) {
        env_.startServices();
    }
    refreshLiveActivity(false);
    env_.screens.onChange = [this] { rebuild(); };
    env_.pointer.onMove = [this] { dispatchPointer(); };
    if (!env_.pointer.start()) {
        qCWarning(logApp()) << "Cannot watch the pointer on this desktop; the notch opens only "
                               "when the pointer is over it";
    }
}

void NotchCoordinator::stop() {
    if (!started_) {
        return;
    }
    started_ = false;
    env_.pointer.stop();
    env_.pointer.onMove = nullptr;
    env_.screens.onChange = nullptr;
    controllers_.clear();
    if (env_.stopServices) {
        env_.stopServices();
    }
}

void NotchCoordinator::showTransient(const TransientActivity& activity) {
    if (const TransientActivity::App* app = activity.asApp()) {
        qCDebug(logApp()).noquote() << "Pop-up from" << app->appID << ":" << app->text;
    }
    for (auto& [id, controller] : controllers_) {
        controller->model().show(activity);
    }
}

void NotchCoordinator::openSettings() {
    ++settingsRequests_;
    emit settingsRequestsChanged();
}

NotchWindowController* NotchCoordinator::primaryController() {
    const std::vector<DisplayInfo> displays = env_.screens.displays();
    const auto housing = std::find_if(displays.begin(), displays.end(), [](const DisplayInfo& d) {
        return d.measurements.topInset > 0;
    });
    if (housing != displays.end()) {
        if (const auto found = controllers_.find(housing->id); found != controllers_.end()) {
            return found->second.get();
        }
    }
    const auto main = std::find_if(displays.begin(), displays.end(),
                                   [](const DisplayInfo& d) { return d.isMain; });
    if (main != displays.end()) {
        if (const auto found = controllers_.find(main->id); found != controllers_.end()) {
            return found->second.get();
        }
    }
    return controllers_.empty() ? nullptr : controllers_.begin()->second.get();
}

void NotchCoordinator::handle(const QUrl& url) {
    // The command table arrives with the URL commands; until then say what was ignored.
    qCInfo(logApp()).noquote() << "Ignoring URL command" << url.toString();
}

std::optional<LiveActivity> NotchCoordinator::currentLiveActivity() const {
    // The services that claim the wings arrive with their own subsystems.
    if (demoLiveActivity_) {
        return LiveActivity::demo;
    }
    return std::nullopt;
}

void NotchCoordinator::refreshLiveActivity(bool pop) {
    const std::optional<LiveActivity> activity = currentLiveActivity();
    for (auto& [id, controller] : controllers_) {
        NotchViewModel& model = controller->model();
        const bool changed = model.liveActivity() != activity;
        model.setLiveActivity(activity);
        if (pop && !changed && activity) {
            model.pop();
        }
    }
}

void NotchCoordinator::setMenuOpen(bool open) {
    for (auto& [id, controller] : controllers_) {
        controller->model().setMenuOpen(open);
    }
    if (!open) {
        dispatchPointer();
    }
}

void NotchCoordinator::setShowOnAllDisplays(bool value) {
    env_.defaults.set(QStringLiteral("showOnAllDisplays"), value);
    const bool changed = value != showOnAllDisplays_;
    showOnAllDisplays_ = value;
    if (changed) {
        emit showOnAllDisplaysChanged();
    }
    rebuild();
}

void NotchCoordinator::setDemoLiveActivity(bool value) {
    const bool changed = value != demoLiveActivity_;
    demoLiveActivity_ = value;
    if (changed) {
        emit demoLiveActivityChanged();
    }
    refreshLiveActivity(false);
}

void NotchCoordinator::dispatchPointer() {
    const Point position = env_.pointer.position();
    for (auto& [id, controller] : controllers_) {
        NotchViewModel& model = controller->model();
        model.pointerMoved(position);
        const bool inside = model.hotRect().contains(position);
        NotchSurface& panel = controller->panel();
        if (panel.ignoresMouseEvents() == inside) {
            panel.setIgnoresMouseEvents(!inside);
        }
    }
}

std::vector<DisplayInfo> NotchCoordinator::targetScreens() const {
    std::vector<DisplayInfo> displays = env_.screens.displays();
    if (showOnAllDisplays_ || displays.empty()) {
        return displays;
    }
    for (auto rule : {+[](const DisplayInfo& d) { return d.measurements.topInset > 0; },
                      +[](const DisplayInfo& d) { return d.isMain; }}) {
        const auto found = std::find_if(displays.begin(), displays.end(), rule);
        if (found != displays.end()) {
            return {*found};
        }
    }
    return {displays.front()};
}

NotchViewModel::Environment NotchCoordinator::modelEnvironment() const {
    return {env_.clock, env_.settings, env_.lyricsShowOnNotch, env_.openBottomRadius, {}};
}

void NotchCoordinator::rebuild() {
    if (!started_) {
        return;
    }
    const std::vector<DisplayInfo> targets = targetScreens();
    std::erase_if(controllers_, [&](const auto& entry) {
        return std::none_of(targets.begin(), targets.end(),
                            [&](const DisplayInfo& d) { return d.id == entry.first; });
    });
    for (const DisplayInfo& display : targets) {
        if (const auto found = controllers_.find(display.id); found != controllers_.end()) {
            found->second->update(display);
            continue;
        }
        auto controller =
            std::make_unique<NotchWindowController>(display, modelEnvironment(), env_.makeSurface);
        controller->model().setLiveActivity(currentLiveActivity());
        controllers_.emplace(display.id, std::move(controller));
    }
}

} // namespace orlet
