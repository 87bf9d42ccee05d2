#include "studio/recording/ui/RecorderDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "studio/shell/ui/UiText.h"

namespace zolvex {
namespace studio {

namespace {

constexpr double kMeterFloor = -60.0;  // quieter than this shows as an empty bar

// A round red dot for Record and a square for Stop, drawn so that the buttons read
// at a glance.
QIcon DrawSign(bool record)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (record) {
        p.setBrush(QColor(210, 40, 40));
        p.drawEllipse(QRectF(2, 2, 12, 12));
    } else {
        p.setBrush(QColor(60, 60, 60));
        p.drawRect(QRectF(3, 3, 10, 10));
    }
    return QIcon(pixmap);
}

}  // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 14);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelMeter::SetLevel(double db)
{
    db = std::clamp(db, -90.0, 0.0);
    if (db != db_) {
        db_ = db;
        update();
    }
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.fillRect(rect(), QColor(30, 30, 30));
    const double share = std::clamp((db_ - kMeterFloor) / -kMeterFloor, 0.0, 1.0);
    if (share > 0) {
        QLinearGradient ramp(0, 0, width(), 0);
        ramp.setColorAt(0.0, QColor(40, 180, 60));
        ramp.setColorAt(0.7, QColor(220, 210, 40));
        ramp.setColorAt(1.0, QColor(220, 40, 30));
        p.fillRect(QRectF(1, 1, (width() - 2) * share, height() - 2), ramp);
    }
    // Ticks every 10 dB.
    p.setPen(QColor(90, 90, 90));
    for (int db = -50; db < 0; db += 10) {
        const double x = width() * (db - kMeterFloor) / -kMeterFloor;
        p.drawLine(QPointF(x, height() - 4), QPointF(x, height() - 1));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(frame);
}

RecorderDialog::RecorderDialog(std::vector<RecordingFormat> offered, RecordingSession& session, IPrompt& prompt,
                               std::function<bool()> hasDevice, ProgramStarter starter, QWidget* parent)
    : QDialog(parent),
      offered_(std::move(offered)),
      session_(session),
      prompt_(prompt),
      hasDevice_(std::move(hasDevice)),
      starter_(std::move(starter))
{
    setObjectName("RecorderDialog");
    formatBox_ = new QGroupBox(this);
    formats_ = new QComboBox(formatBox_);
    formats_->setObjectName("RecordingFormats");
    if (offered_.empty())
        formats_->addItem(QString::fromUtf8(kNoFormatAvailable));
    for (const RecordingFormat& f : offered_)
        formats_->addItem(QString::fromStdString(f.name));
    // The best the device offers is where most people want to start.
    if (!offered_.empty())
        formats_->setCurrentIndex(int(offered_.size()) - 1);
    auto* detailGrid = new QGridLayout;
    for (int k = 0; k < 4; ++k) {
        details_[k] = new QLabel(formatBox_);
        details_[k]->setObjectName(QString("FormatDetail%1").arg(k));
        detailGrid->addWidget(details_[k], k / 2, k % 2);
    }
    auto* formatColumn = new QVBoxLayout(formatBox_);
    formatColumn->addWidget(formats_);
    formatColumn->addLayout(detailGrid);
    connect(formats_, &QComboBox::currentIndexChanged, this, [this] {
        ShowDetails();
        Listen();
    });

    record_ = new QPushButton(DrawSign(true), QString(), this);
    record_->setObjectName("Record");
    record_->setDefault(true);
    stop_ = new QPushButton(DrawSign(false), QString(), this);
    stop_->setObjectName("Stop");
    connect(record_, &QPushButton::clicked, this, [this] { StartRecording(); });
    connect(stop_, &QPushButton::clicked, this, [this] { StopRecording(); });

    elapsed_ = new QLabel(this);
    elapsed_->setObjectName("Elapsed");
    QFont big = elapsed_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    elapsed_->setFont(big);
    elapsed_->setAlignment(Qt::AlignCenter);
    levelLabel_ = new QLabel(this);
    meter_ = new LevelMeter(this);
    meter_->setObjectName("LevelMeter");

    keep_ = new QCheckBox(this);
    keep_->setObjectName("KeepAndPlace");
    keep_->setChecked(session_.Keep());
    connect(keep_, &QCheckBox::toggled, this, [this](bool on) { session_.SetKeep(on); });

    volume_ = new QPushButton(this);
    volume_->setObjectName("VolumeControl");
    connect(volume_, &QPushButton::clicked, this, [this] { OpenVolumeControl(); });
    cancel_ = new QPushButton(this);
    cancel_->setObjectName("Cancel");
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* transport = new QHBoxLayout;
    transport->addWidget(record_);
    transport->addWidget(stop_);
    auto* meterRow = new QHBoxLayout;
    meterRow->addWidget(levelLabel_);
    meterRow->addWidget(meter_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(volume_);
    bottom->addStretch();
    bottom->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(formatBox_);
    layout->addSpacing(6);
    layout->addWidget(elapsed_);
    layout->addLayout(meterRow);
    layout->addLayout(transport);
    layout->addWidget(keep_);
    layout->addSpacing(6);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
    Retranslate();
    ShowDetails();
    ShowState();
    // The meter moves from the start, so that the microphone can be tried before a take.
    Listen();
    timer_->start();
}

RecorderDialog::~RecorderDialog() { session_.StopListening(); }

void RecorderDialog::Listen()
{
    const int i = formats_->currentIndex();
    if (!session_.Recording() && i >= 0 && size_t(i) < offered_.size())
        session_.Listen(offered_[size_t(i)].format);
}

void RecorderDialog::Retranslate()
{
    setWindowTitle(S(43));
    formatBox_->setTitle(S(58));
    record_->setText(S(107));
    stop_->setText(S(56));
    volume_->setText(S(57));
    cancel_->setText(S(72));
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(record_), static_cast<QAbstractButton*>(stop_),
                               static_cast<QAbstractButton*>(volume_), static_cast<QAbstractButton*>(cancel_)})
        b->setAccessibleName(b->text());
    keep_->setText(Text("Keep the recording and put it on the timeline", "保留录音并放到时间线上"));
    keep_->setAccessibleName(keep_->text());
    levelLabel_->setText(Text("Level", "电平"));
    elapsed_->setText(QString::fromStdString(ElapsedText(Str(111), session_.Elapsed())));
}

std::vector<QString> RecorderDialog::Details() const
{
    std::vector<QString> texts;
    for (QLabel* l : details_)
        texts.push_back(l->text());
    return texts;
}

void RecorderDialog::ShowDetails()
{
    const int i = formats_->currentIndex();
    std::vector<std::string> texts(4);
    if (i >= 0 && size_t(i) < offered_.size())
        texts = FormatDetails(offered_[size_t(i)].format);
    for (int k = 0; k < 4; ++k)
        details_[k]->setText(QString::fromStdString(texts[size_t(k)]));
}

void RecorderDialog::ShowState()
{
    const bool recording = session_.Recording();
    record_->setEnabled(!recording && !offered_.empty());
    stop_->setEnabled(recording);
    formats_->setEnabled(!recording && !offered_.empty());
}

void RecorderDialog::StartRecording()
{
    const int i = formats_->currentIndex();
    if (session_.Recording() || i < 0 || size_t(i) >= offered_.size())
        return;
    if (session_.Start(offered_[size_t(i)].format))
        stop_->setFocus();
    else
        Listen();
    ShowState();
    Tick();
}

void RecorderDialog::StopRecording()
{
    if (!session_.Recording())
        return;
    session_.SetKeep(keep_->isChecked());
    const bool stored = session_.Stop(std::time(nullptr));
    ShowState();
    if (stored) {
        timer_->stop();
        accept();
    } else {
        Listen();
    }
}

void RecorderDialog::Tick()
{
    if (session_.Recording() && !session_.Check()) {
        ShowState();
        Listen();
    }
    if (session_.Recording())
        elapsed_->setText(QString::fromStdString(ElapsedText(Str(111), session_.Elapsed())));
    meter_->SetLevel(session_.LevelDb());
}

void RecorderDialog::OpenVolumeControl()
{
    if (hasDevice_ && !hasDevice_()) {
        TellNoInputDevice(prompt_);
        return;
    }
    const char* path = std::getenv("PATH");
    if (!starter_ || !StartVolumeControl(starter_, path ? path : "/usr/bin:/bin"))
        prompt_.Show("Error launching Volume Control!", "Note", kPromptWarning, kPromptOk);
}

void RecorderDialog::reject()
{
    // Leaving while recording throws the take away; the session deletes its file.
    timer_->stop();
    session_.StopListening();
    QDialog::reject();
}

}  // namespace studio
}  // namespace zolvex
