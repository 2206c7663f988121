#pragma once

#include "Activity/ApprovalPrompt.h"

#include <QObject>
#include <deque>
#include <memory>

class QQuickView;

namespace orlet {

// The question as a small window of its own, one at a time. It is modal for the user but the
// event loop keeps running: the notch and the socket stay alive while it waits.
class ApprovalDialog : public QObject, public ApprovalPrompt {
    Q_OBJECT
    Q_PROPERTY(QString message READ message NOTIFY requestChanged)
    Q_PROPERTY(QString informative READ informative NOTIFY requestChanged)
    Q_PROPERTY(QString allowTitle READ allowTitle NOTIFY requestChanged)
    Q_PROPERTY(QString denyTitle READ denyTitle NOTIFY requestChanged)
    Q_PROPERTY(QString iconName READ iconName NOTIFY requestChanged) ///< theme icon, "" for none

public:
    explicit ApprovalDialog(QObject* parent = nullptr);
    ~ApprovalDialog() override;

    void ask(const Request& request, std::function<void(bool allowed)> answer) override;

    // From the window: the user chose (Escape and closing the window mean "Don't Allow").
    Q_INVOKABLE void choose(bool allowed);

    QString message() const;
    QString informative() const;
    QString allowTitle() const;
    QString denyTitle() const;
    QString iconName() const { return iconName_; }

    // The icon named by a desktop entry file.
    static std::optional<QString> iconOf(const std::string& desktopEntryPath);

signals:
    void requestChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Question {
        Request request;
        std::function<void(bool)> answer;
    };

    void showNext();

    std::deque<Question> questions_;
    QString iconName_;
    std::unique_ptr<QQuickView> window_;
};

} // namespace orlet
