#include "Today/ICalCalendarStore.h"

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRunnable>
#include <algorithm>
#include <sys/stat.h>

namespace orlet {

namespace {

const QString sourcesKey = QStringLiteral("calendar.sources");
const QString emailsKey = QStringLiteral("calendar.emails");

bool isLoopback(const QString& host) {
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") ||
           host == QLatin1String("localhost");
}

// The key of a line in a group of a desktop-style key file.
std::optional<QString> keyFileValue(const QString& path, const QString& group, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 1024 * 1024) {
        return std::nullopt;
    }
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
        } else if (inGroup && line.startsWith(key + QLatin1Char('='))) {
            return line.mid(key.size() + 1).trimmed();
        }
    }
    return std::nullopt;
}

// What a file looked like when it was read: a save changes one of these, a rename over it the
// inode.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileStamp{info.st_dev, info.st_ino, info.st_size,
                     std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

} // namespace

struct ICalCalendarStore::Source {
    Location location;
    QString name;
    // Evolution keeps a calendar's colour beside it, not in the file.
    std::optional<QColor> color;
    std::shared_ptr<const ICalendar> calendar;
    std::optional<QString> failure;
    // Counts reads, so only the answer of the latest one is taken.
    std::uint64_t generation = 0;
    bool reading = false;
    // The file as last read; a folder's change that left it alone needs no new read.
    std::optional<FileStamp> stamp;
    DelayedJob settle;
    DelayedJob refresh;
    QPointer<QNetworkReply> reply;

    ~Source() {
        if (reply) {
            // Its answer must not reach a source that is gone.
            QObject::disconnect(reply, nullptr, nullptr, nullptr);
            reply->abort();
            reply->deleteLater();
        }
    }
};

ICalCalendarStore::ICalCalendarStore(Environment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {
    ICalendar::prepare();
    worker_.setMaxThreadCount(1);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ICalCalendarStore::fileChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            &ICalCalendarStore::directoryChanged);
    connect(&env_.defaults, &DefaultsStore::changed, this, [this](const QString& key) {
        if (key == sourcesKey || key == emailsKey) {
            configure();
            notify();
        }
    });
    configure();
}

ICalCalendarStore::~ICalCalendarStore() {
    worker_.clear();
    worker_.waitForDone();
}

QString ICalCalendarStore::dataHomeFromEnvironment() {
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir::isAbsolutePath(data) ? data : QDir::homePath() + QStringLiteral("/.local/share");
}

QString ICalCalendarStore::configHomeFromEnvironment() {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return QDir::isAbsolutePath(config) ? config : QDir::homePath() + QStringLiteral("/.config");
}

std::variant<ICalCalendarStore::Location, QString>
ICalCalendarStore::locationOf(const QString& entry, const QString& home) {
    const QString text = entry.trimmed();
    if (text.isEmpty()) {
        return QStringLiteral("the entry is empty");
    }
    if (text.startsWith(QLatin1Char('/'))) {
        return Location{Location::Kind::file, QDir::cleanPath(text), {}};
    }
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/"))) {
        return Location{Location::Kind::file, QDir::cleanPath(home + text.mid(1)), {}};
    }
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file") && url.isLocalFile()) {
        return Location{Location::Kind::file, QDir::cleanPath(url.toLocalFile()), {}};
    }
    if (scheme == QLatin1String("webcal") || scheme == QLatin1String("webcals")) {
        url.setScheme(QStringLiteral("https"));
    } else if (scheme == QLatin1String("http") && isLoopback(url.host())) {
        // Nothing leaves the machine: a calendar served by a local program.
    } else if (scheme != QLatin1String("https")) {
        return QStringLiteral("only https links are fetched");
    }
    if (!url.isValid() || url.host().isEmpty()) {
        return QStringLiteral("the link is not valid");
    }
    return Location{Location::Kind::link, {}, url};
}

QString ICalCalendarStore::evolutionCalendars() const {
    return env_.dataHome + QStringLiteral("/evolution/calendar");
}

std::vector<ICalCalendarStore::Location> ICalCalendarStore::wantedLocations() const {
    std::vector<Location> wanted;
    const QDir evolution(evolutionCalendars());
    for (const QString& folder :
         evolution.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = evolution.filePath(folder + QStringLiteral("/calendar.ics"));
        if (QFileInfo::exists(path)) {
            wanted.push_back({Location::Kind::file, path, {}});
        }
    }
    for (const QString& entry : env_.defaults.stringList(sourcesKey).value_or(QStringList())) {
        const auto location = locationOf(entry, QDir::homePath());
        if (const Location* found = std::get_if<Location>(&location)) {
            if (std::find(wanted.begin(), wanted.end(), *found) == wanted.end()) {
                wanted.push_back(*found);
            }
        } else {
            qCWarning(logApp()).noquote()
                << "Calendar source" << entry << "ignored:" << std::get<QString>(location);
        }
    }
    return wanted;
}

void ICalCalendarStore::configure() {
    extraAddresses_.clear();
    for (const QString& address : env_.defaults.stringList(emailsKey).value_or(QStringList())) {
        extraAddresses_.append(address.trimmed().toLower());
    }
    // The desktop's mail accounts name the user in invitations.
    const QDir evolutionSources(env_.configHome + QStringLiteral("/evolution/sources"));
    for (const QString& file :
         evolutionSources.entryList({QStringLiteral("*.source")}, QDir::Files)) {
        if (const auto address =
                keyFileValue(evolutionSources.filePath(file), QStringLiteral("Mail Identity"),
                             QStringLiteral("Address"))) {
            if (!address->isEmpty()) {
                extraAddresses_.append(address->toLower());
            }
        }
    }

    const std::vector<Location> wanted = wantedLocations();
    std::vector<std::unique_ptr<Source>> kept;
    for (const Location& location : wanted) {
        auto same = std::find_if(sources_.begin(), sources_.end(), [&](const auto& source) {
            return source && source->location == location;
        });
        if (same != sources_.end()) {
            kept.push_back(std::move(*same));
            continue;
        }
        auto source = std::make_unique<Source>();
        source->location = location;
        if (location.kind == Location::Kind::file) {
            const QFileInfo info(location.path);
            source->name = info.fileName();
            if (location.path.startsWith(evolutionCalendars() + QLatin1Char('/'))) {
                const QString uid = info.dir().dirName();
                const QString sourceFile =
                    env_.configHome + QStringLiteral("/evolution/sources/") +
                    (uid == QLatin1String("system") ? QStringLiteral("system-calendar") : uid) +
                    QStringLiteral(".source");
                source->name =
                    keyFileValue(sourceFile, QStringLiteral("Data Source"),
                                 QStringLiteral("DisplayName"))
                        .value_or(uid == QLatin1String("system") ? QStringLiteral("Personal")
                                                                 : uid);
                if (const auto color = keyFileValue(sourceFile, QStringLiteral("Calendar"),
                                                    QStringLiteral("Color"))) {
                    source->color = ICalendar::colorFrom(*color);
                }
            }
        } else {
            source->name = location.url.host();
        }
        kept.push_back(std::move(source));
    }
    sources_ = std::move(kept);
    watch();
    for (const auto& source : sources_) {
        if (!source->calendar && !source->failure && !source->reading) {
            read(*source);
        }
    }
}

void ICalCalendarStore::watch() {
    QStringList paths;
    // New local calendars appear as new folders here; the folder itself may appear later.
    for (QString folder = evolutionCalendars(); !folder.isEmpty() && folder != QLatin1String("/");
         folder = QFileInfo(folder).path()) {
        if (QFileInfo(folder).isDir()) {
            paths.append(folder);
            break;
        }
    }
    for (const auto& source : sources_) {
        if (source->location.kind == Location::Kind::file) {
            // The folder too: an editor that saves by renaming replaces the watched file.
            const QFileInfo info(source->location.path);
            if (info.exists()) {
                paths.append(info.filePath());
            }
            if (info.dir().exists()) {
                paths.append(info.path());
            }
        }
    }
    paths.removeDuplicates();
    const QStringList watched = watcher_.files() + watcher_.directories();
    QStringList gone;
    for (const QString& path : watched) {
        if (!paths.contains(path)) {
            gone.append(path);
        }
    }
    if (!gone.isEmpty()) {
        watcher_.removePaths(gone);
    }
    QStringList added;
    for (const QString& path : paths) {
        if (!watched.contains(path)) {
            added.append(path);
        }
    }
    if (!added.isEmpty()) {
        watcher_.addPaths(added);
    }
}

ICalCalendarStore::Source* ICalCalendarStore::sourceFor(const QString& path) {
    for (const auto& source : sources_) {
        if (source->location.kind == Location::Kind::file && source->location.path == path) {
            return source.get();
        }
    }
    return nullptr;
}

void ICalCalendarStore::fileChanged(const QString& path) {
    if (Source* source = sourceFor(path)) {
        settle(*source);
    }
}

void ICalCalendarStore::directoryChanged(const QString& path) {
    if (path.startsWith(env_.dataHome) &&
        !path.startsWith(evolutionCalendars() + QLatin1Char('/'))) {
        // A local calendar may have been added or removed.
        std::vector<Location> before;
        for (const auto& source : sources_) {
            before.push_back(source->location);
        }
        configure();
        const bool same = std::equal(before.begin(), before.end(), sources_.begin(), sources_.end(),
                                     [](const Location& location, const auto& source) {
                                         return location == source->location;
                                     });
        if (!same) {
            notify();
        }
    }
    for (const auto& source : sources_) {
        if (source->location.kind == Location::Kind::file &&
            QFileInfo(source->location.path).path() == path) {
            settle(*source);
        }
    }
    watch();
}

void ICalCalendarStore::settle(Source& source) {
    // Writers save in steps; read once they are done.
    source.settle = env_.clock.schedule(settleDelay, [this, &source] {
        watch();
        if (source.reading || !source.stamp || stampOf(source.location.path) != source.stamp) {
            read(source);
        }
    });
}

void ICalCalendarStore::read(Source& source) {
    if (source.location.kind == Location::Kind::file) {
        readFile(source);
    } else {
        fetch(source);
    }
}

void ICalCalendarStore::readFile(Source& source) {
    const std::uint64_t generation = source.generation = ++reads_;
    source.reading = true;
    const QString path = source.location.path;
    // Taken before the read: a save during it makes the next change read again.
    source.stamp = stampOf(path);
    QPointer<ICalCalendarStore> self(this);
    Source* target = &source;
    worker_.start([self, target, generation, path] {
        QFile file(path);
        Parsed result;
        if (!file.exists()) {
            result = std::make_shared<std::variant<ICalendar, QString>>(
                QStringLiteral("the file is missing"));
        } else if (!file.open(QIODevice::ReadOnly)) {
            result = std::make_shared<std::variant<ICalendar, QString>>(
                QStringLiteral("the file can't be opened"));
        } else if (file.size() > maxBytes) {
            result = std::make_shared<std::variant<ICalendar, QString>>(
                QStringLiteral("the file is too large"));
        } else {
            result = std::make_shared<std::variant<ICalendar, QString>>(
                ICalendar::parse(file.readAll()));
        }
        QMetaObject::invokeMethod(
            self,
            [self, target, generation, result] {
                if (self) {
                    self->parsed(*target, generation, result);
                }
            },
            Qt::QueuedConnection);
    });
}

void ICalCalendarStore::fetch(Source& source) {
    const std::uint64_t generation = source.generation = ++reads_;
    source.reading = true;
    source.refresh.cancel();
    if (QNetworkReply* previous = source.reply) {
        QObject::disconnect(previous, nullptr, nullptr, nullptr);
        previous->abort();
        previous->deleteLater();
    }
    QNetworkRequest request(source.location.url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Orlet"));
    request.setTransferTimeout(static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(fetchTimeout).count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = env_.network.get(request);
    source.reply = reply;
    Source* target = &source;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes) {
            reply->setProperty("tooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, target, generation] {
        reply->deleteLater();
        const bool current = std::any_of(sources_.begin(), sources_.end(),
                                         [&](const auto& s) { return s.get() == target; });
        if (!current || generation != target->generation) {
            return;
        }
        // Whatever happened, ask again in half an hour.
        target->refresh = env_.clock.schedule(refreshInterval, [this, target] { fetch(*target); });
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (reply->property("tooLarge").toBool()) {
            failed(*target, generation, QStringLiteral("the calendar is too large"));
        } else if (reply->error() == QNetworkReply::OperationCanceledError ||
                   reply->error() == QNetworkReply::TimeoutError) {
            failed(*target, generation, QStringLiteral("the server did not answer in time"));
        } else if (status.isValid() && status.toInt() != 200) {
            failed(*target, generation,
                   QStringLiteral("the server answered %1").arg(status.toInt()));
        } else if (reply->error() != QNetworkReply::NoError || !status.isValid()) {
            failed(*target, generation, QStringLiteral("the server could not be reached"));
        } else {
            const QByteArray body = reply->readAll();
            QPointer<ICalCalendarStore> self(this);
            worker_.start([self, target, generation, body] {
                auto result =
                    std::make_shared<std::variant<ICalendar, QString>>(ICalendar::parse(body));
                QMetaObject::invokeMethod(
                    self,
                    [self, target, generation, result] {
                        if (self) {
                            self->parsed(*target, generation, result);
                        }
                    },
                    Qt::QueuedConnection);
            });
        }
    });
}

void ICalCalendarStore::parsed(Source& source, std::uint64_t generation, const Parsed& result) {
    const bool current = std::any_of(sources_.begin(), sources_.end(),
                                     [&](const auto& s) { return s.get() == &source; });
    if (!current || generation != source.generation) {
        return;
    }
    if (QString* reason = std::get_if<QString>(result.get())) {
        failed(source, generation, *reason);
        return;
    }
    source.reading = false;
    source.failure.reset();
    source.calendar = std::make_shared<const ICalendar>(std::move(std::get<ICalendar>(*result)));
    qCDebug(logApp()).noquote() << "Calendar" << source.name << "read with"
                                << source.calendar->eventCount() << "events";
    notify();
}

void ICalCalendarStore::failed(Source& source, std::uint64_t generation, const QString& reason) {
    if (generation != source.generation) {
        return;
    }
    source.reading = false;
    // A file that is gone has nothing left to show; a link that fails keeps its last read.
    if (source.location.kind == Location::Kind::file) {
        source.calendar.reset();
    }
    source.failure = reason;
    qCWarning(logApp()).noquote() << "Calendar" << source.name << "could not be read:" << reason;
    notify();
}

void ICalCalendarStore::notify() {
    emit changed();
    if (onChange) {
        onChange();
    }
}

CalendarStore::Access ICalCalendarStore::access() const {
    if (sources_.empty()) {
        return Access::none;
    }
    const bool allFailed = std::all_of(sources_.begin(), sources_.end(), [](const auto& source) {
        return source->failure && !source->calendar;
    });
    return allFailed ? Access::failed : Access::readable;
}

QString ICalCalendarStore::problem() const {
    if (sources_.empty()) {
        return QStringLiteral("No calendars found. Add an .ics file or a calendar link in "
                              "Settings, or create a calendar in your desktop's calendar app.");
    }
    QStringList failures;
    for (const auto& source : sources_) {
        if (source->failure) {
            failures.append(
                QStringLiteral("Couldn't read “%1”: %2").arg(source->name, *source->failure));
        }
    }
    return failures.join(QLatin1Char('\n'));
}

QStringList ICalCalendarStore::userAddresses() const {
    return extraAddresses_;
}

std::vector<CalendarEvent> ICalCalendarStore::events(Clock::Date from, Clock::Date to) const {
    std::vector<CalendarEvent> all;
    for (const auto& source : sources_) {
        if (!source->calendar) {
            continue;
        }
        for (CalendarEvent& event :
             source->calendar->occurrences(from, to, env_.timeZone, userAddresses())) {
            if (!event.color) {
                event.color = source->color;
            }
            all.push_back(std::move(event));
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const CalendarEvent& a, const CalendarEvent& b) {
        return a.start < b.start;
    });
    return all;
}

void ICalCalendarStore::requestAccess(std::function<void()> done) {
    configure();
    for (const auto& source : sources_) {
        if (!source->reading) {
            read(*source);
        }
    }
    if (done) {
        done();
    }
}

std::vector<ICalCalendarStore::SourceState> ICalCalendarStore::sources() const {
    std::vector<SourceState> states;
    for (const auto& source : sources_) {
        states.push_back({source->name, source->calendar != nullptr, source->failure});
    }
    return states;
}

int ICalCalendarStore::pendingReads() const {
    return static_cast<int>(std::count_if(sources_.begin(), sources_.end(),
                                          [](const auto& source) { return source->reading; }));
}

} // namespace orlet
