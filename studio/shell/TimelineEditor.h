// Timeline editing: the state the timeline keeps beside the project (playhead,
// scroll, marks, drag, selection), every editing command with its rules, the undo
// history, and the busy period after each edit. No widgets: the timeline widget and
// the pages ask this editor, and the editor tells the main window what changed
// through its listener with the program's numbered messages.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Prompt.h"
#include "studio/project/MediaLibrary.h"
#include "studio/project/ProjectModel.h"
#include "studio/shell/UndoHistory.h"

namespace zolvex {
namespace studio {

// The program's own window messages between the timeline, the pages and the main window.
enum StudioMessage : int {
    kMsgCancelMovie = 1129,      // the progress dialog's Cancel: finish the movie where it stands
    kMsgFileGraph = 1133,        // the file preview's graph has news (end, error)
    kMsgAddObject = 1142,        // a page adds an object (kind, record)
    kMsgAddToTimeline = 1143,    // "Add to Timeline" in the media library
    kMsgTimelineChanged = 1144,  // the filter's copy of the timeline must be refreshed
    kMsgPlayPosition = 1145,     // the preview's position (hundredths, whole seconds): move the playhead
    kMsgPlayheadReleased = 1148, // the dragged playhead was let go: seek the preview
    kMsgAboutToEdit = 1149,      // stop the preview and hold the filter before the lists change
    kMsgSceneSelected = 1150,    // a scene became selected (its index in the first parameter)
    kMsgTransitions = 1152,      // a transition command (mode in the first parameter)
    kMsgSaveMovie = 1153,        // the Save Movie page confirmed: start the encoding run
    kMsgButtonState = 1154,      // (button, enabled)
    kMsgAudioLevel = 1155,       // the audio level dialog changed the level (second parameter)
    kMsgProjectRefresh = 1156,   // a project was made, opened or saved: refresh the window
    kMsgPauseMovie = 1161,       // the progress dialog's Pause/Resume
    kMsgBusy = 1162,             // the timeline became busy
    kMsgReady = 1163,            // the busy period ended
};

// The buttons of message 1154.
enum TimelineButton : int {
    kButtonUndo = 0,
    kButtonRedo = 1,
    kButtonMoveUp = 2,
    kButtonMoveDown = 3,
    kButtonMoveLeft = 4,
    kButtonMoveRight = 5,
};

// The transition commands of message 1152.
enum TransitionMode : int {
    kTransitionsInSequence = 0,  // "Add All In Sequence"
    kTransitionsRandom = 1,      // "Random Add All"
    kTransitionsChosen = 2,      // the chosen ones, from the selected scene on
    kTransitionsNone = 3,        // "Delete Selected Transtions": the selected scene's
};

constexpr int kTransitionCount = 28;
constexpr int kMaxMusicObjects = 500;
constexpr int kLabelColumn = 110;  // pixels left of the time axis

// What the editor tells the main window. Every message but 1163 comes on the thread
// that called the editor (the window's); 1163 comes from the busy timer's thread, so
// a listener only posts it on. 1149 must be served before the call returns: the
// lists change right after it.
class ITimelineListener {
public:
    virtual ~ITimelineListener() = default;
    virtual void TimelineMessage(int message, int64_t first, int64_t second) = 0;
};

// An object's place on the timeline, for the kinds that have one.
bool ObjectTimes(int32_t kind, const void* record, double* start, double* end);
void SetObjectTimes(int32_t kind, void* record, double start, double end);
void SetObjectOrder(int32_t kind, void* record, int32_t order);

class TimelineEditor {
public:
    TimelineEditor(ProjectModel& model, IPrompt& prompt, ITimelineListener& listener);
    ~TimelineEditor();
    TimelineEditor(const TimelineEditor&) = delete;
    TimelineEditor& operator=(const TimelineEditor&) = delete;

    ProjectModel& Model() { return model_; }
    UndoHistory& History() { return history_; }
    bool Busy() const { return model_.bBusy; }

    // ---- the time axis on a timeline `width` pixels wide ----------------------------
    // x = 110 + t × (W − 110) ÷ T − scroll, with the zoom stretching the axis.
    int TimeToX(double t, int width) const;
    double XToTime(int x, int width) const;
    // Pixels of the time axis when the whole project is shown at the zoom.
    int AxisPixels(int width) const;
    double playhead = 0.0;
    int scroll = 0;
    double zoom = 1.0;  // 1 shows the whole project in the width
    bool playheadDrag = false;

    // ---- selection -------------------------------------------------------------------
    int SelectedScene();   // the first scene with mark 1, or −1
    int SelectedObject();  // the first object with mark 1, or −1
    // A click selects one item alone (and the buttons follow).
    void SelectScene(int i);
    void SelectObject(int i);
    // The property target: the selected object's kind and record (−1 and nullptr).
    int32_t TargetKind() const { return targetKind_; }
    void* TargetRecord() const { return targetRecord_; }

    // ---- commands; each true when it changed the timeline --------------------------
    bool MoveLeft();
    bool MoveRight();
    bool MoveUp();
    bool MoveDown();
    bool DeleteSelected();
    bool CutMarkedRegion();
    bool Undo();
    bool Redo();
    // Message 1142: takes the record (freed when it is not added).
    bool AddObject(int32_t kind, void* record);
    // Message 1143: the library entries at `selection`, in that order.
    bool AddToTimeline(MediaLibrary& library, const std::vector<size_t>& selection, int pictureSeconds);
    // A voice recording of the library as music, as long as the take; with no scene
    // there is nothing to lay it under, and the user is told.
    bool AddRecording(MediaLibrary& library, size_t entry);
    // Message 1152; `chosen` is the list of transitions for kTransitionsChosen.
    bool SetTransitions(int mode, const std::vector<int>& chosen = {}, unsigned seed = 0);
    // A page is about to change the selected record in place: the filter lets go of
    // it first (1149), as it does before every edit of the lists.
    void HoldForRecordEdit() { Send(kMsgAboutToEdit); }
    // A page edited the selected record in place: modified, 1144; `finished` (the end
    // of the gesture) also keeps an undo step when something changed.
    void RecordEdited(bool finished);

    // ---- marks ---------------------------------------------------------------------
    enum class MarkMode { kNone, kIn, kOut };
    void BeginMark(MarkMode mode);
    MarkMode Marking() const { return marking_; }
    void MarkMouseMove(int x, int width);
    void EndMark() { marking_ = MarkMode::kNone; }

    // ---- dragging an object's edge or body -----------------------------------------
    enum DragPart { kDragStart = 0, kDragEnd = 1, kDragBody = 2 };
    bool BeginDrag(int object, int part, int x);
    void DragTo(int x, int width);
    // True when a time changed (one undo step kept).
    bool EndDrag();
    int DragObject() const { return drag_.object; }

    // ---- projects --------------------------------------------------------------------
    // The timeline was cleared for a new project.
    void NewProject();
    // A project was just loaded into the model: two history entries and the busy period.
    void ProjectLoaded();

    // Sends the six button states (and 1150 or the property target).
    void UpdateButtons();

    // The busy period's step (500 ms); tests shorten it, and wait for it.
    void SetBusyStep(int milliseconds) { stepMs_ = milliseconds; }
    void WaitUntilReady();

private:
    // The common frame of an edit: false (and nothing sent) when busy.
    bool Begin();
    void Finish(bool pushSnapshot);
    void Cancel();
    void StartBusyTimer(int milliseconds);
    void ClearMarks();
    void Send(int message, int64_t first = 0, int64_t second = 0) { listener_.TimelineMessage(message, first, second); }
    void ShowNoScene(int text);
    bool AppendMusic(const MediaItem& item, bool& changed);
    void MarkOnly(bool scene, int i);
    bool MoveSelected(bool scene, int step);
    bool StepHistory(bool back);

    ProjectModel& model_;
    IPrompt& prompt_;
    ITimelineListener& listener_;
    UndoHistory history_;
    MarkMode marking_ = MarkMode::kNone;
    struct Drag {
        int object = -1;
        int part = kDragBody;
        int startX = 0;
        double start = 0.0, end = 0.0;
    } drag_;
    int32_t targetKind_ = -1;
    void* targetRecord_ = nullptr;

    // The busy timer: one thread that sleeps towards the newest deadline.
    std::thread timer_;
    std::mutex timerMutex_;
    std::condition_variable timerWake_;
    int64_t timerDue_ = -1;  // steady-clock ms when the busy period ends; −1 none
    bool timerQuit_ = false;
    std::atomic<int> stepMs_{500};
};

}  // namespace studio
}  // namespace zolvex
