// The flat combo box: frame, drawn button and arrow in its states, the focus area
// of the list styles, the open list's colour and height, the inner edit's place
// and the derived colours.
#include "controls/flat/flatcolors.h"
#include "controls/flat/flatcombobox.h"
#include "controls/fonts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(TColor)

namespace {

const QColor Border(160, 150, 131);    // 0x8396A0
const QColor ButtonFace(217, 214, 197); // 0xC5D6D9
const int W = 145;
const int H = 21;

// The arrow's pixels for the button of a W-wide, H-high combo: 5, 3 and 1 pixels.
QSet<QPoint> arrowPixels(bool up, int dx = 0, int dy = 0)
{
    const int x = W - 13 + 13 / 2 - 6 + dx;
    const int y = H / 2 - 1 + dy;
    QSet<QPoint> s;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 5 - 2 * i; ++k)
            s.insert(QPoint(x + 4 + i + k, up ? y + 2 - i : y + i));
    return s;
}

} // namespace

class TestFlatComboBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructorValues();
    void closedListLook_data();
    void closedListLook();
    void focusArea();
    void arrowUpWhileDroppedDown();
    void engravedArrowWhenDisabled();
    void openListOnColor();
    void clWindowFollowsThePalette();
    void itemHeightKeptAcrossFontChanges();
    void innerEditSize();
    void advancedColorsFromParent();

private:
    void verifyFrameAndButton(const QImage &img, const QColor &color);
    void verifyArrow(const QImage &img, const QSet<QPoint> &dark, const QColor &darkColour,
                     const QSet<QPoint> &light = {});
    QWidget *host = nullptr;
    TFlatComboBox *combo = nullptr;
    QPushButton *button = nullptr;
};

#define CHECK(call)                          \
    do {                                     \
        call;                                \
        if (QTest::currentTestFailed())      \
            return;                          \
    } while (false)

void TestFlatComboBox::initTestCase()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
}

void TestFlatComboBox::init()
{
    host = new QWidget;
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, QColor(210, 233, 255));
    host->setPalette(pal);
    host->resize(400, 300);
    button = new QPushButton(QStringLiteral("OK"), host);
    button->setGeometry(200, 10, 80, 24);
    combo = new TFlatComboBox(host);
    combo->setComboStyle(csDropDownList);
    combo->setColor(clWindow);
    combo->setGeometry(10, 10, W, H);
    combo->addItems({QStringLiteral("GIF 格式"), QStringLiteral("BMP 格式"), QStringLiteral("JPG 格式"),
                     QStringLiteral("TIFF 格式"), QStringLiteral("PNG 格式")});
    combo->setCurrentIndex(0);
    host->show();
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host));
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
}

void TestFlatComboBox::cleanup()
{
    delete host;
    host = nullptr;
}

void TestFlatComboBox::constructorValues()
{
    TFlatComboBox c;
    QCOMPARE(c.colorArrow(), clBlack);
    QCOMPARE(c.colorArrowBackground(), TColor(0xC5D6D9));
    QCOMPARE(c.colorBorder(), TColor(0x8396A0));
    QVERIFY(!c.useAdvColors());
    QCOMPARE(c.advColorBorder(), 50);
    QCOMPARE(c.advColorArrowBackground(), 10);
    QCOMPARE(c.buttonWidth(), 11);
    QCOMPARE(c.systemButtonWidth(), c.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    QVERIFY(!c.isActive());
    QCOMPARE(c.itemHeight(), 13);
    QCOMPARE(c.comboStyle(), csDropDown);
    QVERIFY(c.isEditable());
    QCOMPARE(c.color(), clWindow);
    QCOMPARE(c.maxVisibleItems(), 8);
    c.resize(W, H);
    QCOMPARE(c.ButtonRect(), QRect(W - 12, 0, 11, H));
    QCOMPARE(c.drawnButtonRect(), QRect(W - 13, 0, 13, H));
}

void TestFlatComboBox::verifyFrameAndButton(const QImage &img, const QColor &color)
{
    QCOMPARE(img.size(), QSize(W, H));
    // Field: border line up to x = W - 13, then two rings in Color.
    for (int x : {0, 5, W / 2, W - 14})
        for (int y : {0, H - 1})
            QCOMPARE(img.pixelColor(x, y), Border);
    QCOMPARE(img.pixelColor(0, H / 2), Border);
    for (const QPoint &pt : {QPoint(1, 1), QPoint(2, 2), QPoint(1, H / 2), QPoint(2, H / 2),
                             QPoint(W / 2, 1), QPoint(W / 2, H - 3), QPoint(W - 14, H / 2),
                             QPoint(W - 15, H / 2), QPoint(W - 16, H / 2), QPoint(W - 14, 1)})
        QCOMPARE(img.pixelColor(pt), color);
    // Button: 13 pixels from x = W - 13, framed in the border colour.
    for (int y = 0; y < H; ++y) {
        QCOMPARE(img.pixelColor(W - 13, y), Border);
        QCOMPARE(img.pixelColor(W - 1, y), Border);
    }
    for (int x = W - 13; x < W; ++x) {
        QCOMPARE(img.pixelColor(x, 0), Border);
        QCOMPARE(img.pixelColor(x, H - 1), Border);
    }
    QCOMPARE(img.pixelColor(W - 12, 1), ButtonFace);
    QCOMPARE(img.pixelColor(W - 2, H - 2), ButtonFace);
    QCOMPARE(img.pixelColor(W - 12, H / 2), ButtonFace);
}

void TestFlatComboBox::verifyArrow(const QImage &img, const QSet<QPoint> &dark, const QColor &darkColour,
                                   const QSet<QPoint> &light)
{
    // Every pixel of the button's inside is face, arrow or (engraved) highlight.
    for (int x = W - 12; x < W - 1; ++x)
        for (int y = 1; y < H - 1; ++y) {
            const QPoint pt(x, y);
            const QColor expected = dark.contains(pt) ? darkColour
                                  : light.contains(pt) ? QColor(255, 255, 255) : ButtonFace;
            if (img.pixelColor(pt) != expected)
                QFAIL(qPrintable(QStringLiteral("button pixel (%1, %2) is %3, expected %4")
                                     .arg(x).arg(y).arg(img.pixelColor(pt).name(), expected.name())));
        }
}

void TestFlatComboBox::closedListLook_data()
{
    QTest::addColumn<TColor>("color");
    QTest::newRow("clWindow") << clWindow;
    QTest::newRow("0xE1EAEB") << TColor(0xE1EAEB);
}

void TestFlatComboBox::closedListLook()
{
    QFETCH(TColor, color);
    combo->setColor(color);
    const QImage img = combo->grab().toImage();
    CHECK(verifyFrameAndButton(img, color.toQColor()));
    CHECK(verifyArrow(img, arrowPixels(false), Qt::black));
    // No focus: the strip before the button is Color and no highlight anywhere.
    const QColor highlight = clHighlight.toQColor();
    for (int x = 3; x < W - 15; ++x)
        QVERIFY(img.pixelColor(x, 3) != highlight);
    QCOMPARE(img.pixelColor(W - 19, H / 2), color.toQColor());
    // The selected text is painted.
    bool text = false;
    for (int x = 4; x < W - 21 && !text; ++x)
        for (int y = 4; y < H - 4 && !text; ++y)
            text = img.pixelColor(x, y) != color.toQColor();
    QVERIFY(text);
}

void TestFlatComboBox::focusArea()
{
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    QVERIFY(combo->isActive());
    const QImage img = combo->grab().toImage();
    const QColor highlight = clHighlight.toQColor();
    const QColor color = clWindow.toQColor();
    CHECK(verifyFrameAndButton(img, color));
    CHECK(verifyArrow(img, arrowPixels(false), Qt::black));
    // Focus frame around the text part, right line at CW - 17.
    for (int y = 3; y <= H - 4; ++y) {
        QCOMPARE(img.pixelColor(3, y), highlight);
        QCOMPARE(img.pixelColor(W - 17, y), highlight);
    }
    for (int x = 3; x <= W - 17; ++x) {
        QCOMPARE(img.pixelColor(x, 3), highlight);
        QCOMPARE(img.pixelColor(x, H - 4), highlight);
    }
    // The strip from CW - 21 joins the highlighted text to the frame.
    for (int x = W - 21; x <= W - 17; ++x)
        for (int y = 3; y <= H - 4; ++y)
            QCOMPARE(img.pixelColor(x, y), highlight);
    // The selected text itself is highlighted.
    QCOMPARE(img.pixelColor(4, 4), highlight);
    QCOMPARE(img.pixelColor(4, H - 5), highlight);
    // Between the focus area and the rings: Color.
    QCOMPARE(img.pixelColor(W - 16, H / 2), color);
    QCOMPARE(img.pixelColor(2, H / 2), color);

    button->setFocus();
    QTRY_VERIFY(!combo->hasFocus());
    QVERIFY(!combo->isActive());
    const QImage after = combo->grab().toImage();
    QCOMPARE(after.pixelColor(W - 17, H / 2), color);
    QCOMPARE(after.pixelColor(4, 4), color);
}

void TestFlatComboBox::arrowUpWhileDroppedDown()
{
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QVERIFY(combo->isDroppedDown());
    QVERIFY(combo->isActive());
    CHECK(verifyArrow(combo->grab().toImage(), arrowPixels(true), Qt::black));
    combo->hidePopup();
    QTRY_VERIFY(!combo->view()->isVisible());
    QVERIFY(!combo->isDroppedDown());
    CHECK(verifyArrow(combo->grab().toImage(), arrowPixels(false), Qt::black));

    // With the focus, the focus area shows only while the list is closed.
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    combo->showPopup();
    QTRY_VERIFY(combo->isDroppedDown());
    const QImage open = combo->grab().toImage();
    QCOMPARE(open.pixelColor(W - 19, H / 2), clWindow.toQColor());
    QCOMPARE(open.pixelColor(W - 17, 3), clWindow.toQColor());
    combo->hidePopup();
    QTRY_VERIFY(!combo->isDroppedDown());
    QCOMPARE(combo->grab().toImage().pixelColor(W - 19, H / 2), clHighlight.toQColor());

    // Closed by the popup itself (a click outside, Escape): the arrow flips back too.
    combo->showPopup();
    QTRY_VERIFY(combo->isDroppedDown());
    combo->view()->window()->hide();
    QVERIFY(!combo->isDroppedDown());
    CHECK(verifyArrow(combo->grab().toImage(), arrowPixels(false), Qt::black));
}

void TestFlatComboBox::engravedArrowWhenDisabled()
{
    combo->setColorArrow(clRed);
    combo->setEnabled(false);
    const QImage img = combo->grab().toImage();
    CHECK(verifyFrameAndButton(img, clWindow.toQColor()));
    CHECK(verifyArrow(img, arrowPixels(false), QColor(0x80, 0x80, 0x80), arrowPixels(false, 1, 1)));
    combo->setEnabled(true);
    CHECK(verifyArrow(combo->grab().toImage(), arrowPixels(false), Qt::red));
}

void TestFlatComboBox::openListOnColor()
{
    const TColor yellowish = 0x80FFFF;
    combo->setColor(yellowish);
    combo->setCurrentIndex(0);
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    QAbstractItemView *view = combo->view();
    // Row 3 is neither current nor under the pointer.
    const QRect row = view->visualRect(combo->model()->index(3, 0));
    QVERIFY(row.isValid());
    QCOMPARE(row.height(), 13);
    const QImage img = view->viewport()->grab().toImage();
    QCOMPARE(img.pixelColor(row.right() - 2, row.center().y()), yellowish.toQColor());
    QCOMPARE(img.pixelColor(row.left() + 1, row.top()), yellowish.toQColor());
    combo->hidePopup();
}

void TestFlatComboBox::clWindowFollowsThePalette()
{
    const QPalette saved = QApplication::palette();
    QPalette pal = saved;
    pal.setColor(QPalette::Base, QColor(250, 240, 230));
    QApplication::setPalette(pal);
    verifyFrameAndButton(combo->grab().toImage(), QColor(250, 240, 230));
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    const QRect row = combo->view()->visualRect(combo->model()->index(3, 0));
    const QImage list = combo->view()->viewport()->grab().toImage();
    QCOMPARE(list.pixelColor(row.right() - 2, row.center().y()), QColor(250, 240, 230));
    combo->hidePopup();
    QApplication::setPalette(saved);
}

void TestFlatComboBox::itemHeightKeptAcrossFontChanges()
{
    combo->setItemHeight(20);
    QCOMPARE(combo->itemHeight(), 20);
    QCOMPARE(combo->view()->sizeHintForRow(0), 20);
    QFont big = combo->font();
    big.setPixelSize(18);
    combo->setFont(big);
    QCOMPARE(combo->itemHeight(), 13);
    QCOMPARE(combo->view()->sizeHintForRow(0), 13);
}

void TestFlatComboBox::innerEditSize()
{
    combo->setComboStyle(csDropDown);
    QVERIFY(combo->lineEdit());
    QCOMPARE(combo->lineEdit()->geometry(), QRect(3, 3, W - 11 - 8, H - 6));
    combo->resize(200, 25);
    QCOMPARE(combo->lineEdit()->geometry(), QRect(3, 3, 200 - 11 - 8, 25 - 6));
    combo->resize(W, H);
    // Frame and button are ours in the editable style too.
    const QImage img = combo->grab().toImage();
    CHECK(verifyFrameAndButton(img, clWindow.toQColor()));
    CHECK(verifyArrow(img, arrowPixels(false), Qt::black));
    combo->showPopup();
    QTRY_VERIFY(combo->isDroppedDown());
    CHECK(verifyArrow(combo->grab().toImage(), arrowPixels(true), Qt::black));
    combo->hidePopup();
    // Focus on the inner edit makes the combo active.
    combo->setFocus();
    QTRY_VERIFY(combo->isActive());
    combo->setComboStyle(csDropDownList);
    QVERIFY(!combo->lineEdit());
}

void TestFlatComboBox::advancedColorsFromParent()
{
    const TColor parent = TColor::fromRgb(210, 233, 255);
    combo->setUseAdvColors(true);
    const TColor border = DeriveAdvancedColor(parent, clBlack, 50, ShadeDirection::Darken);
    const TColor face = DeriveAdvancedColor(parent, clBlack, 10, ShadeDirection::Darken);
    QCOMPARE(combo->colorBorder(), border);
    QCOMPARE(combo->colorArrowBackground(), face);
    const QImage img = combo->grab().toImage();
    QCOMPARE(img.pixelColor(0, 0), border.toQColor());
    QCOMPARE(img.pixelColor(W - 12, 1), face.toQColor());

    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, QColor(90, 60, 30));
    host->setPalette(pal);
    const TColor newParent = TColor::fromRgb(90, 60, 30);
    QCOMPARE(combo->colorBorder(), DeriveAdvancedColor(newParent, clBlack, 50, ShadeDirection::Darken));
    QCOMPARE(combo->colorArrowBackground(),
             DeriveAdvancedColor(newParent, clBlack, 10, ShadeDirection::Darken));

    // The parent's own colour counts, not the one it paints with while disabled.
    pal.setColor(QPalette::Disabled, QPalette::Window, QColor(5, 5, 5));
    host->setEnabled(false);
    host->setPalette(pal);
    QCOMPARE(combo->colorBorder(), DeriveAdvancedColor(newParent, clBlack, 50, ShadeDirection::Darken));
    host->setEnabled(true);

    // Off: the derived colours stay, parent changes no longer reach them.
    const TColor kept = combo->colorBorder();
    combo->setUseAdvColors(false);
    pal.setColor(QPalette::Window, QColor(1, 2, 3));
    host->setPalette(pal);
    QCOMPARE(combo->colorBorder(), kept);
}

QTEST_MAIN(TestFlatComboBox)
#include "tst_flatcombobox.moc"
