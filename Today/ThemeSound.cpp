#include "Today/ThemeSound.h"

#include "Platform/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace orlet {

ThemeSound::ThemeSound(QObject* parent) : QObject(parent) {}

QStringList ThemeSound::dataDirsFromEnvironment() {
    QStringList dirs;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    dirs.append(QDir::isAbsolutePath(home) ? home
                                           : QDir::homePath() + QStringLiteral("/.local/share"));
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty()) {
        system = QStringLiteral("/usr/local/share:/usr/share");
    }
    for (const QString& dir : system.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir)) {
            dirs.append(dir);
        }
    }
    return dirs;
}

std::optional<QStringList>
ThemeSound::command(const QStringList& dataDirs,
                    const std::function<QString(const QString&)>& findProgram) {
    const QString player = findProgram(QStringLiteral("paplay"));
    if (player.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& dir : dataDirs) {
        for (const char* ending : {".oga", ".ogg", ".wav"}) {
            const QString file =
                dir + QStringLiteral("/sounds/freedesktop/stereo/complete") + QLatin1String(ending);
            if (QFileInfo(file).isFile()) {
                return QStringList{player, file};
            }
        }
    }
    return std::nullopt;
}

void ThemeSound::play() {
    const std::optional<QStringList> line =
        command(dataDirsFromEnvironment(),
                [](const QString& name) { return QStandardPaths::findExecutable(name); });
    if (!line) {
        qCDebug(logApp()) << "No event sound to play";
        return;
    }
    // Detached: the player ends on its own within a second, and nothing waits for it.
    QProcess::startDetached(line->front(), line->mid(1));
}

} // namespace orlet
