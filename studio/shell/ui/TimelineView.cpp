#include "studio/shell/ui/TimelineView.h"

#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "studio/shell/ui/UiText.h"
#include "filter/timeline/model/EffectOperation.h"
#include "filter/timeline/model/TimelineRecords.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kPictureHeight = TimelineView::kSceneHeight - 6;
constexpr int kPictureWidth = (kPictureHeight * kThumbnailWidth + kThumbnailHeight / 2) / kThumbnailHeight;
constexpr int kEdgeZone = 2;  // pixels just inside an object's edge that drag that edge

const QColor kPlayheadColour(214, 40, 40);
const QColor kMarkColour(30, 110, 215);
const QColor kSceneColour(54, 60, 70);
const QColor kSelectedColour(255, 190, 40);  // the frame of the selected scene or object

QString FromBuffer(const char* text, size_t size)
{
    return QString::fromUtf8(text, int(strnlen(text, size))).simplified();
}

QColor KindColour(int32_t kind)
{
    switch (kind) {
    case OBJ_TEXT: return QColor(64, 118, 196);
    case OBJ_PICTURE: return QColor(214, 134, 44);
    case OBJ_SCREEN3D: return QColor(34, 150, 150);
    case OBJ_EFFECT: return QColor(140, 86, 186);
    case OBJ_MUSIC: return QColor(66, 150, 82);
    case OBJ_ANIMATION: return QColor(196, 84, 124);
    default: return QColor(128, 128, 128);
    }
}

// What an object's row is called: its kind, and for a title its text, for a picture
// its file, for music its name.
QString ObjectLabel(int32_t kind, const void* record)
{
    switch (kind) {
    case OBJ_TEXT: {
        const auto* op = static_cast<const TextOp*>(record);
        return S(6) + ": " + FromBuffer(op->szText, sizeof op->szText);
    }
    case OBJ_PICTURE: {
        const auto* op = static_cast<const StickerOp*>(record);
        const QString path = FromBuffer(op->szPath, sizeof op->szPath);
        const QString kindName = Text("Sticker", "贴图");
        return path.isEmpty() ? kindName : kindName + ": " + path.mid(path.lastIndexOf('/') + 1);
    }
    case OBJ_SCREEN3D:
        return S(3);
    case OBJ_EFFECT: {
        const auto* op = static_cast<const tagOPR_EFFECT*>(record);
        return IsNullGuid(op->guidEffect) ? S(5) : S(2);
    }
    case OBJ_MUSIC: {
        const auto* op = static_cast<const AudioOp*>(record);
        const QString name = FromBuffer(op->szName, sizeof op->szName);
        return name.isEmpty() ? S(42) : name;
    }
    case OBJ_ANIMATION:
        return Text("Animation", "动画");
    default:
        return QString("?");
    }
}

// A few bytes from the middle and the end of a thumbnail: with its address and size
// enough to tell a thumbnail from another that took its place.
uint64_t Signature(const MediaThumbnail& bytes)
{
    uint64_t end = 0, middle = 0;
    const size_t n = bytes.size();
    std::memcpy(&end, bytes.data() + n - std::min<size_t>(8, n), std::min<size_t>(8, n));
    std::memcpy(&middle, bytes.data() + n / 2, std::min<size_t>(8, n - n / 2));
    return end ^ (middle * 0x9E3779B97F4A7C15ull);
}

// The cursors of the mark modes: a line where the mark goes, with a bracket beside
// it that opens towards the marked region.
QCursor MarkCursor(bool markIn)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const int side = markIn ? 1 : -1;
    const int bracket = 15 + side * 4, serif = 15 + side * 10;
    QPainterPath path;
    path.moveTo(15.5, 2);
    path.lineTo(15.5, 30);
    path.moveTo(serif + 0.5, 8.5);
    path.lineTo(bracket + 0.5, 8.5);
    path.lineTo(bracket + 0.5, 23.5);
    path.lineTo(serif + 0.5, 23.5);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawPath(path);
    p.end();
    return QCursor(pixmap, 15, 15);
}

}  // namespace

// ---- the ruler --------------------------------------------------------------------

std::string RulerLabel(double seconds, int fps)
{
    if (fps <= 0)
        fps = 25;
    const int64_t frames = int64_t(std::floor(std::max(0.0, seconds) * fps + 1e-6));
    const int64_t whole = frames / fps;
    char text[64];
    std::snprintf(text, sizeof text, "%d:%02d:%02d.%d", int(whole / 3600), int(whole / 60 % 60), int(whole % 60),
                  int(frames % fps));
    return text;
}

double RulerStep(double pixelsPerSecond, int fps, int minPixels)
{
    // Every tenth tick carries a label, so these steps put the labels on whole
    // frames, seconds, minutes or hours.
    const double steps[] = {1.0 / std::max(1, fps), 0.1, 0.2, 0.5, 1, 2, 3, 6, 12, 30, 60, 180, 360, 1800, 3600};
    for (double step : steps)
        if (step * pixelsPerSecond >= minPixels)
            return step;
    return std::ceil(minPixels / pixelsPerSecond / 3600) * 3600;
}

std::vector<RulerTick> RulerTicks(int width, double total, int fps, int scroll, double zoom)
{
    std::vector<RulerTick> ticks;
    const double axis = double(width - kLabelColumn) * zoom;
    if (!(axis > 0) || !(total > 0) || !std::isfinite(total))
        return ticks;
    if (fps <= 0)
        fps = 25;
    const double perSecond = axis / total;
    const double step = RulerStep(perSecond, fps);
    const double spacing = step * perSecond;
    const int64_t last = int64_t(std::floor(total / step + 1e-9));
    const int64_t first = std::max<int64_t>(0, int64_t(std::floor(scroll / spacing)));
    for (int64_t k = first; k <= last; ++k) {
        // The same arithmetic as the editor's time axis, so ticks and bars agree.
        const double offset = k * step * axis / total;
        const int x = kLabelColumn + int(offset) - scroll;
        if (x >= width)
            break;
        if (x < kLabelColumn)
            continue;
        RulerTick tick{x, k % 10 == 0 ? 8 : k % 5 == 0 ? 6 : 4, std::string()};
        if (k % 10 == 0 && k > 0)
            tick.label = RulerLabel(offset * total / axis, fps);
        ticks.push_back(std::move(tick));
    }
    return ticks;
}

// ---- the widget -------------------------------------------------------------------

TimelineView::TimelineView(TimelineEditor& editor, QWidget* parent)
    : QWidget(parent), editor_(editor), markInCursor_(MarkCursor(true)), markOutCursor_(MarkCursor(false))
{
    setObjectName("TimelineView");
    setAccessibleName("Timeline");
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);

    noPicture_ = QPixmap(kPictureWidth, kPictureHeight);
    noPicture_.fill(QColor(88, 94, 104));
    QPainter p(&noPicture_);
    p.setPen(QColor(130, 136, 146));
    p.drawRect(noPicture_.rect().adjusted(0, 0, -1, -1));
    p.drawLine(0, 0, kPictureWidth - 1, kPictureHeight - 1);
    p.drawLine(0, kPictureHeight - 1, kPictureWidth - 1, 0);
}

TimelineView::~TimelineView()
{
    if (grabbed_)
        releaseMouse();
}

void TimelineView::SetFrameRate(int fps)
{
    fps_ = fps > 0 ? fps : 25;
    update();
}

QRect TimelineView::SceneRect(int i)
{
    ProjectModel& model = editor_.Model();
    if (i < 0 || i >= model.SceneCount())
        return QRect();
    double start = 0;
    for (int k = 0; k < i; ++k) {
        const SceneSpan span = model.Span(k);
        start += span.dOut - span.dIn;
    }
    const SceneSpan span = model.Span(i);
    const int x0 = editor_.TimeToX(start, width());
    const int x1 = editor_.TimeToX(start + (span.dOut - span.dIn), width());
    return QRect(x0, kSceneTop, std::max(1, x1 - x0), kSceneHeight);
}

QRect TimelineView::ObjectRect(int i)
{
    ProjectModel& model = editor_.Model();
    double start = 0, end = 0;
    if (i < 0 || i >= model.ObjectCount() || !ObjectTimes(model.Kind(i), model.Object(i), &start, &end))
        return QRect();
    const int x0 = editor_.TimeToX(start, width()), x1 = editor_.TimeToX(end, width());
    const int top = kRowsTop + i * kRowHeight - rowOffset_;
    return QRect(x0, top + 2, std::max(2, x1 - x0), kRowHeight - 4);
}

int TimelineView::RowsHeight() const { return std::max(0, height() - kRowsTop); }

int TimelineView::RowRange() const
{
    return std::max(0, editor_.Model().ObjectCount() * kRowHeight - RowsHeight());
}

void TimelineView::SetRowOffset(int offset)
{
    offset = std::clamp(offset, 0, RowRange());
    if (offset == rowOffset_)
        return;
    rowOffset_ = offset;
    emit axisChanged();
    update();
}

void TimelineView::Refresh()
{
    SyncMarking();
    const int most = std::max(0, editor_.AxisPixels(width()) - (width() - kLabelColumn));
    editor_.scroll = std::clamp(editor_.scroll, 0, most);
    rowOffset_ = std::clamp(rowOffset_, 0, RowRange());
    // An object that has just become selected (one a page or the recorder added, say)
    // is brought into view when its row lies below or above the rows shown.
    const int selected = editor_.SelectedObject();
    if (selected != shownSelection_) {
        shownSelection_ = selected;
        if (selected >= 0) {
            const int top = selected * kRowHeight, bottom = top + kRowHeight;
            if (top < rowOffset_)
                rowOffset_ = top;
            else if (bottom > rowOffset_ + RowsHeight())
                rowOffset_ = std::clamp(bottom - RowsHeight(), 0, RowRange());
        }
    }
    emit axisChanged();
    update();
}

void TimelineView::SyncMarking()
{
    const TimelineEditor::MarkMode mode = editor_.Marking();
    if (mode == TimelineEditor::MarkMode::kNone) {
        if (grabbed_) {
            releaseMouse();
            grabbed_ = false;
        }
        unsetCursor();
        return;
    }
    const QCursor& cursor = mode == TimelineEditor::MarkMode::kIn ? markInCursor_ : markOutCursor_;
    setCursor(cursor);
    // Moves outside the widget place the mark too (at the ends of the axis), so the
    // mouse is ours until the button is released.
    // (Screenless platforms have no grab; their events come to the widget anyway.)
    static const bool canGrab = QGuiApplication::platformName() != "offscreen" &&
                                QGuiApplication::platformName() != "minimal";
    if (!grabbed_ && canGrab && isVisible()) {
        grabMouse(cursor);
        grabbed_ = true;
    }
}

// ---- painting ---------------------------------------------------------------------

const QPixmap& TimelineView::ScenePicture(int i)
{
    const MediaThumbnail& bytes = editor_.Model().Thumbnail(i);
    if (bytes.empty())
        return noPicture_;
    const uint64_t signature = Signature(bytes);
    CachedPicture& cached = pictures_[bytes.data()];
    if (cached.picture.isNull() || cached.size != bytes.size() || cached.tail != signature) {
        // A damaged thumbnail is decoded once, like any other, and shows as the blank.
        const QImage image = QImage::fromData(bytes.data(), int(std::min<size_t>(bytes.size(), INT32_MAX)));
        cached.picture = image.isNull()
                             ? noPicture_
                             : QPixmap::fromImage(image.scaled(kPictureWidth, kPictureHeight, Qt::KeepAspectRatio,
                                                               Qt::SmoothTransformation));
        cached.size = bytes.size();
        cached.tail = signature;
    }
    cached.usedIn = paintCount_;
    return cached.picture;
}

void TimelineView::paintEvent(QPaintEvent*)
{
    ++paintCount_;
    ProjectModel& model = editor_.Model();
    const int W = width(), H = height();
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.base());

    const int n = model.SceneCount();
    std::vector<double> starts(size_t(n) + 1, 0.0);
    for (int i = 0; i < n; ++i) {
        const SceneSpan span = model.Span(i);
        starts[size_t(i) + 1] = starts[size_t(i)] + (span.dOut - span.dIn);
    }
    const double total = model.TotalLength();

    p.save();
    p.setClipRect(QRect(kLabelColumn, 0, W - kLabelColumn, H));
    PaintRuler(p, total);
    PaintScenes(p, starts);
    PaintObjects(p);
    PaintMarks(p, total);
    if (total > 0 || editor_.playhead > 0) {
        const int x = editor_.TimeToX(editor_.playhead, W);
        p.fillRect(QRect(x - 1, kPlayheadTop, 2, H - kPlayheadTop), kPlayheadColour);
        const QPointF handle[3] = {{x - 5.0, kPlayheadTop - 7.0}, {x + 5.0, kPlayheadTop - 7.0}, {double(x), kPlayheadTop + 1.0}};
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kPlayheadColour);
        p.drawPolygon(handle, 3);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    p.restore();
    PaintLabels(p);

    if (editor_.Busy()) {
        p.fillRect(rect(), QColor(24, 26, 30, 130));
        QFont font = p.font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.3);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, "Processing Data...");
    }

    // Thumbnails of scenes long gone are let go once the cache outgrows the project.
    if (pictures_.size() > size_t(2 * n + 64)) {
        for (auto it = pictures_.begin(); it != pictures_.end();)
            it = it->second.usedIn == paintCount_ ? std::next(it) : pictures_.erase(it);
    }
    const int axis = editor_.AxisPixels(W);
    if (axis != lastAxis_) {
        lastAxis_ = axis;
        emit axisChanged();
    }
}

void TimelineView::PaintRuler(QPainter& p, double total)
{
    const int W = width();
    const QPalette& pal = palette();
    QLinearGradient band(0, 0, 0, kRulerHeight);
    band.setColorAt(0, pal.color(QPalette::Window).lighter(108));
    band.setColorAt(1, pal.color(QPalette::Window).darker(104));
    p.fillRect(QRect(kLabelColumn, 0, W - kLabelColumn, kRulerHeight), band);
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(kLabelColumn, kRulerHeight - 1, W, kRulerHeight - 1);

    const int axis = editor_.AxisPixels(W);
    const double zoom = W > kLabelColumn ? double(axis) / (W - kLabelColumn) : 1.0;
    p.save();
    QFont font = p.font();
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * 0.8));
    p.setFont(font);
    const QColor tickColour = pal.color(QPalette::WindowText);
    for (const RulerTick& tick : RulerTicks(W, total, fps_, editor_.scroll, zoom)) {
        p.setPen(tickColour);
        p.drawLine(tick.x, kRulerHeight - 1 - tick.height, tick.x, kRulerHeight - 2);
        if (!tick.label.empty())
            p.drawText(QPoint(tick.x + 3, kRulerHeight - 10), QString::fromStdString(tick.label));
    }
    p.restore();
}

void TimelineView::PaintScenes(QPainter& p, const std::vector<double>& starts)
{
    ProjectModel& model = editor_.Model();
    const int W = width();
    const QFontMetrics metrics(p.font());
    p.fillRect(QRect(kLabelColumn, kSceneTop, W - kLabelColumn, kSceneHeight), palette().alternateBase());
    for (int i = 0; i + 1 < int(starts.size()); ++i) {
        const int x0 = editor_.TimeToX(starts[size_t(i)], W);
        if (x0 >= W)
            break;
        const int x1 = editor_.TimeToX(starts[size_t(i) + 1], W);
        if (x1 < kLabelColumn)
            continue;
        const QRect r(x0, kSceneTop, std::max(1, x1 - x0), kSceneHeight);
        const bool selected = model.SceneMark(i) == 1;
        p.fillRect(r, selected ? kSceneColour.lighter(135) : kSceneColour);
        if (r.width() > 4) {
            // A scene scrolled partly out of view keeps its picture and texts in view.
            const QPixmap& picture = ScenePicture(i);
            const int left = std::max(x0, std::min(kLabelColumn, x1 - picture.width() - 4));
            const int w = std::min(picture.width(), x1 - left - 4);
            if (w > 0)
                p.drawPixmap(QPoint(left + 2, kSceneTop + 3), picture, QRect(0, 0, w, picture.height()));
            const int textLeft = left + 4 + picture.width() + 4;
            const int room = std::min(x1, W) - 6 - textLeft;
            if (room > 24) {
                const SceneSpan span = model.Span(i);
                p.setPen(QColor(236, 238, 242));
                const QString name = QString::fromUtf8(model.Item(i).szName,
                                                       int(strnlen(model.Item(i).szName, sizeof model.Item(i).szName)));
                p.drawText(QRect(textLeft, kSceneTop + 4, room, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                           metrics.elidedText(name, Qt::ElideRight, room));
                p.setPen(QColor(190, 196, 206));
                p.drawText(QRect(textLeft, kSceneTop + 6 + metrics.height(), room, metrics.height()),
                           Qt::AlignLeft | Qt::AlignVCenter,
                           metrics.elidedText(QString::fromStdString(RulerLabel(span.dOut - span.dIn, fps_)),
                                              Qt::ElideRight, room));
            }
        }
        // A dark seam between scenes; the selected one framed in the highlight.
        p.fillRect(QRect(r.right(), kSceneTop, 1, kSceneHeight), QColor(24, 26, 30));
        if (selected) {
            p.setPen(QPen(kSelectedColour, 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(QRectF(r).adjusted(1, 1, -1, -1));
        }
    }
}

void TimelineView::PaintObjects(QPainter& p)
{
    ProjectModel& model = editor_.Model();
    const int W = width(), H = height();
    const int m = model.ObjectCount();
    const QPalette& pal = palette();
    p.save();
    p.setClipRect(QRect(kLabelColumn, kRowsTop, W - kLabelColumn, H - kRowsTop));
    const int first = rowOffset_ / kRowHeight;
    const int last = std::min(m - 1, (rowOffset_ + RowsHeight()) / kRowHeight);
    const QFontMetrics metrics(p.font());
    for (int i = first; i <= last; ++i) {
        const int top = kRowsTop + i * kRowHeight - rowOffset_;
        if (i % 2)
            p.fillRect(QRect(kLabelColumn, top, W - kLabelColumn, kRowHeight), pal.alternateBase());
        double start = 0, end = 0;
        const int32_t kind = model.Kind(i);
        void* record = model.Object(i);
        if (!ObjectTimes(kind, record, &start, &end))
            continue;
        const int x0 = editor_.TimeToX(start, W), x1 = editor_.TimeToX(end, W);
        if (x1 < kLabelColumn || x0 >= W)
            continue;
        const QRect bar(x0, top + 2, std::max(2, x1 - x0), kRowHeight - 4);
        const bool selected = model.ObjectMark(i) == 1;
        const QColor colour = KindColour(kind);
        p.fillRect(bar, selected ? colour.lighter(118) : colour);
        p.setBrush(Qt::NoBrush);
        if (selected) {
            p.setPen(QPen(kSelectedColour, 2));
            p.drawRect(QRectF(bar).adjusted(1, 1, -1, -1));
        } else {
            p.setPen(colour.darker(130));
            p.drawRect(bar.adjusted(0, 0, -1, -1));
        }
        // Clipped to the visible part of the bar, so a long bar keeps its label in view.
        const int left = std::max(x0, kLabelColumn) + 5, right = std::min(x1, W) - 5;
        if (right - left > 30) {
            p.setPen(Qt::white);
            p.drawText(QRect(left, bar.top(), right - left, bar.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       metrics.elidedText(ObjectLabel(kind, record), Qt::ElideRight, right - left));
        }
    }
    p.restore();
}

void TimelineView::PaintMarks(QPainter& p, double total)
{
    const ProjectModel& model = editor_.Model();
    const int W = width(), H = height();
    if (!(total > 0) || (!model.bMarkInSet && !model.bMarkOutSet))
        return;
    const int xIn = editor_.TimeToX(model.dMarkIn, W), xOut = editor_.TimeToX(model.dMarkOut, W);
    if (model.bMarkInSet && model.bMarkOutSet && model.dMarkOut > model.dMarkIn)
        p.fillRect(QRect(xIn, kRulerHeight, xOut - xIn, H - kRulerHeight), QColor(30, 110, 215, 40));
    auto mark = [&](int x, int side) {
        p.fillRect(QRect(x, kRulerHeight - 8, 1, H - kRulerHeight + 8), kMarkColour);
        // The bracket on the ruler opens towards the region.
        p.fillRect(QRect(x, kRulerHeight - 8, 6 * side, 2), kMarkColour);
        p.fillRect(QRect(x - (side < 0 ? 1 : 0), kRulerHeight - 8, 2, 8), kMarkColour);
        p.fillRect(QRect(x, kRulerHeight - 2, 6 * side, 2), kMarkColour);
    };
    if (model.bMarkInSet)
        mark(xIn, 1);
    if (model.bMarkOutSet)
        mark(xOut, -1);
}

void TimelineView::PaintLabels(QPainter& p)
{
    ProjectModel& model = editor_.Model();
    const int H = height();
    const QPalette& pal = palette();
    p.fillRect(QRect(0, 0, kLabelColumn, H), pal.window());
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(kLabelColumn - 1, 0, kLabelColumn - 1, H);
    p.drawLine(0, kRulerHeight - 1, kLabelColumn - 1, kRulerHeight - 1);

    const QFontMetrics metrics(p.font());
    const int textWidth = kLabelColumn - 14;
    // The corner shows where the playhead stands.
    p.setPen(kPlayheadColour.darker(120));
    p.drawText(QRect(6, 0, textWidth + 4, kRulerHeight - 1), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromStdString(RulerLabel(editor_.playhead, fps_)));

    p.setPen(pal.color(QPalette::WindowText));
    QFont bold = p.font();
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRect(8, kSceneTop, textWidth, kSceneHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(bold).elidedText(S(74), Qt::ElideRight, textWidth));

    p.save();
    p.setClipRect(QRect(0, kRowsTop, kLabelColumn - 1, H - kRowsTop));
    QFont plain = bold;
    plain.setBold(false);
    p.setFont(plain);
    const int m = model.ObjectCount();
    const int first = rowOffset_ / kRowHeight;
    const int last = std::min(m - 1, (rowOffset_ + RowsHeight()) / kRowHeight);
    for (int i = first; i <= last; ++i) {
        const int top = kRowsTop + i * kRowHeight - rowOffset_;
        const int32_t kind = model.Kind(i);
        p.fillRect(QRect(4, top + 5, 4, kRowHeight - 10), KindColour(kind));
        p.setPen(model.ObjectMark(i) == 1 ? pal.color(QPalette::Highlight) : pal.color(QPalette::WindowText));
        p.drawText(QRect(12, top, textWidth - 2, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(ObjectLabel(kind, model.Object(i)), Qt::ElideRight, textWidth - 2));
    }
    p.restore();
}

// ---- the mouse --------------------------------------------------------------------

TimelineView::Hit TimelineView::HitAt(const QPoint& point)
{
    Hit hit;
    const int x = point.x(), y = point.y(), W = width();
    if (x < kLabelColumn)
        return hit;
    ProjectModel& model = editor_.Model();
    const int playheadX = editor_.TimeToX(editor_.playhead, W);
    // The playhead line is two pixels wide around its x, and the ruler moves it too.
    if (y < kRulerHeight || (y >= kPlayheadTop && (x == playheadX - 1 || x == playheadX))) {
        hit.what = Hit::kPlayhead;
        return hit;
    }
    if (y >= kSceneTop && y < kSceneTop + kSceneHeight) {
        double start = 0;
        for (int i = 0; i < model.SceneCount(); ++i) {
            const SceneSpan span = model.Span(i);
            const double end = start + (span.dOut - span.dIn);
            const int x0 = editor_.TimeToX(start, W), x1 = editor_.TimeToX(end, W);
            if (x >= x0 && x < std::max(x1, x0 + 1)) {
                hit.what = Hit::kScene;
                hit.index = i;
                return hit;
            }
            start = end;
        }
        return hit;
    }
    if (y >= kRowsTop) {
        const int row = (y - kRowsTop + rowOffset_) / kRowHeight;
        double start = 0, end = 0;
        if (row >= model.ObjectCount() || !ObjectTimes(model.Kind(row), model.Object(row), &start, &end))
            return hit;
        const int x0 = editor_.TimeToX(start, W), x1 = editor_.TimeToX(end, W);
        if (x >= x0 && x < x0 + kEdgeZone)
            hit.part = TimelineEditor::kDragStart;
        else if (x >= x1 - kEdgeZone && x < x1)
            hit.part = TimelineEditor::kDragEnd;
        else if (x >= x0 && x < x1)
            hit.part = TimelineEditor::kDragBody;
        else
            return hit;
        hit.what = Hit::kObject;
        hit.index = row;
    }
    return hit;
}

void TimelineView::UpdateCursor(const QPoint& point)
{
    if (grabbed_)
        return;
    const Hit hit = HitAt(point);
    if (hit.what == Hit::kObject && hit.part != TimelineEditor::kDragBody)
        setCursor(Qt::SizeHorCursor);
    else if (hit.what == Hit::kPlayhead && point.y() >= kRulerHeight)
        setCursor(Qt::SplitHCursor);
    else
        unsetCursor();
}

void TimelineView::MovePlayhead(int x)
{
    const double total = editor_.Model().TotalLength();
    const double t = std::clamp(editor_.XToTime(x, width()), 0.0, std::max(0.0, total));
    if (t == editor_.playhead)
        return;
    editor_.playhead = t;
    update();
    emit playheadMoved(t);
}

void TimelineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint point = event->position().toPoint();
    if (editor_.Marking() != TimelineEditor::MarkMode::kNone) {
        editor_.MarkMouseMove(point.x(), width());
        update();
        return;
    }
    const Hit hit = HitAt(point);
    switch (hit.what) {
    case Hit::kPlayhead:
        draggingPlayhead_ = true;
        editor_.playheadDrag = true;
        MovePlayhead(point.x());
        break;
    case Hit::kScene:
        editor_.SelectScene(hit.index);
        update();
        break;
    case Hit::kObject:
        editor_.SelectObject(hit.index);
        draggingObject_ = editor_.BeginDrag(hit.index, hit.part, point.x());
        update();
        break;
    case Hit::kNothing:
        break;
    }
}

void TimelineView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (editor_.Marking() != TimelineEditor::MarkMode::kNone) {
        editor_.MarkMouseMove(point.x(), width());
        update();
    } else if (draggingPlayhead_) {
        MovePlayhead(point.x());
    } else if (draggingObject_) {
        editor_.DragTo(point.x(), width());
        update();
    } else {
        UpdateCursor(point);
    }
}

void TimelineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (editor_.Marking() != TimelineEditor::MarkMode::kNone) {
        editor_.EndMark();
        SyncMarking();
        update();
        return;
    }
    if (draggingPlayhead_) {
        MovePlayhead(event->position().toPoint().x());
        draggingPlayhead_ = false;
        editor_.playheadDrag = false;
        update();
        emit playheadReleased();
    }
    if (draggingObject_) {
        draggingObject_ = false;
        editor_.EndDrag();
        update();
    }
    UpdateCursor(event->position().toPoint());
}

void TimelineView::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    const int W = width();
    const int most = std::max(0, editor_.AxisPixels(W) - (W - kLabelColumn));
    if (event->modifiers() & Qt::ControlModifier) {
        // Zoom around the pointer: the time under it stays under it.
        const int x = std::max(kLabelColumn, int(event->position().x()));
        const double t = editor_.XToTime(x, W);
        editor_.zoom = std::clamp(editor_.zoom * std::pow(1.25, delta.y() / 120.0), 1.0, 4096.0);
        const int wanted = editor_.TimeToX(t, W);
        editor_.scroll = std::clamp(editor_.scroll + wanted - x, 0,
                                    std::max(0, editor_.AxisPixels(W) - (W - kLabelColumn)));
        emit axisChanged();
        update();
    } else if ((event->modifiers() & Qt::ShiftModifier) || delta.x() != 0 || RowRange() == 0) {
        const int step = delta.x() != 0 ? delta.x() : delta.y();
        editor_.scroll = std::clamp(editor_.scroll - step / 2, 0, most);
        emit axisChanged();
        update();
    } else {
        SetRowOffset(rowOffset_ - delta.y() * kRowHeight / 40);
    }
    event->accept();
}

void TimelineView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Refresh();
}

void TimelineView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (!grabbed_ && !draggingObject_ && !draggingPlayhead_)
        unsetCursor();
}

}  // namespace studio
}  // namespace zolvex
