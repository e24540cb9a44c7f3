#pragma once
// The anti-aliased label: a widget without a background of its own that
// shows its caption in one line through the effect text renderer, over its
// colour or a background picture, or straight over its parent's pixels when
// transparent. TAAGraphicControl is the base that owns the renderer and turns
// every relevant change into a re-render once the control is loaded.
// GUI thread only.

#include "controls/aatext/aafont.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace aatext {

class TAAGraphicControl;
class TAALabel;

enum TAlign : quint8 { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TTextLayout : quint8 { tlTop, tlCenter, tlBottom };
enum TAlignment : quint8 { taLeftJustify, taRightJustify, taCenter };
enum TBackGroundMode : quint8 { bmTiled, bmStretched, bmCenter, bmNormal };
enum TDragKind : quint8 { dkDrag, dkDock };
enum TDragMode : quint8 { dmManual, dmAutomatic };
constexpr int crDrag = -12;

// A group of control properties; holds only a reference to its control and
// forwards every property to it.
class TPackParam {
public:
    explicit TPackParam(TAAGraphicControl *control) : control_(control) {}
    virtual ~TPackParam() = default;
    TPackParam(const TPackParam &) = delete;
    TPackParam &operator=(const TPackParam &) = delete;
    // Takes over the other group's control reference.
    virtual void Assign(const TPackParam &source) { control_ = source.control_; }
    TAAGraphicControl *Control() const { return control_; }

protected:
    TAAGraphicControl *control_;
};

class TDrag : public TPackParam {
public:
    using TPackParam::TPackParam;
    TDragKind DragKind() const;
    void SetDragKind(TDragKind v);
    int DragCursor() const;
    void SetDragCursor(int v);
    TDragMode DragMode() const;
    void SetDragMode(TDragMode v);
};

// Whether the control takes its colour, font and hint setting from its parent.
class TParentEffect : public TPackParam {
public:
    using TPackParam::TPackParam;
    bool ParentColor() const;
    void SetParentColor(bool v);
    bool ParentFont() const;
    void SetParentFont(bool v);
    bool ParentShowHint() const;
    void SetParentShowHint(bool v);
};

class TAAGraphicControl : public QWidget {
    Q_OBJECT
public:
    explicit TAAGraphicControl(QWidget *parent = nullptr);
    ~TAAGraphicControl() override;

    TAAFontEx &Renderer() { return *renderer_; }
    TDrag &Drag() { return drag_; }
    void SetDrag(const TDrag &v) { drag_.Assign(v); }
    TParentEffect &ParentEffect() { return parentEffect_; }
    void SetParentEffect(const TParentEffect &v) { parentEffect_.Assign(v); }

    int Border() const { return border_; }
    void SetBorder(int v);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool v);
    TAlign Align() const { return align_; }
    void SetAlign(TAlign v);

    // The control's colour: its own, or its parent's background while
    // ParentEffect.ParentColor is on. Setting it switches ParentColor off.
    TColor Color() const;
    void SetColor(TColor v);
    // The caption's font and its colour; setting either switches ParentFont
    // off. With ParentFont on they are the parent's font and text colour.
    QFont Font() const;
    void SetFont(const QFont &font);
    TColor FontColor() const;
    void SetFontColor(TColor v);

    // Marks the end of setting up the control (as reading its stored
    // properties does): from now on changes render. A control that is never
    // marked becomes loaded at its first paint.
    void Loaded();
    bool IsLoaded() const { return loaded_; }
    // While updating, changes do not render; EndUpdate renders once.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();

    void Changed();
    void EffectChanged(TNotifyClass *sender);

    // Copies of the graphic from rect's top-left corner over rect.
    static void TileDraw(QPainter &painter, const QRect &rect, const QImage &graphic)
    {
        aatext::TileDraw(painter, rect, graphic);
    }
    // Fills rect with the brush colour, then draws the graphic by mode.
    static void DrawBackGround(QPainter &painter, const QRect &rect, TBackGroundMode mode,
                               const QImage &graphic, TColor brushColor);

signals:
    void clicked();
    void doubleClicked();
    void mouseEnter();
    void mouseLeave();

protected:
    virtual void PaintCanvas(QPainter &painter);
    virtual void LoadedEx();
    virtual void Reset();

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

    // Runs Changed from an event handler: the renderer's errors stay here.
    void ChangedFromEvent();
    // Called first by the destructors of derived controls: no more rendering.
    void MarkDestroying() { destroying_ = true; }
    // Client size after auto size, then where text of that size goes.
    QPoint PlaceText(int textWidth, int textHeight, TAlignment alignment, TTextLayout layout);

private:
    friend class TDrag;
    friend class TParentEffect;

    std::unique_ptr<TAAFontEx> renderer_;
    TDrag drag_{this};
    TParentEffect parentEffect_{this};
    int border_ = 0;
    bool autoSize_ = true;
    TAlign align_ = alNone;
    TColor color_ = clBtnFace;
    TColor fontColor_ = clWindowText;
    bool loaded_ = false;
    bool painting_ = false;
    bool destroying_ = false;
    bool pressed_ = false;
    int updating_ = 0;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    TDragKind dragKind_ = dkDrag;
    int dragCursor_ = crDrag;
    TDragMode dragMode_ = dmManual;
    bool parentColor_ = true;
    bool parentFont_ = true;
    bool parentShowHint_ = true;
};

// Settings of a label that are not the effect's own.
class TCustomParam : public TNotifyClass {
public:
    TCustomParam(TAALabel *label, TNotifyEvent onChanged);
    // Copies alignment, transparency, layout, the label reference and the
    // background picture with its mode (from another TCustomParam).
    void Assign(const TNotifyClass &source) override;

    bool Transparent() const { return transparent_; }
    void SetTransparent(bool v);
    TTextLayout Layout() const { return layout_; }
    void SetLayout(TTextLayout v);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment v);
    TBackGroundMode BackGroundMode() const { return backGroundMode_; }
    void SetBackGroundMode(TBackGroundMode v);
    const TAAPicture &BackGround() const { return backGround_; }
    TAAPicture &BackGround() { return backGround_; }
    void SetBackGround(const TAAPicture &v) { backGround_.Assign(v); }

    TAAQuality Quality() const;
    void SetQuality(TAAQuality v);
    TAAEffect &FontEffect();
    void SetFontEffect(const TAAEffect &v);
    TColor BackColor() const;
    void SetBackColor(TColor v);
    // BackColor belongs to the stored settings only while the label has a
    // colour of its own.
    bool IsBackColorStored() const;

    TAALabel *LabelControl() const { return label_; }

private:
    TAALabel *label_;
    bool transparent_ = false;
    TTextLayout layout_ = tlTop;
    TAlignment alignment_ = taLeftJustify;
    TBackGroundMode backGroundMode_ = bmCenter;
    TAAPicture backGround_;
};

class TAAFontEffect : public TCustomParam {
public:
    using TCustomParam::TCustomParam;
};

class TAALabel : public TAAGraphicControl {
    Q_OBJECT
public:
    explicit TAALabel(QWidget *parent = nullptr);
    ~TAALabel() override;

    QString Caption() const { return caption_; }
    void SetCaption(const QString &caption);
    TAAFontEffect &Effect() { return *effect_; }
    void SetEffect(const TAAFontEffect &v) { effect_->Assign(v); }
    // The rendered picture of a label that is not transparent.
    const QImage &Buffer() const { return buffer_; }

    QSize sizeHint() const override;

protected:
    void Reset() override;
    void PaintCanvas(QPainter &painter) override;

private:
    void PrepareCanvas(QImage *target);
    void DrawToBuffer();
    void DrawTransparent(QPainter &painter);

    QString caption_;
    QImage buffer_;
    TAACanvas canvas_;
    std::unique_ptr<TAAFontEffect> effect_;
};

} // namespace aatext
