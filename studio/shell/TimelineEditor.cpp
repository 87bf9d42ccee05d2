#include "studio/shell/TimelineEditor.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "filter/timeline/model/EffectOperation.h"
#include "studio/project/ProjectLayouts.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsRegularFile(const char* path)
{
    struct stat st;
    return path[0] && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

template <typename Op>
bool TimesOf(void* record, double** start, double** end)
{
    Op* op = static_cast<Op*>(record);
    *start = &op->dStartTime;
    *end = &op->dEndTime;
    return true;
}

// Where a record of `kind` keeps its times; false for the kinds that have none.
bool TimeFields(int32_t kind, void* record, double** start, double** end)
{
    if (!record)
        return false;
    switch (kind) {
    case OBJ_TEXT: return TimesOf<TextOp>(record, start, end);
    case OBJ_PICTURE: return TimesOf<StickerOp>(record, start, end);
    case OBJ_SCREEN3D: return TimesOf<ScreenOp>(record, start, end);
    case OBJ_EFFECT: return TimesOf<tagOPR_EFFECT>(record, start, end);
    case OBJ_MUSIC: return TimesOf<AudioOp>(record, start, end);
    default: return false;
    }
}

}  // namespace

bool ObjectTimes(int32_t kind, const void* record, double* start, double* end)
{
    double *s = nullptr, *e = nullptr;
    if (!TimeFields(kind, const_cast<void*>(record), &s, &e))
        return false;
    *start = *s;
    *end = *e;
    return true;
}

void SetObjectTimes(int32_t kind, void* record, double start, double end)
{
    double *s = nullptr, *e = nullptr;
    if (TimeFields(kind, record, &s, &e)) {
        *s = start;
        *e = end;
    }
}

void SetObjectOrder(int32_t kind, void* record, int32_t order)
{
    switch (kind) {
    case OBJ_TEXT: static_cast<TextOp*>(record)->nOrder = order; break;
    case OBJ_PICTURE: static_cast<StickerOp*>(record)->nOrder = order; break;
    case OBJ_SCREEN3D: static_cast<ScreenOp*>(record)->nOrder = order; break;
    case OBJ_EFFECT: static_cast<tagOPR_EFFECT*>(record)->nReserved2 = order; break;
    case OBJ_MUSIC: static_cast<AudioOp*>(record)->nOrder = order; break;
    case OBJ_ANIMATION: {
        const ObjectKindInfo* info = FindObjectKind(kind);
        std::memcpy(static_cast<AnimationObject*>(record)->bytes + info->orderAt, &order, sizeof order);
        break;
    }
    default: break;
    }
}

TimelineEditor::TimelineEditor(ProjectModel& model, IPrompt& prompt, ITimelineListener& listener)
    : model_(model), prompt_(prompt), listener_(listener), history_(model)
{
    model_.undo = &history_;
}

TimelineEditor::~TimelineEditor()
{
    {
        std::lock_guard<std::mutex> lock(timerMutex_);
        timerQuit_ = true;
    }
    timerWake_.notify_all();
    if (timer_.joinable())
        timer_.join();
    if (model_.undo == &history_)
        model_.undo = nullptr;
}

// ---- the time axis ---------------------------------------------------------------------

int TimelineEditor::AxisPixels(int width) const
{
    const int axis = std::max(1, width - kLabelColumn);
    return std::max(1, int(double(axis) * std::max(zoom, 0.01)));
}

int TimelineEditor::TimeToX(double t, int width) const
{
    const double total = model_.TotalLength();
    if (total <= 0.0)
        return kLabelColumn - scroll;
    return kLabelColumn + int(t * AxisPixels(width) / total) - scroll;
}

double TimelineEditor::XToTime(int x, int width) const
{
    const double total = model_.TotalLength();
    const double axis = AxisPixels(width);
    double t;
    if (x < kLabelColumn)
        t = total * scroll / axis;
    else if (x >= width)
        t = (scroll + width - kLabelColumn) * total / axis;
    else
        t = (scroll + x - kLabelColumn) * total / axis;
    return std::clamp(t, 0.0, std::max(total, 0.0));
}

// ---- selection -----------------------------------------------------------------------

int TimelineEditor::SelectedScene()
{
    for (int i = 0; i < model_.SceneCount(); ++i)
        if (model_.SceneMark(i) == 1)
            return i;
    return -1;
}

int TimelineEditor::SelectedObject()
{
    for (int i = 0; i < model_.ObjectCount(); ++i)
        if (model_.ObjectMark(i) == 1)
            return i;
    return -1;
}

void TimelineEditor::MarkOnly(bool scene, int i)
{
    model_.ClearMarks();
    if (scene && i >= 0 && i < model_.SceneCount())
        model_.SetSceneMark(i, 1);
    else if (!scene && i >= 0 && i < model_.ObjectCount())
        model_.SetObjectMark(i, 1);
}

void TimelineEditor::SelectScene(int i)
{
    MarkOnly(true, i);
    UpdateButtons();
}

void TimelineEditor::SelectObject(int i)
{
    MarkOnly(false, i);
    UpdateButtons();
}

void TimelineEditor::UpdateButtons()
{
    Send(kMsgButtonState, kButtonUndo, history_.UndoEnabled());
    Send(kMsgButtonState, kButtonRedo, history_.RedoEnabled());
    bool up = false, down = false, left = false, right = false;
    targetKind_ = -1;
    targetRecord_ = nullptr;
    const int scene = SelectedScene();
    const int object = scene < 0 ? SelectedObject() : -1;
    if (scene >= 0) {
        left = scene > 0;
        right = scene < model_.SceneCount() - 1;
    } else if (object >= 0) {
        up = object > 0;
        down = object < model_.ObjectCount() - 1;
        targetKind_ = model_.Kind(object);
        targetRecord_ = model_.Object(object);
    }
    Send(kMsgButtonState, kButtonMoveUp, up);
    Send(kMsgButtonState, kButtonMoveDown, down);
    Send(kMsgButtonState, kButtonMoveLeft, left);
    Send(kMsgButtonState, kButtonMoveRight, right);
    if (scene >= 0)
        Send(kMsgSceneSelected, scene);
}

// ---- the common frame of an edit -----------------------------------------------------------

bool TimelineEditor::Begin()
{
    if (model_.bBusy)
        return false;
    Send(kMsgBusy);
    model_.bBusy = true;
    Send(kMsgAboutToEdit);  // the preview lets go of the lists before they change
    return true;
}

void TimelineEditor::Finish(bool changed)
{
    if (changed) {
        model_.bModified = true;
        ++model_.nChanges;
        history_.Push();
    }
    model_.RecomputeLength();
    playhead = std::clamp(playhead, 0.0, std::max(model_.TotalLength(), 0.0));
    Send(kMsgTimelineChanged);
    UpdateButtons();
    StartBusyTimer(500);
}

void TimelineEditor::StartBusyTimer(int milliseconds)
{
    std::lock_guard<std::mutex> lock(timerMutex_);
    model_.bBusy = true;
    timerDue_ = NowMs() + int64_t(milliseconds / 500) * stepMs_.load();
    if (!timer_.joinable()) {
        timer_ = std::thread([this] {
            std::unique_lock<std::mutex> hold(timerMutex_);
            for (;;) {
                timerWake_.wait(hold, [this] { return timerQuit_ || timerDue_ >= 0; });
                if (timerQuit_)
                    return;
                const int64_t due = timerDue_;
                const int64_t wait = due - NowMs();
                if (wait > 0) {
                    // A newer deadline (or the end) wakes the wait early.
                    timerWake_.wait_for(hold, std::chrono::milliseconds(wait),
                                        [this, due] { return timerQuit_ || timerDue_ != due; });
                    continue;
                }
                timerDue_ = -1;
                model_.bBusy = false;
                hold.unlock();
                listener_.TimelineMessage(kMsgReady, 0, 0);
                hold.lock();
            }
        });
    }
    timerWake_.notify_all();
}

void TimelineEditor::WaitUntilReady()
{
    for (int waited = 0; model_.bBusy && waited < 20000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TimelineEditor::ClearMarks()
{
    model_.dMarkIn = model_.dMarkOut = 0.0;
    model_.bMarkInSet = model_.bMarkOutSet = false;
}

void TimelineEditor::ShowNoScene(int text) { prompt_.Show(Str(text), Str(0), kPromptInformation, kPromptOk); }

// ---- moving and deleting ----------------------------------------------------------------

// The selected scene (or object) one place along its list; nothing at either end.
bool TimelineEditor::MoveSelected(bool scene, int step)
{
    const int i = scene ? SelectedScene() : SelectedObject();
    const int to = i + step;
    if (model_.bBusy || i < 0 || to < 0 || to >= (scene ? model_.SceneCount() : model_.ObjectCount()))
        return false;
    Begin();
    if (scene)
        model_.MoveScene(i, to);
    else
        model_.MoveObject(i, to);
    Finish(true);
    return true;
}

bool TimelineEditor::MoveLeft() { return MoveSelected(true, -1); }
bool TimelineEditor::MoveRight() { return MoveSelected(true, 1); }
bool TimelineEditor::MoveUp() { return MoveSelected(false, -1); }
bool TimelineEditor::MoveDown() { return MoveSelected(false, 1); }

bool TimelineEditor::DeleteSelected()
{
    const int scene = SelectedScene();
    const int object = scene < 0 ? SelectedObject() : -1;
    if (model_.bBusy || (scene < 0 && object < 0))
        return false;
    Begin();
    if (scene >= 0) {
        model_.RemoveScene(scene);
        if (model_.SceneCount() > 0)
            model_.SetSceneMark(scene > 0 ? scene - 1 : 0, 1);
        else if (model_.ObjectCount() > 0)
            model_.SetObjectMark(0, 1);
    } else {
        model_.RemoveObject(object);
        if (model_.ObjectCount() > 0)
            model_.SetObjectMark(object > 0 ? object - 1 : 0, 1);
    }
    Finish(true);
    return true;
}

// ---- marks and the cut --------------------------------------------------------------------

void TimelineEditor::BeginMark(MarkMode mode)
{
    marking_ = mode;
    if (mode == MarkMode::kIn)
        model_.bMarkInSet = true;
    else if (mode == MarkMode::kOut)
        model_.bMarkOutSet = true;
}

void TimelineEditor::MarkMouseMove(int x, int width)
{
    const double t = XToTime(x, width);
    if (marking_ == MarkMode::kIn)
        model_.dMarkIn = t;
    else if (marking_ == MarkMode::kOut)
        model_.dMarkOut = t;
}

bool TimelineEditor::CutMarkedRegion()
{
    if (model_.bBusy || !model_.bMarkInSet || !model_.bMarkOutSet || !(model_.dMarkOut > model_.dMarkIn))
        return false;
    Begin();
    const double I = model_.dMarkIn, O = model_.dMarkOut, L = O - I;

    // Scenes, each placed where it stood before the cut.
    double t0 = 0.0;
    for (int i = 0; i < model_.SceneCount();) {
        const SceneSpan span = model_.Span(i);
        const double len = span.dOut - span.dIn;
        if (t0 < I && t0 + len > O) {
            // The region lies inside the scene: it becomes two.
            const SceneSpan second{span.dIn + (O - t0), span.dOut};
            model_.SetSpan(i, SceneSpan{span.dIn, span.dIn + (I - t0)});
            i += model_.InsertSceneCopy(i, second) ? 2 : 1;
        } else if (t0 >= I && t0 + len <= O) {
            model_.RemoveScene(i);
        } else if (t0 >= I && t0 < O && t0 + len > O) {
            model_.SetSpan(i, SceneSpan{span.dIn + (O - t0), span.dOut});
            ++i;
        } else if (t0 < I && t0 + len >= I && t0 + len <= O) {
            model_.SetSpan(i, SceneSpan{span.dIn, span.dIn + (I - t0)});
            ++i;
        } else {
            ++i;
        }
        t0 += len;
    }

    for (int i = 0; i < model_.ObjectCount(); ++i) {
        const int32_t kind = model_.Kind(i);
        void* record = model_.Object(i);
        double s = 0.0, e = 0.0;
        if (!ObjectTimes(kind, record, &s, &e))
            continue;
        if (s < I && I < e && e < O)
            e = I;
        else if (s < I && e > O)
            e -= L;
        else if (I < s && e < O)
            s = e = I;
        else if (I < s && s < O && O < e)
            s = I, e -= L;
        else
            continue;
        SetObjectTimes(kind, record, s, e);
    }
    model_.RecomputeLength();
    ClearMarks();
    Finish(true);
    return true;
}

// ---- undo ---------------------------------------------------------------------------------

// Undo and Redo step along the history and keep no step of their own: the frame
// only refreshes.
bool TimelineEditor::StepHistory(bool back)
{
    const bool possible = back ? history_.Index() > 0 : history_.Index() + 1 < int(history_.Size());
    if (model_.bBusy || !possible)
        return false;
    Begin();
    const bool stepped = back ? history_.Undo() : history_.Redo();
    if (stepped)
        ++model_.nChanges;
    Finish(false);
    if (stepped)
        model_.bModified = true;
    return stepped;
}

bool TimelineEditor::Undo() { return StepHistory(true); }
bool TimelineEditor::Redo() { return StepHistory(false); }

// ---- adding -------------------------------------------------------------------------------

namespace {

int MusicCount(ProjectModel& model)
{
    int n = 0;
    for (int i = 0; i < model.ObjectCount(); ++i)
        n += model.Kind(i) == OBJ_MUSIC;
    return n;
}

}  // namespace

bool TimelineEditor::AddObject(int32_t kind, void* record)
{
    double s = 0.0, e = 0.0;
    const bool timed = ObjectTimes(kind, record, &s, &e);
    if (!record || !FindObjectKind(kind) || model_.bBusy) {
        FreeObjectRecord(kind, record);
        return false;
    }
    if (model_.SceneCount() == 0) {
        FreeObjectRecord(kind, record);
        ShowNoScene(109);
        return false;
    }
    if (kind == OBJ_MUSIC && MusicCount(model_) >= kMaxMusicObjects) {
        FreeObjectRecord(kind, record);
        return false;
    }
    Begin();
    if (timed) {
        s = 0.0;
        e = model_.TotalLength();
        if (model_.dMarkOut > model_.dMarkIn) {
            if (model_.bMarkInSet)
                s = model_.dMarkIn;
            if (model_.bMarkOutSet)
                e = model_.dMarkOut;
        }
        SetObjectTimes(kind, record, s, e);
    }
    SetObjectOrder(kind, record, model_.ObjectCount());
    if (kind == OBJ_PICTURE) {
        static_cast<StickerOp*>(record)->rcDest[0] = 10;
        static_cast<StickerOp*>(record)->rcDest[1] = 50;
    }
    model_.ClearMarks();
    const bool added = model_.AppendObject(kind, record, 1);
    Finish(added);
    return added;
}

bool TimelineEditor::AddToTimeline(MediaLibrary& library, const std::vector<size_t>& selection, int pictureSeconds)
{
    if (selection.empty() || model_.bBusy)
        return false;
    Begin();
    bool changed = false;
    std::vector<size_t> sounds;
    for (size_t index : selection) {
        if (index >= library.Count())
            continue;
        const LibraryEntry& entry = library.Entry(index);
        if (entry.item.bRemoved)
            continue;
        if (entry.item.nKind == MEDIA_AUDIO) {
            sounds.push_back(index);
            continue;
        }
        if ((entry.item.nKind != MEDIA_VIDEO && entry.item.nKind != MEDIA_PICTURE) ||
            !IsRegularFile(entry.item.szPath))
            continue;
        MediaItem item = entry.item;
        SceneRecord record = entry.record;
        if (item.nKind == MEDIA_PICTURE) {
            item.dDuration = pictureSeconds;
            record.dInPoint = 0.0;
            record.dOutPoint = pictureSeconds;
        }
        model_.ClearMarks();
        changed |= model_.AppendScene(item, entry.thumbnail, record, SceneSpan{record.dInPoint, record.dOutPoint}, 1);
    }
    model_.RecomputeLength();

    if (!sounds.empty() && model_.SceneCount() == 0)
        ShowNoScene(108);  // once for the batch, not once per sound
    else {
        for (size_t index : sounds)
            if (!AppendMusic(library.Entry(index).item, changed))
                break;
    }
    Finish(changed);
    return changed;
}

// A sound of the library as a music object over the whole timeline, or over the
// marked region when there is one; false when no more music fits.
bool TimelineEditor::AppendMusic(const MediaItem& item, bool& changed)
{
    if (MusicCount(model_) >= kMaxMusicObjects)
        return false;
    AudioOp* op = new (std::nothrow) AudioOp();
    if (!op)
        return false;
    op->dStartTime = 0.0;
    op->dEndTime = model_.TotalLength();
    if (model_.dMarkOut > model_.dMarkIn) {
        if (model_.bMarkInSet)
            op->dStartTime = model_.dMarkIn;
        if (model_.bMarkOutSet)
            op->dEndTime = model_.dMarkOut;
    }
    op->dLength = item.dDuration;
    std::memcpy(op->szPath, item.szPath, sizeof op->szPath);
    const std::string name = std::string(item.szName) + item.szExt;
    std::memcpy(op->szName, name.c_str(), std::min(name.size(), sizeof op->szName - 1));
    op->nOrder = model_.ObjectCount();
    model_.ClearMarks();
    changed |= model_.AppendObject(OBJ_MUSIC, op, 1);
    return true;
}

bool TimelineEditor::AddRecording(MediaLibrary& library, size_t entry)
{
    if (model_.bBusy || entry >= library.Count() || library.Entry(entry).item.nKind != MEDIA_AUDIO)
        return false;
    if (model_.SceneCount() == 0) {
        ShowNoScene(110);
        return false;
    }
    Begin();
    bool changed = false;
    AppendMusic(library.Entry(entry).item, changed);
    // Spoken words are heard once: the take lasts as long as it was recorded (within
    // the marked region when there is one), instead of starting over under the rest.
    const int last = model_.ObjectCount() - 1;
    if (changed && last >= 0 && model_.Kind(last) == OBJ_MUSIC) {
        auto* op = static_cast<AudioOp*>(model_.Object(last));
        if (op->dLength > 0)
            op->dEndTime = std::min(op->dEndTime, op->dStartTime + op->dLength);
    }
    Finish(changed);
    return changed;
}

bool TimelineEditor::SetTransitions(int mode, const std::vector<int>& chosen, unsigned seed)
{
    if (model_.bBusy)
        return false;
    const int n = model_.SceneCount();
    if (n == 0) {
        ShowNoScene(109);
        return false;
    }
    const int selected = SelectedScene();
    if (mode == kTransitionsNone && selected < 0)
        return false;
    if (mode == kTransitionsChosen && chosen.empty())
        return false;
    Begin();
    switch (mode) {
    case kTransitionsInSequence:
        for (int j = 0; j < n; ++j)
            model_.Record(j).nTransitionID = (j + 1) % kTransitionCount;
        break;
    case kTransitionsRandom:
        std::srand(seed ? seed : unsigned(std::time(nullptr)));
        for (int j = 0; j < n; ++j)
            model_.Record(j).nTransitionID = std::rand() % kTransitionCount + 1;
        break;
    case kTransitionsChosen: {
        const int from = selected < 0 ? 0 : selected;
        for (size_t k = 0; k < chosen.size() && from + int(k) < n; ++k)
            model_.Record(from + int(k)).nTransitionID = std::clamp(chosen[k], 0, kTransitionCount);
        break;
    }
    default: model_.Record(selected).nTransitionID = 0; break;
    }
    // The scene records are shared by every undo step, so there is no step to keep.
    model_.bModified = true;
    ++model_.nChanges;
    Finish(false);
    return true;
}

void TimelineEditor::RecordEdited(bool finished)
{
    model_.bModified = true;
    ++model_.nChanges;
    if (finished)
        history_.Push();
    Send(kMsgTimelineChanged);
    UpdateButtons();
}

// ---- dragging -----------------------------------------------------------------------------

bool TimelineEditor::BeginDrag(int object, int part, int x)
{
    if (model_.bBusy || object < 0 || object >= model_.ObjectCount())
        return false;
    double s = 0.0, e = 0.0;
    if (!ObjectTimes(model_.Kind(object), model_.Object(object), &s, &e))
        return false;
    drag_.object = object;
    drag_.part = std::clamp(part, int(kDragStart), int(kDragBody));
    drag_.startX = x;
    drag_.start = s;
    drag_.end = e;
    return true;
}

void TimelineEditor::DragTo(int x, int width)
{
    if (drag_.object < 0 || drag_.object >= model_.ObjectCount())
        return;
    const double total = model_.TotalLength();
    const double dt = (x - drag_.startX) * total / AxisPixels(width);
    double s = drag_.start, e = drag_.end;
    const double limit = std::max(total, drag_.end);
    switch (drag_.part) {
    case kDragStart: s = std::clamp(drag_.start + dt, 0.0, drag_.end); break;
    case kDragEnd: e = std::clamp(drag_.end + dt, drag_.start, limit); break;
    default: {
        const double shift = std::clamp(dt, -drag_.start, std::max(0.0, limit - drag_.end));
        s += shift;
        e += shift;
        break;
    }
    }
    SetObjectTimes(model_.Kind(drag_.object), model_.Object(drag_.object), s, e);
}

bool TimelineEditor::EndDrag()
{
    const int object = drag_.object;
    drag_.object = -1;
    if (object < 0 || object >= model_.ObjectCount())
        return false;
    double s = 0.0, e = 0.0;
    ObjectTimes(model_.Kind(object), model_.Object(object), &s, &e);
    if (s == drag_.start && e == drag_.end)
        return false;
    model_.bModified = true;
    ++model_.nChanges;
    history_.Push();
    Send(kMsgTimelineChanged);
    UpdateButtons();
    return true;
}

// ---- projects -----------------------------------------------------------------------------

void TimelineEditor::NewProject()
{
    history_.Clear();
    playhead = 0.0;
    scroll = 0;
    marking_ = MarkMode::kNone;
    drag_.object = -1;
    model_.RecomputeLength();
    model_.bModified = false;
    ++model_.nChanges;
    Send(kMsgSceneSelected, -1);
    UpdateButtons();
    StartBusyTimer(500);
}

void TimelineEditor::ProjectLoaded()
{
    playhead = 0.0;
    scroll = 0;
    marking_ = MarkMode::kNone;
    drag_.object = -1;
    ++model_.nChanges;
    UpdateButtons();
    StartBusyTimer(2000);
}

}  // namespace studio
}  // namespace zolvex
