// The timeline widget: the label column, the ruler and the playhead, the scene strip
// with each scene's thumbnail, and one row per timeline object, all on the editor's
// time axis. The mouse drags the playhead, an object's edges or body, places the marks
// and selects; every change goes through the TimelineEditor.
#pragma once

#include <QCursor>
#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "studio/shell/TimelineEditor.h"

namespace zolvex {
namespace studio {

// One tick of the ruler: its x on the widget, its height and its label ("" but on
// every tenth tick after the first).
struct RulerTick {
    int x;
    int height;
    std::string label;
};

// "%d:%02d:%02d.%d": hours, minutes, seconds and the frame within the second.
std::string RulerLabel(double seconds, int fps);

// The seconds between two ticks: the finest of a few steps that keeps the ticks at
// least `minPixels` apart on an axis of `pixelsPerSecond`.
double RulerStep(double pixelsPerSecond, int fps, int minPixels = 8);

// The ticks visible on a timeline `width` pixels wide showing `total` seconds at the
// zoom, scrolled by `scroll` pixels: tick k lies at k steps from the start, 8 pixels
// high with a label every tenth (none at the first), 6 every fifth, 4 otherwise.
std::vector<RulerTick> RulerTicks(int width, double total, int fps, int scroll, double zoom = 1.0);

class TimelineView : public QWidget {
    Q_OBJECT
public:
    explicit TimelineView(TimelineEditor& editor, QWidget* parent = nullptr);
    ~TimelineView() override;

    TimelineEditor& Editor() { return editor_; }

    // The rows from the top: the ruler, the scene strip, then the object rows.
    static constexpr int kRulerHeight = 24;
    static constexpr int kPlayheadTop = 20;
    static constexpr int kSceneTop = kRulerHeight + 2;
    static constexpr int kSceneHeight = 58;
    static constexpr int kRowsTop = kSceneTop + kSceneHeight + 4;
    static constexpr int kRowHeight = 22;

    // The frame rate the ruler counts frames in.
    void SetFrameRate(int fps);
    int FrameRate() const { return fps_; }

    // Where a scene and an object's bar lie on the widget now (empty when off the rows).
    QRect SceneRect(int i);
    QRect ObjectRect(int i);

    // The object rows scroll vertically when they don't fit.
    int RowOffset() const { return rowOffset_; }
    int RowRange() const;  // the largest offset
    void SetRowOffset(int offset);

    // The editor's state changed (an edit, a load, a mark mode begun): repaint, and
    // take the mouse while a mark is being placed.
    void Refresh();
    void Retranslate() { update(); }

    QSize sizeHint() const override { return QSize(1200, 200); }
    QSize minimumSizeHint() const override { return QSize(400, kRowsTop + kRowHeight * 2); }

signals:
    // The dragged playhead moved to `seconds`, and was let go.
    void playheadMoved(double seconds);
    void playheadReleased();
    // The axis changed (zoom, length or width): the scroll bars follow.
    void axisChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // What lies under a point.
    struct Hit {
        enum What { kNothing, kPlayhead, kScene, kObject } what = kNothing;
        int index = -1;
        int part = TimelineEditor::kDragBody;
    };
    Hit HitAt(const QPoint& point);
    void UpdateCursor(const QPoint& point);
    void SyncMarking();
    void MovePlayhead(int x);
    const QPixmap& ScenePicture(int i);
    int RowsHeight() const;

    void PaintRuler(class QPainter& p, double total);
    void PaintScenes(QPainter& p, const std::vector<double>& starts);
    void PaintObjects(QPainter& p);
    void PaintMarks(QPainter& p, double total);
    void PaintLabels(QPainter& p);

    TimelineEditor& editor_;
    int fps_ = 25;
    int rowOffset_ = 0;
    int shownSelection_ = -1;  // the selected object the rows were last brought to
    bool draggingPlayhead_ = false;
    bool draggingObject_ = false;
    bool grabbed_ = false;  // the mouse is ours while a mark is placed
    int lastAxis_ = -1;
    QCursor markInCursor_, markOutCursor_;

    // Decoded thumbnails, scaled to the strip: keyed by the thumbnail's bytes'
    // address, checked by their size and last bytes, so a paint never decodes twice.
    struct CachedPicture {
        size_t size = 0;
        uint64_t tail = 0;
        uint64_t usedIn = 0;
        QPixmap picture;
    };
    std::unordered_map<const void*, CachedPicture> pictures_;
    uint64_t paintCount_ = 0;
    QPixmap noPicture_;
};

}  // namespace studio
}  // namespace zolvex
