#include "studio/shell/ui/SaveMoviePage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>

#include "studio/shell/ui/UiText.h"
#include "studio/shell/SaveMovie.h"

namespace zolvex {
namespace studio {

namespace {

// The output kinds in MovieKind's order.
const char* const kKindNames[] = {"DVD/SVCD/VCD", "AVI", "3GP", "SWF", "MP4"};
const char* const kProfileNames[] = {"DVD NTSC", "DVD PAL", "SVCD NTSC", "SVCD PAL", "VCD NTSC", "VCD PAL"};

// The video codec choices of each kind, in the order their numbers are looked up.
std::vector<const char*> VideoCodecNames(MovieKind kind)
{
    switch (kind) {
    case kMovieDisc: return {"MPEG-1", "MPEG-2"};
    case kMovieAvi: return {"MPEG-4 Part 2"};
    case kMovie3gp:
        return {"H.263", "MPEG-4", "H.263 baseline", "MPEG-4 simple", "H.263 profile 0", "H.263 level 10"};
    case kMovieSwf: return {"Sorenson H.263 (Flash video)"};
    case kMovieMp4: return {"H.264 High"};
    }
    return {};
}

const char* AudioCodecName(MovieKind kind, DiscProfile profile)
{
    switch (kind) {
    case kMovieDisc: return profile == kDvdNtsc || profile == kDvdPal ? "AC-3" : "MPEG Audio Layer 2";
    case kMovieAvi:
    case kMovieSwf: return "MP3";
    case kMovie3gp: return "AMR narrow band";
    case kMovieMp4: return "AAC";
    }
    return "";
}

void Fill(QComboBox* box, const std::vector<ChoiceEntry>& entries, int selected)
{
    QSignalBlocker quiet(box);
    box->clear();
    for (const ChoiceEntry& e : entries)
        box->addItem(QString::fromStdString(e.label));
    box->setCurrentIndex(selected >= 0 && selected < box->count() ? selected : 0);
}

// The entry of `entries` whose number (or size) the kind's default parameters hold.
int IndexOf(const std::vector<ChoiceEntry>& entries, int value, int height = -1)
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (height < 0 ? entries[i].value == value : entries[i].width == value && entries[i].height == height)
            return int(i);
    return 0;
}

QComboBox* Combo(const char* name, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setAccessibleName(name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

}  // namespace

SaveMoviePage::SaveMoviePage(IPrompt& prompt, const QString& folder, QWidget* parent)
    : QWidget(parent), prompt_(prompt)
{
    setObjectName("SaveMoviePage");
    chooser_ = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };

    title_ = new QLabel(this);
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    title_->setFont(big);

    kind_ = Combo("Output Format", this);
    for (const char* name : kKindNames)
        kind_->addItem(name);
    profile_ = Combo("Profile", this);
    for (const char* name : kProfileNames)
        profile_->addItem(name);
    profile_->setCurrentIndex(kDvdPal);

    frameSize_ = Combo("Frame Size", this);
    frameRate_ = Combo("Frame Rate", this);
    videoCodec_ = Combo("Video Codec", this);
    videoBitRate_ = Combo("Video Bitrate", this);
    quality_ = new QSlider(Qt::Horizontal, this);
    quality_->setObjectName("Video Quality");
    quality_->setAccessibleName("Video Quality");
    quality_->setRange(0, 10);
    quality_->setValue(5);
    quality_->setTickPosition(QSlider::TicksBelow);
    quality_->setPageStep(1);
    qualityValue_ = new QLabel(this);
    qualityValue_->setMinimumWidth(qualityValue_->fontMetrics().horizontalAdvance("10") + 6);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(quality_, 1);
    qualityRow->addWidget(qualityValue_);
    fullMotion_ = new QCheckBox("Full motion (every frame rendered)", this);
    fullMotion_->setObjectName("Full motion");
    fullMotion_->setAccessibleName("Full motion");

    audioCodec_ = Combo("Audio Codec", this);
    audioBitRate_ = Combo("Audio Bitrate", this);
    channels_ = Combo("Channel", this);
    channels_->addItem("mono");
    channels_->addItem("stereo");
    channels_->setCurrentIndex(1);
    sampleRate_ = Combo("Freqency", this);

    name_ = new QLineEdit(this);
    name_->setObjectName("Movie Name");
    name_->setAccessibleName("Movie Name");
    name_->setClearButtonEnabled(true);
    folder_ = new QLineEdit(folder, this);
    folder_->setObjectName("Path");
    folder_->setAccessibleName("Path");
    browse_ = new QPushButton("...", this);
    browse_->setObjectName("Browse");
    browse_->setAccessibleName("Browse");
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse_);
    save_ = new QPushButton(this);
    save_->setObjectName("Save Moive Now");
    save_->setDefault(true);
    save_->setMinimumHeight(save_->sizeHint().height() * 3 / 2);

    auto row = [this](QFormLayout* form, int text, QWidget* field, QLayout* layout = nullptr) {
        auto* label = new QLabel(this);
        labels_.emplace_back(label, text);
        if (layout)
            form->addRow(label, layout);
        else
            form->addRow(label, field);
        if (field)
            label->setBuddy(field);
    };
    auto form = [](QGroupBox* group) {
        auto* f = new QFormLayout(group);
        f->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        f->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return f;
    };

    videoGroup_ = new QGroupBox("Video", this);
    videoForm_ = form(videoGroup_);
    auto* kindLabel = new QLabel("Output Format", this);
    kindLabel->setBuddy(kind_);
    videoForm_->addRow(kindLabel, kind_);
    row(videoForm_, 11, profile_);
    row(videoForm_, 12, frameSize_);
    row(videoForm_, 13, frameRate_);
    row(videoForm_, 14, videoCodec_);
    row(videoForm_, 15, videoBitRate_);
    row(videoForm_, 86, quality_, qualityRow);
    videoForm_->addRow(QString(), fullMotion_);

    audioGroup_ = new QGroupBox("Audio", this);
    audioForm_ = form(audioGroup_);
    row(audioForm_, 16, audioCodec_);
    row(audioForm_, 17, audioBitRate_);
    row(audioForm_, 18, channels_);
    row(audioForm_, 19, sampleRate_);

    outputGroup_ = new QGroupBox("Output", this);
    outputForm_ = form(outputGroup_);
    row(outputForm_, 8, name_);
    row(outputForm_, 9, folder_, folderRow);

    auto* settings = new QHBoxLayout;
    settings->addWidget(videoGroup_, 3);
    settings->addWidget(audioGroup_, 2);
    auto* bottom = new QHBoxLayout;
    // The last movie made, and a way to its folder.
    saved_ = new QLabel(this);
    saved_->setObjectName("SavedMovie");
    saved_->setTextFormat(Qt::PlainText);
    openFolder_ = new QPushButton(this);
    openFolder_->setObjectName("OpenFolder");
    openFolder_->hide();
    connect(openFolder_, &QPushButton::clicked, this, [this] {
        if (!savedPath_.isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(savedPath_).absolutePath()));
    });
    bottom->addWidget(saved_, 1);
    bottom->addWidget(openFolder_);
    bottom->addWidget(save_);
    auto* page = new QVBoxLayout(this);
    page->addWidget(title_);
    page->addLayout(settings);
    page->addWidget(outputGroup_);
    page->addLayout(bottom);
    page->addStretch(1);

    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { KindChanged(); });
    connect(profile_, &QComboBox::currentIndexChanged, this, [this] { ProfileChanged(); });
    connect(quality_, &QSlider::valueChanged, this, [this] { UpdateQualityText(); });
    connect(fullMotion_, &QCheckBox::toggled, this, [this](bool on) {
        if (fullMotion_->isEnabled())
            userFullMotion_ = on;
    });
    connect(browse_, &QPushButton::clicked, this, &SaveMoviePage::Browse);
    connect(save_, &QPushButton::clicked, this, &SaveMoviePage::Confirm);

    FillLists();
    UpdateQualityText();
    Retranslate();
}

MovieChoices SaveMoviePage::Choices() const
{
    MovieChoices c;
    c.kind = MovieKind(kind_->currentIndex());
    c.profile = DiscProfile(profile_->currentIndex());
    c.frameSize = frameSize_->currentIndex();
    c.frameRate = frameRate_->currentIndex();
    c.videoCodec = videoCodec_->currentIndex();
    c.quality = quality_->value();
    c.audioCodec = audioCodec_->currentIndex();
    c.audioBitRate = audioBitRate_->currentIndex();
    c.channels = channels_->currentIndex();
    c.sampleRate = sampleRate_->currentIndex();
    c.fullMotion = fullMotion_->isChecked();
    c.movieName = name_->text().trimmed().toStdString();
    c.folder = folder_->text().trimmed().toStdString();
    return c;
}

void SaveMoviePage::SetFolder(const QString& folder) { folder_->setText(folder); }

void SaveMoviePage::ShowSaved(const QString& path)
{
    savedPath_ = path;
    const bool chinese = Strings().CurrentLanguage() == Language::kChinese;
    saved_->setText(path.isEmpty() ? QString()
                                   : QString::fromUtf8(chinese ? "已保存：" : "Saved: ") + QFileInfo(path).fileName());
    saved_->setToolTip(path);
    openFolder_->setText(QString::fromUtf8(chinese ? "打开文件夹" : "Open Folder"));
    openFolder_->setAccessibleName(openFolder_->text());
    openFolder_->setVisible(!path.isEmpty());
}

QString SaveMoviePage::Folder() const { return folder_->text().trimmed(); }

void SaveMoviePage::Retranslate()
{
    title_->setText(S(7));
    for (const auto& [label, text] : labels_)
        label->setText(S(text));
    save_->setText(S(10));
    save_->setAccessibleName(S(10));
    browse_->setToolTip(S(90));
}

bool SaveMoviePage::Confirm()
{
    MovieOutputParams params;
    if (!ConfirmSaveMovie(Choices(), prompt_, params))
        return false;
    emit SaveMovieRequested(params);
    return true;
}

void SaveMoviePage::Browse()
{
    const QString chosen = chooser_ ? chooser_(S(90), folder_->text()) : QString();
    if (chosen.isEmpty())
        return;
    folder_->setText(chosen.endsWith('/') ? chosen : chosen + '/');
}

void SaveMoviePage::KindChanged()
{
    FillLists();
}

void SaveMoviePage::ProfileChanged()
{
    if (kind_->currentIndex() == kMovieDisc)
        FillLists();
}

void SaveMoviePage::FillLists()
{
    const MovieKind kind = MovieKind(kind_->currentIndex());
    const DiscProfile profile = DiscProfile(profile_->currentIndex());
    const bool disc = kind == kMovieDisc;

    // The kind's own defaults are what the parameters take for "no choice".
    MovieChoices defaults;
    defaults.kind = kind;
    defaults.profile = profile;
    defaults.channels = -1;
    defaults.movieName = "movie";
    MovieOutputParams p;
    FillMovieParams(defaults, p);

    const std::vector<ChoiceEntry> sizes = FrameSizes(kind), rates = FrameRates(kind);
    Fill(frameSize_, sizes, disc ? ProfileFrameSize(profile) : IndexOf(sizes, p.nWidth, p.nHeight));
    Fill(frameRate_, rates, disc ? ProfileFrameRate(profile) : IndexOf(rates, p.nFrameRate));

    {
        QSignalBlocker quiet(videoCodec_);
        const int keep = videoCodec_->currentIndex();
        videoCodec_->clear();
        for (const char* name : VideoCodecNames(kind))
            videoCodec_->addItem(name);
        // MPEG-2 for DVD and SVCD, MPEG-1 for VCD, as those discs are made.
        const int codec = disc ? (profile == kVcdNtsc || profile == kVcdPal ? 0 : 1) : keep;
        videoCodec_->setCurrentIndex(codec >= 0 && codec < videoCodec_->count() ? codec : 0);
    }
    {
        QSignalBlocker quiet(videoBitRate_);
        videoBitRate_->clear();
        if (p.nVideoBitRate > 0)
            videoBitRate_->addItem(QString::asprintf("%d kbps", p.nVideoBitRate / 1000));
        else
            videoBitRate_->addItem("By quality");
    }
    {
        QSignalBlocker quiet(audioCodec_);
        audioCodec_->clear();
        audioCodec_->addItem(AudioCodecName(kind, profile));
    }
    const std::vector<ChoiceEntry> audioRates = AudioBitRates(kind, profile), sampleRates = SampleRates(kind, profile);
    Fill(audioBitRate_, audioRates, IndexOf(audioRates, p.nAudioBitRate));
    Fill(sampleRate_, sampleRates, IndexOf(sampleRates, p.nSampleRate));
    // 3GP's AMR sound is mono only, MP4's AAC stereo only.
    if (kind == kMovie3gp || kind == kMovieMp4)
        channels_->setCurrentIndex(kind == kMovie3gp ? 0 : 1);
    UpdateEnabled();
}

void SaveMoviePage::UpdateEnabled()
{
    const MovieKind kind = MovieKind(kind_->currentIndex());
    const bool disc = kind == kMovieDisc;
    profile_->setEnabled(disc);
    quality_->setEnabled(!disc);
    qualityValue_->setEnabled(!disc);
    videoCodec_->setEnabled(videoCodec_->count() > 1);
    videoBitRate_->setEnabled(disc);
    channels_->setEnabled(kind != kMovie3gp && kind != kMovieMp4);
    // Every frame of an MP4 is rendered; the box only shows it.
    const bool mp4 = kind == kMovieMp4;
    {
        QSignalBlocker quiet(fullMotion_);
        fullMotion_->setChecked(mp4 || userFullMotion_);
    }
    fullMotion_->setEnabled(!mp4);
}

void SaveMoviePage::UpdateQualityText() { qualityValue_->setText(QString::number(quality_->value())); }

}  // namespace studio
}  // namespace zolvex
