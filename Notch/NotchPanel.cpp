#include "Notch/NotchPanel.h"

#include "Notch/NotchGeometry.h"
#include "Notch/NotchViewModel.h"
#include "Notch/ScreenCoordinates.h"
#include "Notch/X11Display.h"
#include "Platform/Log.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QRegion>
#include <QScreen>
#include <QSurfaceFormat>
#include <cmath>

namespace orlet {
namespace {

QRect devicePixels(const QRectF& rect, qreal ratio) {
    return QRectF(rect.x() * ratio, rect.y() * ratio, rect.width() * ratio, rect.height() * ratio)
        .toAlignedRect();
}

} // namespace

NotchPanel::NotchPanel(NotchViewModel& model, X11Display* x11) : model_(model), x11_(x11) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus |
             Qt::NoDropShadowWindowHint);
    QSurfaceFormat surface = format();
    surface.setAlphaBufferSize(8);
    setFormat(surface);
    setColor(Qt::transparent);
    setResizeMode(QQuickView::SizeRootObjectToView);
    setTitle(QStringLiteral("Orlet"));
    setInitialProperties({{QStringLiteral("notch"), QVariant::fromValue(&model_)}});
    setSource(QUrl(QStringLiteral("qrc:/orlet/NotchView.qml")));
    if (status() == QQuickView::Error) {
        for (const QQmlError& error : errors()) {
            qCCritical(logApp()) << "Notch view:" << error.toString();
        }
    }
    resize(static_cast<int>(NotchGeometry::panelWidth),
           static_cast<int>(NotchGeometry::panelHeight));

    if (x11_ != nullptr) {
        compositor_ = x11_->compositorRunning();
        if (!compositor_) {
            qCInfo(logApp()) << "No compositing manager: the notch window is cut to the body";
        }
        // Compositors come and go (a desktop restart, a game turning it off).
        connect(x11_, &X11Display::compositorChanged, this, [this](bool running) {
            qCInfo(logApp()) << (running ? "A compositing manager started: the notch window "
                                           "takes its full size"
                                         : "The compositing manager stopped: the notch window "
                                           "is cut to the body");
            compositor_ = running;
            if (running) {
                setMask(QRegion());
                X11Display::flushQt();
            }
            applyBoundingShape();
        });
    }
    connect(&model_, &NotchViewModel::shapeChanged, this, [this] {
        applyBoundingShape();
        applyInputRegion();
    });
    create();
    applyInputRegion();
    applyBoundingShape();
}

NotchPanel::~NotchPanel() = default;

void NotchPanel::setFrame(const Rect& frame) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRectF qt =
        ScreenCoordinates(primary != nullptr ? primary->geometry() : QRect()).toQt(frame);
    setGeometry(qt.toRect());
    // The hit area is kept in window coordinates: it moves with the window.
    applyInputRegion();
}

QRect NotchPanel::bodyRect() const {
    const double ears = model_.usesOpenShape() ? 16 : 6;
    const double width = std::ceil(model_.bodyWidth() + 2 * ears);
    const double height = std::ceil(model_.bodyHeight());
    return QRect(static_cast<int>((NotchGeometry::panelWidth - width) / 2), 0,
                 static_cast<int>(width), static_cast<int>(height));
}

void NotchPanel::setIgnoresMouseEvents(bool ignores) {
    if (ignores == ignoresMouseEvents_) {
        return;
    }
    ignoresMouseEvents_ = ignores;
    applyInputRegion();
}

void NotchPanel::applyInputRegion() {
    if (x11_ == nullptr) {
        return;
    }
    std::vector<QRect> rects;
    if (!ignoresMouseEvents_) {
        // Only the body takes clicks: beside it they still reach the windows below.
        rects.push_back(devicePixels(QRectF(bodyRect()), devicePixelRatio()));
    }
    x11_->setInputRegion(winId(), rects);
}

void NotchPanel::applyBoundingShape() {
    if (compositor_) {
        return;
    }
    // Without a compositor clear pixels show black: cut the window to the body.
    setMask(QRegion(bodyRect()));
    X11Display::flushQt();
}

void NotchPanel::orderFront() {
    show();
    raise();
}

void NotchPanel::orderOut() {
    hide();
    close();
}

} // namespace orlet
