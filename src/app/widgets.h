#pragma once
// Small widgets the main window is built from: a picture control, the status bar
// with fixed panels (panel 0 owner-drawn), and the page control whose tab
// captions are painted by the window's handler.

#include <QImage>
#include <QString>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>

#include <functional>
#include <vector>

// TImage: a picture control holding one QImage, drawn at its top-left corner at
// its own size in device-independent pixels. Hidden instances serve as drawing
// surfaces and picture stores.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);

    const QImage &picture() const { return m_picture; }
    void setPicture(const QImage &picture);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

// TStatusBar: a status bar of fixed-width panels; the last panel runs to the
// right end. Panels that are owner-drawn show no text; instead the bar asks
// `drawPanel` each time it paints them, with the panel's rectangle.
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        int width = 50;
        bool ownerDraw = false;
        QString text;
    };

    explicit TStatusBar(QWidget *parent = nullptr);

    void addPanel(int width, bool ownerDraw = false);
    int panelCount() const { return int(m_panels.size()); }
    const Panel &panel(int index) const { return m_panels[size_t(index)]; }
    QString panelText(int index) const;
    void setPanelText(int index, const QString &text);
    // Panel rectangle in the bar's coordinates, without its bevel.
    QRect panelRect(int index) const;

    std::function<void(int panel, const QRect &rect)> drawPanel;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<Panel> m_panels;
};

// The tab bar of TPageControl: paints the tabs without captions and leaves the
// captions to `drawTab`, called for each tab, the selected one last.
class TPageTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TPageTabBar(QWidget *parent = nullptr);

    std::function<void(QPainter &painter, int index)> drawTab;
    int fixedTabWidth = 77;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;
    void paintEvent(QPaintEvent *event) override;
};

// TPageControl: a tab widget with owner-drawn tab captions.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget *parent = nullptr);
    TPageTabBar *pageTabBar() const { return m_bar; }

private:
    TPageTabBar *m_bar;
};
