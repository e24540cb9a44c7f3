#include "controls/aatext/aalabel.h"

#include <QMouseEvent>
#include <QPainter>

namespace aatext {

// ------------------------------------------------------- TDrag, TParentEffect

TDragKind TDrag::DragKind() const { return control_->dragKind_; }
void TDrag::SetDragKind(TDragKind v) { control_->dragKind_ = v; }
int TDrag::DragCursor() const { return control_->dragCursor_; }
void TDrag::SetDragCursor(int v) { control_->dragCursor_ = v; }
TDragMode TDrag::DragMode() const { return control_->dragMode_; }
void TDrag::SetDragMode(TDragMode v) { control_->dragMode_ = v; }

bool TParentEffect::ParentColor() const { return control_->parentColor_; }
void TParentEffect::SetParentColor(bool v)
{
    if (control_->parentColor_ == v)
        return;
    control_->parentColor_ = v;
    control_->Changed();
}
bool TParentEffect::ParentFont() const { return control_->parentFont_; }
void TParentEffect::SetParentFont(bool v)
{
    if (control_->parentFont_ == v)
        return;
    control_->parentFont_ = v;
    if (v)
        control_->setFont(QFont());  // inherit the parent's font again
    control_->Changed();
}
bool TParentEffect::ParentShowHint() const { return control_->parentShowHint_; }
void TParentEffect::SetParentShowHint(bool v) { control_->parentShowHint_ = v; }

// ------------------------------------------------------- TAAGraphicControl

TAAGraphicControl::TAAGraphicControl(QWidget *parent)
    : QWidget(parent), renderer_(std::make_unique<TAAFontEx>())
{
    renderer_->Effect().OnChanged = [this](TNotifyClass *sender) { EffectChanged(sender); };
    setAutoFillBackground(false);
}

TAAGraphicControl::~TAAGraphicControl()
{
    destroying_ = true;
}

void TAAGraphicControl::SetBorder(int v)
{
    v = std::max(v, 0);
    if (border_ == v)
        return;
    border_ = v;
    Changed();
}

void TAAGraphicControl::SetAutoSize(bool v)
{
    autoSize_ = v;
    Changed();
}

void TAAGraphicControl::SetAlign(TAlign v)
{
    if (align_ == v)
        return;
    align_ = v;
    Changed();
}

TColor TAAGraphicControl::Color() const
{
    if (parentColor_ && parentWidget())
        return QColorToColor(parentWidget()->palette().color(parentWidget()->backgroundRole()));
    return color_;
}

void TAAGraphicControl::SetColor(TColor v)
{
    if (!parentColor_ && color_ == v)
        return;
    parentColor_ = false;
    color_ = v;
    Changed();
}

QFont TAAGraphicControl::Font() const
{
    return font();
}

void TAAGraphicControl::SetFont(const QFont &font)
{
    parentFont_ = false;
    setFont(font);  // reported back through changeEvent
}

TColor TAAGraphicControl::FontColor() const
{
    if (parentFont_ && parentWidget())
        return QColorToColor(parentWidget()->palette().color(QPalette::WindowText));
    return fontColor_;
}

void TAAGraphicControl::SetFontColor(TColor v)
{
    if (!parentFont_ && fontColor_ == v)
        return;
    parentFont_ = false;
    fontColor_ = v;
    Changed();
}

void TAAGraphicControl::Loaded()
{
    if (loaded_)
        return;
    loaded_ = true;
    LoadedEx();
}

void TAAGraphicControl::EndUpdate()
{
    if (updating_ > 0 && --updating_ == 0)
        Changed();
}

void TAAGraphicControl::Changed()
{
    if (!loaded_ || destroying_ || updating_ > 0)
        return;
    Reset();
}

void TAAGraphicControl::EffectChanged(TNotifyClass *)
{
    Changed();
}

void TAAGraphicControl::ChangedFromEvent()
{
    try {
        Changed();
    } catch (const std::exception &) {
        // A failed render (the renderer's own errors, or no memory for a huge
        // label) must not leave a Qt event handler; the label keeps its last
        // picture and the next change tries again.
    }
}

void TAAGraphicControl::PaintCanvas(QPainter &) {}

void TAAGraphicControl::LoadedEx()
{
    Changed();
}

void TAAGraphicControl::Reset()
{
    update();
}

QPoint TAAGraphicControl::PlaceText(int textWidth, int textHeight, TAlignment alignment,
                                    TTextLayout layout)
{
    if (autoSize_) {
        int w = width(), h = height();
        if (align_ == alNone || align_ == alLeft || align_ == alRight)
            w = textWidth + 2 * border_;
        if (align_ == alNone || align_ == alTop || align_ == alBottom)
            h = textHeight + 2 * border_;
        // On a visible control this resizes at once, and the resize renders
        // once more inside this render; that inner render finds the size
        // settled.
        if (w != width() || h != height())
            resize(w, h);
    }
    int x = border_;
    if (alignment == taRightJustify)
        x = width() - border_ - textWidth;
    else if (alignment == taCenter)
        x = (width() - textWidth) / 2;
    int y = border_;
    if (layout == tlCenter)
        y = (height() - textHeight) / 2;
    else if (layout == tlBottom)
        y = height() - border_ - textHeight;
    return QPoint(x, y);
}

void TAAGraphicControl::DrawBackGround(QPainter &painter, const QRect &rect, TBackGroundMode mode,
                                       const QImage &graphic, TColor brushColor)
{
    painter.fillRect(rect, ColorToQColor(brushColor));
    if (graphic.isNull() || graphic.width() == 0 || graphic.height() == 0)
        return;
    switch (mode) {
    case bmTiled:
        TileDraw(painter, rect, graphic);
        break;
    case bmStretched:
        StretchDrawGraphic(painter, rect, graphic);
        break;
    case bmCenter:
        painter.drawImage((rect.left() + rect.left() + rect.width() - graphic.width()) / 2,
                          (rect.top() + rect.top() + rect.height() - graphic.height()) / 2, graphic);
        break;
    case bmNormal:
        painter.drawImage(rect.topLeft(), graphic);
        break;
    }
}

void TAAGraphicControl::paintEvent(QPaintEvent *)
{
    if (destroying_ || updating_ > 0)
        return;
    if (!loaded_) {
        loaded_ = true;
        try {
            LoadedEx();
        } catch (const std::exception &) {
            // As in ChangedFromEvent: a failed render never leaves paintEvent.
        }
    }
    if (painting_)
        return;
    painting_ = true;
    try {
        QPainter painter(this);
        PaintCanvas(painter);
    } catch (const std::exception &) {
        // As in ChangedFromEvent: a failed render never leaves paintEvent.
    }
    painting_ = false;
}

void TAAGraphicControl::resizeEvent(QResizeEvent *event)
{
    if (width() != lastWidth_ || height() != lastHeight_) {
        lastWidth_ = width();
        lastHeight_ = height();
        ChangedFromEvent();
    }
    QWidget::resizeEvent(event);
}

void TAAGraphicControl::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::PaletteChange:
        ChangedFromEvent();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TAAGraphicControl::enterEvent(QEnterEvent *event)
{
    emit mouseEnter();
    QWidget::enterEvent(event);
}

void TAAGraphicControl::leaveEvent(QEvent *event)
{
    emit mouseLeave();
    QWidget::leaveEvent(event);
}

void TAAGraphicControl::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QWidget::mousePressEvent(event);
}

void TAAGraphicControl::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton
                       && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    if (click)
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void TAAGraphicControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Not passed on: QWidget would treat it as a second press, and the release
    // after it would make a double-click two clicks.
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    event->accept();
}

// ------------------------------------------------------------ TCustomParam

TCustomParam::TCustomParam(TAALabel *label, TNotifyEvent onChanged)
    : TNotifyClass(std::move(onChanged)), label_(label)
{
    backGround_.OnChange = [this] { Changed(); };
}

void TCustomParam::Assign(const TNotifyClass &source)
{
    TNotifyClass::Assign(source);
    auto *s = dynamic_cast<const TCustomParam *>(&source);
    if (!s || s == this)
        return;
    alignment_ = s->alignment_;
    transparent_ = s->transparent_;
    layout_ = s->layout_;
    label_ = s->label_;
    backGround_.Assign(s->backGround_);
    backGroundMode_ = s->backGroundMode_;
}

void TCustomParam::SetTransparent(bool v)
{
    if (transparent_ == v)
        return;
    transparent_ = v;
    Changed();
}

void TCustomParam::SetLayout(TTextLayout v)
{
    if (layout_ == v)
        return;
    layout_ = v;
    Changed();
}

void TCustomParam::SetAlignment(TAlignment v)
{
    if (alignment_ == v)
        return;
    alignment_ = v;
    Changed();
}

void TCustomParam::SetBackGroundMode(TBackGroundMode v)
{
    if (backGroundMode_ == v)
        return;
    backGroundMode_ = v;
    Changed();
}

TAAQuality TCustomParam::Quality() const { return label_->Renderer().Quality(); }

void TCustomParam::SetQuality(TAAQuality v)
{
    if (label_->Renderer().Quality() == v)
        return;
    label_->Renderer().SetQuality(v);
    Changed();
}

TAAEffect &TCustomParam::FontEffect() { return label_->Renderer().Effect(); }

void TCustomParam::SetFontEffect(const TAAEffect &v)
{
    label_->Renderer().Effect().Assign(v);
    Changed();
}

TColor TCustomParam::BackColor() const { return label_->Color(); }
void TCustomParam::SetBackColor(TColor v) { label_->SetColor(v); }
bool TCustomParam::IsBackColorStored() const { return !label_->ParentEffect().ParentColor(); }

// ---------------------------------------------------------------- TAALabel

TAALabel::TAALabel(QWidget *parent)
    : TAAGraphicControl(parent),
      effect_(std::make_unique<TAAFontEffect>(this, [this](TNotifyClass *s) { EffectChanged(s); }))
{
    resize(46, 12);
}

TAALabel::~TAALabel()
{
    MarkDestroying();
}

void TAALabel::SetCaption(const QString &caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    Changed();
}

QSize TAALabel::sizeHint() const
{
    return size();
}

void TAALabel::Reset()
{
    if (!effect_->Transparent())
        DrawToBuffer();
    TAAGraphicControl::Reset();
}

void TAALabel::PaintCanvas(QPainter &painter)
{
    if (effect_->Transparent())
        DrawTransparent(painter);
    else if (!buffer_.isNull())
        painter.drawImage(QRect(0, 0, width(), height()), buffer_);
}

void TAALabel::PrepareCanvas(QImage *target)
{
    canvas_.SetImage(target);
    canvas_.Font = Font();
    canvas_.FontColor = FontColor();
    canvas_.Escapement = 0;
    Renderer().SetCanvas(&canvas_);
}

void TAALabel::DrawToBuffer()
{
    PrepareCanvas(&buffer_);
    TAAFontEx &r = Renderer();
    const int th = r.TextHeight(caption_);
    const int tw = r.TextWidth(caption_);
    const QPoint at = PlaceText(tw, th, effect_->Alignment(), effect_->Layout());

    buffer_ = NewPicture(width(), height());
    if (buffer_.isNull())
        return;
    canvas_.SetImage(&buffer_);
    const TColor color = Color();
    canvas_.BrushColor = color;
    canvas_.BrushStyle = bsSolid;
    if (effect_->BackGround().Empty()) {
        buffer_.fill(ColorToQColor(color));
    } else {
        QPainter p(&buffer_);
        DrawBackGround(p, buffer_.rect(), effect_->BackGroundMode(), effect_->BackGround().Graphic(),
                       color);
    }
    canvas_.BrushStyle = bsClear;
    r.TextOut(at.x(), at.y(), caption_);
}

void TAALabel::DrawTransparent(QPainter &painter)
{
    // What lies beneath: the parent painted without its children.
    QImage beneath = NewPicture(width(), height());
    if (beneath.isNull())
        return;
    beneath.fill(ColorToQColor(Color()));
    if (QWidget *parent = parentWidget())
        parent->render(&beneath, QPoint(0, 0), QRegion(geometry()), QWidget::DrawWindowBackground);

    PrepareCanvas(&beneath);
    TAAFontEx &r = Renderer();
    const int th = r.TextHeight(caption_);
    const int tw = r.TextWidth(caption_);
    const QSize before = size();
    const QPoint at = PlaceText(tw, th, effect_->Alignment(), effect_->Layout());
    canvas_.BrushColor = Color();
    canvas_.BrushStyle = bsClear;
    r.TextOut(at.x(), at.y(), caption_);
    canvas_.SetImage(&buffer_);
    painter.drawImage(0, 0, beneath);
    if (size() != before)
        update();  // auto size changed the label: paint the new area too
}

} // namespace aatext
