#include "studio/shell/ui/ProgramPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstring>

namespace zolvex {
namespace studio {

namespace {

// Both pictures are drawn on a 400 × 300 canvas stretched to the size asked for, so
// that a thumbnail and a large preview show the same scene.
constexpr qreal kCanvasWidth = 400.0;
constexpr qreal kCanvasHeight = 300.0;

void PaintSunset(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, 190);
    sky.setColorAt(0.0, QColor(46, 32, 92));
    sky.setColorAt(0.45, QColor(196, 74, 92));
    sky.setColorAt(0.8, QColor(252, 150, 70));
    sky.setColorAt(1.0, QColor(255, 206, 120));
    p.fillRect(QRectF(0, 0, kCanvasWidth, 190), sky);

    QRadialGradient glow(QPointF(250, 178), 120);
    glow.setColorAt(0.0, QColor(255, 236, 170, 200));
    glow.setColorAt(1.0, QColor(255, 180, 90, 0));
    p.fillRect(QRectF(0, 40, kCanvasWidth, 150), glow);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 226, 140));
    p.drawEllipse(QPointF(250, 178), 34, 34);

    QLinearGradient sea(0, 190, 0, kCanvasHeight);
    sea.setColorAt(0.0, QColor(190, 96, 88));
    sea.setColorAt(1.0, QColor(36, 28, 70));
    p.fillRect(QRectF(0, 190, kCanvasWidth, 110), sea);
    // The sun's path on the water.
    p.setBrush(QColor(255, 214, 140, 170));
    for (int k = 0; k < 9; ++k) {
        const qreal y = 196 + k * 11;
        const qreal w = 56 - k * 4;
        p.drawRoundedRect(QRectF(250 - w / 2, y, w, 4), 2, 2);
    }

    // Dark headland and a palm on the left.
    QPainterPath land;
    land.moveTo(0, 300);
    land.lineTo(0, 170);
    land.cubicTo(40, 160, 90, 176, 130, 200);
    land.cubicTo(150, 214, 160, 250, 170, 300);
    land.closeSubpath();
    p.setBrush(QColor(28, 18, 40));
    p.drawPath(land);
    QPen trunk(QColor(28, 18, 40), 6, Qt::SolidLine, Qt::RoundCap);
    p.setPen(trunk);
    p.setBrush(Qt::NoBrush);
    QPainterPath stem;
    stem.moveTo(70, 176);
    stem.cubicTo(78, 140, 92, 110, 104, 92);
    p.drawPath(stem);
    p.setPen(QPen(QColor(28, 18, 40), 5, Qt::SolidLine, Qt::RoundCap));
    const QPointF crown(104, 92);
    const QPointF leaves[] = {{60, 96}, {70, 78}, {104, 66}, {138, 80}, {146, 104}, {126, 116}};
    for (const QPointF& tip : leaves) {
        QPainterPath leaf;
        leaf.moveTo(crown);
        leaf.quadTo((crown + tip) / 2 + QPointF(0, -14), tip);
        p.drawPath(leaf);
    }
    // Two birds.
    p.setPen(QPen(QColor(40, 24, 50), 2));
    for (const QPointF& at : {QPointF(300, 70), QPointF(328, 88)}) {
        QPainterPath bird;
        bird.moveTo(at + QPointF(-10, 0));
        bird.quadTo(at + QPointF(-5, -6), at);
        bird.quadTo(at + QPointF(5, -6), at + QPointF(10, 0));
        p.drawPath(bird);
    }
}

void PaintField(QPainter& p)
{
    QLinearGradient sky(0, 0, 0, 170);
    sky.setColorAt(0.0, QColor(52, 126, 214));
    sky.setColorAt(1.0, QColor(178, 220, 250));
    p.fillRect(QRectF(0, 0, kCanvasWidth, 170), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 244, 170));
    p.drawEllipse(QPointF(64, 52), 26, 26);
    p.setBrush(QColor(255, 255, 255, 235));
    for (const QPointF& at : {QPointF(220, 56), QPointF(330, 90)}) {
        p.drawEllipse(at, 34, 16);
        p.drawEllipse(at + QPointF(-26, 6), 22, 12);
        p.drawEllipse(at + QPointF(24, 4), 26, 13);
        p.drawEllipse(at + QPointF(2, -12), 20, 13);
    }

    // Rolling hills, far to near.
    QPainterPath far;
    far.moveTo(0, 170);
    far.cubicTo(80, 120, 170, 150, 240, 140);
    far.cubicTo(310, 130, 360, 120, 400, 140);
    far.lineTo(400, 300);
    far.lineTo(0, 300);
    far.closeSubpath();
    p.setBrush(QColor(112, 170, 80));
    p.drawPath(far);
    QPainterPath near;
    near.moveTo(0, 210);
    near.cubicTo(100, 170, 220, 200, 400, 180);
    near.lineTo(400, 300);
    near.lineTo(0, 300);
    near.closeSubpath();
    QLinearGradient grass(0, 180, 0, 300);
    grass.setColorAt(0.0, QColor(86, 168, 58));
    grass.setColorAt(1.0, QColor(40, 118, 36));
    p.setBrush(grass);
    p.drawPath(near);

    // A tree on the far hill.
    p.setBrush(QColor(96, 64, 40));
    p.drawRect(QRectF(300, 120, 8, 30));
    p.setBrush(QColor(46, 110, 44));
    p.drawEllipse(QPointF(304, 110), 26, 22);
    p.drawEllipse(QPointF(290, 120), 16, 14);
    p.drawEllipse(QPointF(318, 120), 16, 14);

    // Flowers in the grass.
    const QColor petals[] = {QColor(250, 80, 90), QColor(255, 220, 60), QColor(255, 255, 255), QColor(200, 90, 220)};
    for (int k = 0; k < 26; ++k) {
        const qreal x = 14 + (k * 151) % 380;
        const qreal y = 226 + (k * 37) % 66;
        p.setBrush(petals[k % 4]);
        p.drawEllipse(QPointF(x, y), 4, 4);
        p.setBrush(QColor(255, 200, 40));
        p.drawEllipse(QPointF(x, y), 1.5, 1.5);
    }
}

}  // namespace

QImage PaintProgramPicture(ProgramPicture which, QSize size)
{
    if (size.isEmpty())
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size.width() / kCanvasWidth, size.height() / kCanvasHeight);
    if (which == ProgramPicture::kSunset)
        PaintSunset(p);
    else
        PaintField(p);
    return image;
}

std::vector<unsigned char> FrameFromImage(const QImage& image)
{
    if (image.isNull())
        return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width(), h = rgb.height();
    std::vector<unsigned char> frame(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        // Memory row 0 of a frame is the picture's bottom line.
        const QRgb* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        unsigned char* out = frame.data() + size_t(h - 1 - y) * size_t(w) * 3;
        for (int x = 0; x < w; ++x, out += 3) {
            out[0] = uchar(qBlue(in[x]));
            out[1] = uchar(qGreen(in[x]));
            out[2] = uchar(qRed(in[x]));
        }
    }
    return frame;
}

QImage ImageFromFrame(const unsigned char* frame, int width, int height)
{
    if (!frame || width <= 0 || height <= 0)
        return QImage();
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = frame + size_t(height - 1 - y) * size_t(width) * 3;
        QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[2], in[1], in[0]);
    }
    return image;
}

}  // namespace studio
}  // namespace zolvex
