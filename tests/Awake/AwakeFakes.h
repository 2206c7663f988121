#pragma once

#include "Awake/PowerManagement.h"
#include "Awake/ProcessWatcher.h"

#include <map>
#include <memory>
#include <vector>

namespace orlet::test {

// Assertions that answer when the test says so.
class FakePowerManagement : public PowerManagement {
public:
    struct Request {
        AssertionType type;
        QString name;
        std::shared_ptr<std::function<void(bool)>> settled; ///< empty once given back
    };

    class FakeAssertion : public Assertion {
    public:
        FakeAssertion(FakePowerManagement& owner,
                      std::shared_ptr<std::function<void(bool)>> settled)
            : owner_(owner), settled_(std::move(settled)) {
            ++owner_.held;
        }
        ~FakeAssertion() override {
            --owner_.held;
            *settled_ = nullptr;
        }

    private:
        FakePowerManagement& owner_;
        std::shared_ptr<std::function<void(bool)>> settled_;
    };

    std::unique_ptr<Assertion> create(AssertionType type, const QString& name,
                                      std::function<void(bool)> settled) override {
        auto callback = std::make_shared<std::function<void(bool)>>(std::move(settled));
        requests.push_back({type, name, callback});
        return std::make_unique<FakeAssertion>(*this, callback);
    }

    void declareUserActivity() override { ++declarations; }

    // Answers every request still waiting, in order, with `granted` per type.
    void answerAll(bool displaySleep = true, bool idleSleep = true) {
        for (const Request& request : requests) {
            if (*request.settled) {
                const auto settled = std::exchange(*request.settled, nullptr);
                settled(request.type == AssertionType::displaySleep ? displaySleep : idleSleep);
            }
        }
    }

    int held = 0;
    int declarations = 0;
    std::vector<Request> requests;
};

// Processes that end when the test says so.
class FakeProcessWatcher : public ProcessWatcher {
public:
    class FakeWatch : public Watch {
    public:
        FakeWatch(FakeProcessWatcher& owner, pid_t pid) : owner_(owner), pid_(pid) {}
        ~FakeWatch() override { owner_.watches.erase(pid_); }

    private:
        FakeProcessWatcher& owner_;
        pid_t pid_;
    };

    std::unique_ptr<Watch> watch(pid_t pid, std::function<void()> exited) override {
        if (!watchable) {
            return nullptr;
        }
        watches[pid] = std::move(exited);
        return std::make_unique<FakeWatch>(*this, pid);
    }

    void exit(pid_t pid) {
        if (const auto found = watches.find(pid); found != watches.end()) {
            const auto exited = found->second;
            exited();
        }
    }

    bool watchable = true;
    std::map<pid_t, std::function<void()>> watches;
};

} // namespace orlet::test
