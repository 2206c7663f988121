#pragma once

#include "Shelf/Pasteboard.h"

#include <QObject>

class QClipboard;

namespace orlet {

// The CLIPBOARD selection through QClipboard. Changes come from the clipboard's change signal
// (XFixes selection events on X11), so nothing runs while nothing is copied.
class QtPasteboard : public QObject, public Pasteboard {
    Q_OBJECT

public:
    explicit QtPasteboard(QClipboard& clipboard, QObject* parent = nullptr);

    std::uint64_t changeCount() const override { return changeCount_; }
    QStringList types() const override;
    std::optional<QByteArray> data(const QString& type) const override;
    std::optional<QString> text() const override;
    void setText(const QString& text) override;

private:
    QClipboard& clipboard_;
    std::uint64_t changeCount_ = 0;
};

} // namespace orlet
