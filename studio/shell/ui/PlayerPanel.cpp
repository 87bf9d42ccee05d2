#include "studio/shell/ui/PlayerPanel.h"

#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <mutex>

#include "studio/shell/ui/UiText.h"
#include "studio/shell/ui/PlayerScreen.h"

namespace zolvex {
namespace studio {

namespace {

// The buttons' symbols, drawn light for the panel's dark strip.
enum class Symbol { kPlay, kPause, kStop, kSlower, kFaster };

QIcon SymbolIcon(Symbol symbol)
{
    QIcon icon;
    for (const auto& [mode, colour] : {std::pair{QIcon::Normal, QColor(235, 235, 240)},
                                       std::pair{QIcon::Active, QColor(255, 255, 255)},
                                       std::pair{QIcon::Disabled, QColor(110, 110, 118)}}) {
        QPixmap pixmap(64, 64);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        auto triangle = [&p](double x, double w, bool right) {
            const QPointF points[3] = {right ? QPointF(x, 12) : QPointF(x + w, 12), right ? QPointF(x, 52) : QPointF(x + w, 52),
                                       right ? QPointF(x + w, 32) : QPointF(x, 32)};
            p.drawPolygon(points, 3);
        };
        switch (symbol) {
        case Symbol::kPlay: triangle(18, 34, true); break;
        case Symbol::kPause:
            p.drawRoundedRect(QRectF(16, 12, 11, 40), 2, 2);
            p.drawRoundedRect(QRectF(37, 12, 11, 40), 2, 2);
            break;
        case Symbol::kStop: p.drawRoundedRect(QRectF(16, 16, 32, 32), 3, 3); break;
        case Symbol::kSlower:
            triangle(6, 26, false);
            triangle(32, 26, false);
            break;
        case Symbol::kFaster:
            triangle(6, 26, true);
            triangle(32, 26, true);
            break;
        }
        p.end();
        icon.addPixmap(pixmap, mode);
    }
    return icon;
}

QString Clock(int64_t position)
{
    const int64_t tenths = std::max<int64_t>(position, 0) / 1000000;
    return QString::asprintf("%02d:%02d.%d", int(tenths / 600), int(tenths / 10 % 60), int(tenths % 10));
}

}  // namespace

// Carries one player's pictures and news from the graph's threads to the panel. Only
// the newest picture waits: a window that falls behind skips pictures, it does not
// queue them up.
class PlayerPanel::Relay : public IPreviewListener {
public:
    Relay(PlayerPanel* panel, bool album) : panel_(panel), album_(album) {}

    void PreviewPicture(const studio::PreviewFrame& picture) override
    {
        QImage copy = QImage(picture.bgr, picture.width, picture.height, qsizetype(picture.stride),
                             QImage::Format_BGR888)
                          .copy();
        std::lock_guard<std::mutex> lock(lock_);
        waiting_ = std::move(copy);
        if (posted_)
            return;
        posted_ = true;
        QMetaObject::invokeMethod(
            panel_,
            [this] {
                QImage next;
                {
                    std::lock_guard<std::mutex> lock(lock_);
                    next = std::move(waiting_);
                    waiting_ = QImage();
                    posted_ = false;
                }
                if (!next.isNull())
                    panel_->ShowPicture(next, album_);
            },
            Qt::QueuedConnection);
    }

    void PreviewNews(int news) override
    {
        QMetaObject::invokeMethod(
            panel_,
            [this, news] {
                GraphPlayer& player =
                    album_ ? static_cast<GraphPlayer&>(panel_->preview_.Player()) : *panel_->file_;
                player.HandleNews(news);
            },
            Qt::QueuedConnection);
    }

private:
    PlayerPanel* panel_;
    const bool album_;
    std::mutex lock_;
    QImage waiting_;
    bool posted_ = false;
};

PlayerPanel::PlayerPanel(PreviewLink& preview, const ProjectModel& model, IPrompt& prompt, QWidget* parent)
    : QWidget(parent),
      preview_(preview),
      model_(model),
      prompt_(prompt),
      albumRelay_(std::make_unique<Relay>(this, true)),
      fileRelay_(std::make_unique<Relay>(this, false)),
      file_(std::make_unique<FilePlayer>(fileRelay_.get()))
{
    setObjectName("PlayerPanel");
    setMinimumSize(280, 240);
    screen_ = new PlayerScreen(model_, this);
    screen_->setObjectName("PlayerScreen");

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("PlayerPosition");
    slider_->setRange(0, 0);
    // The strip is a slim one: a thin groove and a small round handle.
    slider_->setStyleSheet("QSlider::groove:horizontal { height: 3px; background: #5a5a60; border-radius: 1px; }"
                           "QSlider::sub-page:horizontal { background: #4a90d9; border-radius: 1px; }"
                           "QSlider::handle:horizontal { width: 11px; height: 11px; margin: -4px 0;"
                           " border-radius: 5px; background: #e8e8ec; }");
    connect(slider_, &QSlider::sliderPressed, this, [this] { sliderDragged_ = true; });
    connect(slider_, &QSlider::sliderReleased, this, [this] { sliderDragged_ = false; });
    connect(slider_, &QSlider::valueChanged, this, [this](int v) { MoveSlider(v); });

    auto button = [this](const char* name, Symbol symbol) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setIcon(SymbolIcon(symbol));
        b->setIconSize(QSize(20, 20));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setAutoRaise(true);
        return b;
    };
    play_ = button("Player54", Symbol::kPlay);
    play_->setIconSize(QSize(28, 28));
    stop_ = button("PlayerStop", Symbol::kStop);
    slower_ = button("PlayerSlower", Symbol::kSlower);
    faster_ = button("PlayerFaster", Symbol::kFaster);
    connect(play_, &QToolButton::clicked, this, [this] { PressPlay(); });
    connect(stop_, &QToolButton::clicked, this, [this] { PressStop(); });
    connect(slower_, &QToolButton::clicked, this, [this] { PressDecreaseRate(); });
    connect(faster_, &QToolButton::clicked, this, [this] { PressIncreaseRate(); });

    time_ = new QLabel(this);
    time_->setObjectName("PlayerTime");
    time_->setStyleSheet("color: #d8d8dc;");
    rate_ = new QLabel(this);
    rate_->setObjectName("PlayerRate");
    rate_->setStyleSheet("color: #a8a8b0;");
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setObjectName("PlayerVolume");
    volume_->setRange(0, 100);
    volume_->setValue(100);
    connect(volume_, &QSlider::valueChanged, this, [this](int v) { SetVolumeIndex(v); });

    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_->start();
    Retranslate();
}

PlayerPanel::~PlayerPanel()
{
    // The file's graph goes before the relays it reports to.
    file_.reset();
}

IPreviewListener* PlayerPanel::AlbumListener() { return albumRelay_.get(); }

GraphPlayer& PlayerPanel::Current()
{
    if (mode_ == kFileMode)
        return *file_;
    return preview_.Player();
}

void PlayerPanel::Retranslate()
{
    faster_->setToolTip(Text("Increase Rate", "加快"));
    faster_->setAccessibleName(faster_->toolTip());
    slower_->setToolTip(Text("Decrease Rate", "减慢"));
    slower_->setAccessibleName(slower_->toolTip());
    stop_->setToolTip(Text("Stop", "停止"));
    stop_->setAccessibleName(stop_->toolTip());
    volume_->setToolTip(Text("Volume", "音量"));
    volume_->setAccessibleName(volume_->toolTip());
    slider_->setAccessibleName(Text("Position", "位置"));
    ShowState();
}

void PlayerPanel::ShowState()
{
    GraphPlayer& p = Current();
    const bool running = p.State() == GraphPlayer::kRunning;
    const QString label = S(running ? 55 : 54);
    play_->setText(label);
    play_->setToolTip(label);
    play_->setAccessibleName(label);
    play_->setIcon(SymbolIcon(running ? Symbol::kPause : Symbol::kPlay));
    faster_->setEnabled(p.Built() && p.CanIncreaseRate());
    slower_->setEnabled(p.Built() && p.CanDecreaseRate());
    play_->setEnabled(p.Built());
    stop_->setEnabled(p.Built());
    UpdateTime();
}

void PlayerPanel::UpdateTime()
{
    const GraphPlayer& p = Current();
    // Where it stands above, the length and any rate but 1 below.
    time_->setText(Clock(p.Built() ? p.Position() : 0));
    rate_->setText("/ " + Clock(std::max<int64_t>(p.Duration(), 0)) +
                   (p.Rate() == 1.0 ? QString() : QString::asprintf("  ×%g", p.Rate())));
}

void PlayerPanel::PressPlay()
{
    GraphPlayer& p = Current();
    if (p.State() == GraphPlayer::kRunning || p.State() == GraphPlayer::kPaused) {
        p.PlayPause();
    } else if (p.Duration() > 0) {
        p.Run();
    }
    ShowState();
    screen_->raise();
}

void PlayerPanel::PressStop()
{
    if (mode_ == kFileMode) {
        CloseFile();
        return;
    }
    preview_.Player().Stop();
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(0);
    }
    emit playPosition(0, 0);
    ShowState();
}

void PlayerPanel::PressIncreaseRate()
{
    Current().IncreaseRate();
    ShowState();
}

void PlayerPanel::PressDecreaseRate()
{
    Current().DecreaseRate();
    ShowState();
}

void PlayerPanel::MoveSlider(int tenths)
{
    const int64_t position = int64_t(tenths) * 1000000;
    if (mode_ == kFileMode) {
        file_->Seek(position);
        UpdateTime();
        return;
    }
    AlbumPlayer& p = preview_.Player();
    if (!p.Built())
        return;
    if (p.State() == GraphPlayer::kRunning)
        p.Pause();
    emit playPosition(position % 10000000 * 100 / 10000000, position / 10000000);
    p.Seek(position);
    ShowState();
}

void PlayerPanel::SetVolumeIndex(int index)
{
    preview_.Player().SetVolume(index);
    file_->SetVolume(index);
}

void PlayerPanel::Tick()
{
    if (held_)
        return;
    Current().Poll();
    if (mode_ == kFileMode) {
        if (file_->State() != GraphPlayer::kRunning)
            return;
        const int64_t p = file_->Position();
        if (!sliderDragged_) {
            const QSignalBlocker block(slider_);
            slider_->setValue(int(p / 1000000));
        }
        if (file_->Ended()) {
            file_->Stop();
            ShowState();
        }
        UpdateTime();
        return;
    }
    AlbumPlayer& player = preview_.Player();
    if (player.State() != GraphPlayer::kRunning)
        return;
    ticks_ = ticks_ >= 100 ? 0 : ticks_ + 1;
    const int64_t p = player.Position();
    if (!sliderDragged_) {
        const QSignalBlocker block(slider_);
        slider_->setValue(int(p / 1000000));
    }
    if (ticks_ % 2 == 0)
        emit playPosition(p % 10000000 * 100 / 10000000, p / 10000000);
    const int64_t duration = player.Duration();
    // The graph says when it has ended; its last position may fall a frame short of
    // the length.
    if (player.Ended() || (duration > 0 && p >= duration)) {
        player.Stop();
        {
            const QSignalBlocker block(slider_);
            slider_->setValue(0);
        }
        emit playPosition(0, 0);
        ShowState();
        return;
    }
    UpdateTime();
}

void PlayerPanel::DurationChanged()
{
    if (mode_ == kFileMode)
        return;
    const QSignalBlocker block(slider_);
    slider_->setRange(0, int(preview_.Duration() * 10.0 + 0.5));
    ShowState();
}

void PlayerPanel::PlayheadReleased(double seconds)
{
    if (mode_ == kFileMode)
        CloseFile();
    AlbumPlayer& p = preview_.Player();
    if (p.State() == GraphPlayer::kRunning)
        p.Pause();
    if (p.State() == GraphPlayer::kPaused || p.State() == GraphPlayer::kRunning) {
        const int64_t position = int64_t(seconds * 1e7 + 0.5);
        const QSignalBlocker block(slider_);
        slider_->setValue(int(position / 1000000));
        p.Seek(position);
    } else if (p.State() == GraphPlayer::kStopped && p.Built()) {
        // A stopped preview shows the picture at the playhead too, and plays on from it.
        const int64_t position = int64_t(seconds * 1e7 + 0.5);
        const QSignalBlocker block(slider_);
        slider_->setValue(int(position / 1000000));
        p.Seek(position);
        p.Pause();
    }
    ShowState();
}

bool PlayerPanel::PlayFile(const std::string& path)
{
    AlbumPlayer& album = preview_.Player();
    if (album.State() == GraphPlayer::kRunning)
        album.Pause();
    mode_ = kFileMode;
    file_->SetVolume(volume_->value());
    if (!file_->Open(path, &prompt_)) {
        mode_ = kTimelineMode;
        ShowPicture(albumPicture_, true);
        DurationChanged();
        return false;
    }
    if (file_->AudioOnly())
        screen_->SetSoundOnly(QFileInfo(QString::fromStdString(path)).fileName());
    {
        const QSignalBlocker block(slider_);
        slider_->setRange(0, int(std::max<int64_t>(file_->Duration(), 0) / 1000000));
        slider_->setValue(0);
    }
    ShowState();
    return true;
}

void PlayerPanel::CloseFile()
{
    if (mode_ != kFileMode)
        return;
    file_->Close();
    mode_ = kTimelineMode;
    if (albumPicture_.isNull())
        screen_->Clear();
    else
        ShowPicture(albumPicture_, true);
    DurationChanged();
    Place();
}

void PlayerPanel::SetHeld(bool held)
{
    held_ = held;
    play_->setEnabled(!held && Current().Built());
    stop_->setEnabled(!held && Current().Built());
    slider_->setEnabled(!held);
}

void PlayerPanel::ShowPosition(int64_t position)
{
    {
        const QSignalBlocker block(slider_);
        slider_->setValue(int(position / 1000000));
    }
    time_->setText(Clock(position));
}

void PlayerPanel::ShowPicture(const QImage& picture, bool album)
{
    if (album)
        albumPicture_ = picture;
    if ((album ? kTimelineMode : kFileMode) != mode_ || picture.isNull())
        return;
    const bool reshaped = screen_->Picture().size() != picture.size();
    screen_->SetPicture(picture);
    if (reshaped && mode_ == kFileMode)
        Place();
}

double PlayerPanel::Aspect() const
{
    if (mode_ == kFileMode) {
        const QImage& picture = screen_->Picture();
        if (!picture.isNull() && picture.height() > 0)
            return double(picture.width()) / picture.height();
    }
    const ProjectHeader& h = model_.header;
    if (h.nAspectNumerator > 0 && h.nAspectDenominator > 0)
        return double(h.nAspectNumerator) / h.nAspectDenominator;
    if (h.nWidth > 0 && h.nHeight > 0)
        return double(h.nWidth) / h.nHeight;
    return 4.0 / 3.0;
}

QRect PlayerPanel::VideoRect(QSize size, double aspect)
{
    const int w = std::max(size.width() - 8, 1), h = std::max(size.height() - kVideoBottom - 8, 1);
    QRect r(0, 0, w, int(w / aspect + 0.5));
    if (r.height() > h)
        r = QRect(0, 0, int(h * aspect + 0.5), h);
    r.moveCenter(QRect(0, 0, size.width(), size.height() - kVideoBottom).center());
    return r;
}

void PlayerPanel::Place()
{
    const int w = width(), h = height();
    screen_->setGeometry(VideoRect(size(), Aspect()));
    slider_->setGeometry(8, h - kSliderTop, w - 16, kSliderTop - kSliderBottom);
    // Play, Stop, Decrease and Increase Rate along the bottom strip.
    const int widths[4] = {44, 34, 34, 34};
    QToolButton* buttons[4] = {play_, stop_, slower_, faster_};
    int x = 6;
    for (int k = 0; k < 4; ++k) {
        const int bh = k == 0 ? 44 : 34;
        buttons[k]->setGeometry(x, h - kButtonStrip + (kButtonStrip - bh) / 2, widths[k], bh);
        x += widths[k] + 2;
    }
    const int volumeLeft = std::max(x + 4, std::min(kVolumeLeft, w - kVolumeRightGap - kVolumeWidth));
    const int volumeWidth = std::max(std::min(kVolumeWidth, w - kVolumeRightGap - volumeLeft), 30);
    volume_->setGeometry(volumeLeft, h - kButtonStrip + (kButtonStrip - 24) / 2, volumeWidth, 24);
    time_->setGeometry(x + 6, h - kButtonStrip + 10, std::max(volumeLeft - x - 10, 0), 20);
    rate_->setGeometry(x + 6, h - kButtonStrip + 30, std::max(volumeLeft - x - 10, 0), 18);
}

void PlayerPanel::resizeEvent(QResizeEvent*) { Place(); }

void PlayerPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(40, 40, 44));
}

}  // namespace studio
}  // namespace zolvex
