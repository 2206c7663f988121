#pragma once

#include <QDebug>
#include <QString>
#include <ostream>
#include <vector>

// Readable failure messages for Qt values: GoogleTest finds these next to the Qt types.
template <typename T>
requires requires(QDebug debug, const T& value) {
    debug << value;
}
void PrintTo(const T& value, std::ostream* out) {
    QString text;
    QDebug(&text).nospace() << value;
    *out << text.toStdString();
}

namespace orlet::test {

// Keeps every Qt log message of its lifetime instead of printing it. One at a time.
class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString category;
        QString message;
    };

    LogCapture() : previous_(qInstallMessageHandler(&record)) { current_ = this; }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        current_ = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<Line>& lines() const { return lines_; }

private:
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        current_->lines_.push_back(
            {type, QString::fromUtf8(context.category ? context.category : ""), message});
    }

    static inline LogCapture* current_ = nullptr;
    QtMessageHandler previous_;
    std::vector<Line> lines_;
};

} // namespace orlet::test
