// The timeline along the bottom of the main window: a row of tool buttons for the
// timeline's commands above the timeline view and its scroll bars. The buttons only
// ask: each emits the program's command id, which the main window carries out.
#pragma once

#include <QWidget>

#include <map>

#include "studio/shell/TimelineEditor.h"

class QLabel;
class QScrollBar;
class QToolButton;

namespace zolvex {
namespace studio {

class TimelineView;

// The command ids of the timeline's buttons, as the main window binds them.
enum TimelineCommand : int {
    kCommandMarkIn = 10140,
    kCommandMarkOut = 10141,
    kCommandDelete = 10142,
    kCommandCut = 10143,
    kCommandUndo = 10144,
    kCommandRedo = 10145,
    kCommandMoveLeft = 10146,
    kCommandMoveRight = 10147,
    kCommandMoveUp = 10148,
    kCommandMoveDown = 10149,
    kCommandRecordAudio = 10137,
};

class TimelinePanel : public QWidget {
    Q_OBJECT
public:
    explicit TimelinePanel(TimelineEditor& editor, QWidget* parent = nullptr);

    TimelineView* View() const { return view_; }
    // The button of a command id, or null.
    QToolButton* Button(int command) const;
    // `button` as in TimelineButton (message 1154).
    void SetButtonEnabled(int button, bool enabled);
    // Re-reads the texts after a change of language.
    void Retranslate();
    // The timeline changed, became busy or ready: repaint it and its scroll bars.
    void Refresh();
    // The playhead moved with the preview: repaint the view and its times only.
    void PlayheadMoved();

    QSize sizeHint() const override;

signals:
    void commandRequested(int id);

private:
    void SyncScrollBars();
    void ShowTimes();

    TimelineEditor& editor_;
    TimelineView* view_ = nullptr;
    QScrollBar* across_ = nullptr;
    QScrollBar* down_ = nullptr;
    QLabel* times_ = nullptr;
    std::map<int, std::pair<QToolButton*, int>> buttons_;  // command id → button, text number
};

}  // namespace studio
}  // namespace zolvex
