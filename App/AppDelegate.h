#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

class QNetworkAccessManager;

namespace orlet {

class ActivityCenter;
class ApprovalDialog;
class NotchCoordinator;
class QtLocationSource;
class QtScreenSource;
class WeatherAPI;
class WeatherService;
class X11Display;
class X11PointerSource;

// Starts and stops everything: defaults, updater, the notch coordinator; hands "orlet:" URLs to
// the coordinator.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // Each URL in order; only the scheme "orlet", compared exactly, is handled.
    void open(const QStringList& urls);

    NotchCoordinator& coordinator();
    ActivityCenter& activityCenter();
    WeatherService& weather();

signals:
    void firstFrame();

private:
    std::unique_ptr<X11Display> x11_;
    std::unique_ptr<QtScreenSource> screens_;
    std::unique_ptr<X11PointerSource> pointer_;
    std::unique_ptr<NotchCoordinator> coordinator_;
    std::unique_ptr<ApprovalDialog> approval_;
    std::unique_ptr<ActivityCenter> activityCenter_;
    bool reportedFirstFrame_ = false;

    // Weather: the client's network, the position, and the service that raises alerts.
    std::unique_ptr<QNetworkAccessManager> network_;
    std::unique_ptr<WeatherAPI> weatherAPI_;
    std::unique_ptr<QtLocationSource> location_;
    std::unique_ptr<WeatherService> weather_;
};

} // namespace orlet
