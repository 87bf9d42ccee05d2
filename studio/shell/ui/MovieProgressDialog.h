// The progress of an encoding run: a bar on a 382-pixel track with the percentage
// written, frames per second and the time left, Pause/Resume and Cancel. It does not
// block the window's event loop (shown, not executed), so the run's timer keeps
// going; it only reads the percentage the run publishes, every two seconds, and
// closes itself once that reaches 100.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTimer;

namespace zolvex {
namespace studio {

class MovieProgressBar;

class MovieProgressDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTrackWidth = 382;
    static constexpr double kPixelsPerPercent = 3.82;
    static constexpr int kRefreshMs = 2000;

    explicit MovieProgressDialog(QWidget* parent = nullptr);

    // What the run has reached; shown at the next refresh.
    void Publish(float percent);
    // Frames rendered per second and seconds left (negative: not known yet).
    void PublishRate(double framesPerSecond, double secondsLeft);

    // The percentage drawn, the bar's width in pixels and its text.
    float Shown() const { return shown_; }
    int BarWidth() const;
    QString BarText() const;
    bool Paused() const { return paused_; }
    QPushButton* PauseButton() const { return pause_; }
    QPushButton* CancelButton() const { return cancel_; }
    QTimer* RefreshTimer() const { return timer_; }
    void Retranslate();

public slots:
    // Starts the refresh timer and shows the dialog from 0.
    void Begin();
    // What the timer does: draws the published percentage; at 100 the dialog closes.
    void Refresh();
    // Pause → "Resume" and PauseRequested; Resume → "Pause" and ResumeRequested.
    void TogglePause();
    // Emits CancelRequested and closes.
    void CancelRun();
    // Closes without a word: the run ended on its own or failed.
    void End();
    // Escape and the window's close button cancel the run rather than hide it.
    void reject() override;

signals:
    void PauseRequested();   // the window's message 1161, pausing
    void ResumeRequested();  // message 1161, resuming
    void CancelRequested();  // message 1129

private:
    void Close();

    MovieProgressBar* bar_;
    QLabel* details_;
    QPushButton* pause_;
    QPushButton* cancel_;
    QTimer* timer_;
    float published_ = 0, shown_ = 0;
    double fps_ = 0, left_ = -1;
    bool paused_ = false;
};

}  // namespace studio
}  // namespace zolvex
