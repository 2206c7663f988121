#pragma once

#include "Platform/Clock.h"
#include "Today/CalendarStore.h"
#include "Today/ICalendar.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimeZone>
#include <QUrl>
#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace orlet {

class DefaultsStore;

// The user's iCalendar data: the desktop's local calendars (Evolution's calendar.ics files),
// plus the .ics files and subscription links listed under "calendar.sources". Files are
// watched, links fetched again every half hour; parsing runs on a worker thread. A calendar
// that fails keeps what it last read.
class ICalCalendarStore : public QObject, public CalendarStore {
    Q_OBJECT

public:
    struct Environment {
        Clock& clock;
        DefaultsStore& defaults;
        QNetworkAccessManager& network;
        // $XDG_DATA_HOME (else ~/.local/share) and $XDG_CONFIG_HOME (else ~/.config).
        QString dataHome;
        QString configHome;
        QTimeZone timeZone = QTimeZone::systemTimeZone();
    };

    static constexpr std::chrono::minutes refreshInterval{30};
    static constexpr std::chrono::milliseconds settleDelay{250};
    static constexpr std::chrono::seconds fetchTimeout{30};
    static constexpr qint64 maxBytes = 64 * 1024 * 1024;

    // Where a source comes from, as the setting lists it.
    struct Location {
        enum class Kind { file, link };
        Kind kind = Kind::file;
        QString path; ///< a file's absolute path
        QUrl url;     ///< a link, https (webcal is read as https)
        bool operator==(const Location&) const = default;
    };

    explicit ICalCalendarStore(Environment environment, QObject* parent = nullptr);
    ~ICalCalendarStore() override;

    // The data and configuration folders of the environment the process runs in.
    static QString dataHomeFromEnvironment();
    static QString configHomeFromEnvironment();

    // A setting entry as a source: an absolute or "~/" path, a file: URL, an https or webcal
    // link. Anything else is refused with the reason.
    static std::variant<Location, QString> locationOf(const QString& entry, const QString& home);

    Access access() const override;
    QString problem() const override;
    std::vector<CalendarEvent> events(Clock::Date from, Clock::Date to) const override;
    void requestAccess(std::function<void()> done) override;

    // The sources in use, for diagnostics and tests: a name and whether it failed.
    struct SourceState {
        QString name;
        bool loaded = false;
        std::optional<QString> failure;
        bool operator==(const SourceState&) const = default;
    };
    std::vector<SourceState> sources() const;
    // Reads in flight on the worker or the network.
    int pendingReads() const;

signals:
    void changed();

private:
    struct Source;
    using Parsed = std::shared_ptr<std::variant<ICalendar, QString>>;

    void configure();
    std::vector<Location> wantedLocations() const;
    void watch();
    void fileChanged(const QString& path);
    void directoryChanged(const QString& path);
    void settle(Source& source);
    void read(Source& source);
    void readFile(Source& source);
    void fetch(Source& source);
    void parsed(Source& source, std::uint64_t generation, const Parsed& result);
    void failed(Source& source, std::uint64_t generation, const QString& reason);
    void notify();
    Source* sourceFor(const QString& path);
    QStringList userAddresses() const;
    QString evolutionCalendars() const;

    Environment env_;
    std::vector<std::unique_ptr<Source>> sources_;
    QFileSystemWatcher watcher_;
    QStringList extraAddresses_;
    // Numbers every read across sources, so an answer never lands on a newer source.
    std::uint64_t reads_ = 0;
    // Destroyed first: its destructor waits for the parse in flight.
    QThreadPool worker_;
};

} // namespace orlet
