#include "studio/shell/ui/TimelineArea.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kHeaderWidth = 110;
constexpr int kRulerHeight = 24;
constexpr double kPixelsPerSecond = 40.0;

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
}

}  // namespace studio
}  // namespace zolvex
