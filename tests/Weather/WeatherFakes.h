#pragma once

#include "Platform/Clock.h"
#include "Weather/LocationSource.h"
#include "Weather/WeatherService.h"
#include "Weather/WeatherSource.h"

#include <deque>
#include <memory>
#include <ostream>
#include <vector>

namespace orlet::test {

// Answers place searches and forecasts on the clock's next turn (or when told), and records
// what was asked, so a test sees every request the service would send.
class FakeWeather : public WeatherSource {
public:
    explicit FakeWeather(Clock& clock) : clock_(clock) {}

    std::unique_ptr<Request> geocode(const QString& name,
                                     std::function<void(PlaceResult)> done) override {
        calls.push_back(QStringLiteral("search ") + name);
        PlaceResult result = placeFor(name);
        return answerLater([done = std::move(done), result] { done(result); });
    }

    std::unique_ptr<Request> forecast(double latitude, double longitude, bool fahrenheit,
                                      std::function<void(ReportResult)> done) override {
        calls.push_back(QString::asprintf("forecast %.3f %.3f %s", latitude, longitude,
                                          fahrenheit ? "F" : "C"));
        ReportResult result = reportFor();
        return answerLater([done = std::move(done), result] { done(result); });
    }

    std::size_t forecasts() const {
        return std::count_if(calls.begin(), calls.end(),
                             [](const QString& c) { return c.startsWith("forecast"); });
    }

    // Answers every request still open, in order.
    void answerAll() {
        while (!held_.empty()) {
            const auto [alive, answer] = held_.front();
            held_.pop_front();
            if (*alive) {
                *alive = false;
                answer();
            }
        }
    }

    std::function<PlaceResult(const QString&)> placeFor = [](const QString& name) {
        return PlaceResult(Place{name, 51.50853, -0.12574});
    };
    std::function<ReportResult()> reportFor = [] { return ReportResult(WeatherReport{}); };
    // When false, requests wait for answerAll().
    bool answerOnNextTurn = true;
    std::vector<QString> calls;
    int cancelled = 0;

private:
    class Handle : public Request {
    public:
        Handle(std::shared_ptr<bool> alive, int& cancelled)
            : alive_(std::move(alive)), cancelled_(cancelled) {}
        ~Handle() override {
            if (*alive_) {
                *alive_ = false;
                ++cancelled_;
            }
        }

    private:
        std::shared_ptr<bool> alive_;
        int& cancelled_;
    };

    std::unique_ptr<Request> answerLater(std::function<void()> answer) {
        auto alive = std::make_shared<bool>(true);
        if (answerOnNextTurn) {
            clock_
                .schedule(Clock::Duration::zero(),
                          [alive, answer] {
                              if (*alive) {
                                  *alive = false;
                                  answer();
                              }
                          })
                .detach();
        } else {
            held_.emplace_back(alive, std::move(answer));
        }
        return std::make_unique<Handle>(alive, cancelled);
    }

    Clock& clock_;
    std::deque<std::pair<std::shared_ptr<bool>, std::function<void()>>> held_;
};

class FakeLocation : public LocationSource {
public:
    Authorization authorization() const override { return state; }
    void requestAuthorization() override { ++authorizationRequests; }
    void requestLocation() override { ++locationRequests; }

    void change(Authorization next) {
        state = next;
        onAuthorizationChange();
    }

    Authorization state = Authorization::notDetermined;
    int authorizationRequests = 0;
    int locationRequests = 0;
};

} // namespace orlet::test

namespace orlet {

// Readable statuses and reports in failure messages.
inline void PrintTo(const WeatherSource::Failure& failure, std::ostream* out) {
    *out << "failure " << static_cast<int>(failure.reason) << " \"" << failure.message.toStdString()
         << "\"";
}

inline void PrintTo(const WeatherService::Status& status, std::ostream* out) {
    static const char* const names[] = {"idle", "loading", "needsLocation", "locationDenied",
                                        "failed"};
    *out << names[static_cast<int>(status.state)];
    if (!status.message.isEmpty()) {
        *out << " \"" << status.message.toStdString() << "\"";
    }
}

inline void PrintTo(const WeatherReport& report, std::ostream* out) {
    *out << report.temperature << (report.fahrenheit ? " F, " : " C, code ") << report.code << ", "
         << report.hours.size() << " hours, "
         << (report.alert ? WeatherAlert::rawValue(report.alert->kind).toStdString() : "no alert");
}

} // namespace orlet
