#include "Weather/QtLocationSource.h"

#include "Platform/Log.h"

#include <QVariantMap>

namespace orlet {

QtLocationSource::QtLocationSource(std::unique_ptr<QGeoPositionInfoSource> source, QObject* parent)
    : QObject(parent), source_(std::move(source)),
      authorization_(source_ ? Authorization::notDetermined : Authorization::restricted) {
    if (source_) {
        connect(source_.get(), &QGeoPositionInfoSource::positionUpdated, this,
                &QtLocationSource::positionUpdated);
        connect(source_.get(), &QGeoPositionInfoSource::errorOccurred, this,
                &QtLocationSource::errorOccurred);
    }
}

QtLocationSource::~QtLocationSource() {
    if (source_) {
        source_->disconnect(this);
    }
}

std::unique_ptr<QtLocationSource> QtLocationSource::create() {
    const QVariantMap parameters{{QStringLiteral("desktopId"), QStringLiteral("orlet")}};
    std::unique_ptr<QGeoPositionInfoSource> source(
        QGeoPositionInfoSource::createSource(QStringLiteral("geoclue2"), parameters, nullptr));
    if (source) {
        // A town is enough for a forecast; it spares the satellites and the user's privacy.
        source->setPreferredPositioningMethods(
            QGeoPositionInfoSource::NonSatellitePositioningMethods);
    } else {
        qCInfo(logApp()) << "No location service (GeoClue 2) on this desktop";
    }
    return std::make_unique<QtLocationSource>(std::move(source));
}

void QtLocationSource::requestAuthorization() {
    if (source_) {
        source_->requestUpdate(fixTimeoutMs);
    }
}

void QtLocationSource::requestLocation() {
    if (!source_) {
        if (onFailure) {
            onFailure();
        }
        return;
    }
    locationWanted_ = true;
    source_->requestUpdate(fixTimeoutMs);
}

void QtLocationSource::positionUpdated(const QGeoPositionInfo& info) {
    setAuthorization(Authorization::authorized);
    if (!locationWanted_) {
        return;
    }
    locationWanted_ = false;
    const QGeoCoordinate where = info.coordinate();
    if (!where.isValid()) {
        if (onFailure) {
            onFailure();
        }
        return;
    }
    if (onLocation) {
        onLocation(where.latitude(), where.longitude());
    }
}

void QtLocationSource::errorOccurred(QGeoPositionInfoSource::Error error) {
    switch (error) {
    case QGeoPositionInfoSource::AccessError:
        setAuthorization(Authorization::denied);
        break;
    case QGeoPositionInfoSource::ClosedError:
        setAuthorization(Authorization::restricted);
        break;
    case QGeoPositionInfoSource::UpdateTimeoutError:
    case QGeoPositionInfoSource::UnknownSourceError:
    case QGeoPositionInfoSource::NoError:
        break;
    }
    if (!locationWanted_) {
        return;
    }
    locationWanted_ = false;
    if (onFailure) {
        onFailure();
    }
}

void QtLocationSource::setAuthorization(Authorization authorization) {
    if (authorization == authorization_) {
        return;
    }
    authorization_ = authorization;
    if (onAuthorizationChange) {
        onAuthorizationChange();
    }
}

} // namespace orlet
