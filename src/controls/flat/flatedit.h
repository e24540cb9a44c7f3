#pragma once
// TCustomFlatEdit / TFlatEdit: a single-line edit drawn flat. A 3-pixel band around
// the text holds a one-pixel border line (ColorBorder) and a two-pixel ring in the
// current background colour, which is ColorFocused while the edit has the focus or
// the pointer is over it, and ColorFlat otherwise. Text, selection, read-only and
// change signals are QLineEdit's. GUI thread only; owned through its Qt parent.

#include "controls/flat/tcolor.h"

#include <QLineEdit>
#include <QPointer>

class TCustomFlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TCustomFlatEdit(QWidget *parent = nullptr);

    TColor colorFocused() const { return m_colorFocused; }
    TColor colorBorder() const { return m_colorBorder; }
    TColor colorFlat() const { return m_colorFlat; }
    bool parentColor() const { return m_parentColor; }
    bool useAdvColors() const { return m_useAdvColors; }
    int advColorFocused() const { return m_advColorFocused; }
    int advColorBorder() const { return m_advColorBorder; }
    bool mouseInControl() const { return m_mouseInControl; }

    void setColorFocused(TColor color);
    void setColorBorder(TColor color);
    // Also turns ParentColor off.
    void setColorFlat(TColor color);
    // Turning it on takes the parent's colour into ColorFlat.
    void setParentColor(bool on);
    // Also switches ParentColor to the same value and derives the colours.
    void setUseAdvColors(bool on);
    // Percentages 0 .. 100 (values outside are limited).
    void setAdvColorFocused(int percent);
    void setAdvColorBorder(int percent);

    // Derives ColorFocused (lighter) and ColorBorder (darker) from ColorFlat when
    // UseAdvColors is on.
    void UpdateAdvancedColors();
    // Chooses the look (focused or flat) and repaints the border band.
    void RedrawBorder();
    // Sets the height to the font's metric height + 6. Runs when the edit is first
    // polished (after its owner has set its geometry) and on every font change.
    void AdjustHeight();

    // The colour the text area and ring have in the current look.
    TColor currentBackground() const { return m_lookColor; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void enterEvent(QEnterEvent *e) override;
    void leaveEvent(QEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void changeEvent(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    TColor parentsColour() const;
    void outsideColoursChanged();
    void watchParent();
    void applyBackground();

    TColor m_colorFocused = clWhite;
    TColor m_colorBorder = 0x8396A0;
    TColor m_colorFlat = 0xE1EAEB;
    bool m_parentColor = true;
    bool m_useAdvColors = false;
    int m_advColorFocused = 10;
    int m_advColorBorder = 50;
    bool m_mouseInControl = false;

    TColor m_lookColor = 0xE1EAEB;
    QPointer<QWidget> m_watchedParent;
};

// The flat edit as forms use it.
class TFlatEdit : public TCustomFlatEdit {
    Q_OBJECT
public:
    explicit TFlatEdit(QWidget *parent = nullptr) : TCustomFlatEdit(parent) {}
};
