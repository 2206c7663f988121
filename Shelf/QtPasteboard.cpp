#include "Shelf/QtPasteboard.h"

#include <QClipboard>
#include <QMimeData>

namespace orlet {

QtPasteboard::QtPasteboard(QClipboard& clipboard, QObject* parent)
    : QObject(parent), clipboard_(clipboard) {
    // Counted at once, reported later: our own setText() changes the clipboard synchronously,
    // and its caller must see the new count before anybody looks at the contents.
    connect(&clipboard_, &QClipboard::dataChanged, this, [this] { ++changeCount_; });
    connect(
        &clipboard_, &QClipboard::dataChanged, this,
        [this] {
            if (onChange) {
                onChange();
            }
        },
        Qt::QueuedConnection);
}

QStringList QtPasteboard::types() const {
    const QMimeData* contents = clipboard_.mimeData(QClipboard::Clipboard);
    return contents ? contents->formats() : QStringList();
}

std::optional<QByteArray> QtPasteboard::data(const QString& type) const {
    const QMimeData* contents = clipboard_.mimeData(QClipboard::Clipboard);
    if (!contents || !contents->hasFormat(type)) {
        return std::nullopt;
    }
    return contents->data(type);
}

std::optional<QString> QtPasteboard::text() const {
    const QMimeData* contents = clipboard_.mimeData(QClipboard::Clipboard);
    // Plain text only: a copied file offers a URI list that is no piece of text.
    if (!contents || !contents->hasFormat(QStringLiteral("text/plain"))) {
        return std::nullopt;
    }
    return contents->text();
}

void QtPasteboard::setText(const QString& text) {
    clipboard_.setText(text, QClipboard::Clipboard);
}

} // namespace orlet
