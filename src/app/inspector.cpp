#include "app/inspector.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
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
    p.drawImage(r, m_picture);
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

    auto *left = new QVBoxLayout;
    left->addWidget(m_canvas, 1);
    m_playback = new PlaybackBar(this);
    left->addWidget(m_playback);
    left->addWidget(m_status);
    auto *outer = new QHBoxLayout(this);
    outer->addLayout(left, 1);
    outer->addWidget(m_facts);
    resize(InitialSize);

    connect(m_canvas, &FrameCanvas::pointerPixel, this, [this](const QPoint &pixel) {
        m_pointer = pixel;
        m_status->setText(statusText());
    });
    connect(m_inspection, &FrameInspection::frameReady, this, &FrameInspector::frameArrived);
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
    if (isVisible())
        m_inspection->requestFrame(frame);
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
    return QStringLiteral("x=%1 y=%2  R=%3 G=%4 B=%5 A=%6")
        .arg(m_pointer.x())
        .arg(m_pointer.y())
        .arg(qRed(c))
        .arg(qGreen(c))
        .arg(qBlue(c))
        .arg(qAlpha(c));
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
    m_facts->setText(factsText());
}
