// Another program on the clipboard: puts its first argument there as text with the
// secret hint, as a password keeper would, prints "copied" and holds it until
// ended. For the tests under X11, where the clipboard has an owner.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) return 2;
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(argv[1]));
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), "secret");
    QGuiApplication::clipboard()->setMimeData(data);
    std::puts("copied");
    std::fflush(stdout);
    return QGuiApplication::exec();
}
