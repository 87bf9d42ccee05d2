// The player's screen: the preview's picture, filling the area the player panel gives
// it at the picture's aspect. Before the first picture it shows the frame size the
// project renders at; a file with sound only shows its name.
#pragma once

#include <QImage>
#include <QWidget>

#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

class PlayerScreen : public QWidget {
    Q_OBJECT
public:
    explicit PlayerScreen(const ProjectModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(480, 360); }
    QSize minimumSizeHint() const override { return QSize(160, 120); }

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }
    // Pictures shown since the screen was made.
    int64_t Shown() const { return shown_; }
    // A file with sound and no pictures: its name stands on the screen.
    void SetSoundOnly(const QString& name);
    void Clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ProjectModel& model_;
    QImage picture_;
    QString soundOnly_;
    int64_t shown_ = 0;
};

}  // namespace studio
}  // namespace zolvex
