#include "App/AppDelegate.h"

#include "Activity/ActivityCenter.h"
#include "Activity/ApprovalDialog.h"
#include "Activity/SocketTransport.h"
#include "App/Updates.h"
#include "Notch/NotchCoordinator.h"
#include "Notch/NotchPanel.h"
#include "Notch/QtScreenSource.h"
#include "Notch/X11Display.h"
#include "Notch/X11PointerSource.h"
#include "OrletKit/OrletAPI.h"
#include "Platform/Clock.h"
#include "Platform/DefaultsStore.h"
#include "Platform/Preferences.h"
#include "Settings/AppSettings.h"
#include "Today/CalendarService.h"
#include "Weather/QtLocationSource.h"
#include "Weather/WeatherAPI.h"
#include "Weather/WeatherService.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QUrl>

namespace orlet {

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    // Settings are loaded before anything starts.
    AppSettings::shared();
}

AppDelegate::~AppDelegate() {
    applicationWillTerminate();
    // The coordinator's services reach back into the delegate: they go first.
    weather_.reset();
    activityCenter_.reset();
    coordinator_.reset();
}

NotchCoordinator& AppDelegate::coordinator() {
    if (!coordinator_) {
        x11_ = X11Display::open();
        screens_ = std::make_unique<QtScreenSource>();
        pointer_ = std::make_unique<X11PointerSource>(x11_.get());
        DefaultsStore& defaults = DefaultsStore::shared();
        NotchCoordinator::Environment environment{
            Clock::shared(),
            AppSettings::shared(),
            defaults,
            *screens_,
            *pointer_,
            [this](NotchViewModel& model, const DisplayInfo&) -> std::unique_ptr<NotchSurface> {
                auto panel = std::make_unique<NotchPanel>(model, x11_.get());
                connect(panel.get(), &QQuickWindow::frameSwapped, this, [this] {
                    if (!reportedFirstFrame_) {
                        reportedFirstFrame_ = true;
                        emit firstFrame();
                    }
                });
                return panel;
            },
            {},
            [&defaults] {
                const QString corners =
                    defaults.string(QStringLiteral("look.corners")).value_or(QString());
                return corners == QLatin1String("tight")  ? 16.0
                       : corners == QLatin1String("soft") ? 38.0
                                                          : 26.0;
            },
            [this] {
                ActivityCenter& center = activityCenter();
                center.onChange = [this](bool attention) {
                    coordinator_->refreshLiveActivity(attention);
                };
                center.start();
                weather().startAlerts();
                // Meeting reminders reach the notch here until the services are wired in order.
                CalendarService& calendar = CalendarService::shared();
                calendar.showTransient = [this](const TransientActivity& activity) {
                    if (coordinator_) {
                        coordinator_->showTransient(activity);
                    }
                };
                calendar.start();
            },
            [this] {
                if (activityCenter_) {
                    activityCenter_->stop();
                }
            },
        };
        coordinator_ = std::make_unique<NotchCoordinator>(std::move(environment));
    }
    return *coordinator_;
}

ActivityCenter& AppDelegate::activityCenter() {
    if (!activityCenter_) {
        approval_ = std::make_unique<ApprovalDialog>();
        activityCenter_ = std::make_unique<ActivityCenter>(ActivityCenter::Environment{
            Clock::shared(),
            DefaultsStore::shared(),
            *approval_,
            [this](const TransientActivity& activity) { coordinator().showTransient(activity); },
            [](const std::string& path, ActivityTransport::Events events) {
                return std::make_unique<SocketTransport>(path, std::move(events));
            },
            OrletAPI::socketPath(),
            &ApprovalDialog::iconOf,
        });
    }
    return *activityCenter_;
}

WeatherService& AppDelegate::weather() {
    if (!weather_) {
        network_ = std::make_unique<QNetworkAccessManager>();
        weatherAPI_ = std::make_unique<WeatherAPI>(*network_, Clock::shared(),
                                                   WeatherAPI::endpointsFromEnvironment());
        location_ = QtLocationSource::create();
        weather_ = std::make_unique<WeatherService>(WeatherService::Environment{
            Clock::shared(),
            DefaultsStore::shared(),
            *weatherAPI_,
            *location_,
            [this](const TransientActivity& activity) { coordinator().showTransient(activity); },
            [] { return QLocale().measurementSystem() == QLocale::ImperialUSSystem; },
        });
    }
    return *weather_;
}

void AppDelegate::applicationDidFinishLaunching() {
    // No dock icon to hide: the notch windows carry no taskbar entry of their own.
    Preferences::registerDefaults(DefaultsStore::shared());
    Updates::shared().start();
    coordinator().start();
}

void AppDelegate::applicationWillTerminate() {
    if (coordinator_) {
        coordinator_->stop();
    }
}

void AppDelegate::open(const QStringList& urls) {
    for (const QString& text : urls) {
        // Compared as written: QUrl would lower-case the scheme.
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        if (colon > 0 && QStringView(text).left(colon) == QLatin1String("orlet")) {
            coordinator().handle(QUrl(text));
        }
    }
}

} // namespace orlet
