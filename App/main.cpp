#include "App/AppDelegate.h"
#include "App/SignalWatcher.h"
#include "App/SingleInstance.h"
#include "Platform/Log.h"
#include "System/SystemReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQuickWindow>
#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    // A diagnostic for bug reports; it needs no display and leaves a running copy alone.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--sample-system") {
            QCoreApplication core(argc, argv);
            return orlet::SystemReport::run();
        }
    }
    QElapsedTimer sinceStart;
    sinceStart.start();
    // A small transparent overlay: the software renderer needs no GL context per display and a
    // fraction of the memory; QT_QUICK_BACKEND still chooses another.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    // Wayland lets no window place itself at the top of the screen or watch the pointer
    // elsewhere; under a Wayland session with XWayland, the notch lives on the X11 side.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    // Our own diagnostics stay quiet unless asked for with QT_LOGGING_RULES.
    QLoggingCategory::setFilterRules(QStringLiteral("com.brambleowl.orlet.*.debug=false"));
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Orlet"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orlet"));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    const QStringList urls = QGuiApplication::arguments().mid(1);
    orlet::SingleInstance instance(orlet::SingleInstance::defaultSocketPath());
    if (instance.handOff(urls)) {
        return 0;
    }

    orlet::AppDelegate delegate;
    instance.onURLs = [&delegate](const QStringList& given) { delegate.open(given); };
    instance.listen();

    orlet::SignalWatcher watcher;
    QObject::connect(&watcher, &orlet::SignalWatcher::terminationRequested, &application,
                     [](int) { QGuiApplication::quit(); });
    QObject::connect(&application, &QGuiApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    if (qEnvironmentVariableIsSet("ORLET_REPORT_STARTUP")) {
        QObject::connect(&delegate, &orlet::AppDelegate::firstFrame, &delegate, [&sinceStart] {
            std::fprintf(stderr, "orlet: first frame after %lld ms\n",
                         static_cast<long long>(sinceStart.elapsed()));
        });
    }

    delegate.applicationDidFinishLaunching();
    delegate.open(urls);
    return QGuiApplication::exec();
}
