// The 3D Screen page: the backgrounds of "3D_Bg" as thumbnails. Choosing one hands a
// copy of its template to the timeline as a 3D screen item; "Background Image..."
// adds a picture file to the library. While a 3D screen item is the selected object,
// its surface (the shape and its three angles) is edited in place.
#pragma once

#include <QWidget>

#include <string>

#include "filter/timeline/model/TimelineRecords.h"
#include "studio/project/ScreenLibrary.h"

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QStackedLayout;

namespace zolvex {
namespace studio {

class TimelineEditor;

class ScreenPage : public QWidget {
    Q_OBJECT
public:
    ScreenPage(ScreenLibrary& library, std::string folder, QWidget* parent = nullptr);

    // Shows the library's items anew (after a load or an import).
    void Refresh();
    // Adds the picture file as a new background, its template copied from the chosen
    // item (a still item of the first shape when none is chosen); false for a file
    // that is no picture or a library that cannot be saved.
    bool AddBackground(const QString& file);
    QListWidget* Items() const { return items_; }
    void Retranslate();

    // The timeline whose selected 3D screen item the surface settings edit (none: the
    // settings stay hidden).
    void SetEditor(TimelineEditor* editor);
    // The selected item when the property target is one, else null.
    ScreenOp* Target() const;
    QGroupBox* SurfaceGroup() const { return surface_; }
    QComboBox* ShapeBox() const { return shape_; }
    // The item's three parameters (degrees): tilt, turn and bend.
    QDoubleSpinBox* ParamBox(int i) const { return params_[i]; }
    QLabel* EmptyHint() const { return empty_; }

public slots:
    void SelectionChanged();

signals:
    // A background was chosen: its template goes to the timeline (message 1142, kind 2).
    void addScreenItem(ScreenOp item);

private:
    template <typename Change>
    void Edit(Change change);
    void EndGesture();
    void FillShapes();

    ScreenLibrary& library_;
    std::string folder_;
    TimelineEditor* editor_ = nullptr;
    bool filling_ = false;
    bool editing_ = false;
    QListWidget* items_;
    QLabel* empty_;
    QStackedLayout* shelf_;
    QPushButton* add_;
    QPushButton* background_;
    QGroupBox* surface_;
    QLabel* surfaceTitle_;
    QLabel* shapeLabel_;
    QComboBox* shape_;
    QLabel* paramLabels_[3];
    QSlider* sliders_[3];
    QDoubleSpinBox* params_[3];
};

}  // namespace studio
}  // namespace zolvex

// The item travels in a queued signal to the timeline.
Q_DECLARE_METATYPE(ScreenOp)
