#include "studio/shell/ui/TimelineArea.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "filter/timeline/model/EffectOperation.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kHeaderWidth = 110;
constexpr int kRulerHeight = 24;
constexpr double kPixelsPerSecond = 40.0;

// Where an object lies on the timeline, and what it is called there; false for a kind
// without times.
bool ObjectSpan(int kind, void* record, double* start, double* end, QString* label)
{
    switch (kind) {
    case OBJ_TEXT: {
        const TextOp* op = static_cast<TextOp*>(record);
        *start = op->dStartTime, *end = op->dEndTime;
        *label = QString::fromUtf8(op->szText, int(strnlen(op->szText, sizeof op->szText))).simplified();
        return true;
    }
    case OBJ_PICTURE: {
        const StickerOp* op = static_cast<StickerOp*>(record);
        *start = op->dStartTime, *end = op->dEndTime;
        const QString path = QString::fromUtf8(op->szPath, int(strnlen(op->szPath, sizeof op->szPath)));
        *label = path.mid(path.lastIndexOf('/') + 1);
        return true;
    }
    case OBJ_SCREEN3D: {
        const ScreenOp* op = static_cast<ScreenOp*>(record);
        *start = op->dStartTime, *end = op->dEndTime;
        *label = QString::fromStdString(Str(3));
        return true;
    }
    case OBJ_EFFECT: {
        const tagOPR_EFFECT* op = static_cast<tagOPR_EFFECT*>(record);
        *start = op->dStartTime, *end = op->dEndTime;
        *label = QString::fromStdString(Str(27));
        return true;
    }
    case OBJ_MUSIC: {
        const AudioOp* op = static_cast<AudioOp*>(record);
        *start = op->dStartTime, *end = op->dEndTime;
        *label = QString::fromUtf8(op->szName, int(strnlen(op->szName, sizeof op->szName)));
        return true;
    }
    default:
        return false;
    }
}

}  // namespace

TimelineArea::TimelineArea(ProjectModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setAccessibleName("Timeline");
    setAutoFillBackground(true);
}

void TimelineArea::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.base());

    // The ruler: a tick each second, a label each five.
    p.fillRect(QRect(0, 0, width(), kRulerHeight), pal.alternateBase());
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(0, kRulerHeight, width(), kRulerHeight);
    p.setPen(pal.color(QPalette::Text));
    const int seconds = int((width() - kHeaderWidth) / kPixelsPerSecond) + 1;
    for (int s = 0; s <= seconds; ++s) {
        const int x = kHeaderWidth + int(s * kPixelsPerSecond);
        p.drawLine(x, kRulerHeight - (s % 5 == 0 ? 10 : 5), x, kRulerHeight);
        if (s % 5 == 0)
            p.drawText(x + 3, 14, QString::asprintf("%02d:%02d", s / 60, s % 60));
    }

    // Three tracks, each with its name at the left.
    const QString names[3] = {QString::fromStdString(Str(74)), QString::fromStdString(Str(27)),
                              QString::fromStdString(Str(42))};
    const int trackHeight = std::max(30, (height() - kRulerHeight - 8) / 3);
    for (int k = 0; k < 3; ++k) {
        const QRect track(0, kRulerHeight + 4 + k * trackHeight, width(), trackHeight - 4);
        p.fillRect(track.adjusted(kHeaderWidth, 0, 0, 0), pal.window());
        p.setPen(pal.color(QPalette::Text));
        p.drawText(QRect(8, track.top(), kHeaderWidth - 12, track.height()), Qt::AlignVCenter | Qt::AlignLeft,
                   names[k]);
    }

    // The scenes, one block each, as long as their spans.
    double start = 0;
    const QRect sceneTrack(kHeaderWidth, kRulerHeight + 4, width() - kHeaderWidth, trackHeight - 4);
    for (int i = 0; i < model_.SceneCount(); ++i) {
        const SceneSpan span = model_.Span(i);
        const double length = std::max(0.0, span.dOut - span.dIn);
        const QRectF block(sceneTrack.left() + start * kPixelsPerSecond, sceneTrack.top() + 2,
                           std::max(2.0, length * kPixelsPerSecond - 2), sceneTrack.height() - 4);
        p.fillRect(block, pal.highlight());
        p.setPen(pal.color(QPalette::HighlightedText));
        p.drawText(block.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromUtf8(model_.Item(i).szName));
        start += length;
    }

    // Titles, pictures, 3D items and effects on the middle track, sound on the last;
    // objects that overlap share their track's height.
    for (int i = 0; i < model_.ObjectCount(); ++i) {
        double from = 0, to = 0;
        QString label;
        const int kind = model_.Kind(i);
        if (!ObjectSpan(kind, model_.Object(i), &from, &to, &label) || !(to > from))
            continue;
        const int track = kind == OBJ_MUSIC ? 2 : 1;
        const QRectF lane(kHeaderWidth + from * kPixelsPerSecond, kRulerHeight + 4 + track * trackHeight + 2,
                          std::max(2.0, (to - from) * kPixelsPerSecond - 2), trackHeight - 8);
        p.fillRect(lane, kind == OBJ_MUSIC ? QColor(70, 150, 90) : QColor(200, 130, 50));
        p.setPen(Qt::white);
        p.drawText(lane.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, label);
    }
}

}  // namespace studio
}  // namespace zolvex
