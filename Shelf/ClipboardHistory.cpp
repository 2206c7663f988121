#include "Shelf/ClipboardHistory.h"

#include "Platform/DefaultsStore.h"
#include "Shelf/QtPasteboard.h"

#include <QGuiApplication>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace orlet {
namespace {

// User-perceived characters, counted only as far as the limit needs.
bool fitsLimit(const QString& text, qsizetype limit) {
    // A grapheme holds at least one UTF-16 unit.
    if (text.size() <= limit) {
        return true;
    }
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (graphemes.toNextBoundary() != -1) {
        if (++count > limit) {
            return false;
        }
    }
    return true;
}

} // namespace

ClipboardHistory::ClipboardHistory(Clock& clock, DefaultsStore& defaults,
                                   std::shared_ptr<Pasteboard> pasteboard, QObject* parent)
    : QObject(parent), clock_(clock), defaults_(defaults), pasteboard_(std::move(pasteboard)),
      isEnabled_(defaults_.boolValue(enabledKey).value_or(false)),
      lastChangeCount_(pasteboard_->changeCount()) {}

ClipboardHistory::~ClipboardHistory() {
    pasteboard_->onChange = nullptr;
}

ClipboardHistory& ClipboardHistory::shared() {
    static QPointer<ClipboardHistory> instance;
    if (!instance) {
        auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        Q_ASSERT(application);
        instance = new ClipboardHistory(Clock::shared(), DefaultsStore::shared(),
                                        std::make_shared<QtPasteboard>(*application->clipboard()),
                                        application);
    }
    return *instance;
}

void ClipboardHistory::setEnabled(bool enabled) {
    defaults_.set(enabledKey, enabled);
    const bool changed = enabled != isEnabled_;
    isEnabled_ = enabled;
    if (enabled) {
        start();
    } else {
        stop();
    }
    if (changed) {
        emit isEnabledChanged();
    }
}

void ClipboardHistory::start() {
    if (!isEnabled_ || watching_) {
        return;
    }
    watching_ = true;
    lastChangeCount_ = pasteboard_->changeCount();
    pasteboard_->onChange = [this] { check(); };
}

void ClipboardHistory::stop() {
    watching_ = false;
    pasteboard_->onChange = nullptr;
    if (!entries_.empty()) {
        entries_.clear();
        emit entriesChanged();
    }
}

void ClipboardHistory::check() {
    const std::uint64_t count = pasteboard_->changeCount();
    if (count == lastChangeCount_) {
        return;
    }
    lastChangeCount_ = count;
    if (isConcealed()) {
        return;
    }
    if (const auto text = pasteboard_->text()) {
        insert(*text);
    }
}

bool ClipboardHistory::isConcealed() const {
    const QStringList types = pasteboard_->types();
    if (std::any_of(types.begin(), types.end(),
                    [](const QString& type) { return ignoredTypes.contains(type); })) {
        return true;
    }
    if (types.contains(passwordManagerHint)) {
        const auto hint = pasteboard_->data(passwordManagerHint);
        return hint && hint->trimmed() == "secret";
    }
    return false;
}

void ClipboardHistory::insert(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !fitsLimit(trimmed, maxCharacters)) {
        return;
    }
    std::erase_if(entries_, [&trimmed](const Entry& entry) { return entry.text == trimmed; });
    entries_.insert(entries_.begin(), Entry{QUuid::createUuid(), trimmed, clock_.date()});
    if (entries_.size() > limit) {
        entries_.resize(limit);
    }
    emit entriesChanged();
}

void ClipboardHistory::copy(const Entry& entry) {
    // A copy: `entry` may be one of ours, and insert() removes it.
    const QString text = entry.text;
    pasteboard_->setText(text);
    lastChangeCount_ = pasteboard_->changeCount();
    insert(text);
}

void ClipboardHistory::remove(const Entry& entry) {
    const auto removed =
        std::erase_if(entries_, [&entry](const Entry& e) { return e.id == entry.id; });
    if (removed > 0) {
        emit entriesChanged();
    }
}

void ClipboardHistory::clear() {
    if (!entries_.empty()) {
        entries_.clear();
        emit entriesChanged();
    }
}

} // namespace orlet
