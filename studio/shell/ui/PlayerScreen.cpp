#include "studio/shell/ui/PlayerScreen.h"

#include <QPainter>

namespace zolvex {
namespace studio {

PlayerScreen::PlayerScreen(const ProjectModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setAccessibleName("Player");
}

void PlayerScreen::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(40, 40, 44));
    const ProjectHeader& h = model_.header;
    // The picture as it will be seen: the display aspect, or the frame's own.
    double aspect = 4.0 / 3.0;
    if (h.nAspectNumerator > 0 && h.nAspectDenominator > 0)
        aspect = double(h.nAspectNumerator) / h.nAspectDenominator;
    else if (h.nWidth > 0 && h.nHeight > 0)
        aspect = double(h.nWidth) / h.nHeight;
    QRectF screen(0, 0, width() - 8, (width() - 8) / aspect);
    if (screen.height() > height() - 8)
        screen = QRectF(0, 0, (height() - 8) * aspect, height() - 8);
    screen.moveCenter(QRectF(rect()).center());
    p.fillRect(screen, Qt::black);
    p.setPen(QColor(128, 128, 128));
    p.drawText(screen, Qt::AlignCenter, QString::asprintf("%d × %d", h.nWidth, h.nHeight));
}

}  // namespace studio
}  // namespace zolvex
