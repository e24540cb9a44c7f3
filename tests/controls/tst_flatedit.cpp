// The flat edit: its looks (border band, focused and flat colours, hot tracking),
// its height rule and the colour properties' interplay.
#include "controls/flat/flatcolors.h"
#include "controls/flat/flatedit.h"
#include "controls/fonts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPushButton>
#include <QTest>

namespace {

const QColor Border(160, 150, 131);   // 0x8396A0
const QColor DefaultFlat(235, 234, 225); // 0xE1EAEB
const QColor White(255, 255, 255);
const QColor ParentGrey(100, 110, 120);

void hover(QWidget *w)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w, &enter);
}

void unhover(QWidget *w)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

// verifyLook reports through QCOMPARE; stop the test at its first failure.
#define VERIFY_LOOK(...)                     \
    do {                                     \
        verifyLook(__VA_ARGS__);             \
        if (QTest::currentTestFailed())      \
            return;                          \
    } while (false)

} // namespace

class TestFlatEdit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void constructorValues();
    void borderBand_data();
    void borderBand();
    void hoverRule();
    void hoverNeedsAnActiveWindow();
    void disabledKeepsBackground_data();
    void disabledKeepsBackground();
    void adjustHeightReplacesStoredHeight();
    void colourFlatAndParentColor();
    void systemColoursFollowThePalette();
    void useAdvColorsSwitching();

private:
    void verifyLook(TFlatEdit *e, const QColor &ring, const QColor &border);
    QWidget *host = nullptr;
    TFlatEdit *edit = nullptr;
    TFlatEdit *other = nullptr;
    QPushButton *button = nullptr;
};

void TestFlatEdit::initTestCase()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    installFontSubstitutions();
}

void TestFlatEdit::init()
{
    host = new QWidget;
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, ParentGrey);
    host->setPalette(pal);
    host->resize(400, 200);
    edit = new TFlatEdit(host);
    edit->setGeometry(10, 10, 145, 18);
    other = new TFlatEdit(host);
    other->setGeometry(10, 40, 145, 18);
    button = new QPushButton(QStringLiteral("OK"), host);
    button->setGeometry(10, 80, 80, 24);
    host->show();
    host->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(host));
    // The first edit would take the focus when the window became active.
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
}

void TestFlatEdit::cleanup()
{
    delete host;
    host = nullptr;
}

void TestFlatEdit::constructorValues()
{
    TFlatEdit e;
    QCOMPARE(e.colorFocused(), clWhite);
    QCOMPARE(e.colorBorder(), TColor(0x8396A0));
    QCOMPARE(e.colorFlat(), TColor(0xE1EAEB));
    QVERIFY(e.parentColor());
    QVERIFY(!e.useAdvColors());
    QCOMPARE(e.advColorFocused(), 10);
    QCOMPARE(e.advColorBorder(), 50);
    QVERIFY(!e.mouseInControl());
    QCOMPARE(e.geometry(), QRect(0, 0, 121, 19));
    QVERIFY(!e.hasFrame());
    // ParentColor starts on, but the parent's colour is only taken on a change.
    QCOMPARE(edit->colorFlat(), TColor(0xE1EAEB));
}

void TestFlatEdit::verifyLook(TFlatEdit *e, const QColor &ring, const QColor &border)
{
    const QImage img = e->grab().toImage();
    const int w = img.width(), h = img.height();
    // One-pixel border line on all four sides.
    for (const QPoint &pt : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1),
                             QPoint(w / 2, 0), QPoint(w / 2, h - 1), QPoint(0, h / 2), QPoint(w - 1, h / 2)})
        QCOMPARE(img.pixelColor(pt), border);
    // Two-pixel ring in the look's colour, and the empty text area behind it.
    for (const QPoint &pt : {QPoint(1, 1), QPoint(2, 2), QPoint(w - 2, h - 2), QPoint(w - 3, h - 3),
                             QPoint(w / 2, 1), QPoint(w / 2, 2), QPoint(w / 2, h - 2), QPoint(w / 2, h - 3),
                             QPoint(1, h / 2), QPoint(2, h / 2), QPoint(w - 2, h / 2), QPoint(w - 3, h / 2),
                             QPoint(w - 6, h / 2)})
        QCOMPARE(img.pixelColor(pt), ring);
}

void TestFlatEdit::borderBand_data()
{
    QTest::addColumn<bool>("programsWhite");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<QColor>("ring");
    QTest::newRow("default flat") << false << false << DefaultFlat;
    QTest::newRow("default focused") << false << true << White;
    QTest::newRow("white flat") << true << false << White;
    QTest::newRow("white focused") << true << true << White;
}

void TestFlatEdit::borderBand()
{
    QFETCH(bool, programsWhite);
    QFETCH(bool, focused);
    QFETCH(QColor, ring);
    if (programsWhite)
        edit->setColorFlat(clWhite);
    edit->setText(QStringLiteral("12"));
    if (focused) {
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
    }
    VERIFY_LOOK(edit, ring, Border);
    if (focused) {
        // Losing the focus turns it back.
        button->setFocus();
        QTRY_VERIFY(!edit->hasFocus());
        verifyLook(edit, programsWhite ? White : DefaultFlat, Border);
    }
}

void TestFlatEdit::hoverRule()
{
    // Another flat edit has the focus: hovering keeps the flat look.
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    hover(edit);
    QVERIFY(edit->mouseInControl());
    VERIFY_LOOK(edit, DefaultFlat, Border);
    unhover(edit);
    QVERIFY(!edit->mouseInControl());

    // A control of another kind has the focus: hovering shows the focused look.
    button->setFocus();
    QTRY_VERIFY(button->hasFocus());
    hover(edit);
    VERIFY_LOOK(edit, White, Border);
    unhover(edit);
    VERIFY_LOOK(edit, DefaultFlat, Border);

    // Only a TFlatEdit with the focus keeps the flat look, not the bare base class.
    auto *custom = new TCustomFlatEdit(host);
    custom->setGeometry(200, 10, 145, 18);
    custom->show();
    custom->setFocus();
    QTRY_VERIFY(custom->hasFocus());
    hover(edit);
    VERIFY_LOOK(edit, White, Border);
    unhover(edit);
}

void TestFlatEdit::hoverNeedsAnActiveWindow()
{
    QApplication::setActiveWindow(nullptr);
    QTRY_VERIFY(!QApplication::activeWindow());
    hover(edit);
    QVERIFY(!edit->mouseInControl());
    VERIFY_LOOK(edit, DefaultFlat, Border);
}

void TestFlatEdit::disabledKeepsBackground_data()
{
    QTest::addColumn<TColor>("flat");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("default") << TColor(0xE1EAEB) << DefaultFlat;
    QTest::newRow("white") << clWhite << White;
    QTest::newRow("info colour") << TColor(0x00C0FF) << QColor(255, 192, 0);
}

void TestFlatEdit::disabledKeepsBackground()
{
    QFETCH(TColor, flat);
    QFETCH(QColor, expected);
    edit->setColorFlat(flat);
    edit->setText(QStringLiteral("1"));
    edit->setEnabled(false);
    VERIFY_LOOK(edit, expected, Border);
    edit->setEnabled(true);
    VERIFY_LOOK(edit, expected, Border);
}

void TestFlatEdit::adjustHeightReplacesStoredHeight()
{
    auto *fresh = new TFlatEdit(host);
    fresh->setGeometry(20, 120, 145, 40); // a stored height
    fresh->show();
    QCOMPARE(fresh->height(), QFontMetrics(fresh->font()).height() + 6);
    QCOMPARE(fresh->width(), 145);
    QCOMPARE(edit->height(), QFontMetrics(edit->font()).height() + 6);

    QFont big = fresh->font();
    big.setPixelSize(30);
    fresh->setFont(big);
    QCOMPARE(fresh->height(), QFontMetrics(big).height() + 6);
    QVERIFY(fresh->height() > 30);
}

void TestFlatEdit::colourFlatAndParentColor()
{
    auto setParentColour = [this](const QColor &c) {
        QPalette pal = host->palette();
        pal.setColor(QPalette::Window, c);
        host->setPalette(pal);
    };
    // ParentColor on: a parent colour change is taken.
    setParentColour(QColor(10, 20, 30));
    QCOMPARE(edit->colorFlat(), TColor::fromRgb(10, 20, 30));
    VERIFY_LOOK(edit, QColor(10, 20, 30), Border);

    // Setting ColorFlat turns ParentColor off; later changes leave ColorFlat alone.
    edit->setColorFlat(clWhite);
    QVERIFY(!edit->parentColor());
    setParentColour(QColor(40, 50, 60));
    QCOMPARE(edit->colorFlat(), clWhite);

    // Turning ParentColor on takes the parent's colour at once.
    edit->setParentColor(true);
    QCOMPARE(edit->colorFlat(), TColor::fromRgb(40, 50, 60));
    VERIFY_LOOK(edit, QColor(40, 50, 60), Border);

    // The parent's own colour counts, not the one it paints with while disabled.
    QPalette pal = host->palette();
    pal.setColor(QPalette::Active, QPalette::Window, QColor(70, 80, 90));
    pal.setColor(QPalette::Inactive, QPalette::Window, QColor(70, 80, 90));
    pal.setColor(QPalette::Disabled, QPalette::Window, QColor(5, 5, 5));
    host->setEnabled(false);
    host->setPalette(pal);
    QCOMPARE(edit->colorFlat(), TColor::fromRgb(70, 80, 90));
}

void TestFlatEdit::systemColoursFollowThePalette()
{
    const QPalette saved = QApplication::palette();
    edit->setColorFlat(clInfoBk);
    QPalette pal = saved;
    pal.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    QApplication::setPalette(pal);
    verifyLook(edit, QColor(255, 255, 225), Border);
    QApplication::setPalette(saved);
}

void TestFlatEdit::useAdvColorsSwitching()
{
    edit->setColorFlat(clWhite);
    QVERIFY(!edit->parentColor());
    const TColor parent = TColor::fromQColor(ParentGrey);

    edit->setUseAdvColors(true);
    QVERIFY(edit->parentColor());
    QCOMPARE(edit->colorFlat(), parent);
    const TColor focused = DeriveAdvancedColor(parent, clWhite, 10, ShadeDirection::Lighten);
    const TColor border = DeriveAdvancedColor(parent, TColor(0x8396A0), 50, ShadeDirection::Darken);
    QCOMPARE(edit->colorFocused(), focused);
    QCOMPARE(edit->colorBorder(), border);
    QVERIFY(!(focused == parent) && !(border == parent));
    VERIFY_LOOK(edit, ParentGrey, border.toQColor());

    // A new percentage derives again.
    edit->setAdvColorBorder(20);
    QCOMPARE(edit->colorBorder(), DeriveAdvancedColor(parent, clBlack, 20, ShadeDirection::Darken));

    // A parent colour change derives from the new colour.
    QPalette pal = host->palette();
    pal.setColor(QPalette::Window, QColor(200, 100, 50));
    host->setPalette(pal);
    const TColor newParent = TColor::fromRgb(200, 100, 50);
    QCOMPARE(edit->colorFlat(), newParent);
    QCOMPARE(edit->colorFocused(), DeriveAdvancedColor(newParent, clBlack, 10, ShadeDirection::Lighten));

    // Turning it off turns ParentColor off and keeps the derived colours.
    const TColor keptFocused = edit->colorFocused();
    const TColor keptBorder = edit->colorBorder();
    edit->setUseAdvColors(false);
    QVERIFY(!edit->parentColor());
    QCOMPARE(edit->colorFocused(), keptFocused);
    QCOMPARE(edit->colorBorder(), keptBorder);
    pal.setColor(QPalette::Window, QColor(1, 2, 3));
    host->setPalette(pal);
    QCOMPARE(edit->colorFlat(), newParent);
}

QTEST_MAIN(TestFlatEdit)
#include "tst_flatedit.moc"
