#include "studio/shell/ui/MovieSaver.h"

#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <cstring>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/MovieProgressDialog.h"

namespace zolvex {
namespace studio {

namespace {

std::string Folder(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Extension(const std::string& path)
{
    const size_t slash = path.rfind('/'), dot = path.rfind('.');
    return dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : path.substr(dot);
}

}  // namespace

MovieSaver::MovieSaver(IMovieHost& host, IPrompt& prompt, QWidget* dialogParent, QObject* parent)
    : QObject(parent), host_(host), prompt_(prompt)
{
    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, &MovieSaver::Tick);
    // The progress is read once a second, but the end is looked for more often: a
    // short movie is not kept waiting for the next second to be finished.
    endWatch_ = new QTimer(this);
    endWatch_->setInterval(kEndWatchMs);
    connect(endWatch_, &QTimer::timeout, this, [this] {
        if (running_ && run_.Poll(0) != MovieRun::State::kRunning)
            Tick();
    });
    dialog_ = new MovieProgressDialog(dialogParent);
    connect(dialog_, &MovieProgressDialog::PauseRequested, this, &MovieSaver::Pause);
    connect(dialog_, &MovieProgressDialog::ResumeRequested, this, &MovieSaver::Resume);
    connect(dialog_, &MovieProgressDialog::CancelRequested, this, &MovieSaver::Cancel);
}

MovieSaver::~MovieSaver()
{
    if (running_) {
        // No word to the window any more: it may be going away itself.
        timer_->stop();
        endWatch_->stop();
        running_ = false;
        std::string why;
        if (run_.Finish(&why))
            partial_.Commit();
    }
    if (dialog_ && !dialog_->parent())
        delete dialog_;
}

bool MovieSaver::Start(const MovieOutputParams& params, const ProjectHeader& header, const TimelineLists& lists,
                       AnimationLibrary* animations, ScreenLibrary* screens, double pictureSeconds)
{
    if (running_)
        return false;
    target_ = params.szFilePath;
    host_.StopPreviewForMovie();
    // Hidden beside the target and ending as it does: the encoder picks the container
    // from the name.
    if (target_.empty() || !partial_.OpenHidden(target_, ".zolvex-movie-", Extension(target_))) {
        const std::string why = std::strerror(errno);
        prompt_.Show("The movie cannot be written into the folder " + Folder(target_) + ": " + why + ".", Str(0),
                     kPromptError, kPromptOk);
        host_.MovieRunEnded(false, target_);
        emit Ended(false, QString::fromStdString(target_));
        return false;
    }
    MovieRunSetup setup;
    setup.params = params;
    setup.outputPath = partial_.Path();
    setup.header = header;
    setup.lists = lists;
    setup.animations = animations;
    setup.screens = screens;
    setup.pictureSeconds = pictureSeconds;
    std::string error;
    if (!run_.Start(setup, &error)) {
        partial_.Abandon();
        prompt_.Show("The movie cannot be made: " + error + ".", Str(0), kPromptError, kPromptOk);
        host_.MovieRunEnded(false, target_);
        emit Ended(false, QString::fromStdString(target_));
        return false;
    }
    running_ = true;
    lastPosition_ = -1;
    started_ = lastMove_ = std::chrono::steady_clock::now();
    timer_->start();
    endWatch_->start();
    if (dialog_)
        dialog_->Begin();
    return true;
}

void MovieSaver::Tick()
{
    if (!running_)
        return;
    std::string error;
    const MovieRun::State state = run_.Poll(0, &error);
    const int64_t position = run_.Position();
    host_.MoviePosition(position, position % 10000000 * 100 / 10000000, position / 10000000);
    const float percent = run_.Progress();
    const auto now = std::chrono::steady_clock::now();
    if (dialog_) {
        dialog_->Publish(percent);
        const double elapsed = std::chrono::duration<double>(now - started_).count();
        const double frames = run_.FrameSeconds() > 0 ? double(position) / 1e7 / run_.FrameSeconds() : 0;
        dialog_->PublishRate(elapsed > 0.5 ? frames / elapsed : 0,
                             percent > 0.5f ? elapsed * (100.0 - percent) / percent : -1);
    }
    if (state == MovieRun::State::kFailed)
        return Fail(error.empty() ? "the rendering stopped with an error" : error);
    const std::string output = run_.OutputError();
    if (!output.empty())
        return Fail(output);
    if (state == MovieRun::State::kEnded)
        return End(true, std::string());
    if (position != lastPosition_ || run_.Paused()) {
        lastPosition_ = position;
        lastMove_ = now;
    } else if (now - lastMove_ > std::chrono::seconds(stallSeconds_)) {
        Fail("the rendering stopped at " + std::to_string(position / 10000000) + " s and did not go on");
    }
}

void MovieSaver::Pause()
{
    if (running_)
        run_.Pause();
}

void MovieSaver::Resume()
{
    if (running_ && run_.Resume())
        lastMove_ = std::chrono::steady_clock::now();
}

void MovieSaver::Cancel()
{
    if (running_)
        End(true, std::string());
}

void MovieSaver::Fail(const std::string& why) { End(false, why); }

void MovieSaver::End(bool keep, const std::string& failure)
{
    timer_->stop();
    endWatch_->stop();
    running_ = false;
    std::string why = failure;
    std::string finishError;
    if (!run_.Finish(&finishError) && why.empty())
        why = finishError;
    bool written = false;
    if (keep && why.empty()) {
        written = partial_.Commit();
        if (!written)
            why = "the movie could not be moved to " + target_ + ": " + std::strerror(errno);
    } else {
        partial_.Abandon();
    }
    if (dialog_) {
        if (written) {
            dialog_->Publish(100.0f);
            dialog_->Refresh();
        }
        dialog_->End();
    }
    if (!written)
        prompt_.Show("The movie could not be made: " + why + ".", Str(0), kPromptError, kPromptOk);
    host_.MovieRunEnded(written, target_);
    emit Ended(written, QString::fromStdString(target_));
}

}  // namespace studio
}  // namespace zolvex
