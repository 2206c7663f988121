// The yardstick for the notch's memory: a bare Qt Quick window of the same size, transparent,
// with one black rectangle, on the same renderer.
#include <QGuiApplication>
#include <QQuickView>
#include <QQuickWindow>
#include <QUrl>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    QGuiApplication application(argc, argv);
    QQuickView view;
    view.setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    view.setColor(Qt::transparent);
    view.setResizeMode(QQuickView::SizeRootObjectToView);
    view.setSource(QUrl(QStringLiteral("qrc:/bare/Bare.qml")));
    view.resize(648, 224);
    view.show();
    return QGuiApplication::exec();
}
