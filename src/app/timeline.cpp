#include "app/timeline.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/frameplayer.h"

namespace {

// Bars other than the current one leave this much of the strip free above and
// below, so that the current bar stands out even when it is one pixel wide.
constexpr int BarInset = 3;
// One wheel notch (120) scrolls the strip this many pixels.
constexpr int ScrollPerNotch = 60;
// The strip's width before the window lays it out.
constexpr int HintWidth = 400;

} // namespace

// ---- FrameTimeline ------------------------------------------------------------

FrameTimeline::FrameTimeline(QWidget *parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("FrameTimeline"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // Clicking a bar leaves the keys with the picture.
    setFocusPolicy(Qt::NoFocus);
    horizontalScrollBar()->setSingleStep(ScrollPerNotch / 3);
}

QSize FrameTimeline::sizeHint() const
{
    return {HintWidth, StripHeight + horizontalScrollBar()->sizeHint().height() + 2 * frameWidth()};
}

QSize FrameTimeline::minimumSizeHint() const
{
    return {MinMeanBar * 4, sizeHint().height()};
}

void FrameTimeline::setDelays(std::vector<std::int64_t> playedMs)
{
    m_delays = std::move(playedMs);
    m_start.assign(m_delays.size() + 1, 0);
    std::int64_t total = 0;
    for (std::int64_t d : m_delays)
        total += std::max<std::int64_t>(d, 0);
    // Without any delay every frame gets the same share.
    for (std::size_t k = 0; k < m_delays.size(); ++k)
        m_start[k + 1] = m_start[k] + (total > 0 ? std::max<std::int64_t>(m_delays[k], 0) : 1);
    layOut();
    scrollToCurrent();
}

double FrameTimeline::edge(int frame) const
{
    return double(frame) * (Gap + MinBar) + m_scale * double(m_start[std::size_t(frame)]);
}

void FrameTimeline::layOut()
{
    QScrollBar *bar = horizontalScrollBar();
    const int n = count();
    const int width = viewport()->width();
    if (n == 0) {
        m_scale = 0;
        bar->setRange(0, 0);
        viewport()->update();
        return;
    }
    const double total = double(m_start.back());
    const double fixed = double(n) * (Gap + MinBar);
    const double fit = (width - fixed) / total;
    const double thinnest = double(MinMeanBar - Gap - MinBar) * n / total;
    m_scale = std::max(fit, thinnest);
    const double content = std::ceil(edge(n) - Gap);
    bar->setPageStep(width);
    bar->setRange(0, int(std::min(std::max(content - width, 0.0), double(std::numeric_limits<int>::max()))));
    viewport()->update();
}

void FrameTimeline::setCurrent(int frame)
{
    if (frame == m_current)
        return;
    m_current = frame;
    scrollToCurrent();
    viewport()->update();
}

void FrameTimeline::scrollToCurrent()
{
    if (m_current < 0 || m_current >= count())
        return;
    QScrollBar *bar = horizontalScrollBar();
    const double left = edge(m_current);
    const double right = edge(m_current + 1) - Gap;
    const int width = viewport()->width();
    if (left < bar->value() || right > bar->value() + width)
        bar->setValue(int(std::lround((left + right - width) / 2)));
}

int FrameTimeline::frameAt(const QPoint &pos) const
{
    const int n = count();
    const double x = pos.x() + horizontalScrollBar()->value();
    if (n == 0 || x < 0 || x >= edge(n) || !viewport()->rect().contains(pos))
        return -1;
    // The last frame whose left edge is at or before x.
    int lo = 0, hi = n - 1;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (edge(mid) <= x)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

QRect FrameTimeline::barRect(int frame) const
{
    if (frame < 0 || frame >= count())
        return {};
    const double scroll = horizontalScrollBar()->value();
    const int left = int(std::lround(edge(frame) - scroll));
    const int right = int(std::lround(edge(frame + 1) - Gap - scroll));
    return QRect(left, 0, std::max(right - left, MinBar), viewport()->height());
}

void FrameTimeline::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QRect area = viewport()->rect();
    p.fillRect(area, palette().color(QPalette::Base));
    const int n = count();
    if (n == 0)
        return;
    // Edges on whole device pixels: crisp bars and gaps at any scale factor.
    const double dpr = viewport()->devicePixelRatioF();
    const auto snap = [dpr](double x) { return std::round(x * dpr) / dpr; };
    const double scroll = horizontalScrollBar()->value();
    const QColor bar = palette().color(QPalette::Dark);
    const QColor current = palette().color(QPalette::Highlight);
    const int first = std::max(frameAt(QPoint(0, 0)), 0);
    for (int k = first; k < n; ++k) {
        const double left = snap(edge(k) - scroll);
        if (left >= area.width())
            break;
        const double right = std::max(snap(edge(k + 1) - Gap - scroll), left + 1 / dpr);
        if (k == m_current)
            p.fillRect(QRectF(left, 0, right - left, area.height()), current);
        else
            p.fillRect(QRectF(left, BarInset, right - left, area.height() - 2 * BarInset), bar);
    }
}

void FrameTimeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int frame = frameAt(event->position().toPoint());
    if (frame >= 0)
        emit frameClicked(frame);
}

void FrameTimeline::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    layOut();
    scrollToCurrent();
}

void FrameTimeline::wheelEvent(QWheelEvent *event)
{
    // The strip only scrolls sideways, whichever way the wheel turns.
    const QPoint d = event->angleDelta();
    const int notches = std::abs(d.x()) > std::abs(d.y()) ? d.x() : d.y();
    QScrollBar *bar = horizontalScrollBar();
    bar->setValue(bar->value() - notches * ScrollPerNotch / 120);
    event->accept();
}

bool FrameTimeline::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int frame = frameAt(help->pos());
        if (frame >= 0)
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("第%1帧: %2 毫秒").arg(frame + 1).arg(m_delays[std::size_t(frame)]),
                               viewport(), barRect(frame));
        else
            QToolTip::hideText();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// ---- PlaybackBar ---------------------------------------------------------------

PlaybackBar::PlaybackBar(QWidget *parent) : QWidget(parent)
{
    m_player = new FramePlayer(this);
    m_timeline = new FrameTimeline(this);
    m_play = new QToolButton(this);
    m_play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_play->setToolTip(QStringLiteral("播放 (空格)"));
    // Space is the window's key; a focused button would take it for itself.
    m_play->setFocusPolicy(Qt::NoFocus);
    m_speed = new QComboBox(this);
    for (double speed : FramePlayer::Speeds)
        m_speed->addItem(QString::number(speed) + QStringLiteral("×"));
    m_speed->setCurrentIndex(FramePlayer::NormalSpeed);
    // Only Tab focuses it: after a click the keys stay with the picture.
    m_speed->setFocusPolicy(Qt::TabFocus);
    auto *label = new QLabel(QStringLiteral("速度"), this);
    label->setBuddy(m_speed);

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_play);
    row->addWidget(m_timeline, 1);
    row->addWidget(label);
    row->addWidget(m_speed);

    connect(m_play, &QToolButton::clicked, this, &PlaybackBar::togglePlayback);
    connect(m_speed, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && std::size_t(index) < FramePlayer::Speeds.size())
            m_player->setSpeed(FramePlayer::Speeds[std::size_t(index)]);
    });
    connect(m_timeline, &FrameTimeline::frameClicked, this, &PlaybackBar::frameChosen);
    connect(m_player, &FramePlayer::advance, this, &PlaybackBar::frameChosen);
    connect(m_player, &FramePlayer::playingChanged, this, [this](bool playing) {
        m_play->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
        m_play->setToolTip(playing ? QStringLiteral("暂停 (空格)") : QStringLiteral("播放 (空格)"));
    });
}

std::vector<std::int64_t> PlaybackBar::playedDelays(const PictureFacts &facts)
{
    std::vector<std::int64_t> delays(facts.frameCount, 0);
    for (std::size_t k = 0; k < delays.size(); ++k)
        delays[k] = engine::playedDelayMs(k < facts.frames.size() ? facts.frames[k].delayMs : 0, facts.gif);
    return delays;
}

void PlaybackBar::setFacts(const PictureFacts &facts)
{
    m_player->stop();
    std::vector<std::int64_t> delays = playedDelays(facts);
    m_player->setDelays(delays);
    m_timeline->setDelays(std::move(delays));
}

void PlaybackBar::setCurrent(int frame)
{
    m_current = frame;
    m_shown = -1;
    m_timeline->setCurrent(frame);
    if (frame < 0)
        m_player->stop();
    else
        m_player->frameAsked(frame);
}

void PlaybackBar::frameShown(int frame)
{
    m_shown = frame;
    m_player->frameShown(frame);
}

void PlaybackBar::togglePlayback()
{
    if (m_player->playing()) {
        m_player->stop();
        return;
    }
    const int count = m_timeline->count();
    if (m_current < 0 || m_current >= count)
        return;
    m_player->play();
    if (m_current == count - 1 && count > 1) {
        // The first hold starts when frame 1 is on screen.
        emit frameChosen(0);
        return;
    }
    if (m_shown == m_current)
        m_player->frameShown(m_current);
}

void PlaybackBar::hideEvent(QHideEvent *event)
{
    m_player->stop();
    QWidget::hideEvent(event);
}
