#include "HUD/BacklightBrightness.h"

#include "Platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <unistd.h>

namespace orlet {
namespace {

int typeRank(const QString& type) {
    if (type == QLatin1String("firmware")) {
        return 0;
    }
    if (type == QLatin1String("platform")) {
        return 1;
    }
    return 2;
}

} // namespace

BacklightBrightness::BacklightBrightness(QString root, QDBusConnection bus, QObject* parent)
    : QObject(parent), root_(std::move(root)), bus_(std::move(bus)) {
    QStringList names = QDir(root_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    auto rank = [this](const QString& name) {
        QFile file(root_ + '/' + name + QStringLiteral("/type"));
        return typeRank(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                                       : QString());
    };
    std::stable_sort(names.begin(), names.end(),
                     [&rank](const QString& a, const QString& b) { return rank(a) < rank(b); });
    for (const QString& name : names) {
        device_ = name;
        const std::optional<long> maximum = readNumber(QStringLiteral("max_brightness"));
        if (maximum && *maximum > 0 && readNumber(QStringLiteral("brightness"))) {
            maximum_ = *maximum;
            break;
        }
        device_.clear();
    }
    if (!device_.isEmpty()) {
        watch();
    }
}

BacklightBrightness::~BacklightBrightness() {
    notifier_.reset();
    if (watchFD_ >= 0) {
        ::close(watchFD_);
    }
}

std::optional<long> BacklightBrightness::readNumber(const QString& file) const {
    QFile handle(root_ + '/' + device_ + '/' + file);
    if (!handle.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    bool ok = false;
    const long value = QString::fromLatin1(handle.read(32)).trimmed().toLong(&ok);
    return ok && value >= 0 ? std::optional<long>(value) : std::nullopt;
}

std::optional<double> BacklightBrightness::get() const {
    if (device_.isEmpty()) {
        return std::nullopt;
    }
    if (requested_) {
        return requested_;
    }
    const std::optional<long> level = readNumber(QStringLiteral("brightness"));
    if (!level) {
        return std::nullopt;
    }
    return std::clamp(static_cast<double>(*level) / static_cast<double>(maximum_), 0.0, 1.0);
}

void BacklightBrightness::set(double value) {
    if (device_.isEmpty() || std::isnan(value)) {
        return;
    }
    const long level = std::lround(std::clamp(value, 0.0, 1.0) * static_cast<double>(maximum_));
    requested_ = static_cast<double>(level) / static_cast<double>(maximum_);
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("SetBrightness"));
    call << QStringLiteral("backlight") << device_ << static_cast<uint>(level);
    ++writesInFlight_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError()) {
                    qCWarning(logHud()).noquote()
                        << "Brightness not set:" << finished->error().message();
                }
                if (--writesInFlight_ == 0) {
                    requested_.reset();
                }
            });
}

void BacklightBrightness::watch() {
    // The kernel marks this file with an exceptional condition when the level changes.
    const QByteArray path = QFile::encodeName(root_ + '/' + device_ + "/actual_brightness");
    watchFD_ = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (watchFD_ < 0) {
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(watchFD_, QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &BacklightBrightness::changed);
}

void BacklightBrightness::changed() {
    // Reading clears the condition.
    char text[32] = {};
    const ssize_t size = ::pread(watchFD_, text, sizeof text - 1, 0);
    if (size <= 0 || onNotification == nullptr) {
        return;
    }
    bool ok = false;
    const long level = QByteArray(text, static_cast<int>(size)).trimmed().toLong(&ok);
    if (ok && level >= 0) {
        onNotification(
            std::clamp(static_cast<double>(level) / static_cast<double>(maximum_), 0.0, 1.0));
    }
}

} // namespace orlet
