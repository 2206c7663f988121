#pragma once

#include "Notch/NotchWindowController.h"
#include "Notch/PointerSource.h"
#include "Notch/ScreenSource.h"

#include <QObject>
#include <QUrl>
#include <map>
#include <memory>

namespace orlet {

class AppSettings;
class DefaultsStore;

// Owns the notch surface: one controller per target display, rebuilt when displays change;
// every pointer movement reaches every notch; transients fan out to all of them.
class NotchCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool showOnAllDisplays READ showOnAllDisplays WRITE setShowOnAllDisplays NOTIFY
                   showOnAllDisplaysChanged) ///< stored under "showOnAllDisplays", default true
    Q_PROPERTY(bool demoLiveActivity READ demoLiveActivity WRITE setDemoLiveActivity NOTIFY
                   demoLiveActivityChanged) ///< not stored
    Q_PROPERTY(int settingsRequests READ settingsRequests NOTIFY settingsRequestsChanged)

public:
    struct Environment {
        Clock& clock;
        AppSettings& settings;
        DefaultsStore& defaults;
        ScreenSource& screens;
        PointerSource& pointer;
        NotchWindowController::SurfaceFactory makeSurface;
        std::function<bool()> lyricsShowOnNotch;
        std::function<double()> openBottomRadius;
        // The services behind the notch, started after the panels exist and stopped with them.
        std::function<void()> startServices;
        std::function<void()> stopServices;
    };

    explicit NotchCoordinator(Environment environment, QObject* parent = nullptr);
    ~NotchCoordinator() override;

    void start();
    void stop();

    void showTransient(const TransientActivity& activity);
    Q_INVOKABLE void openSettings();
    NotchWindowController* primaryController();
    void handle(const QUrl& url);
    void refreshLiveActivity(bool pop);
    // A menu of the application started or stopped tracking.
    void setMenuOpen(bool open);

    bool showOnAllDisplays() const { return showOnAllDisplays_; }
    void setShowOnAllDisplays(bool value);
    bool demoLiveActivity() const { return demoLiveActivity_; }
    void setDemoLiveActivity(bool value);
    int settingsRequests() const { return settingsRequests_; }

    const std::map<std::uint32_t, std::unique_ptr<NotchWindowController>>& controllers() const {
        return controllers_;
    }

    // For every pointer movement: allocation-free.
    void dispatchPointer();

signals:
    void showOnAllDisplaysChanged();
    void demoLiveActivityChanged();
    void settingsRequestsChanged();

private:
    std::vector<DisplayInfo> targetScreens() const;
    void rebuild();
    std::optional<LiveActivity> currentLiveActivity() const;
    NotchViewModel::Environment modelEnvironment() const;

    Environment env_;
    bool showOnAllDisplays_;
    bool demoLiveActivity_ = false;
    int settingsRequests_ = 0;
    bool started_ = false;
    std::map<std::uint32_t, std::unique_ptr<NotchWindowController>> controllers_;
};

} // namespace orlet
