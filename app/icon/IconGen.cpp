// Writes the program icon as PNG files into an icon-theme folder tree:
//   vantora_icongen OUTDIR  ->  OUTDIR/<N>x<N>/apps/vantora.png
#include "AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantora_icongen OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) ||
            !vantora::DrawAppIcon(size).save(dir + QStringLiteral("/vantora.png"), "PNG")) {
            std::fprintf(stderr, "vantora_icongen: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
