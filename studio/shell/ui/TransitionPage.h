// The Transition page: the 28 transitions as thumbnails drawn by the engine from the
// program's two pictures, the one under the pointer playing in a loop. The chosen
// ones go to the scenes from the selected scene on; the three buttons give every
// scene a transition at random or in sequence, or take them away.
#pragma once

#include <QImage>
#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTimer;

namespace zolvex {
namespace studio {

class TimelineEditor;

class TransitionPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kThumbWidth = 100;
    static constexpr int kThumbHeight = 75;
    // Frames of the hover loop from the first picture to the second, about 15 a second.
    static constexpr int kLoopFrames = 20;
    static constexpr int kFrameMs = 66;

    explicit TransitionPage(TimelineEditor& editor, QWidget* parent = nullptr);

    // Transition `id` (1–28) from the sunset to the field at `progress` (0–1).
    static QImage Thumbnail(int id, double progress);

    QListWidget* Items() const { return items_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RandomButton() const { return random_; }
    QPushButton* SequenceButton() const { return sequence_; }
    QPushButton* DeleteButton() const { return delete_; }
    // The transitions chosen in the grid, in list order.
    std::vector<int> Chosen() const;
    // The transition whose thumbnail is playing, 0 when none is.
    int Playing() const { return playingRow_ < 0 ? 0 : playingRow_ + 1; }
    // The frame of the loop shown next.
    int LoopFrame() const { return loopFrame_; }
    void Retranslate();

public slots:
    // The timeline's selection changed: show the selected scene's transition.
    void SelectionChanged();
    // The commands; each true when the timeline changed.
    bool AddChosen();
    bool AddRandom();
    bool AddInSequence();
    bool DeleteTransitions();
    // Plays thumbnail `row` (−1 stops) / shows the loop's next frame.
    void Play(int row);
    void AdvanceLoop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool Done(bool changed);

    TimelineEditor& editor_;
    QListWidget* items_;
    QPushButton* add_;
    QPushButton* random_;
    QPushButton* sequence_;
    QPushButton* delete_;
    QLabel* current_;
    QTimer* loop_;
    int playingRow_ = -1;
    int loopFrame_ = 0;
};

}  // namespace studio
}  // namespace zolvex
