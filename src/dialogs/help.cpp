#include "dialogs/help.h"

#include <QScreen>
#include <QTextEdit>

const QStringList ThelpDlg::kHelpLines = {
    QStringLiteral("      这是一个将GIF动画分解成多个图片的小软件,同时也可以"),
    QStringLiteral("  作为一个GIF浏览器使用,软件可以实现将GIF动画的全部或"),
    QStringLiteral("  某几帧画面分解出来,并保存为其它多种格式."),
    QStringLiteral("      软件的使用很简单,在视图的左边选择相应的文件夹,即可"),
    QStringLiteral("  在视图右边显示出GIF图片,选中某一个GIF动画文件后,视图下"),
    QStringLiteral("  方将GIF分解成多个图片并显示出来."),
    QStringLiteral("      如果你要保存这些分解出的GIF图片,选择视图上方的"),
    QStringLiteral("  [分解]功能按钮即可."),
};

ThelpDlg::ThelpDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("帮助"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(470, 273);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(210, 233, 255));
    setPalette(pal);
    setAutoFillBackground(true);

    setObjectName(QStringLiteral("helpDlg"));
    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(0, 0, 470, 273);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(16);
    RichEdit1->setFont(font);
    QPalette editPal = RichEdit1->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        editPal.setColor(group, QPalette::Base, QColor(255, 255, 230));
    RichEdit1->setPalette(editPal);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setLineWrapMode(QTextEdit::NoWrap);
    RichEdit1->setAcceptRichText(false);
    // Plain text: HTML would collapse the leading blanks.
    RichEdit1->setPlainText(kHelpLines.join(QLatin1Char('\n')));
    RichEdit1->setReadOnly(true);
    RichEdit1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void ThelpDlg::showEvent(QShowEvent *event)
{
    QScreen *s = screen();
    if (s) {
        const QRect area = s->availableGeometry();
        const QRect frame = frameGeometry();
        move(area.center() - QPoint(frame.width() / 2, frame.height() / 2) + (pos() - frame.topLeft()));
    }
    QDialog::showEvent(event);
}
