#include "Settings/AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace orlet {
namespace {

// The Exec value for one program path: quoted when it holds a character the session would
// otherwise split or interpret, with "%" doubled so it is not taken for a field code, then
// escaped as any string value of a desktop entry (so one literal backslash becomes four).
QString execValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#`()");
    bool needsQuotes = program.isEmpty();
    for (const QChar c : program) {
        needsQuotes = needsQuotes || reserved.contains(c);
    }
    QString argument;
    for (const QChar c : program) {
        if (c == u'%') {
            argument += QStringLiteral("%%");
        } else if (needsQuotes && (c == u'"' || c == u'`' || c == u'$' || c == u'\\')) {
            argument += u'\\';
            argument += c;
        } else {
            argument += c;
        }
    }
    if (needsQuotes) {
        argument = u'"' + argument + u'"';
    }
    QString value;
    for (const QChar c : argument) {
        switch (c.unicode()) {
        case u'\\':
            value += QStringLiteral("\\\\");
            break;
        case u'\n':
            value += QStringLiteral("\\n");
            break;
        case u'\t':
            value += QStringLiteral("\\t");
            break;
        case u'\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

// Booleans as the session's key-file reader takes them.
bool isTrue(QStringView value) {
    return value == u"true" || value == u"1";
}
bool isFalse(QStringView value) {
    return value == u"false" || value == u"0";
}

} // namespace

AutostartLoginItem::AutostartLoginItem(QString autostartFolder, QString programPath)
    : folder_(std::move(autostartFolder)), entryPath_(folder_ + QStringLiteral("/orlet.desktop")),
      programPath_(std::move(programPath)) {}

QString AutostartLoginItem::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

bool AutostartLoginItem::isEnabled() const {
    QFile file(entryPath_);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QString content = QString::fromUtf8(file.readAll());
    bool inMainGroup = false;
    for (QStringView line : QStringView(content).split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inMainGroup || line.startsWith(u'#') || equals < 0) {
            continue;
        }
        const QStringView key = line.left(equals).trimmed();
        const QStringView value = line.mid(equals + 1).trimmed();
        if ((key == u"Hidden" && isTrue(value)) ||
            (key == u"X-GNOME-Autostart-enabled" && isFalse(value))) {
            return false;
        }
    }
    return true;
}

std::optional<QString> AutostartLoginItem::setEnabled(bool enabled) {
    if (!enabled) {
        QFile file(entryPath_);
        if (file.exists() && !file.remove()) {
            return QStringLiteral("Cannot remove %1: %2").arg(entryPath_, file.errorString());
        }
        return std::nullopt;
    }
    if (!QDir().mkpath(folder_)) {
        return QStringLiteral("Cannot create the folder %1").arg(folder_);
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Orlet\n"
                                         "Exec=%1\n"
                                         "X-GNOME-Autostart-enabled=true\n"
                                         "NoDisplay=true\n")
                              .arg(execValue(programPath_));
    QSaveFile file(entryPath_);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry.toUtf8()) < 0 || !file.commit()) {
        return QStringLiteral("Cannot write %1: %2").arg(entryPath_, file.errorString());
    }
    return std::nullopt;
}

} // namespace orlet
