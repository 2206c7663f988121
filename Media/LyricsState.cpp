#include "Media/LyricsState.h"

namespace orlet {

QStringList LyricsState::texts() const {
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(lines_.size()));
    for (const LyricLine& line : lines_) {
        texts.append(QString::fromStdString(line.text));
    }
    return texts;
}

} // namespace orlet
