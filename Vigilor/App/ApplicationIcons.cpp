// vigilor-icons: writes the product's icon, drawn by the application's own code, into an icon theme
// folder at the sizes given, as <folder>/<size>x<size>/apps/zorvi.png. Run while building; it needs no
// display.
//
//     vigilor-icons <folder> <size>...
#include "Vigilor/Design/ZorviMenuIcon.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vigilor-icons <folder> <size>...\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int pixels = std::atoi(argv[i]);
        const QString sizeFolder = folder + QStringLiteral("/%1x%1/apps").arg(pixels);
        if (pixels <= 0 || !QDir().mkpath(sizeFolder) ||
            !ZorviMenuIcon::applicationImage(pixels).save(sizeFolder + QStringLiteral("/zorvi.png"))) {
            std::fprintf(stderr, "vigilor-icons: cannot write the %s px icon into %s\n", argv[i], argv[1]);
            return 1;
        }
    }
    return 0;
}
