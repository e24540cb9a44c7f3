// Demo of the flat controls in their states; with --screenshot FILE it saves a
// picture of the screen area of its window (run it under Xvfb) and quits.
#include "controls/flat/flatcombobox.h"
#include "controls/flat/flatedit.h"
#include "controls/fonts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QAbstractItemView>
#include <QPainter>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
    const QStringList args = app.arguments();
    const int shot = args.indexOf(QStringLiteral("--screenshot"));

    QWidget w;
    w.setWindowTitle(QStringLiteral("平面控件演示"));
    QPalette pal = w.palette();
    pal.setColor(QPalette::Window, TColor(16771538).toQColor());
    w.setPalette(pal);
    w.setFont(QFont(QStringLiteral("宋体"), 9));
    w.resize(560, 330);

    int y = 12;
    auto label = [&](const QString &text, int x) {
        auto *l = new QLabel(text, &w);
        l->setGeometry(x, y, 120, 19);
    };
    auto edit = [&](const QString &caption, const QString &text) {
        label(caption, 12);
        auto *e = new TFlatEdit(&w);
        e->setGeometry(132, y, 145, 18);
        e->setText(text);
        y += 28;
        return e;
    };
    edit(QStringLiteral("默认颜色"), QStringLiteral("ColorFlat 0xE1EAEB"));
    edit(QStringLiteral("白色 (程序设置)"), QStringLiteral("800 × 600 像素"))->setColorFlat(clWhite);
    TFlatEdit *hot = edit(QStringLiteral("鼠标悬停"), QStringLiteral("焦点外观"));
    edit(QStringLiteral("禁用"), QStringLiteral("禁用时保持背景"))->setEnabled(false);
    TFlatEdit *adv = edit(QStringLiteral("派生颜色"), QStringLiteral("UseAdvColors"));
    adv->setUseAdvColors(true);
    auto *ro = edit(QStringLiteral("只读 (文件夹)"), QStringLiteral("/home/user/图片/"));
    ro->setColorFlat(clWhite);
    ro->setReadOnly(true);

    const QStringList formats{QStringLiteral("GIF 格式"), QStringLiteral("BMP 格式"), QStringLiteral("JPG 格式"),
                              QStringLiteral("TIFF 格式"), QStringLiteral("PNG 格式")};
    y = 12;
    auto combo = [&](const QString &caption) {
        label(caption, 300);
        auto *c = new TFlatComboBox(&w);
        c->setComboStyle(csDropDownList);
        c->setColor(clWindow);
        c->setGeometry(400, y, 145, 21);
        c->addItems(formats);
        y += 30;
        return c;
    };
    combo(QStringLiteral("下拉列表"));
    TFlatComboBox *focused = combo(QStringLiteral("有焦点"));
    combo(QStringLiteral("禁用"))->setEnabled(false);
    TFlatComboBox *editable = combo(QStringLiteral("可编辑"));
    editable->setComboStyle(csDropDown);
    editable->setEditText(QStringLiteral("全部的GIF帧"));
    TFlatComboBox *dropped = combo(QStringLiteral("展开的列表"));
    dropped->clear();
    dropped->addItems({QStringLiteral("全部的GIF帧"), QStringLiteral("选中的GIF帧")});

    w.move(0, 0);
    w.show();
    w.activateWindow();

    QTimer::singleShot(300, &w, [&] {
        focused->setFocus();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), hot->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(hot, &enter);
        if (shot < 0)
            return;
        // The open list takes the keyboard; show it last so the focused look is kept
        // in the picture of the closed combos.
        QTimer::singleShot(300, &w, [&] {
            const QPixmap before = w.grab();
            dropped->showPopup();
            QTimer::singleShot(300, &w, [&, before] {
                // The open list takes the keyboard, so the focused combo loses its
                // look: the picture joins the window as it was before opening the
                // list with the open list and its combo (arrow up) painted on top.
                QWidget *popup = dropped->view()->window();
                const QPoint popupAt = w.mapFromGlobal(popup->mapToGlobal(QPoint(0, 0)));
                QPixmap pix(w.size().expandedTo(QSize(w.width(), popupAt.y() + popup->height())));
                pix.fill(w.palette().color(QPalette::Window));
                QPainter p(&pix);
                p.drawPixmap(0, 0, before);
                p.drawPixmap(dropped->pos(), dropped->grab());
                p.drawPixmap(popupAt, popup->grab());
                p.end();
                pix.save(args.value(shot + 1));
                QApplication::quit();
            });
        });
    });
    return app.exec();
}
