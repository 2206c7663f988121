#pragma once

#include "Weather/LocationSource.h"

#include <QGeoPositionInfoSource>
#include <QObject>
#include <memory>

namespace orlet {

// The position from Qt Positioning, which asks GeoClue 2 on Linux. GeoClue's agent asks the
// user when the first fix is wanted, so "not determined" lasts until a fix or a refusal comes
// back; a refusal (AccessError) is "denied", a closed or missing service "restricted".
class QtLocationSource : public QObject, public LocationSource {
    Q_OBJECT

public:
    // `source` may be none: the desktop has no location service at all.
    explicit QtLocationSource(std::unique_ptr<QGeoPositionInfoSource> source,
                              QObject* parent = nullptr);
    ~QtLocationSource() override;

    // GeoClue 2 for the desktop id "orlet", at city accuracy.
    static std::unique_ptr<QtLocationSource> create();

    Authorization authorization() const override { return authorization_; }
    void requestAuthorization() override;
    void requestLocation() override;

    static constexpr int fixTimeoutMs = 30000;

private:
    void positionUpdated(const QGeoPositionInfo& info);
    void errorOccurred(QGeoPositionInfoSource::Error error);
    void setAuthorization(Authorization authorization);

    std::unique_ptr<QGeoPositionInfoSource> source_;
    Authorization authorization_;
    bool locationWanted_ = false;
};

} // namespace orlet
