#pragma once

#include "Media/LyricLine.h"

#include <QMetaType>
#include <QObject>
#include <QStringList>
#include <vector>

namespace orlet {

// What the lyrics views show. Only `synced` carries lines, so field-wise equality is "same case,
// and for synced the same lines".
class LyricsState {
    Q_GADGET
    Q_PROPERTY(Case kind READ kind)
    Q_PROPERTY(QStringList texts READ texts) ///< the synced lines' texts, in order

public:
    enum class Case { synced, off, loading, notFound, unsynced, failed };
    Q_ENUM(Case)

    LyricsState() = default;
    static LyricsState synced(std::vector<LyricLine> lines) {
        return LyricsState(Case::synced, std::move(lines));
    }
    static LyricsState off() { return LyricsState(Case::off); }
    static LyricsState loading() { return LyricsState(Case::loading); }
    static LyricsState notFound() { return LyricsState(Case::notFound); }
    static LyricsState unsynced() { return LyricsState(Case::unsynced); }
    static LyricsState failed() { return LyricsState(Case::failed); }

    Case kind() const { return kind_; }
    bool isSynced() const { return kind_ == Case::synced; }
    const std::vector<LyricLine>& lines() const { return lines_; }
    QStringList texts() const;

    bool operator==(const LyricsState&) const = default;

private:
    explicit LyricsState(Case kind, std::vector<LyricLine> lines = {})
        : kind_(kind), lines_(std::move(lines)) {}

    Case kind_ = Case::off;
    std::vector<LyricLine> lines_;
};

} // namespace orlet

Q_DECLARE_METATYPE(orlet::LyricsState)
