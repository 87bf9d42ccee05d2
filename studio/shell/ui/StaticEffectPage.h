// The Static Effect page: the fifteen static effects (and, to look at, the engine's
// further picture effects) as thumbnails of the program's sunset. A chosen static
// effect goes to the timeline over the marked stretch. When the selected timeline
// object is a static effect the page edits it in place: its level, and the outline
// it is confined to, drawn by clicking on a small picture of the project frame.
#pragma once

#include <QImage>
#include <QWidget>

#include <vector>

#include "filter/timeline/model/EffectOperation.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;

namespace zolvex {
namespace studio {

class TimelineEditor;
class StaticEffectPage;

// The project frame in small, the effect drawn inside its outline; a click adds an
// outline point.
class EffectRegionView : public QWidget {
    Q_OBJECT
public:
    explicit EffectRegionView(StaticEffectPage& page, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The rectangle the frame is shown in (the frame's aspect kept), and the mapping
    // between it and project frame pixels.
    QRect FrameRect() const;
    QPoint ToFrame(QPoint widgetPoint) const;
    QPointF ToWidget(QPoint framePoint) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage Preview(const tagOPR_EFFECT* effect, QSize size);

    StaticEffectPage& page_;
    // The last preview and what it showed.
    QImage preview_;
    std::vector<int> previewKey_;
};

class StaticEffectPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kThumbWidth = 100;
    static constexpr int kThumbHeight = 75;
    static constexpr int kThumbLevel = 60;
    static constexpr int kNewLevel = 50;
    // Grid entries after the static effects: the engine's further effects, shown but
    // not added (the renderer draws none of them).
    static constexpr int kFurtherEffectCount = 8;
    // Outline points are kept in chunks of this many.
    static constexpr uint16_t kPointBlock = 5;

    explicit StaticEffectPage(TimelineEditor& editor, QWidget* parent = nullptr);

    // Grid entry `entry` (static effect ids first) applied to the sunset.
    static QImage Thumbnail(int entry);
    // The effect applied to `picture` (3 bytes a pixel) inside the record's outline.
    static QImage Apply(const QImage& picture, int effectId, int level, const tagOPR_EFFECT* outline,
                        QSize frameSize);
    static int StaticCount();

    QListWidget* Items() const { return items_; }
    QPushButton* AddButton() const { return add_; }
    QSlider* LevelSlider() const { return level_; }
    QPushButton* ClearButton() const { return clear_; }
    EffectRegionView* Region() const { return region_; }
    QGroupBox* EditBox() const { return editBox_; }
    TimelineEditor& Editor() { return editor_; }

    // The selected timeline object when it is a static effect, else null.
    tagOPR_EFFECT* EditedEffect() const;
    // The project frame (the header's size; a PAL frame while the header has none).
    QSize FrameSize() const;
    // Adds a point (project frame pixels) to the edited effect's outline.
    bool AddOutlinePoint(QPoint framePoint);
    // Takes the outline away: the effect covers the whole frame again.
    bool ClearOutline();
    void Retranslate();

public slots:
    // The timeline's selection changed: show (and edit) the selected effect.
    void SelectionChanged();
    // Hands the chosen static effect to the timeline; true when it was added.
    bool AddChosen();

private:
    void LevelMoved(int value);
    void ShowLevel();

    TimelineEditor& editor_;
    QListWidget* items_;
    QPushButton* add_;
    QGroupBox* editBox_;
    QLabel* effectName_;
    QLabel* levelLabel_;
    QSlider* level_;
    QLabel* regionLabel_;
    EffectRegionView* region_;
    QPushButton* clear_;
    bool showing_ = false;  // the page itself is setting the controls
};

}  // namespace studio
}  // namespace zolvex
