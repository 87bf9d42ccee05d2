// The player panel beside the pages: the screen, the position slider, Play/Pause,
// Stop, the two rate buttons and the volume. It plays the timeline preview (mode 0)
// or, for a while, one file of the media library (mode 1), and keeps the timeline's
// playhead in step with what plays.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "platform/Prompt.h"
#include "studio/project/ProjectModel.h"
#include "studio/shell/FilePlayer.h"
#include "studio/shell/PreviewLink.h"

class QLabel;
class QSlider;
class QTimer;
class QToolButton;

namespace zolvex {
namespace studio {

class PlayerScreen;

class PlayerPanel : public QWidget {
    Q_OBJECT
public:
    enum Mode { kTimelineMode = 0, kFileMode = 1 };
    // Layout of the panel's bottom, in pixels.
    static constexpr int kSliderTop = 72, kSliderBottom = 61, kVideoBottom = 74, kButtonStrip = 61;
    static constexpr int kVolumeLeft = 240, kVolumeRightGap = 40, kVolumeWidth = 110;

    PlayerPanel(PreviewLink& preview, const ProjectModel& model, IPrompt& prompt, QWidget* parent = nullptr);
    ~PlayerPanel() override;

    // The timeline preview's listener; hand it to the preview before its graph is built.
    IPreviewListener* AlbumListener();

    int CurrentMode() const { return mode_; }
    // After each refresh of the timeline: the slider's range follows the new length.
    void DurationChanged();
    // The timeline's playhead was let go at `seconds`.
    void PlayheadReleased(double seconds);
    // A library file played in the panel until it ends or is stopped; false (and the
    // "Player Window" box) when it cannot be played.
    bool PlayFile(const std::string& path);
    // Back to the timeline preview.
    void CloseFile();
    // While held (a movie is being written) the timer leaves the position alone.
    void SetHeld(bool held);
    // The slider and the time at `position` (a movie being made shows its progress).
    void ShowPosition(int64_t position);
    bool Held() const { return held_; }
    void Retranslate();

    // The buttons' work, as the buttons and the tests call it.
    void PressPlay();
    void PressStop();
    void PressIncreaseRate();
    void PressDecreaseRate();
    void MoveSlider(int tenths);
    void SetVolumeIndex(int index);
    // One tick of the 500 ms timer.
    void Tick();
    int Ticks() const { return ticks_; }

    PlayerScreen* Screen() const { return screen_; }
    QToolButton* PlayButton() const { return play_; }
    QToolButton* StopButton() const { return stop_; }
    QToolButton* FasterButton() const { return faster_; }
    QToolButton* SlowerButton() const { return slower_; }
    QSlider* PositionSlider() const { return slider_; }
    QSlider* VolumeSlider() const { return volume_; }
    FilePlayer& File() { return *file_; }
    // Where the video area lies in a panel of `size` for a picture of `aspect`.
    static QRect VideoRect(QSize size, double aspect);

signals:
    // Message 1145: the playhead follows (hundredths, whole seconds).
    void playPosition(qint64 hundredths, qint64 seconds);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class Relay;
    GraphPlayer& Current();
    void ShowPicture(const QImage& picture, bool album);
    void ShowState();
    void UpdateTime();
    double Aspect() const;
    void Place();

    PreviewLink& preview_;
    const ProjectModel& model_;
    IPrompt& prompt_;
    std::unique_ptr<Relay> albumRelay_, fileRelay_;
    std::unique_ptr<FilePlayer> file_;
    int mode_ = kTimelineMode;
    int ticks_ = 0;
    bool held_ = false;
    bool sliderDragged_ = false;
    QImage albumPicture_;  // the timeline's last picture, shown again after a file
    PlayerScreen* screen_ = nullptr;
    QSlider* slider_ = nullptr;
    QSlider* volume_ = nullptr;
    QToolButton* play_ = nullptr;
    QToolButton* stop_ = nullptr;
    QToolButton* faster_ = nullptr;
    QToolButton* slower_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* rate_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace studio
}  // namespace zolvex
