#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

namespace orlet {

// The desktop's "complete" event sound from the freedesktop sound theme, played by a short-
// lived player process. Without the theme or a player nothing plays.
class ThemeSound : public QObject {
    Q_OBJECT

public:
    explicit ThemeSound(QObject* parent = nullptr);

    void play();

    // The command that plays the sound, found in `dataDirs` (each a share folder) with a
    // player `findProgram` can locate; nothing when either is missing.
    static std::optional<QStringList>
    command(const QStringList& dataDirs, const std::function<QString(const QString&)>& findProgram);
    // $XDG_DATA_HOME and $XDG_DATA_DIRS, in order.
    static QStringList dataDirsFromEnvironment();
};

} // namespace orlet
