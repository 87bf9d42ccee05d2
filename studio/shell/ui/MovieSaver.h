// Makes a movie from the studio's timeline while the window stays responsive: the
// encoding run (MovieRun) on a filter of its own, polled by a one-second timer,
// with the progress dialog in front. The movie is written into a hidden file beside
// the target and put in place only when it is finished (at its end, or shortened
// on Cancel); a run that fails leaves no file and says why.
//
// The main window takes part through IMovieHost:
//
//   class MainWindow : public QMainWindow, public IMovieHost { … };
//   saver_ = new MovieSaver(*this, prompt_, this, this);
//   connect(saveMoviePage_, &SaveMoviePage::SaveMovieRequested, this,     // message 1153
//           [this](const MovieOutputParams& p) {
//               saver_->Start(p, model.header, model.Lists(), &animations, &screens, pictureSeconds);
//           });
//
// Pause/Resume (message 1161) and Cancel (1129) come from the progress dialog and
// reach the saver by themselves; the window may also call Pause/Resume/Cancel.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "filter/timeline/model/TimelineLists.h"
#include "platform/Prompt.h"
#include "platform/ReplacingFile.h"
#include "studio/project/ProjectRecords.h"
#include "studio/shell/MovieOutputParams.h"
#include "studio/shell/MovieRun.h"
#include "studio/shell/ui/MovieProgressDialog.h"

class QTimer;
class QWidget;

namespace zolvex {
namespace studio {

class AnimationLibrary;
class ScreenLibrary;

// What the main window does around a run. Every call comes on the window's thread.
class IMovieHost {
public:
    virtual ~IMovieHost() = default;
    // Before the run starts: stop the preview if it plays, remember its volume, and
    // let the preview's graph and filter go (the run makes its own, and two graphs
    // must not render the same lists at once). Until MovieRunEnded the window
    // neither edits the timeline nor hands the lists to anyone.
    virtual void StopPreviewForMovie() = 0;
    // Once a second while the run goes: the position reached, in 100 ns, and as
    // message 1145 carries it (hundredths of the second, whole seconds), to move the
    // slider and the timeline's playhead.
    virtual void MoviePosition(int64_t position, int64_t hundredths, int64_t seconds) = 0;
    // The run is over, whichever way: reopen the preview, refresh the window
    // (message 1156) and restore the remembered volume. `written`: a movie (whole,
    // or shortened by Cancel) is now at `path`; false after a failure, which the
    // user has been told of, with no file left behind.
    virtual void MovieRunEnded(bool written, const std::string& path) = 0;
};

class MovieSaver : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMs = 1000;
    static constexpr int kEndWatchMs = 100;
    // A run whose position has not moved for this long, unpaused, has stalled.
    static constexpr int kStallSeconds = 60;

    // `dialogParent`: the window the progress dialog belongs to (may be null).
    MovieSaver(IMovieHost& host, IPrompt& prompt, QWidget* dialogParent = nullptr, QObject* parent = nullptr);
    // A run still going is cancelled: the movie made so far is kept.
    ~MovieSaver() override;

    // Starts making the movie params.szFilePath from the lists (which stay the
    // caller's and must not change until MovieRunEnded). False when it could not
    // start: the user was told why, and MovieRunEnded(false, …) came already.
    bool Start(const MovieOutputParams& params, const ProjectHeader& header, const TimelineLists& lists,
               AnimationLibrary* animations, ScreenLibrary* screens, double pictureSeconds);

    bool Running() const { return running_; }
    bool Paused() const { return run_.Paused(); }
    const std::string& Target() const { return target_; }
    // The hidden file being written, while running.
    const std::string& PartialPath() const { return partial_.Path(); }
    MovieProgressDialog* Dialog() const { return dialog_; }
    QTimer* PollTimer() const { return timer_; }
    void SetStallSeconds(int seconds) { stallSeconds_ = seconds; }

public slots:
    // What the timer does: publishes the position and progress; at the streams' end
    // the movie is finished and put in place; on a failure the run ends with a word
    // to the user.
    void Tick();
    void Pause();
    void Resume();
    // Ends the run where it stands and keeps the shorter movie.
    void Cancel();

signals:
    // After MovieRunEnded, for anyone else who waits on the run.
    void Ended(bool written, const QString& path);

private:
    // Finishes the run; `keep` puts the movie in place. Reports failures.
    void End(bool keep, const std::string& failure);
    void Fail(const std::string& why);

    IMovieHost& host_;
    IPrompt& prompt_;
    QPointer<MovieProgressDialog> dialog_;
    QTimer* timer_;
    QTimer* endWatch_;
    MovieRun run_;
    ReplacingFile partial_;
    std::string target_;
    bool running_ = false;
    int stallSeconds_ = kStallSeconds;
    int64_t lastPosition_ = -1;
    std::chrono::steady_clock::time_point lastMove_, started_;
};

}  // namespace studio
}  // namespace zolvex
