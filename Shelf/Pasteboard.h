#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace orlet {

// The desktop's clipboard as the history sees it.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Grows with every change of the contents, by anybody, this program included.
    virtual std::uint64_t changeCount() const = 0;
    // The type names the current contents are offered as.
    virtual QStringList types() const = 0;
    virtual std::optional<QByteArray> data(const QString& type) const = 0;
    // The plain text of the contents, if there is any.
    virtual std::optional<QString> text() const = 0;
    // Replaces the whole contents with a text.
    virtual void setText(const QString& text) = 0;

    // Runs on the main thread, from the event loop, some time after a change; several changes
    // may be reported once.
    std::function<void()> onChange;
};

} // namespace orlet
