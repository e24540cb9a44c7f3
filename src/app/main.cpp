#include <QApplication>
#include <QWidget>

#include "controls/fonts.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutions();
    QWidget w;
    w.setWindowTitle(QStringLiteral("FalorenGIF动画分解器 1.0"));
    w.resize(800, 580);
    w.show();
    return app.exec();
}
