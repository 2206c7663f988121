#include "Activity/ApprovalDialog.h"

#include "Platform/DesktopEntries.h"

#include <QEvent>
#include <QQuickView>
#include <fstream>
#include <sstream>

namespace orlet {

ApprovalDialog::ApprovalDialog(QObject* parent) : QObject(parent) {}

std::optional<QString> ApprovalDialog::iconOf(const std::string& desktopEntryPath) {
    std::ifstream file(desktopEntryPath);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    const std::string icon = DesktopEntries::parse(text.str()).icon;
    if (icon.empty()) {
        return std::nullopt;
    }
    return QString::fromStdString(icon);
}

ApprovalDialog::~ApprovalDialog() = default;

void ApprovalDialog::ask(const Request& request, std::function<void(bool)> answer) {
    questions_.push_back(Question{request, std::move(answer)});
    if (questions_.size() == 1) {
        showNext();
    }
}

QString ApprovalDialog::message() const {
    return questions_.empty() ? QString() : questions_.front().request.message;
}

QString ApprovalDialog::informative() const {
    return questions_.empty() ? QString() : questions_.front().request.informative;
}

QString ApprovalDialog::allowTitle() const {
    return questions_.empty() ? QString() : questions_.front().request.allowTitle;
}

QString ApprovalDialog::denyTitle() const {
    return questions_.empty() ? QString() : questions_.front().request.denyTitle;
}

void ApprovalDialog::showNext() {
    if (questions_.empty()) {
        if (window_) {
            window_->hide();
        }
        return;
    }
    const Request& request = questions_.front().request;
    iconName_.clear();
    if (request.desktopEntryPath) {
        iconName_ = iconOf(request.desktopEntryPath->toStdString()).value_or(QString());
    }
    emit requestChanged();
    if (!window_) {
        window_ = std::make_unique<QQuickView>();
        window_->setTitle(QStringLiteral("Orlet"));
        window_->setFlags(Qt::Dialog | Qt::WindowStaysOnTopHint);
        window_->setModality(Qt::ApplicationModal);
        window_->setResizeMode(QQuickView::SizeViewToRootObject);
        window_->setInitialProperties({{QStringLiteral("dialog"), QVariant::fromValue(this)}});
        window_->setSource(QUrl(QStringLiteral("qrc:/orlet/ApprovalDialog.qml")));
        // Closing the window declines, like Escape.
        window_->installEventFilter(this);
    }
    window_->show();
    window_->raise();
    window_->requestActivate();
}

bool ApprovalDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && event->type() == QEvent::Close) {
        choose(false);
    }
    return QObject::eventFilter(watched, event);
}

void ApprovalDialog::choose(bool allowed) {
    if (questions_.empty()) {
        return;
    }
    Question question = std::move(questions_.front());
    questions_.pop_front();
    question.answer(allowed);
    showNext();
}

} // namespace orlet
