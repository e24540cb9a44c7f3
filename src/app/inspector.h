#pragma once
// FrameInspector: the frame inspector, a window of its own beside the main
// window (one per program). It shows one frame of the inspected picture
// composited at full size (1:1, fitted to the window or zoomed in whole-pixel
// steps up to 16×, transparency on a checkerboard), the pixel under the pointer,
// how the frame is stored (the engine's frame records, the colour table's
// swatches, whether it equals the previous frame), and steps through the
// frames by keyboard. Overlays, toggled by checkable actions and kept while the
// program runs, outline the frame's stored rectangle, show its stored patch
// alone, or tint where it differs from the previous frame. Copy and save hand
// the composited frame on.
//
// Frames come from the inspection's store (FrameInspection::requestFrame), the
// stored patch and the comparison with the previous frame from its own
// requests (requestPatch, requestDifference); all arrive later; the window shows the last picture until the new one is there.
// It follows the frame list through showFrame() and showNothing(), and says
// where its own stepping went (frameStepped). GUI thread only.

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "controls/busycursor.h"

class QAction;
class QLabel;
class FrameInspection;
class PlaybackBar;
struct FrameDifference;
namespace engine {
struct FramePatch;
}

// A colour table as a grid of small squares, entry 0 first, row by row; the
// transparent entry on a checkerboard.
class SwatchGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int Columns = 16;
    static constexpr int Square = 12; // logical pixels, gap included

    explicit SwatchGrid(QWidget *parent = nullptr);
    // ARGB entries; `transparentIndex` -1 for none.
    void setColors(std::vector<std::uint32_t> colors, int transparentIndex);
    int count() const { return int(m_colors.size()); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<std::uint32_t> m_colors;
    int m_transparent = -1;
};

// The picture area: zoom, panning by dragging, the pixel under the pointer.
class FrameCanvas : public QWidget {
    Q_OBJECT
public:
    static constexpr double MaxZoom = 16;

    explicit FrameCanvas(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    const QImage &picture() const { return m_picture; }
    // Shown in place of a picture ("没有帧").
    void setMessage(const QString &message);

    bool fitting() const { return m_fit; }
    // The scale in use: the fitted one while fitting.
    double zoom() const;
    void setZoom(double zoom);
    void setFit();
    // One step of the zoom ladder up (+1) or down (-1) from the scale in use;
    // the picture's point under `anchor` (widget coordinates) stays put.
    void zoomStep(int direction);
    void zoomStep(int direction, const QPointF &anchor);

    // Overlays, in picture pixels: the outline of `rect` (null: none); `patch`
    // shown at `at` instead of the picture, the checkerboard elsewhere, while
    // `alone`; `tint` (null: none) laid over it at `at`.
    void setOutline(const QRect &rect);
    void setPatchAlone(bool alone, const QImage &patch, const QPoint &at);
    void setTint(const QImage &tint, const QPoint &at);

    // The picture's pixel at `pos` (widget coordinates); (-1, -1) outside.
    QPoint pixelAt(const QPointF &pos) const;
    // Where the picture is drawn, in widget coordinates.
    QRectF pictureRect() const;

signals:
    // The pixel under the pointer changed; (-1, -1) when it left the picture.
    void pointerPixel(const QPoint &pixel);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    // The part of the widget that picture pixels `r` cover.
    QRectF mapped(const QRect &r) const;

    QImage m_picture;
    QString m_message;
    QRect m_outline;
    bool m_patchAlone = false;
    QImage m_patch;
    QPoint m_patchAt;
    QImage m_tint;
    QPoint m_tintAt;
    bool m_fit = true;
    double m_zoom = 1;
    QPointF m_pan;       // offset from the centred position
    QPointF m_dragFrom;  // the pointer's last place while dragging
    bool m_dragging = false;
};

class FrameInspector : public QWidget {
    Q_OBJECT
public:
    // Frames one Page Up / Page Down steps over.
    static constexpr int PageStep = 10;

    // `inspection` is not owned and outlives the window.
    FrameInspector(FrameInspection *inspection, QWidget *parent);

    // Shows `frame` (from 0) of the inspected picture; the window follows the list.
    void showFrame(int frame);
    // Shows "没有帧" until a frame is shown again.
    void showNothing();
    // The frame shown (or waited for), -1 for none.
    int frame() const { return m_frame; }
    // The picture of frame() has arrived.
    bool hasPicture() const { return m_shownFrame == m_frame && m_frame >= 0; }

    // Copy the composited `frame` to the clipboard, or save it as PNG through
    // the save-file seam; done when the frame arrives.
    void copyFrame(int frame);
    void saveFrame(int frame);
    // The name the export gives `frame` as a PNG, in the picture's folder.
    QString defaultSaveName(int frame) const;

    FrameCanvas *canvas() const { return m_canvas; }
    // The timeline strip, play/pause and speed under the picture.
    PlaybackBar *playback() const { return m_playback; }
    QString statusText() const;
    QString factsText() const;
    SwatchGrid *swatches() const { return m_swatches; }

    // The overlays' toggles (checkable; R, P and D).
    enum class Overlay { FrameRect, PatchAlone, Difference };
    QAction *overlayAction(Overlay overlay) const;
    // The stored patch of the frame shown has arrived (tests).
    bool hasPatch() const;

signals:
    // Stepping in this window went to `frame`.
    void frameStepped(int frame);
    // The picture of `frame` is on screen (tests).
    void frameShown(int frame);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class Action { None, Copy, Save };

    void step(int delta);
    void goTo(int frame);
    void frameArrived(int frame, const QImage &picture);
    void perform(Action action, const QImage &picture, int frame);
    void updateTexts();
    int frameCount() const;
    // The timeline, playback (Space) and "转到帧" (Ctrl+G).
    void setUpPlayback();
    void askFrameNumber();
    // The stored patch and the comparison with the previous frame.
    void requestExtras();
    void pictureArrived(int frame, const QImage &picture);
    void patchArrived(int frame, std::shared_ptr<const engine::FramePatch> patch);
    void differenceArrived(int frame, std::shared_ptr<const FrameDifference> difference);
    void dropExtras();
    void applyOverlays();
    QString equalsPreviousText() const;

    FrameInspection *m_inspection;
    FrameCanvas *m_canvas;
    QLabel *m_status;
    QLabel *m_facts;      // the facts down to the colour table
    QLabel *m_factsAfter; // the rest, below the swatches
    SwatchGrid *m_swatches;
    QAction *m_overlayActions[3] = {};
    std::shared_ptr<const engine::FramePatch> m_patch;
    std::shared_ptr<const FrameDifference> m_difference;
    int m_differenceFrame = -1; // the frame m_difference compares; -1 none
    int m_differenceAsked = -1; // the frame a comparison was asked for
    QImage m_tint;              // m_difference's changed area in the tint colour, once shown
    std::map<int, QImage> m_recent; // the last pictures that arrived, by frame
    int m_frame = -1;
    int m_shownFrame = -1;
    QPoint m_pointer{-1, -1};
    Action m_pending = Action::None;
    int m_pendingFrame = -1;
    std::unique_ptr<BusyCursor> m_pendingBusy;
    PlaybackBar *m_playback = nullptr;
};
