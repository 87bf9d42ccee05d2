// The studio's main window: the four menu buttons, the seven pages, the player panel
// beside them and the timeline along the bottom. The pages, the player and the
// timeline are filled by their own classes; this window holds the project and runs
// the project commands.
#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

#include "studio/maker/AnimationLibrary.h"
#include "studio/project/MediaLibrary.h"
#include "studio/project/ProjectDatabase.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectModel.h"
#include "studio/project/ScreenLibrary.h"
#include "studio/recording/VoiceRecorder.h"
#include "studio/shell/PreviewLink.h"
#include "studio/shell/ProjectCommands.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/MovieSaver.h"
#include "studio/shell/ui/QtPrompt.h"

class QLabel;
class QMenu;
class QTabWidget;
class QToolButton;
class QAction;
class QSplitter;

namespace zolvex {
namespace studio {

class AutosaveController;
class AnimationEffectPage;
class MediaLibraryPanel;
class PlayerPanel;
class SaveMoviePage;
class ScreenPage;
class StaticEffectPage;
class StickerPage;
class TransitionPage;
class TimelinePanel;
class TextPage;

class MainWindow : public QMainWindow,
                   private IProjectDialogs,
                   private IProjectView,
                   private ITimelineListener,
                   private IMovieHost {
    Q_OBJECT
public:
    // `prompt` answers every message box (the window's own when null).
    explicit MainWindow(IPrompt* prompt = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    ProjectModel& Model() { return model_; }
    ProjectCommands& Commands() { return *commands_; }
    QTabWidget* Pages() const { return pages_; }
    MediaLibrary& Library() { return library_; }
    AnimationLibrary& Animations() { return animations_; }
    AnimationEffectPage* AnimationPage() const { return animationPage_; }
    TimelineEditor& Editor() { return editor_; }
    PreviewLink& Preview() { return preview_; }
    PlayerPanel* Player() const { return player_; }
    SaveMoviePage* SaveMovie() const { return saveMoviePage_; }
    MovieSaver* Saver() const { return saver_; }
    AutosaveController& Autosaves() { return *autosave_; }
    // Runs a command of the window by its program identifier (10140 Mark-In … 10149
    // Move Down, 10309 the audio level); false for one it does not know.
    bool RunCommand(int id);
    // The picture play time in seconds.
    int PictureSeconds() const;
    int AudioLevel() const { return audioLevel_; }
    // The menu buttons: File, animation effects, Navigation, Help.
    QToolButton* MenuButton(int k) const { return menuButtons_[size_t(k)]; }
    // Opens the project named in the data folder (the command line's project).
    bool OpenProjectNamed(const std::string& name);
    // Record Audio: the recorder, then a kept recording into the library and onto the
    // timeline. Tests give their own input device and what records from it.
    using DeviceProbe = std::function<bool(InputDevice*)>;
    void SetRecordingDevice(DeviceProbe probe, VoiceRecorder::SourceMaker source);
    void RecordAudio();
    // Brings the window to the front for a later start of the studio.
    void ShowForAnotherStart(const QString& token);

signals:
    // The first paint of the window (the start-up measurement waits for it).
    void firstPainted();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // IProjectDialogs
    bool AskProject(const std::string& title, NewProjectChoice* choice) override;
    bool AskProjectToOpen(std::string* name) override;
    // IProjectView
    bool TimelineBusy() override { return model_.bBusy; }
    void HoldPreview() override;
    void ProjectReplaced() override;
    void TimelineReset(bool loaded) override;
    // ITimelineListener: 1149 is served at once, the rest arrive as queued events.
    void TimelineMessage(int message, int64_t first, int64_t second) override;
    void HandleMessage(int message, int64_t first, int64_t second);
    void RefreshFilter();
    void OpenPreview();
    void AdjustAudioLevel();
    // "Make Animation Effects": the maker, modal.
    void MakeAnimationEffects();
    void AdjustPictureTime();
    // The recording's file is imported; when it is in the library it goes on the timeline.
    void PlaceRecording(const std::string& path);
    void RecordingImported();
    // The preview's frame rate as the "Smooth preview" setting asks.
    void ApplyPreviewRate();
    void PlayLibraryEntry(size_t entry);
    // IMovieHost: the encoding run of message 1153 around the window.
    void StopPreviewForMovie() override;
    void MoviePosition(int64_t position, int64_t hundredths, int64_t seconds) override;
    void MovieRunEnded(bool written, const std::string& path) override;
    void StartMovie(const MovieOutputParams& params);
    // The property pages follow the timeline's selection.
    void SelectionChanged();

    void BuildMenus(QWidget* bar);
    QWidget* BuildPlayer();
    QWidget* BuildTimeline();
    void Retranslate();
    void UpdateTitle();
    void SetLanguage(int language);
    void OpenHelp();
    void ShowAbout();

    QtPrompt ownPrompt_;
    IPrompt& prompt_;
    ProjectModel model_;
    ProjectDatabase database_;
    MediaLibrary library_;
    ScreenLibrary screens_;
    AnimationLibrary animations_;
    ProjectStore store_;
    std::unique_ptr<ProjectCommands> commands_;
    TimelineEditor editor_;
    PreviewLink preview_;
    int audioLevel_ = 50;

    std::vector<QToolButton*> menuButtons_;
    std::vector<QMenu*> menus_;
    std::vector<std::pair<QAction*, int>> actions_;  // an action and its text's number
    std::vector<std::pair<QWidget*, int>> labelled_;
    QAction* importAction_ = nullptr;
    QAction* makeAction_ = nullptr;
    QTabWidget* pages_ = nullptr;
    MediaLibraryPanel* libraryPanel_ = nullptr;
    AnimationEffectPage* animationPage_ = nullptr;
    ScreenPage* screenPage_ = nullptr;
    TextPage* textPage_ = nullptr;
    TransitionPage* transitionPage_ = nullptr;
    StaticEffectPage* effectPage_ = nullptr;
    StickerPage* stickerPage_ = nullptr;
    QTabWidget* textTabs_ = nullptr;
    QSplitter* upper_ = nullptr;
    QSplitter* whole_ = nullptr;
    PlayerPanel* player_ = nullptr;
    SaveMoviePage* saveMoviePage_ = nullptr;
    MovieSaver* saver_ = nullptr;
    int movieVolume_ = -1;  // the preview's volume while a movie is made
    QAction* smoothAction_ = nullptr;
    TimelinePanel* timeline_ = nullptr;
    bool painted_ = false;
    AutosaveController* autosave_ = nullptr;
    DeviceProbe deviceProbe_;
    VoiceRecorder::SourceMaker recordSource_;
    std::vector<std::string> recordingsToPlace_;
};

}  // namespace studio
}  // namespace zolvex
