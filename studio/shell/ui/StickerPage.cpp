#include "studio/shell/ui/StickerPage.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedLayout>
#include <QStringList>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <string>

#include "studio/shell/ui/UiText.h"
#include "filter/media/AnimatedPicture.h"
#include "studio/project/MediaFilters.h"
#include "studio/project/MediaImport.h"
#include "studio/project/MediaItems.h"
#include "studio/project/ui/MediaLibraryModel.h"
#include "studio/shell/TimelineEditor.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kMaxPlace = 16384;  // output pixels either way of the frame

}  // namespace

StickerPage::StickerPage(TimelineEditor& editor, MediaLibrary& library, IPrompt& prompt, QWidget* parent)
    : QWidget(parent), editor_(editor), library_(library), prompt_(prompt)
{
    setObjectName("StickerPage");
    pictures_ = new QListWidget(this);
    pictures_->setObjectName("StickerPictures");
    pictures_->setViewMode(QListView::IconMode);
    pictures_->setIconSize(QSize(100, 90));
    pictures_->setGridSize(QSize(124, 124));
    pictures_->setResizeMode(QListView::Adjust);
    pictures_->setMovement(QListView::Static);
    pictures_->setWordWrap(true);
    pictures_->setSelectionMode(QAbstractItemView::SingleSelection);
    empty_ = new QLabel(this);
    empty_->setObjectName("StickerEmpty");
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    empty_->setMargin(24);
    QPalette hint = empty_->palette();
    hint.setColor(QPalette::WindowText, hint.color(QPalette::PlaceholderText));
    empty_->setPalette(hint);

    import_ = new QPushButton(this);
    add_ = new QPushButton(this);
    change_ = new QPushButton(this);
    remove_ = new QPushButton(this);
    for (QPushButton* b : {import_, add_, change_, remove_})
        b->setAutoDefault(false);

    properties_ = new QGroupBox(this);
    xLabel_ = new QLabel(this);
    yLabel_ = new QLabel(this);
    sizeLabel_ = new QLabel(this);
    opacityLabel_ = new QLabel(this);
    frames_ = new QLabel(this);
    x_ = new QSpinBox(this);
    y_ = new QSpinBox(this);
    width_ = new QSpinBox(this);
    height_ = new QSpinBox(this);
    for (QSpinBox* box : {x_, y_})
        box->setRange(-kMaxPlace, kMaxPlace);
    for (QSpinBox* box : {width_, height_})
        box->setRange(1, kMaxPlace);
    opacitySlider_ = new QSlider(Qt::Horizontal, this);
    opacitySlider_->setRange(0, 255);
    opacity_ = new QSpinBox(this);
    opacity_->setRange(0, 255);
    x_->setObjectName("StickerX");
    y_->setObjectName("StickerY");
    width_->setObjectName("StickerWidth");
    height_->setObjectName("StickerHeight");
    opacity_->setObjectName("StickerOpacity");

    connect(import_, &QPushButton::clicked, this, [this] {
        const QStringList files = QFileDialog::getOpenFileNames(this, S(21), QString(), QtFileFilters(kPictureFileChoices));
        if (!files.isEmpty())
            ImportFiles(files);
    });
    connect(add_, &QPushButton::clicked, this, &StickerPage::AddSticker);
    connect(pictures_, &QListWidget::itemDoubleClicked, this, &StickerPage::AddSticker);
    connect(change_, &QPushButton::clicked, this, &StickerPage::ChangeSticker);
    connect(remove_, &QPushButton::clicked, this, &StickerPage::RemoveSticker);
    connect(x_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](StickerOp& op) { op.rcDest[0] = v; }); });
    connect(y_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](StickerOp& op) { op.rcDest[1] = v; }); });
    connect(width_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](StickerOp& op) { op.rcDest[2] = v; }); });
    connect(height_, &QSpinBox::valueChanged, this, [this](int v) { Edit([&](StickerOp& op) { op.rcDest[3] = v; }); });
    connect(opacity_, &QSpinBox::valueChanged, this, [this](int v) {
        if (opacitySlider_->value() != v)
            opacitySlider_->setValue(v);
        Edit([&](StickerOp& op) { op.nAlpha = v; });
    });
    connect(opacitySlider_, &QSlider::valueChanged, opacity_, &QSpinBox::setValue);
    connect(opacitySlider_, &QSlider::sliderReleased, this, &StickerPage::EndGesture);
    for (QSpinBox* box : {x_, y_, width_, height_, opacity_})
        connect(box, &QSpinBox::editingFinished, this, &StickerPage::EndGesture);

    auto* place = new QHBoxLayout;
    place->addWidget(x_);
    place->addWidget(yLabel_);
    place->addWidget(y_);
    place->addStretch();
    auto* size = new QHBoxLayout;
    size->addWidget(width_);
    size->addWidget(new QLabel("×", this));
    size->addWidget(height_);
    size->addStretch();
    auto* opacity = new QHBoxLayout;
    opacity->addWidget(opacitySlider_, 1);
    opacity->addWidget(opacity_);
    auto* form = new QFormLayout(properties_);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(xLabel_, place);
    form->addRow(sizeLabel_, size);
    form->addRow(opacityLabel_, opacity);
    form->addRow(QString(), frames_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(import_);
    buttons->addStretch();
    buttons->addWidget(add_);
    buttons->addWidget(change_);
    buttons->addWidget(remove_);
    auto* shelf = new QStackedLayout;
    shelf->addWidget(pictures_);
    shelf->addWidget(empty_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(buttons);
    layout->addLayout(shelf, 1);
    layout->addWidget(properties_);

    Retranslate();
    Refresh();
    SelectionChanged();
}

void StickerPage::Retranslate()
{
    import_->setText(S(21));
    add_->setText(S(20));
    change_->setText(QStringLiteral("Change"));
    change_->setToolTip(S(106));
    remove_->setText(S(22));
    xLabel_->setText(S(120) + ":");
    yLabel_->setText(S(121) + ":");
    sizeLabel_->setText(S(25) + ":");
    opacityLabel_->setText(S(80) + ":");
    empty_->setText(QStringLiteral("The media library has no pictures yet.\nClick \"%1\" to bring in pictures; "
                                   "an animated GIF keeps playing over the scenes.")
                        .arg(S(21)));
    pictures_->setAccessibleName(S(100));
    SelectionChanged();
}

void StickerPage::Refresh()
{
    const int chosen = ChosenEntry();
    pictures_->clear();
    entries_.clear();
    for (size_t i = 0; i < library_.Count(); ++i) {
        const LibraryEntry& e = library_.Entry(i);
        if (e.item.nKind != MEDIA_PICTURE || e.item.bRemoved)
            continue;
        QPixmap thumbnail;
        thumbnail.loadFromData(e.thumbnail.data(), uint(e.thumbnail.size()));
        auto* row = new QListWidgetItem(QIcon(thumbnail), QString::fromUtf8(e.item.szName) + QString::fromUtf8(e.item.szExt));
        row->setToolTip(QString::fromUtf8(e.item.szPath));
        pictures_->addItem(row);
        if (int(i) == chosen)
            pictures_->setCurrentItem(row);
        entries_.push_back(i);
    }
    static_cast<QStackedLayout*>(static_cast<QVBoxLayout*>(layout())->itemAt(1)->layout())
        ->setCurrentIndex(entries_.empty() ? 1 : 0);
}

int StickerPage::ChosenEntry() const
{
    const int row = pictures_->currentRow();
    if (row < 0 || size_t(row) >= entries_.size() || pictures_->selectedItems().isEmpty())
        return -1;
    return int(entries_[size_t(row)]);
}

int StickerPage::ImportFiles(const QStringList& files)
{
    std::vector<ImportedFile> made;
    QStringList refused;
    for (const QString& file : files) {
        const QByteArray path = file.toUtf8();
        ImportedFile f;
        if (MediaKindOf(path.constData()) == MEDIA_PICTURE && CreateMediaItem(path.constData(), f.item, f.thumbnail))
            made.push_back(std::move(f));
        else
            refused << QFileInfo(file).fileName();
    }
    const int added = int(made.size());
    const bool stored = AddImported(library_, std::move(made));
    if (added > 0) {
        Refresh();
        pictures_->setCurrentRow(pictures_->count() - 1);
        emit libraryChanged();
    }
    if (!refused.isEmpty())
        prompt_.Show(QStringLiteral("These files could not be read as pictures:\n%1").arg(refused.join('\n')).toStdString(),
                     Str(0), kPromptWarning, kPromptOk);
    else if (!stored)
        prompt_.Show(("The media library could not be saved to " + library_.Path()).c_str(), Str(0), kPromptWarning,
                     kPromptOk);
    return added;
}

StickerOp* StickerPage::Target() const
{
    return editor_.TargetKind() == OBJ_PICTURE ? static_cast<StickerOp*>(editor_.TargetRecord()) : nullptr;
}

void StickerPage::Note(int text) { prompt_.Show(Str(text), Str(0), kPromptInformation, kPromptOk); }

bool StickerPage::OpenChosen(StickerOp& op)
{
    const int entry = ChosenEntry();
    const char* path = library_.Entry(size_t(entry)).item.szPath;
    std::memset(op.szPath, 0, sizeof op.szPath);
    // Library paths always fit: an item is never made of a longer one.
    std::memcpy(op.szPath, path, strnlen(path, sizeof op.szPath - 1));
    std::string why;
    if (!OpenStickerPicture(op, &why)) {
        prompt_.Show("The picture could not be opened: " + std::string(path) + (why.empty() ? "" : "\n" + why), Str(0),
                     kPromptWarning, kPromptOk);
        return false;
    }
    return true;
}

// A picture larger than half the frame comes in at half the frame, its shape kept.
void StickerPage::FitInFrame(StickerOp& op) const
{
    const ProjectHeader& h = editor_.Model().header;
    int w = std::max(1, int(op.nWidth)), hh = std::max(1, int(op.nHeight));
    const int maxW = std::max(16, h.nWidth / 2), maxH = std::max(16, h.nHeight / 2);
    if (w > maxW || hh > maxH) {
        const double k = std::min(double(maxW) / w, double(maxH) / hh);
        w = std::max(1, int(w * k));
        hh = std::max(1, int(hh * k));
    }
    op.rcDest[2] = w;
    op.rcDest[3] = hh;
}

bool StickerPage::AddSticker()
{
    EndGesture();
    if (ChosenEntry() < 0) {
        Note(83);
        return false;
    }
    StickerOp* op = new (std::nothrow) StickerOp();
    if (!op)
        return false;
    if (!OpenChosen(*op)) {
        delete op;
        return false;
    }
    FitInFrame(*op);
    // The editor places it at (10, 50) and takes the record (freeing it if refused).
    const bool added = editor_.AddObject(OBJ_PICTURE, op);
    SelectionChanged();
    return added;
}

bool StickerPage::ChangeSticker()
{
    EndGesture();
    StickerOp* target = Target();
    if (!target || ChosenEntry() < 0) {
        Note(106);
        return false;
    }
    // The new picture is opened first, so that a file that fails leaves the object
    // as it was.
    StickerOp fresh = *target;
    fresh.hImage = nullptr;
    fresh.pDelays = nullptr;
    if (!OpenChosen(fresh))
        return false;
    emit holdPreview();
    editor_.HoldForRecordEdit();
    const int alpha = target->nAlpha;
    CloseStickerPicture(*target);
    std::memcpy(target->szPath, fresh.szPath, sizeof target->szPath);
    target->hImage = fresh.hImage;
    target->pDelays = fresh.pDelays;
    target->nFrameCount = fresh.nFrameCount;
    target->nWidth = fresh.nWidth;
    target->nHeight = fresh.nHeight;
    target->nCurFrame = 0;
    target->nElapsed = 0;
    target->nFrameDelay = 0;
    target->nAlpha = alpha;
    FitInFrame(*target);
    editor_.RecordEdited(true);
    SelectionChanged();
    return true;
}

bool StickerPage::RemoveSticker()
{
    EndGesture();
    if (!Target()) {
        Note(146);
        return false;
    }
    const bool removed = editor_.DeleteSelected();
    SelectionChanged();
    return removed;
}

template <typename Change>
void StickerPage::Edit(Change change)
{
    if (filling_)
        return;
    if (StickerOp* op = Target()) {
        editor_.HoldForRecordEdit();
        change(*op);
        editing_ = true;
        editor_.RecordEdited(false);
    }
}

void StickerPage::EndGesture()
{
    if (!editing_)
        return;
    editing_ = false;
    editor_.RecordEdited(true);
}

void StickerPage::SelectionChanged()
{
    EndGesture();
    const StickerOp* op = Target();
    filling_ = true;
    if (op) {
        x_->setValue(op->rcDest[0]);
        y_->setValue(op->rcDest[1]);
        width_->setValue(op->rcDest[2]);
        height_->setValue(op->rcDest[3]);
        opacity_->setValue(op->nAlpha);
        opacitySlider_->setValue(op->nAlpha);
        frames_->setText(QStringLiteral("%1 × %2, %3 %4")
                             .arg(op->nWidth)
                             .arg(op->nHeight)
                             .arg(op->nFrameCount)
                             .arg(op->nFrameCount == 1 ? QStringLiteral("frame") : QStringLiteral("frames")));
        frames_->setToolTip(QString::fromUtf8(op->szPath));
        properties_->setTitle(QFileInfo(QString::fromUtf8(op->szPath)).fileName());
    } else {
        properties_->setTitle(QString());
        frames_->clear();
        frames_->setToolTip(QString());
    }
    filling_ = false;
    properties_->setEnabled(op != nullptr);
}

}  // namespace studio
}  // namespace zolvex
