#pragma once

#include "Notch/ScreenSource.h"

#include <QHash>
#include <QObject>
#include <QString>

class QScreen;

namespace orlet {

// The displays Qt knows, watched for every change that moves or resizes a notch.
class QtScreenSource : public QObject, public ScreenSource {
    Q_OBJECT

public:
    explicit QtScreenSource(QObject* parent = nullptr);

    std::vector<DisplayInfo> displays() const override;

private:
    void watch(QScreen* screen);
    void changed();
    std::uint32_t idOf(const QScreen* screen) const;

    // A display keeps its number for the life of the process, even when unplugged and back.
    mutable QHash<QString, std::uint32_t> ids_;
    bool changePosted_ = false;
};

} // namespace orlet
