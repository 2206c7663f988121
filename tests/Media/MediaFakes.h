#pragma once

#include "Media/BackgroundTasks.h"
#include "Media/HelperLauncher.h"
#include "Media/NativePlayers.h"

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orlet::test {

// What the service wrote to one helper, and how it ended it.
struct HelperRecord {
    HelperLauncher::Events events;
    std::string input;
    bool inputClosed = false;
    bool terminated = false;
    bool destroyed = false;
};

class FakeHelperProcess : public HelperProcess {
public:
    explicit FakeHelperProcess(std::shared_ptr<HelperRecord> record) : record_(std::move(record)) {}
    ~FakeHelperProcess() override { record_->destroyed = true; }

    void write(const QByteArray& bytes) override { record_->input += bytes.toStdString(); }
    void closeInput() override { record_->inputClosed = true; }
    void terminate() override { record_->terminated = true; }

private:
    std::shared_ptr<HelperRecord> record_;
};

// Launches nothing; each launch is a record through which the test plays the helper.
class FakeHelperLauncher : public HelperLauncher {
public:
    bool bundled = true;
    std::vector<std::shared_ptr<HelperRecord>> launches;

    bool isBundled() const override { return bundled; }
    std::unique_ptr<HelperProcess> launch(Events events) override {
        auto record = std::make_shared<HelperRecord>();
        record->events = std::move(events);
        launches.push_back(record);
        return std::make_unique<FakeHelperProcess>(record);
    }

    HelperRecord& last() { return *launches.back(); }
    void say(const std::string& bytes) { last().events.received(QByteArray::fromStdString(bytes)); }
    void exit(std::optional<int> status) { last().events.exited(status); }
};

class FakeNativePlayers : public NativePlayers {
public:
    int starts = 0;
    int stops = 0;
    std::vector<std::pair<MediaCommand, std::string>> commands;
    std::vector<std::pair<double, std::string>> seeks;
    std::vector<DetailsCompletion> detailQueries;

    void start() override { ++starts; }
    void stop() override { ++stops; }
    void send(MediaCommand command, const std::string& bundleID) override {
        commands.emplace_back(command, bundleID);
    }
    void seek(double seconds, const std::string& bundleID) override {
        seeks.emplace_back(seconds, bundleID);
    }
    void fetchMusicDetails(DetailsCompletion completion) override {
        detailQueries.push_back(std::move(completion));
    }
};

// Runs background work only when told, so a test decides what finishes first.
class FakeBackgroundTasks : public BackgroundTasks {
public:
    std::deque<Work> waiting;

    void run(Work work) override { waiting.push_back(std::move(work)); }

    // Runs the work of one task (in the order given) and its finish.
    void finish(std::size_t index = 0) {
        Work work = std::move(waiting.at(index));
        waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(index));
        if (Finish done = work()) {
            done();
        }
    }
    void finishAll() {
        while (!waiting.empty()) {
            finish();
        }
    }
};

} // namespace orlet::test
