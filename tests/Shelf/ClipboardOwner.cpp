// Another program on the display that owns the clipboard with the contents it is given:
//   ClipboardOwner <type>=<value>...
// Says "owned" once it holds the clipboard and serves it until it is ended.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    auto* contents = new QMimeData; // the clipboard takes it
    for (int i = 1; i < argc; ++i) {
        const QByteArray pair(argv[i]);
        const qsizetype equals = pair.indexOf('=');
        if (equals < 1) {
            std::fprintf(stderr, "usage: ClipboardOwner <type>=<value>...\n");
            return 2;
        }
        contents->setData(QString::fromUtf8(pair.left(equals)), pair.mid(equals + 1));
    }
    QGuiApplication::clipboard()->setMimeData(contents, QClipboard::Clipboard);
    std::printf("owned\n");
    std::fflush(stdout);
    return application.exec();
}
