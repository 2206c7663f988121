#include "Today/MeetingLink.h"

#include <QRegularExpression>

namespace orlet {

std::vector<QUrl> MeetingLink::links(const QString& text) {
    // Notes arrive as plain text or HTML; a link ends at white space, a quote or an angle
    // bracket, and trailing sentence punctuation is not part of it.
    static const QRegularExpression pattern(
        QStringLiteral(R"((?:\b[A-Za-z][A-Za-z0-9+.\-]*://|\bwww\.)[^\s<>"'`]+)"));
    static const QRegularExpression trailing(QStringLiteral(R"([.,;:!?)\]}]+$)"));
    std::vector<QUrl> found;
    for (auto match = pattern.globalMatch(text); match.hasNext();) {
        QString candidate = match.next().captured();
        // Keep a closing bracket that closes one opened inside the link.
        const qsizetype cut = trailing.match(candidate).capturedStart();
        if (cut > 0) {
            QString tail = candidate.mid(cut);
            candidate.truncate(cut);
            while (!tail.isEmpty() && tail.front() == QLatin1Char(')') &&
                   candidate.count(QLatin1Char('(')) > candidate.count(QLatin1Char(')'))) {
                candidate += tail.front();
                tail.remove(0, 1);
            }
        }
        if (candidate.startsWith(QLatin1String("www."), Qt::CaseInsensitive)) {
            candidate.prepend(QLatin1String("http://"));
        }
        const QUrl url(candidate, QUrl::TolerantMode);
        if (url.isValid()) {
            found.push_back(url);
        }
    }
    return found;
}

bool MeetingLink::isMeetingHost(const QString& host) {
    const QString lower = host.toLower();
    for (const std::string_view domain : domains) {
        const QString name = QString::fromLatin1(domain.data(), qsizetype(domain.size()));
        if (lower == name || lower.endsWith(QLatin1Char('.') + name)) {
            return true;
        }
    }
    return false;
}

std::optional<QUrl> MeetingLink::find(const std::vector<std::optional<QString>>& texts) {
    for (const std::optional<QString>& text : texts) {
        if (!text || text->isEmpty()) {
            continue;
        }
        for (const QUrl& url : links(*text)) {
            if (!url.host().isEmpty() && isMeetingHost(url.host())) {
                return url;
            }
        }
    }
    return std::nullopt;
}

} // namespace orlet
