#pragma once
// TFlatComboBox: a combo box painted flat. A one-pixel border line and a two-pixel
// ring in the control's colour (Color) surround the field; a narrow drop-down
// button of its own (ColorArrowBackground face, ColorBorder frame, a small
// triangle in ColorArrow, engraved when disabled, pointing up while the list is
// open) replaces the style's button. Items, selection, the popup and the change
// signals are QComboBox's. GUI thread only; owned through its Qt parent.

#include "controls/flat/tcolor.h"

#include <QComboBox>
#include <QPointer>

class QPainter;
class FlatComboDelegate;

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TFlatComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TFlatComboBox(QWidget *parent = nullptr);

    // csDropDown (the default) and csSimple have an inner edit; the others are
    // list styles showing the selected item only.
    TComboBoxStyle comboStyle() const { return m_style; }
    void setComboStyle(TComboBoxStyle style);
    bool isListStyle() const;

    // Background of the field and of the open list; clWindow by default.
    TColor color() const { return m_color; }
    void setColor(TColor color);

    TColor colorArrow() const { return m_colorArrow; }
    TColor colorArrowBackground() const { return m_colorArrowBackground; }
    TColor colorBorder() const { return m_colorBorder; }
    bool useAdvColors() const { return m_useAdvColors; }
    int advColorBorder() const { return m_advColorBorder; }
    int advColorArrowBackground() const { return m_advColorArrowBackground; }
    void setColorArrow(TColor color);
    void setColorArrowBackground(TColor color);
    void setColorBorder(TColor color);
    // Derives ColorBorder and ColorArrowBackground from the parent's colour.
    void setUseAdvColors(bool on);
    // Percentages 0 .. 100 (values outside are limited).
    void setAdvColorBorder(int percent);
    void setAdvColorArrowBackground(int percent);
    void UpdateAdvancedColors();

    // Height of one row of the open list in pixels; a font change sets it back to 13.
    int itemHeight() const { return m_itemHeight; }
    void setItemHeight(int height);

    int buttonWidth() const { return m_buttonWidth; }
    int systemButtonWidth() const { return m_systemButtonWidth; }
    // The button's core: from x = CW - 12 to the last-but-one column, full height.
    QRect ButtonRect() const;
    // The painted button: ButtonRect widened by one pixel on each side.
    QRect drawnButtonRect() const;

    bool isDroppedDown() const { return m_droppedDown; }
    // Dropped down, or the focus is on the combo or its inner edit (last computed).
    bool isActive() const { return m_isActive; }

    void showPopup() override;
    void hidePopup() override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    int clientWidth() const { return width(); }
    void DrawFrame(QPainter &p) const;
    void DrawButton(QPainter &p) const;
    void DrawFocusArea(QPainter &p) const;
    void RedrawBorders(QPainter &p) const;
    void paintSelectedItem(QPainter &p) const;
    void updateActive();
    void setDroppedDown(bool dropped);
    void placePopup();
    void applyColour();
    void prepareInnerEdit();
    void placeInnerEdit();
    void watchParent();
    void watchPopup();
    TColor parentsColour() const;
    void outsideColoursChanged();

    TColor m_colorArrow = clBlack;
    TColor m_colorArrowBackground = 0xC5D6D9;
    TColor m_colorBorder = 0x8396A0;
    bool m_useAdvColors = false;
    int m_advColorBorder = 50;
    int m_advColorArrowBackground = 10;
    int m_buttonWidth = 11;
    int m_systemButtonWidth = 0;
    bool m_isActive = false;

    TComboBoxStyle m_style = csDropDown;
    TColor m_color = clWindow;
    int m_itemHeight = 13;
    bool m_droppedDown = false;
    FlatComboDelegate *m_delegate = nullptr;
    QPointer<QWidget> m_watchedParent;
    QPointer<QWidget> m_watchedPopup;
    QPointer<QLineEdit> m_innerEdit;
};
