#include "studio/shell/ui/PlayerScreen.h"

#include <QPainter>

namespace zolvex {
namespace studio {

PlayerScreen::PlayerScreen(const ProjectModel& model, QWidget* parent) : QWidget(parent), model_(model)
{
    setAccessibleName("Player");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlayerScreen::SetPicture(const QImage& picture)
{
    picture_ = picture;
    soundOnly_.clear();
    ++shown_;
    update();
}

void PlayerScreen::SetSoundOnly(const QString& name)
{
    picture_ = QImage();
    soundOnly_ = name;
    update();
}

void PlayerScreen::Clear()
{
    picture_ = QImage();
    soundOnly_.clear();
    update();
}

void PlayerScreen::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!picture_.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(rect(), picture_);
        return;
    }
    p.fillRect(rect(), Qt::black);
    p.setPen(QColor(140, 140, 140));
    if (!soundOnly_.isEmpty()) {
        QFont f = font();
        f.setPointSizeF(f.pointSizeF() * 3);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 0, 0, -rect().height() / 4), Qt::AlignCenter, QString::fromUtf8("♫"));
        p.setFont(font());
        p.drawText(rect().adjusted(8, rect().height() / 3, -8, 0), Qt::AlignCenter | Qt::TextWordWrap, soundOnly_);
        return;
    }
    const ProjectHeader& h = model_.header;
    p.drawText(rect(), Qt::AlignCenter, QString::asprintf("%d × %d", h.nWidth, h.nHeight));
}

}  // namespace studio
}  // namespace zolvex
