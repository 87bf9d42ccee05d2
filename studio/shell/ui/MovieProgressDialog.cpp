#include "studio/shell/ui/MovieProgressDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "studio/shell/ui/UiText.h"

namespace zolvex {
namespace studio {

namespace {

QString Clock(double seconds)
{
    if (!(seconds >= 0) || seconds > 359999)
        return "--:--";
    const int s = int(seconds + 0.5);
    return s >= 3600 ? QString::asprintf("%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60)
                     : QString::asprintf("%02d:%02d", s / 60, s % 60);
}

}  // namespace

// The track and its filled part, with the percentage over both.
class MovieProgressBar : public QWidget {
public:
    explicit MovieProgressBar(QWidget* parent) : QWidget(parent)
    {
        setObjectName("MovieProgressBar");
        setFixedSize(MovieProgressDialog::kTrackWidth + 2, 24);
    }
    void Set(int width, const QString& text)
    {
        width_ = width;
        text_ = text;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRect track(1, 1, MovieProgressDialog::kTrackWidth, height() - 2);
        p.fillRect(track, palette().color(QPalette::Base));
        p.fillRect(QRect(track.left(), track.top(), width_, track.height()), palette().color(QPalette::Highlight));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(track.adjusted(-1, -1, 0, 0));
        p.setPen(palette().color(QPalette::Text));
        p.drawText(track, Qt::AlignCenter, text_);
    }

private:
    int width_ = 0;
    QString text_;
};

MovieProgressDialog::MovieProgressDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("MovieProgressDialog");
    // The window stays usable for nothing else while the movie is made, but its
    // event loop runs on: the run is driven by its timer.
    setWindowModality(Qt::ApplicationModal);
    bar_ = new MovieProgressBar(this);
    details_ = new QLabel(this);
    details_->setObjectName("MovieProgressDetails");
    pause_ = new QPushButton(this);
    pause_->setObjectName("Pause");
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("Cancel");
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(pause_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    layout->addWidget(details_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(timer_, &QTimer::timeout, this, &MovieProgressDialog::Refresh);
    connect(pause_, &QPushButton::clicked, this, &MovieProgressDialog::TogglePause);
    connect(cancel_, &QPushButton::clicked, this, &MovieProgressDialog::CancelRun);
    Retranslate();
    bar_->Set(0, BarText());
}

void MovieProgressDialog::Publish(float percent) { published_ = std::clamp(percent, 0.0f, 100.0f); }

void MovieProgressDialog::PublishRate(double framesPerSecond, double secondsLeft)
{
    fps_ = framesPerSecond;
    left_ = secondsLeft;
}

int MovieProgressDialog::BarWidth() const { return int(shown_ * kPixelsPerPercent); }

QString MovieProgressDialog::BarText() const { return QString::asprintf("%.2f %%", double(shown_)); }

void MovieProgressDialog::Retranslate()
{
    setWindowTitle(S(7));
    pause_->setText(S(paused_ ? 130 : 55));
    pause_->setAccessibleName(pause_->text());
    cancel_->setText(S(72));
    cancel_->setAccessibleName(cancel_->text());
}

void MovieProgressDialog::Begin()
{
    published_ = shown_ = 0;
    fps_ = 0;
    left_ = -1;
    paused_ = false;
    Retranslate();
    bar_->Set(0, BarText());
    details_->clear();
    timer_->start();
    show();
}

void MovieProgressDialog::Refresh()
{
    shown_ = published_;
    bar_->Set(BarWidth(), BarText());
    details_->setText(fps_ > 0 ? QString::asprintf("%.1f fps", fps_) + "   " + Clock(left_) : QString());
    if (shown_ >= 100.0f)
        Close();
}

void MovieProgressDialog::TogglePause()
{
    paused_ = !paused_;
    Retranslate();
    if (paused_)
        emit PauseRequested();
    else
        emit ResumeRequested();
}

void MovieProgressDialog::CancelRun()
{
    if (!isVisible() && !timer_->isActive())
        return;
    Close();
    emit CancelRequested();
}

void MovieProgressDialog::End() { Close(); }

void MovieProgressDialog::reject() { CancelRun(); }

void MovieProgressDialog::Close()
{
    timer_->stop();
    QDialog::done(QDialog::Accepted);
}

}  // namespace studio
}  // namespace zolvex
