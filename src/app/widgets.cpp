#include "app/widgets.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyleOptionTab>

#include <algorithm>

TImage::TImage(QWidget *parent) : QWidget(parent) {}

void TImage::setPicture(const QImage &picture)
{
    m_picture = picture;
    update();
}

void TImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull())
        return;
    QPainter p(this);
    p.drawImage(QRect(QPoint(0, 0), m_picture.size()), m_picture);
}

TStatusBar::TStatusBar(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    setFixedHeight(19);
}

void TStatusBar::addPanel(int width, bool ownerDraw)
{
    Panel p;
    p.width = width;
    p.ownerDraw = ownerDraw;
    m_panels.push_back(p);
    update();
}

QString TStatusBar::panelText(int index) const
{
    if (index < 0 || index >= panelCount())
        return {};
    return m_panels[size_t(index)].text;
}

void TStatusBar::setPanelText(int index, const QString &text)
{
    if (index < 0 || index >= panelCount() || m_panels[size_t(index)].text == text)
        return;
    m_panels[size_t(index)].text = text;
    update(panelRect(index));
}

QRect TStatusBar::panelRect(int index) const
{
    int x = 0;
    for (int i = 0; i < index; ++i)
        x += m_panels[size_t(i)].width;
    // The last panel always runs to the right end of the bar.
    const int w = index == panelCount() - 1 ? std::max(0, width() - x)
                                            : m_panels[size_t(index)].width;
    return QRect(x, 2, w, height() - 2);
}

QSize TStatusBar::sizeHint() const
{
    int w = 0;
    for (const Panel &p : m_panels)
        w += p.width;
    return QSize(w, 19);
}

void TStatusBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor light = palette().color(QPalette::Light);
    for (int i = 0; i < panelCount(); ++i) {
        const QRect r = panelRect(i);
        const Panel &panel = m_panels[size_t(i)];
        if (panel.ownerDraw) {
            if (drawPanel)
                drawPanel(i, r);
            continue;
        }
        // A sunken cell, two pixels apart from its neighbour; frames are drawn
        // as one-pixel strips so they stay inside the cell.
        const QRect cell = r.adjusted(0, 0, -2, 0);
        if (cell.width() <= 0)
            continue;
        p.fillRect(cell.x(), cell.y(), cell.width(), 1, dark);
        p.fillRect(cell.x(), cell.y(), 1, cell.height(), dark);
        p.fillRect(cell.x(), cell.bottom(), cell.width(), 1, light);
        p.fillRect(cell.right(), cell.y(), 1, cell.height(), light);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(cell.adjusted(3, 1, -2, -1), Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(panel.text, Qt::ElideRight, cell.width() - 5));
    }
}

TPageTabBar::TPageTabBar(QWidget *parent) : QTabBar(parent)
{
    setExpanding(false);
    setDrawBase(true);
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(false);
}

QSize TPageTabBar::tabSizeHint(int index) const
{
    return QSize(fixedTabWidth, QTabBar::tabSizeHint(index).height());
}

QSize TPageTabBar::minimumTabSizeHint(int index) const
{
    return tabSizeHint(index);
}

void TPageTabBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // The selected tab is painted last, as the platform's tab control does; the
    // caption handler relies on that to leave the selected caption coloured.
    std::vector<int> order;
    for (int i = 0; i < count(); ++i)
        if (i != currentIndex())
            order.push_back(i);
    if (currentIndex() >= 0)
        order.push_back(currentIndex());
    for (int i : order) {
        QStyleOptionTab opt;
        initStyleOption(&opt, i);
        opt.text.clear();
        style()->drawControl(QStyle::CE_TabBarTab, &opt, &p, this);
        if (drawTab) {
            p.save();
            drawTab(p, i);
            p.restore();
        }
    }
}

TPageControl::TPageControl(QWidget *parent) : QTabWidget(parent), m_bar(new TPageTabBar(this))
{
    setTabBar(m_bar);
}
