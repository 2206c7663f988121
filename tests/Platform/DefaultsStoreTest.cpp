#include "Platform/DefaultsStore.h"

#include "Platform/Preferences.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"
#include "QtTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace orlet {
namespace {

namespace fs = std::filesystem;
using Value = DefaultsStore::Value;

QString qt(const fs::path& path) {
    return QString::fromStdString(path.string());
}

std::string contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A store file inside a folder that does not exist yet.
class Defaults : public testing::Test {
protected:
    fs::path file() const { return directory_.path() / "orlet" / "defaults.json"; }
    fs::path aside() const { return directory_.path() / "orlet" / "defaults.json.corrupt"; }

    void put(const fs::path& path, const std::string& content) const {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    void put(const std::string& content) const { put(file(), content); }

    // The file as a JSON object; fails the test when it is not one.
    QJsonObject stored() const {
        QJsonParseError error;
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(contentOf(file())), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
        EXPECT_TRUE(document.isObject());
        return document.object();
    }

    test::TemporaryDirectory directory_;
};

template <typename T> std::optional<T> as(const std::optional<Value>& value) {
    if (value && std::holds_alternative<T>(*value)) {
        return std::get<T>(*value);
    }
    return std::nullopt;
}

struct ReadCase {
    const char* sentence;
    const char* json;              ///< stored under "key"
    std::optional<Value> expected; ///< every typed reader of another type reads nothing
};

class TypedReads : public Defaults, public testing::WithParamInterface<ReadCase> {};

TEST_P(TypedReads, AValueReadsOnlyAsItsOwnType) {
    const ReadCase& c = GetParam();
    put(std::string(R"({"key": )") + c.json + "}");
    const DefaultsStore store(qt(file()));
    EXPECT_EQ(store.value("key"), c.expected);
    EXPECT_EQ(store.boolValue("key"), as<bool>(c.expected));
    EXPECT_EQ(store.number("key"), as<double>(c.expected));
    EXPECT_EQ(store.string("key"), as<QString>(c.expected));
    EXPECT_EQ(store.stringList("key"), as<QStringList>(c.expected));
    EXPECT_EQ(store.bytes("key"), as<QByteArray>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, TypedReads,
    testing::Values(
        ReadCase{"true is a bool", "true", Value(true)},
        ReadCase{"false is a bool", "false", Value(false)},
        ReadCase{"an integer is a number never a bool", "1", Value(1.0)},
        ReadCase{"zero is a number not false", "0", Value(0.0)},
        ReadCase{"a fraction is a number", "-2.5", Value(-2.5)},
        ReadCase{"a string that looks like a number is only a string", R"("2")",
                 Value(QStringLiteral("2"))},
        ReadCase{"the string true is not a bool", R"("true")", Value(QStringLiteral("true"))},
        ReadCase{"an array of strings is a string list", R"(["b", "a"])",
                 Value(QStringList{"b", "a"})},
        ReadCase{"an empty array is an empty string list", "[]", Value(QStringList())},
        ReadCase{"an array holding a number reads as nothing", R"(["a", 1])", std::nullopt},
        ReadCase{"an object with base64 is bytes", R"({"base64": "AAEC/w=="})",
                 Value(QByteArray("\x00\x01\x02\xff", 4))},
        ReadCase{"base64 next to another key reads as nothing", R"({"base64": "AA==", "x": 1})",
                 std::nullopt},
        ReadCase{"base64 that does not decode reads as nothing", R"({"base64": "A*A="})",
                 std::nullopt},
        ReadCase{"base64 that is not a string reads as nothing", R"({"base64": 7})", std::nullopt},
        ReadCase{"null reads as nothing", "null", std::nullopt},
        ReadCase{"another object reads as nothing", R"({"a": "b"})", std::nullopt}),
    test::SentenceName());

struct WriteCase {
    const char* sentence;
    Value value;
    const char* json; ///< how the file holds it
};

class WrittenValues : public Defaults, public testing::WithParamInterface<WriteCase> {};

TEST_P(WrittenValues, AreStoredInTheirJsonFormAndReadBackByANewStore) {
    const WriteCase& c = GetParam();
    DefaultsStore(qt(file())).set("key", c.value);
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray(R"({"key": )") + c.json + "}").object();
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(DefaultsStore(qt(file())).value("key"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, WrittenValues,
    testing::Values(WriteCase{"a bool is a JSON bool", Value(false), "false"},
                    WriteCase{"a fraction is a JSON number", Value(0.25), "0.25"},
                    WriteCase{"a whole number stays a number", Value(150.0), "150"},
                    WriteCase{"a huge number keeps its value", Value(1e300), "1e300"},
                    WriteCase{"a string keeps quotes and characters beyond ASCII",
                              Value(QString::fromUtf8("say \"h\xc3\xa9\" \xf0\x9f\xa6\x89")),
                              "\"say \\\"h\xc3\xa9\\\" \xf0\x9f\xa6\x89\""},
                    WriteCase{"an empty string is a string", Value(QString("")), R"("")"},
                    WriteCase{"a list keeps its order", Value(QStringList{"weather", "media"}),
                              R"(["weather", "media"])"},
                    WriteCase{"an empty list is an empty array", Value(QStringList()), "[]"},
                    WriteCase{"bytes are base64 in an object", Value(QByteArray("\x00\xff\x10", 3)),
                              R"({"base64": "AP8Q"})"},
                    WriteCase{"no bytes are an empty base64 text", Value(QByteArray()),
                              R"({"base64": ""})"}),
    test::SentenceName());

TEST_F(Defaults, RegisteredValuesApplyOnlyWhileTheKeyWasNeverWritten) {
    DefaultsStore store(qt(file()));
    store.registerDefaults({{"flag", true}, {"name", QStringLiteral("registered")}});
    EXPECT_EQ(store.boolValue("flag"), true);
    EXPECT_EQ(store.string("name"), QStringLiteral("registered"));
    EXPECT_FALSE(fs::exists(file())) << "registering writes nothing";

    store.set("flag", false);
    EXPECT_EQ(store.boolValue("flag"), false);
    store.remove("flag");
    EXPECT_EQ(store.boolValue("flag"), true);

    store.set("name", 3.0);
    EXPECT_EQ(store.string("name"), std::nullopt) << "a written number hides the registered text";
    EXPECT_EQ(store.number("name"), 3.0);
}

TEST_F(Defaults, AStoredValueOfTheWrongTypeReadsAsNothingDespiteARegisteredOne) {
    put(R"({"flag": "yes", "list": ["a", null]})");
    DefaultsStore store(qt(file()));
    store.registerDefaults({{"flag", true}, {"list", QStringList{"registered"}}});
    EXPECT_EQ(store.boolValue("flag"), std::nullopt);
    EXPECT_EQ(store.stringList("list"), std::nullopt);
    EXPECT_EQ(store.value("list"), std::nullopt);
}

TEST_F(Defaults, RemovalsPersistAndEntriesOfUnknownShapeSurviveARewrite) {
    put(R"({"nested": {"a": [1, null]}, "gone": true, "nothing": null})");
    DefaultsStore(qt(file())).remove("gone");
    DefaultsStore(qt(file())).set("kept", true);
    EXPECT_EQ(stored(), QJsonDocument::fromJson(
                            R"({"nested": {"a": [1, null]}, "nothing": null, "kept": true})")
                            .object());
    EXPECT_EQ(DefaultsStore(qt(file())).value("gone"), std::nullopt);
}

TEST_F(Defaults, EverySetAndRemoveWritesAtOnceAndIsAnnouncedEvenWhenNothingChanged) {
    DefaultsStore store(qt(file()));
    QSignalSpy changed(&store, &DefaultsStore::changed);
    store.set("key", 1.0);
    put("{}"); // another writer; the next set of the same value must still reach the file
    store.set("key", 1.0);
    EXPECT_EQ(stored().value("key"), QJsonValue(1.0));
    store.remove("key");
    EXPECT_FALSE(stored().contains("key"));
    ASSERT_EQ(changed.count(), 3);
    for (const QList<QVariant>& arguments : changed) {
        EXPECT_EQ(arguments.at(0).toString(), "key");
    }
}

TEST_F(Defaults, AWriteReplacesTheFileInsteadOfRewritingItInPlace) {
    DefaultsStore store(qt(file()));
    store.set("key", 1.0);
    const fs::path earlier = file().parent_path() / "earlier.json";
    fs::create_hard_link(file(), earlier);
    store.set("key", 2.0);
    EXPECT_EQ(stored().value("key"), QJsonValue(2.0));
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(contentOf(earlier)))["key"],
              QJsonValue(1.0))
        << "the old file must stay whole until the new one takes its name";
    std::vector<fs::path> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(file().parent_path())) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<fs::path>{"defaults.json", "earlier.json"}))
        << "no temporary file is left behind";
}

TEST_F(Defaults, NumbersJsonCannotCarryAreRefusedAndTheFileStaysValid) {
    DefaultsStore store(qt(file()));
    store.set("key", 1.0);
    QSignalSpy changed(&store, &DefaultsStore::changed);
    for (const double number :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()}) {
        test::LogCapture log;
        store.set("key", number);
        ASSERT_EQ(log.lines().size(), 1u) << number;
        EXPECT_EQ(log.lines()[0].type, QtWarningMsg);
        EXPECT_TRUE(log.lines()[0].message.contains("key")) << log.lines()[0].message.toStdString();
        EXPECT_EQ(store.number("key"), 1.0);
        EXPECT_EQ(stored().value("key"), QJsonValue(1.0));
    }
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(Defaults, AFailedWriteIsLoggedAndTheValueStillChanges) {
    const fs::path blocker = directory_.path() / "blocker";
    put(blocker, "a file where the folder should be");
    const QString path = qt(blocker / "defaults.json");
    DefaultsStore store(path);
    QSignalSpy changed(&store, &DefaultsStore::changed);
    test::LogCapture log;
    store.set("key", true);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].type, QtWarningMsg);
    EXPECT_EQ(log.lines()[0].category, "com.brambleowl.orlet.app");
    EXPECT_TRUE(log.lines()[0].message.contains(path)) << log.lines()[0].message.toStdString();
    EXPECT_EQ(store.boolValue("key"), true);
    EXPECT_EQ(changed.count(), 1);
}

struct CorruptCase {
    const char* sentence;
    const char* content;
    const char* reason; ///< part of the log line
};

class CorruptFiles : public Defaults, public testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptFiles, AreKeptAsideWithOneLogLineAndTheStoreStartsEmpty) {
    const CorruptCase& c = GetParam();
    put(aside(), "an older corrupt file");
    put(c.content);
    std::optional<DefaultsStore> store;
    {
        test::LogCapture log;
        store.emplace(qt(file()));
        ASSERT_EQ(log.lines().size(), 1u);
        const test::LogCapture::Line& line = log.lines()[0];
        EXPECT_EQ(line.type, QtWarningMsg);
        EXPECT_EQ(line.category, "com.brambleowl.orlet.app");
        EXPECT_TRUE(line.message.contains(qt(file()))) << line.message.toStdString();
        EXPECT_TRUE(line.message.contains(c.reason)) << line.message.toStdString();
    }
    EXPECT_EQ(contentOf(aside()), c.content);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(store->value("hud.show"), std::nullopt);

    store->set("hud.show", false);
    EXPECT_EQ(stored(), QJsonDocument::fromJson(R"({"hud.show": false})").object());
}

INSTANTIATE_TEST_SUITE_P(
    Defaults, CorruptFiles,
    testing::Values(CorruptCase{"text that is not JSON", "hud.show = true", "offset"},
                    CorruptCase{"an object cut off while writing", R"({"hud.show": tr)", "offset"},
                    CorruptCase{"an empty file", "", "offset"},
                    CorruptCase{"an array at the top level", "[true]", "not an object"},
                    CorruptCase{"a bare string at the top level", R"("hud.show")", "offset"}),
    test::SentenceName());

TEST_F(Defaults, PreferencesRegisterTheThreeHudSwitchesAndAWrittenValueWins) {
    {
        DefaultsStore store(qt(file()));
        Preferences::registerDefaults(store);
        EXPECT_EQ(store.boolValue("hud.show"), true);
        EXPECT_EQ(store.boolValue("hud.replaceSystem"), false);
        EXPECT_EQ(store.boolValue("alerts.enabled"), true);
        EXPECT_EQ(store.value("menubar.show"), std::nullopt) << "its reader owns its fallback";
        EXPECT_FALSE(fs::exists(file()));
        store.set("hud.show", false);
        store.set("hud.replaceSystem", true);
    }
    DefaultsStore store(qt(file()));
    Preferences::registerDefaults(store);
    EXPECT_EQ(store.boolValue("hud.show"), false);
    EXPECT_EQ(store.boolValue("hud.replaceSystem"), true);
    EXPECT_EQ(store.boolValue("alerts.enabled"), true);
}

// The probe writes the defaults over and over and prints the counter it stored after each
// write, so the test can kill it at a known number of completed writes.
class WriterProbe {
public:
    explicit WriterProbe(const fs::path& file) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe2");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::string program = ORLET_DEFAULTS_WRITER_PROBE;
        const std::string path = file.string();
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()),
                        nullptr};
        const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        output_ = fds[0];
        if (error != 0) {
            ::close(output_);
            throw std::system_error(error, std::generic_category(), "posix_spawn " + program);
        }
    }
    ~WriterProbe() {
        kill();
        ::close(output_);
    }
    WriterProbe(const WriterProbe&) = delete;
    WriterProbe& operator=(const WriterProbe&) = delete;

    // The counter of the `count`th completed write from now; nothing when the probe ended.
    std::optional<long> waitForWrites(int count) {
        std::optional<long> last;
        while (count > 0) {
            const auto newline = pending_.find('\n');
            if (newline != std::string::npos) {
                last = std::stol(pending_.substr(0, newline));
                pending_.erase(0, newline + 1);
                --count;
                continue;
            }
            char buffer[256];
            const ssize_t got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0) {
                return std::nullopt;
            }
            pending_.append(buffer, static_cast<size_t>(got));
        }
        return last;
    }

    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
};

TEST_F(Defaults, AWriterKilledAtAnyPointLeavesAWholeFileWithItsLastCompletedWrite) {
    // A write of the probe's payload takes about two milliseconds; the pauses spread the kills
    // over every phase of one. Nothing is checked against time.
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        long reported = 0;
        {
            WriterProbe probe(file());
            const std::optional<long> counter = probe.waitForWrites(1 + round % 3);
            ASSERT_TRUE(counter.has_value()) << "the probe stopped on its own";
            reported = *counter;
            std::this_thread::sleep_for(std::chrono::microseconds(round * 150));
            probe.kill();
        }
        const QJsonObject object = stored();
        ASSERT_FALSE(HasFailure());
        EXPECT_GE(object.value("counter").toDouble(), static_cast<double>(reported));
        test::LogCapture log;
        EXPECT_EQ(DefaultsStore(qt(file())).number("counter"), object.value("counter").toDouble());
        EXPECT_TRUE(log.lines().empty());
        EXPECT_FALSE(fs::exists(aside()));
    }
}

} // namespace
} // namespace orlet
