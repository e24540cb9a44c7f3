#include "dialogs/about.h"

#include "controls/aatext/aalabel.h"
#include "controls/resources.h"
#include "controls/seams.h"

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

#include <utility>

using namespace aatext;

const QString TAboutDlg::kMakerUrl = QStringLiteral("http://example.com/");

namespace {

constexpr int kTitleWidth = 252;

QFont PixelFont(const QString &family, int px)
{
    QFont f(family);
    f.setPixelSize(px);
    return f;
}

QLabel *TextLine(QWidget *parent, int x, int y, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A link label of the studio: 宋体 16 px, black, with a shadow.
TAALabel *LinkLabel(QWidget *parent, const QRect &geometry, const QString &caption)
{
    auto *label = new TAALabel(parent);
    label->setGeometry(geometry);
    label->ParentEffect().SetParentFont(false);
    label->SetFont(PixelFont(QStringLiteral("宋体"), 16));
    label->SetFontColor(clBlack);
    label->Effect().FontEffect().Shadow().SetEnabled(true);
    label->SetCaption(caption);
    label->setCursor(Qt::PointingHandCursor);
    label->Loaded();
    return label;
}

} // namespace

TAboutDlg::TAboutDlg(QWidget *parent) : QDialog(parent)
{
    ensureResources();
    setWindowTitle(QStringLiteral("关于"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(411, 212);
    setFont(PixelFont(QStringLiteral("宋体"), 12));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setGeometry(9, 24, 128, 128);
    Image1->setPixmap(QPixmap(QStringLiteral(":/about/artwork.png")));

    AALabel1 = new TAALabel(this);
    AALabel1->setGeometry(152, 16, kTitleWidth, 31);
    AALabel1->ParentEffect().SetParentFont(false);
    AALabel1->SetFont(PixelFont(QStringLiteral("楷体_GB2312"), 29));
    AALabel1->SetFontColor(RGBColor(55, 55, 55));
    {
        TAAEffect &effect = AALabel1->Effect().FontEffect();
        effect.Shadow().SetEnabled(true);
        effect.Gradual().SetStartColor(clSilver);
        effect.Texture().Picture().SetGraphic(QImage(QStringLiteral(":/about/texture.png")));
    }
    AALabel1->SetCaption(QStringLiteral("FalorenGIF动画分解器"));
    AALabel1->Loaded();
    // AR PL UKai's Latin letters are wider than those the dialog was laid out
    // with: narrow the lettering (same character height) to the 252 pixels
    // the title has, rather than let the dialog's edge cut it.
    if (AALabel1->width() > kTitleWidth) {
        const int text = AALabel1->width() - 2;  // less the shadow's offset
        QFont narrow = AALabel1->Font();
        narrow.setStretch(100 * (kTitleWidth - 2) / text);
        AALabel1->SetFont(narrow);
    }

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(152, 56, 249, 145);
    Label3 = TextLine(GroupBox1, 16, 16, QStringLiteral("当前版本:1.001 (2010.3.16编译)"));
    Label1 = TextLine(GroupBox1, 16, 35, QStringLiteral("程序设计:Faloren软件工作室"));
    Label2 = TextLine(GroupBox1, 16, 54, QStringLiteral("设计时间:2010年3月"));
    Label4 = TextLine(GroupBox1, 16, 72, QStringLiteral("本软件为免费软件,欢迎使用和传播."));

    GroupBox2 = new QGroupBox(GroupBox1);
    GroupBox2->setGeometry(16, 92, 40, 45);
    Image2 = new QLabel(GroupBox2);
    Image2->setGeometry(3, 8, 32, 32);
    Image2->setPixmap(QPixmap(QStringLiteral(":/about/studio.png")));
    Image2->setCursor(Qt::PointingHandCursor);
    Image2->installEventFilter(this);

    AALabel2 = LinkLabel(GroupBox1, QRect(64, 98, 114, 18), QStringLiteral("Faloren软件工作室"));
    AALabel3 = LinkLabel(GroupBox1, QRect(72, 116, 98, 18), kMakerUrl);
    AALabel2->setToolTip(kMakerUrl);
    AALabel3->setToolTip(kMakerUrl);
    Image2->setToolTip(kMakerUrl);
    setObjectName(QStringLiteral("AboutDlg"));
    const std::pair<QWidget *, const char *> names[] = {
        {Image1, "Image1"},       {AALabel1, "AALabel1"}, {GroupBox1, "GroupBox1"},
        {Label3, "Label3"},       {Label1, "Label1"},     {Label2, "Label2"},
        {Label4, "Label4"},       {GroupBox2, "GroupBox2"}, {Image2, "Image2"},
        {AALabel2, "AALabel2"},   {AALabel3, "AALabel3"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QLatin1String(name));

    connect(AALabel2, &TAALabel::clicked, this, &TAboutDlg::AALabel2Click);
    connect(AALabel3, &TAALabel::clicked, this, &TAboutDlg::AALabel2Click);
}

void TAboutDlg::AALabel2Click()
{
    seams::urlOpener().open(QUrl(kMakerUrl));
}

bool TAboutDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Image2 && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        m_image2Pressed = true;
        return true;  // the picture takes the press, so its release is a click
    }
    if (watched == Image2 && event->type() == QEvent::MouseButtonRelease) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            // The release that ends a double-click follows no press of its own:
            // a double-click opens the page once, as on the labels.
            const bool click = m_image2Pressed && Image2->rect().contains(mouse->position().toPoint());
            m_image2Pressed = false;
            if (click)
                AALabel2Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutDlg::showEvent(QShowEvent *event)
{
    // Centred over the main window at every showing.
    if (QWidget *owner = parentWidget()) {
        const QRect ownerFrame = owner->window()->frameGeometry();
        const QRect frame = frameGeometry();
        move(ownerFrame.center() - QPoint(frame.width() / 2, frame.height() / 2)
             + (pos() - frame.topLeft()));
    }
    QDialog::showEvent(event);
}
