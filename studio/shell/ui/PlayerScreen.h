// The player's screen: the project's frame at its aspect, centred on a dark panel.
// The preview paints its frames into it once the player comes.
#pragma once

#include <QWidget>

#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

class PlayerScreen : public QWidget {
    Q_OBJECT
public:
    explicit PlayerScreen(const ProjectModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(480, 360); }
    QSize minimumSizeHint() const override { return QSize(240, 180); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const ProjectModel& model_;
};

}  // namespace studio
}  // namespace zolvex
