#include "app/inspector.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "app/gotoframe.h"
#include "app/timeline.h"
#include "common/filepath.h"
#include "controls/seams.h"
#include "core/framedifference.h"
#include "core/frameinspection.h"
#include "imaging/engine/atomicfile.h"
#include "imaging/engine/pngwriter.h"
#include "imaging/exportnames.h"

namespace {

// The zoom ladder: below 1 the picture is smoothed, from 1 on every picture
// pixel is a square of whole screen pixels.
constexpr std::array<double, 11> ZoomSteps{0.125, 0.25, 0.5, 1, 2, 3, 4, 6, 8, 12, 16};
// Checkerboard squares behind transparent pixels, in screen pixels.
constexpr int CheckerSquare = 8;
const QColor CheckerLight(255, 255, 255);
const QColor CheckerDark(204, 204, 204);
// The facts column is wide enough for "颜色表: 局部, 256 色" in the window's font.
constexpr int FactsWidth = 210;
const QSize InitialSize(760, 520);
// Room for a few zoom steps of a small frame and for the "没有帧" text.
const QSize MinimumCanvas(200, 150);

// The stored rectangle's outline: this wide, just outside the rectangle, so
// the frame's edge pixels stay visible; logical pixels, whatever the zoom.
constexpr int OutlineWidth = 2;
const QColor OutlineColour(255, 0, 255);
// Where a frame differs from the previous one: red at half strength over it.
const QRgb DifferenceTint = qRgba(255, 0, 0, 128);
// Pictures kept for the comparison with the previous frame: the frame shown,
// the one before it, and one on the way.
constexpr std::size_t RecentPictures = 3;

// The overlays' state, kept while the program runs (never saved), in the
// order of FrameInspector::Overlay.
struct OverlayToggle {
    const char *text;
    Qt::Key key;
};
constexpr OverlayToggle OverlayToggles[3]{
    {"显示帧矩形", Qt::Key_R},
    {"仅显示存储的图块", Qt::Key_P},
    {"标出与上一帧不同的区域", Qt::Key_D},
};
bool overlayOn[3] = {false, false, false};

QString disposalText(engine::Disposal d)
{
    switch (d) {
    case engine::Disposal::Background: return QStringLiteral("恢复为背景");
    case engine::Disposal::Previous: return QStringLiteral("恢复为前一帧");
    case engine::Disposal::None: break;
    }
    return QStringLiteral("不处理");
}

QString blendText(engine::Blend b)
{
    return b == engine::Blend::Source ? QStringLiteral("替换") : QStringLiteral("覆盖");
}

QPixmap checkerTile()
{
    QPixmap tile(2 * CheckerSquare, 2 * CheckerSquare);
    tile.fill(CheckerLight);
    QPainter p(&tile);
    p.fillRect(0, 0, CheckerSquare, CheckerSquare, CheckerDark);
    p.fillRect(CheckerSquare, CheckerSquare, CheckerSquare, CheckerSquare, CheckerDark);
    return tile;
}

} // namespace

// ---- FrameCanvas ------------------------------------------------------------

FrameCanvas::FrameCanvas(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(MinimumCanvas);
}

void FrameCanvas::setPicture(const QImage &picture)
{
    const bool resized = picture.size() != m_picture.size();
    m_picture = picture;
    m_message.clear();
    if (resized)
        m_pan = {};
    update();
}

void FrameCanvas::setOutline(const QRect &rect)
{
    m_outline = rect;
    update();
}

void FrameCanvas::setPatchAlone(bool alone, const QImage &patch, const QPoint &at)
{
    m_patchAlone = alone;
    m_patch = patch;
    m_patchAt = at;
    update();
}

void FrameCanvas::setTint(const QImage &tint, const QPoint &at)
{
    m_tint = tint;
    m_tintAt = at;
    update();
}

QRectF FrameCanvas::mapped(const QRect &r) const
{
    const QRectF picture = pictureRect();
    const double z = zoom();
    return {picture.left() + r.x() * z, picture.top() + r.y() * z, r.width() * z, r.height() * z};
}

void FrameCanvas::setMessage(const QString &message)
{
    m_picture = QImage();
    m_message = message;
    update();
}

double FrameCanvas::zoom() const
{
    if (!m_fit || m_picture.isNull())
        return m_zoom;
    return std::min(double(width()) / m_picture.width(), double(height()) / m_picture.height());
}

void FrameCanvas::setZoom(double zoom)
{
    m_fit = false;
    m_zoom = std::clamp(zoom, ZoomSteps.front(), MaxZoom);
    m_pan = {};
    update();
}

void FrameCanvas::setFit()
{
    m_fit = true;
    m_pan = {};
    update();
}

void FrameCanvas::zoomStep(int direction)
{
    zoomStep(direction, QPointF(width() / 2.0, height() / 2.0));
}

void FrameCanvas::zoomStep(int direction, const QPointF &anchor)
{
    const double now = zoom();
    double next = now;
    if (direction > 0) {
        auto it = std::upper_bound(ZoomSteps.begin(), ZoomSteps.end(), now + 1e-9);
        next = it == ZoomSteps.end() ? ZoomSteps.back() : *it;
    } else {
        auto it = std::lower_bound(ZoomSteps.begin(), ZoomSteps.end(), now - 1e-9);
        next = it == ZoomSteps.begin() ? ZoomSteps.front() : *std::prev(it);
    }
    const QRectF before = pictureRect();
    setZoom(next);
    if (before.isEmpty())
        return;
    // The picture point under the anchor, then the pan that puts it back there.
    const QPointF point = (anchor - before.topLeft()) / now;
    const QPointF centred((width() - m_picture.width() * m_zoom) / 2,
                          (height() - m_picture.height() * m_zoom) / 2);
    m_pan = anchor - point * m_zoom - centred;
}

void FrameCanvas::wheelEvent(QWheelEvent *event)
{
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (delta.y() != 0)
            zoomStep(delta.y() > 0 ? 1 : -1, event->position());
    } else {
        // One notch (120) scrolls 30 screen pixels.
        m_pan += QPointF(delta) / 4;
        update();
    }
    emit pointerPixel(pixelAt(event->position()));
    event->accept();
}

QRectF FrameCanvas::pictureRect() const
{
    if (m_picture.isNull())
        return {};
    const double z = zoom();
    const QSizeF size(m_picture.width() * z, m_picture.height() * z);
    // Whole pixels for the corner, so that each picture pixel covers the same
    // number of screen pixels.
    const QPointF corner(std::round((width() - size.width()) / 2 + m_pan.x()),
                         std::round((height() - size.height()) / 2 + m_pan.y()));
    return {corner, size};
}

QPoint FrameCanvas::pixelAt(const QPointF &pos) const
{
    const QRectF r = pictureRect();
    if (r.isEmpty() || !r.contains(pos))
        return {-1, -1};
    const double z = zoom();
    const int x = std::min(int((pos.x() - r.left()) / z), m_picture.width() - 1);
    const int y = std::min(int((pos.y() - r.top()) / z), m_picture.height() - 1);
    return {x, y};
}

void FrameCanvas::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    if (m_picture.isNull()) {
        p.setPen(palette().color(QPalette::BrightText));
        p.drawText(rect(), Qt::AlignCenter, m_message);
        return;
    }
    const QRectF r = pictureRect();
    p.fillRect(r, QBrush(checkerTile()));
    p.setRenderHint(QPainter::SmoothPixmapTransform, zoom() < 1);
    if (!m_patchAlone)
        p.drawImage(r, m_picture);
    else if (!m_patch.isNull())
        p.drawImage(mapped(QRect(m_patchAt, m_patch.size())), m_patch);
    if (!m_tint.isNull())
        p.drawImage(mapped(QRect(m_tintAt, m_tint.size())), m_tint);
    if (!m_outline.isNull()) {
        const QRectF o = mapped(m_outline);
        const double w = OutlineWidth;
        p.fillRect(QRectF(o.left() - w, o.top() - w, o.width() + 2 * w, w), OutlineColour);
        p.fillRect(QRectF(o.left() - w, o.bottom(), o.width() + 2 * w, w), OutlineColour);
        p.fillRect(QRectF(o.left() - w, o.top(), w, o.height()), OutlineColour);
        p.fillRect(QRectF(o.right(), o.top(), w, o.height()), OutlineColour);
    }
}

void FrameCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        m_pan += event->position() - m_dragFrom;
        m_dragFrom = event->position();
        update();
    }
    emit pointerPixel(pixelAt(event->position()));
}

void FrameCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragFrom = event->position();
    }
    QWidget::mousePressEvent(event);
}

void FrameCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void FrameCanvas::leaveEvent(QEvent *event)
{
    emit pointerPixel({-1, -1});
    QWidget::leaveEvent(event);
}

// ---- SwatchGrid -------------------------------------------------------------

SwatchGrid::SwatchGrid(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SwatchGrid::setColors(std::vector<std::uint32_t> colors, int transparentIndex)
{
    m_colors = std::move(colors);
    m_transparent = transparentIndex;
    updateGeometry();
    update();
}

QSize SwatchGrid::sizeHint() const
{
    const int rows = (count() + Columns - 1) / Columns;
    return {Columns * Square, rows * Square};
}

void SwatchGrid::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Whole logical pixels; the painter scales them on high-density screens.
    const int side = Square - 1;
    const int half = side / 2;
    for (int i = 0; i < count(); ++i) {
        const QRect cell((i % Columns) * Square, (i / Columns) * Square, side, side);
        const QRgb c = m_colors[std::size_t(i)];
        if (i == m_transparent || qAlpha(c) < 255) {
            p.fillRect(cell, CheckerLight);
            p.fillRect(QRect(cell.topLeft(), QSize(half, half)), CheckerDark);
            p.fillRect(QRect(cell.topLeft() + QPoint(half, half), QSize(side - half, side - half)), CheckerDark);
        }
        if (i != m_transparent)
            p.fillRect(cell, QColor::fromRgba(c));
    }
}

// ---- FrameInspector ---------------------------------------------------------

FrameInspector::FrameInspector(FrameInspection *inspection, QWidget *parent)
    : QWidget(parent, Qt::Window), m_inspection(inspection)
{
    setObjectName(QStringLiteral("FrameInspector"));
    m_canvas = new FrameCanvas(this);
    m_status = new QLabel(this);
    m_facts = new QLabel(this);
    m_facts->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_facts->setFixedWidth(FactsWidth);
    m_facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_swatches = new SwatchGrid(this);
    m_factsAfter = new QLabel(this);
    m_factsAfter->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_factsAfter->setFixedWidth(FactsWidth);
    m_factsAfter->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *tools = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        auto *action = new QAction(QString::fromUtf8(OverlayToggles[i].text), this);
        action->setCheckable(true);
        action->setChecked(overlayOn[i]);
        action->setShortcut(QKeySequence(OverlayToggles[i].key));
        action->setShortcutContext(Qt::WindowShortcut);
        action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(), action->shortcut().toString()));
        addAction(action);
        connect(action, &QAction::toggled, this, [this, i](bool on) {
            overlayOn[i] = on;
            applyOverlays();
        });
        m_overlayActions[i] = action;
        auto *button = new QToolButton(this);
        button->setDefaultAction(action);
        button->setFocusPolicy(Qt::NoFocus);
        tools->addWidget(button);
    }
    tools->addStretch(1);

    auto *left = new QVBoxLayout;
    left->addLayout(tools);
    left->addWidget(m_canvas, 1);
    m_playback = new PlaybackBar(this);
    left->addWidget(m_playback);
    left->addWidget(m_status);
    auto *right = new QVBoxLayout;
    right->addWidget(m_facts);
    right->addWidget(m_swatches);
    right->addWidget(m_factsAfter);
    right->addStretch(1);
    auto *outer = new QHBoxLayout(this);
    outer->addLayout(left, 1);
    outer->addLayout(right);
    resize(InitialSize);

    connect(m_canvas, &FrameCanvas::pointerPixel, this, [this](const QPoint &pixel) {
        m_pointer = pixel;
        m_status->setText(statusText());
    });
    connect(m_inspection, &FrameInspection::frameReady, this, &FrameInspector::frameArrived);
    connect(m_inspection, &FrameInspection::frameReady, this, &FrameInspector::pictureArrived);
    connect(m_inspection, &FrameInspection::patchReady, this, &FrameInspector::patchArrived);
    connect(m_inspection, &FrameInspection::differenceReady, this, &FrameInspector::differenceArrived);
    connect(m_inspection, &FrameInspection::opened, this, &FrameInspector::dropExtras);
    // A new picture starts at its first frame.
    connect(m_inspection, &FrameInspection::opened, this, [this] {
        m_frame = -1;
        m_shownFrame = -1;
        m_pending = Action::None;
        m_pendingBusy.reset();
        showFrame(0);
    });

    auto *copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, [this] { copyFrame(m_frame); });
    auto *save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [this] { saveFrame(m_frame); });
    setUpPlayback();
    showNothing();
}

void FrameInspector::setUpPlayback()
{
    m_playback->setFacts(m_inspection->facts());
    // Connected after the handler above that shows the new picture's first frame.
    connect(m_inspection, &FrameInspection::opened, m_playback,
            [this] { m_playback->setFacts(m_inspection->facts()); });
    connect(m_playback, &PlaybackBar::frameChosen, this, &FrameInspector::goTo);
    connect(this, &FrameInspector::frameShown, m_playback, &PlaybackBar::frameShown);
    auto *goToFrame = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
    connect(goToFrame, &QShortcut::activated, this, &FrameInspector::askFrameNumber);
}

void FrameInspector::askFrameNumber()
{
    if (m_frame < 0)
        return;
    GoToFrameDialog dialog(frameCount(), m_frame, this);
    seams::execModal(&dialog);
    // The picture may have changed while the dialog was open.
    if (dialog.result() == QDialog::Accepted && m_frame >= 0)
        goTo(std::min(dialog.frame(), frameCount() - 1));
}

int FrameInspector::frameCount() const
{
    return int(std::min<std::uint32_t>(m_inspection->facts().frameCount,
                                       std::uint32_t(std::numeric_limits<int>::max())));
}

void FrameInspector::showFrame(int frame)
{
    if (frame < 0 || frame >= frameCount()) {
        showNothing();
        return;
    }
    if (frame == m_frame)
        return;
    m_frame = frame;
    m_playback->setCurrent(frame);
    if (isVisible()) {
        m_inspection->requestFrame(frame);
        requestExtras();
    }
    updateTexts();
}

void FrameInspector::showNothing()
{
    m_frame = -1;
    m_shownFrame = -1;
    m_playback->setCurrent(-1);
    m_canvas->setMessage(QStringLiteral("没有帧"));
    updateTexts();
}

void FrameInspector::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_frame >= 0 && m_shownFrame != m_frame)
        m_inspection->requestFrame(m_frame);
    requestExtras();
}

void FrameInspector::frameArrived(int frame, const QImage &picture)
{
    if (m_pending != Action::None && frame == m_pendingFrame) {
        const Action action = std::exchange(m_pending, Action::None);
        m_pendingBusy.reset();
        perform(action, picture, frame);
    }
    if (frame != m_frame)
        return;
    m_shownFrame = frame;
    m_canvas->setPicture(picture);
    updateTexts();
    emit frameShown(frame);
}

void FrameInspector::step(int delta)
{
    if (m_frame < 0)
        return;
    goTo(std::clamp(m_frame + delta, 0, frameCount() - 1));
}

void FrameInspector::goTo(int frame)
{
    if (m_frame < 0 || frame == m_frame)
        return;
    showFrame(frame);
    emit frameStepped(frame);
}

void FrameInspector::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Comma: step(-1); break;
    case Qt::Key_Right:
    case Qt::Key_Period: step(1); break;
    case Qt::Key_PageUp: step(-PageStep); break;
    case Qt::Key_PageDown: step(PageStep); break;
    case Qt::Key_Home: goTo(0); break;
    case Qt::Key_End: goTo(frameCount() - 1); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: m_canvas->zoomStep(1); break;
    case Qt::Key_Minus: m_canvas->zoomStep(-1); break;
    case Qt::Key_1: m_canvas->setZoom(1); break;
    case Qt::Key_0: m_canvas->setFit(); break;
    case Qt::Key_Space: m_playback->togglePlayback(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    m_pointer = {-1, -1};
    updateTexts();
}

void FrameInspector::copyFrame(int frame)
{
    if (frame < 0)
        return;
    if (frame == m_shownFrame) {
        perform(Action::Copy, m_canvas->picture(), frame);
        return;
    }
    m_pending = Action::Copy;
    m_pendingFrame = frame;
    if (!m_pendingBusy)
        m_pendingBusy = std::make_unique<BusyCursor>();
    m_inspection->requestFrame(frame);
}

void FrameInspector::saveFrame(int frame)
{
    if (frame < 0)
        return;
    if (frame == m_shownFrame) {
        perform(Action::Save, m_canvas->picture(), frame);
        return;
    }
    m_pending = Action::Save;
    m_pendingFrame = frame;
    if (!m_pendingBusy)
        m_pendingBusy = std::make_unique<BusyCursor>();
    m_inspection->requestFrame(frame);
}

QString FrameInspector::defaultSaveName(int frame) const
{
    const QString path = m_inspection->path();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString folder = exportFolder(slash > 0 ? path.left(slash) : QStringLiteral("/"));
    const ExportFormat &png = exportFormats().back();
    return exportFileName(folder, StripExtension(filepath::fileName(path)), frame,
                          QLatin1String(png.extension));
}

void FrameInspector::perform(Action action, const QImage &picture, int frame)
{
    if (picture.isNull())
        return;
    if (action == Action::Copy) {
        // PNG keeps the alpha for programs that read it; the image for the rest.
        auto *data = new QMimeData;
        data->setData(QStringLiteral("image/png"), engine::encodePng(picture));
        data->setImageData(picture);
        QGuiApplication::clipboard()->setMimeData(data);
        return;
    }
    const QString target = seams::saveFilePicker().pickSaveFile(
        this, QStringLiteral("另存为"), defaultSaveName(frame), QStringLiteral("PNG 图像 (*.png)"));
    if (target.isEmpty())
        return;
    const BusyCursor busy;
    engine::AtomicFile file(target);
    file.write(engine::encodePng(picture));
    if (file.commit() != engine::Ok)
        seams::showError(this, QStringLiteral("无法保存 %1").arg(filepath::displayPath(target)));
}

QString FrameInspector::statusText() const
{
    const QImage &picture = m_canvas->picture();
    if (m_shownFrame < 0 || picture.isNull() || m_pointer.x() < 0)
        return {};
    const QRgb c = picture.pixel(m_pointer);
    QString text = QStringLiteral("x=%1 y=%2  R=%3 G=%4 B=%5 A=%6")
                       .arg(m_pointer.x())
                       .arg(m_pointer.y())
                       .arg(qRed(c))
                       .arg(qGreen(c))
                       .arg(qBlue(c))
                       .arg(qAlpha(c));
    // A palette frame's index, where the frame itself has a visible pixel.
    if (hasPatch()) {
        const int index = m_patch->indexAt(m_pointer.x(), m_pointer.y());
        const QPoint inPatch = m_pointer - QPoint(m_patch->rect.x, m_patch->rect.y);
        if (index >= 0 && qAlpha(m_patch->pixels.pixel(inPatch)) > 0)
            text += QStringLiteral("  索引=%1").arg(index);
    }
    return text;
}

QString FrameInspector::factsText() const
{
    const PictureFacts &facts = m_inspection->facts();
    if (m_frame < 0 || std::size_t(m_frame) >= facts.frames.size())
        return {};
    const engine::FrameRecord &r = facts.frames[std::size_t(m_frame)];
    QString colours = QStringLiteral("真彩色");
    if (r.colors >= 0)
        colours = QStringLiteral("%1, %2 色")
                      .arg(r.localColors ? QStringLiteral("局部") : QStringLiteral("全局"))
                      .arg(r.colors);
    QStringList lines{
        QStringLiteral("第%1帧/共%2帧").arg(m_frame + 1).arg(facts.frameCount),
        QStringLiteral("存储延迟: %1 毫秒").arg(r.delayMs),
        QStringLiteral("播放延迟: %1 毫秒").arg(engine::playedDelayMs(r.delayMs, facts.gif)),
        QStringLiteral("位置: (%1, %2)").arg(r.rect.x).arg(r.rect.y),
        QStringLiteral("大小: %1×%2").arg(r.rect.w).arg(r.rect.h),
        QStringLiteral("处理方式: %1").arg(disposalText(r.disposal)),
        QStringLiteral("混合方式: %1").arg(blendText(r.blend)),
        QStringLiteral("颜色表: %1").arg(colours),
        QStringLiteral("透明色索引: %1")
            .arg(r.transparentIndex >= 0 ? QString::number(r.transparentIndex) : QStringLiteral("无")),
        QStringLiteral("隔行扫描: %1").arg(r.interlaced ? QStringLiteral("是") : QStringLiteral("否")),
        QStringLiteral("与上一帧相同: %1").arg(equalsPreviousText()),
    };
    return lines.join(QLatin1Char('\n'));
}

void FrameInspector::updateTexts()
{
    if (m_frame < 0) {
        setWindowTitle(QStringLiteral("帧查看"));
    } else {
        setWindowTitle(QStringLiteral("帧查看 - %1 (第%2帧/共%3帧)")
                           .arg(filepath::displayPath(filepath::fileName(m_inspection->path())))
                           .arg(m_frame + 1)
                           .arg(m_inspection->facts().frameCount));
    }
    m_status->setText(statusText());
    // The swatches go right under the colour table's line.
    const QStringList lines = factsText().split(QLatin1Char('\n'));
    qsizetype table = -1;
    for (qsizetype i = 0; i < lines.size() && table < 0; ++i)
        if (lines[i].startsWith(QStringLiteral("颜色表: ")))
            table = i;
    m_facts->setText(lines.mid(0, table + 1).join(QLatin1Char('\n')));
    m_factsAfter->setText(table >= 0 ? lines.mid(table + 1).join(QLatin1Char('\n')) : QString());
    const PictureFacts &facts = m_inspection->facts();
    if (hasPatch())
        m_swatches->setColors(m_patch->colors, facts.frames[std::size_t(m_frame)].transparentIndex);
    else
        m_swatches->setColors({}, -1);
}

bool FrameInspector::hasPatch() const
{
    return m_patch && m_frame >= 0 && m_patch->frame == std::uint32_t(m_frame) && !m_patch->pixels.isNull()
        && std::size_t(m_frame) < m_inspection->facts().frames.size();
}

QString FrameInspector::equalsPreviousText() const
{
    if (m_frame == 0)
        return QStringLiteral("—"); // the first frame has none
    if (m_differenceFrame != m_frame)
        return QStringLiteral("…");
    if (!m_difference)
        return QStringLiteral("未知");
    return m_difference->equal ? QStringLiteral("是") : QStringLiteral("否");
}

QAction *FrameInspector::overlayAction(Overlay overlay) const
{
    return m_overlayActions[int(overlay)];
}

void FrameInspector::requestExtras()
{
    if (m_frame < 0 || !isVisible())
        return;
    if (!m_patch || m_patch->frame != std::uint32_t(m_frame))
        m_inspection->requestPatch(m_frame);
    if (m_frame > 0 && m_differenceFrame != m_frame && m_differenceAsked != m_frame
        && m_recent.count(m_frame) && m_recent.count(m_frame - 1)) {
        m_differenceAsked = m_frame;
        m_inspection->requestDifference(m_frame, m_recent[m_frame], m_recent[m_frame - 1]);
    }
}

void FrameInspector::pictureArrived(int frame, const QImage &picture)
{
    if (m_frame < 0 || (frame != m_frame && frame != m_frame - 1))
        return;
    m_recent[frame] = picture;
    // Only what the comparison of the frame shown needs stays.
    for (auto it = m_recent.begin(); it != m_recent.end() && m_recent.size() > RecentPictures;) {
        if (it->first != m_frame && it->first != m_frame - 1)
            it = m_recent.erase(it);
        else
            ++it;
    }
    if (frame == m_frame && m_frame > 0 && !m_recent.count(m_frame - 1))
        m_inspection->requestFrame(m_frame - 1); // after the frame asked for, so that comes first
    requestExtras();
    applyOverlays();
}

void FrameInspector::patchArrived(int frame, std::shared_ptr<const engine::FramePatch> patch)
{
    if (frame != m_frame)
        return;
    if (!patch) {
        // Nothing decoded: an empty patch of this frame, so it is not asked for again.
        auto empty = std::make_shared<engine::FramePatch>();
        empty->frame = std::uint32_t(frame);
        patch = std::move(empty);
    }
    m_patch = std::move(patch);
    applyOverlays();
    updateTexts();
}

void FrameInspector::differenceArrived(int frame, std::shared_ptr<const FrameDifference> difference)
{
    if (frame != m_frame)
        return;
    m_difference = std::move(difference);
    m_differenceFrame = frame;
    m_tint = QImage();
    applyOverlays();
    updateTexts();
}

void FrameInspector::dropExtras()
{
    m_patch.reset();
    m_difference.reset();
    m_differenceFrame = -1;
    m_differenceAsked = -1;
    m_tint = QImage();
    m_recent.clear();
}

void FrameInspector::applyOverlays()
{
    const int shown = m_shownFrame;
    const PictureFacts &facts = m_inspection->facts();
    const bool known = shown >= 0 && shown == m_frame && std::size_t(shown) < facts.frames.size();
    QRect outline;
    if (known && overlayOn[int(Overlay::FrameRect)]) {
        const engine::Rect &r = facts.frames[std::size_t(shown)].rect;
        outline = QRect(r.x, r.y, r.w, r.h);
    }
    m_canvas->setOutline(outline);
    const bool patch = known && hasPatch();
    m_canvas->setPatchAlone(known && overlayOn[int(Overlay::PatchAlone)], patch ? m_patch->pixels : QImage(),
                            patch ? QPoint(m_patch->rect.x, m_patch->rect.y) : QPoint());
    const bool compared = known && (shown == 0 || m_differenceFrame == shown);
    const bool tinted = compared && shown > 0 && overlayOn[int(Overlay::Difference)] && m_difference
                     && !m_difference->equal && !m_difference->mask.isNull();
    if (tinted && m_tint.isNull()) {
        // Made when first shown, over the changed area only: most frames change little.
        QImage mask = m_difference->mask.copy(m_difference->bounds);
        mask.setColorTable({qRgba(0, 0, 0, 0), DifferenceTint});
        m_tint = mask.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    m_canvas->setTint(tinted ? m_tint : QImage(), tinted ? m_difference->bounds.topLeft() : QPoint());
}
