// The timeline along the bottom of the main window: a time ruler over the scene
// track, the object track and the sound track, drawn from the project model. Editing
// on it comes with the timeline editor.
#pragma once

#include <QWidget>

#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

class TimelineArea : public QWidget {
    Q_OBJECT
public:
    explicit TimelineArea(ProjectModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override { return QSize(1200, 190); }
    QSize minimumSizeHint() const override { return QSize(400, 140); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ProjectModel& model_;
};

}  // namespace studio
}  // namespace zolvex
