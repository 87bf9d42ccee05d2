#include "studio/maker/ui/EffectMakerWindow.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDial>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstring>

#include "studio/shell/StringTable.h"
#include "studio/shell/ui/ProgramPictures.h"

namespace zolvex {
namespace studio {

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

// An image as 3 bytes a pixel, blue-green-red, rows from the top.
std::vector<uint8_t> TopDownBgr(const QImage& image)
{
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    std::vector<uint8_t> out(size_t(bgr.width()) * size_t(bgr.height()) * 3);
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(&out[size_t(y) * bgr.width() * 3], bgr.constScanLine(y), size_t(bgr.width()) * 3);
    return out;
}

// A frame of an actor (rows from the top, BGRA) as an image.
QImage FrameImage(const tagROMANCE_ACTOR* actor, int frame)
{
    if (!actor || frame < 0 || frame >= actor->nFrames)
        return QImage();
    const tagSIZE size = actor->pFrameSizes->GetAt(uint32_t(frame));
    return QImage(actor->pFrameBits->GetAt(uint32_t(frame)), size.cx, size.cy, size.cx * 4, QImage::Format_ARGB32)
        .copy();
}

QIcon Thumb(const QImage& picture)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(QColor(48, 48, 54));
    if (!picture.isNull()) {
        QPainter p(&pixmap);
        const QImage scaled = picture.scaled(60, 60, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage((64 - scaled.width()) / 2, (64 - scaled.height()) / 2, scaled);
    }
    return QIcon(pixmap);
}

}  // namespace

// ---- the guide-line window ----------------------------------------------------------

GuideLineWindow::GuideLineWindow(EffectMaker& maker, const QImage& picture, QWidget* parent)
    : QDialog(parent), maker_(maker), picture_(picture)
{
    setWindowTitle(U("Draw Guide Line"));
    setFixedSize(700, 470);
    const tagROMANCE_SYMBOL* symbol = maker_.Symbol(maker_.Selected());
    speed_ = new QSlider(Qt::Vertical, this);
    speed_->setObjectName("GuideSpeed");
    speed_->setAccessibleName(U("Guide Speed"));
    speed_->setRange(0, 55);
    speed_->setValue(symbol ? symbol->nGuideSpeed - 5 : 7);
    speed_->setGeometry(520, 70, 30, 200);
    angle_ = new QDial(this);
    angle_->setObjectName("AngleCorrection");
    angle_->setAccessibleName(U("Angle Correction"));
    angle_->setRange(0, 359);
    angle_->setWrapping(true);
    angle_->setValue(symbol ? ((symbol->nAngleCorrection % 360) + 360) % 360 : 0);
    angle_->setGeometry(570, 70, 110, 110);
    auto* speedLabel = new QLabel(U("Speed"), this);
    speedLabel->setGeometry(510, 45, 60, 20);
    auto* angleLabel = new QLabel(U("Angle"), this);
    angleLabel->setGeometry(600, 45, 60, 20);
    clear_ = new QPushButton(U("Clear Guide Line"), this);
    clear_->setObjectName("ClearGuideLine");
    clear_->setAccessibleName(clear_->text());
    clear_->setGeometry(520, 300, 160, 30);
    auto* close = new QPushButton(U("OK"), this);
    close->setGeometry(520, 400, 160, 30);
    connect(speed_, &QSlider::valueChanged, this, [this](int v) { maker_.SetGuideSpeed(v); });
    connect(angle_, &QDial::valueChanged, this, [this](int v) {
        maker_.SetAngleCorrection(v);
        update();
    });
    connect(clear_, &QPushButton::clicked, this, [this] {
        maker_.ClearGuideLine();
        update();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void GuideLineWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect area(QPoint(EffectMaker::kAreaLeft, EffectMaker::kAreaTop),
                     QPoint(EffectMaker::kAreaRight, EffectMaker::kAreaBottom));
    p.fillRect(area, QColor(230, 230, 234));
    p.setPen(QColor(170, 170, 180));
    p.drawRect(area);
    const QRect canvas(EffectMaker::kCanvasLeft, EffectMaker::kCanvasTop, EffectMaker::kPreviewWidth,
                       EffectMaker::kPreviewHeight);
    p.fillRect(canvas, QColor(30, 34, 60));
    if (!picture_.isNull()) {
        const QImage shown = picture_.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage(canvas.center() - QPoint(shown.width() / 2, shown.height() / 2), shown);
    }
    p.setPen(QColor(255, 255, 255, 160));
    p.drawRect(canvas);
    // The recorded points, and an arrow for the angle correction.
    const tagROMANCE_ACTOR* actor = maker_.Actor(maker_.Selected());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 30, 30));
    if (actor)
        for (uint32_t i = 0; i < actor->pGuidePoints->GetSize(); ++i) {
            const tagPOINT pt = actor->pGuidePoints->GetAt(i);
            p.drawEllipse(QPointF(pt.x + EffectMaker::kCanvasLeft, pt.y + EffectMaker::kCanvasTop), 2.0, 2.0);
        }
    const double a = angle_->value() * M_PI / 180.0;
    const QPointF centre(625, 125), tip(centre.x() + 40 * std::sin(a), centre.y() - 40 * std::cos(a));
    p.setPen(QPen(QColor(220, 30, 30), 2));
    p.drawLine(QPointF(625, 230), QPointF(625, 230) + (tip - centre) * 0.6);
}

void GuideLineWindow::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const QRect area(QPoint(EffectMaker::kAreaLeft, EffectMaker::kAreaTop),
                     QPoint(EffectMaker::kAreaRight, EffectMaker::kAreaBottom));
    if (event->button() != Qt::LeftButton || !area.contains(at))
        return;
    // Recording lasts while the button is held; the widget keeps the mouse till then.
    recording_ = true;
    maker_.AddGuidePoint(at.x(), at.y());
    update();
}

void GuideLineWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (recording_ && maker_.AddGuidePoint(event->position().toPoint().x(), event->position().toPoint().y()))
        update();
}

void GuideLineWindow::mouseReleaseEvent(QMouseEvent*) { recording_ = false; }

// ---- the maker window ---------------------------------------------------------------

EffectMakerWindow::EffectMakerWindow(const std::string& dataFolder, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), library_(dataFolder)
{
    setObjectName("EffectMakerWindow");
    setWindowTitle(U("Make Animation Effects"));
    resize(1060, 640);
    library_.Load();
    background_ = TopDownBgr(PaintProgramPicture(ProgramPicture::kSunset, QSize(320, 240)));

    // The symbol library.
    auto* libraryBox = new QGroupBox(U("Symbol Library"));
    libraryList_ = new QListWidget;
    libraryList_->setObjectName("SymbolLibrary");
    libraryList_->setViewMode(QListView::IconMode);
    libraryList_->setIconSize(QSize(64, 64));
    libraryList_->setGridSize(QSize(78, 78));
    libraryList_->setResizeMode(QListView::Adjust);
    libraryList_->setMovement(QListView::Static);
    auto* importButton = new QPushButton(U("Import Pictures…"));
    importButton->setAccessibleName(U("Import Pictures"));
    auto* addButton = new QPushButton(U("Add Symbol"));
    addButton->setAccessibleName(addButton->text());
    auto* libraryColumn = new QVBoxLayout(libraryBox);
    libraryColumn->addWidget(libraryList_, 1);
    auto* libraryButtons = new QHBoxLayout;
    libraryButtons->addWidget(importButton);
    libraryButtons->addWidget(addButton);
    libraryColumn->addLayout(libraryButtons);

    // The preview and the effect's symbols.
    preview_ = new QLabel;
    preview_->setObjectName("MakerPreview");
    preview_->setFixedSize(EffectMaker::kPreviewWidth, EffectMaker::kPreviewHeight);
    strip_ = new QListWidget;
    strip_->setObjectName("EffectSymbols");
    strip_->setViewMode(QListView::IconMode);
    strip_->setFlow(QListView::LeftToRight);
    strip_->setWrapping(false);
    strip_->setIconSize(QSize(64, 64));
    strip_->setFixedHeight(96);
    strip_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* removeButton = new QPushButton(U("Remove Symbol"));
    removeButton->setAccessibleName(removeButton->text());
    auto* saveButton = new QPushButton(U("Save Effect File"));
    saveButton->setAccessibleName(saveButton->text());
    auto* closeButton = new QPushButton(U("Close"));
    closeButton->setObjectName("CloseMaker");
    closeButton->setAccessibleName(U("Close Maker"));
    auto* middle = new QVBoxLayout;
    middle->addWidget(preview_, 0, Qt::AlignHCenter);
    middle->addWidget(new QLabel(U("Symbols of the effect")));
    middle->addWidget(strip_);
    auto* middleButtons = new QHBoxLayout;
    middleButtons->addWidget(removeButton);
    middleButtons->addStretch(1);
    middleButtons->addWidget(saveButton);
    middleButtons->addWidget(closeButton);
    middle->addLayout(middleButtons);
    middle->addStretch(1);

    // The selected symbol's properties and placement.
    auto* properties = new QGroupBox(U("Symbol"));
    auto* form = new QFormLayout(properties);
    sliders_.assign(kSymbolPropertyCount, nullptr);
    values_.assign(kSymbolPropertyCount, nullptr);
    for (int k = 0; k < kSymbolPropertyCount; ++k) {
        const SymbolProperty p = SymbolProperty(k);
        if (p == SymbolProperty::kSpecialMotion) {
            motion_ = new QComboBox;
            motion_->setObjectName("SpecialMotion");
            for (const std::string& name : SpecialMotionNames())
                motion_->addItem(QString::fromStdString(name));
            motion_->setAccessibleName(U(PropertyInfo(p).label));
            connect(motion_, &QComboBox::currentIndexChanged, this, [this](int v) {
                if (!showing_)
                    maker_.SetProperty(SymbolProperty::kSpecialMotion, v);
            });
            form->addRow(U(PropertyInfo(p).label), motion_);
            continue;
        }
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(0, PropertyInfo(p).maximum);
        slider->setAccessibleName(U(PropertyInfo(p).label));
        auto* value = new QLabel;
        value->setMinimumWidth(44);
        auto* row = new QHBoxLayout;
        row->addWidget(slider, 1);
        row->addWidget(value);
        form->addRow(U(PropertyInfo(p).label), row);
        sliders_[size_t(k)] = slider;
        values_[size_t(k)] = value;
        connect(slider, &QSlider::valueChanged, this, [this, p, value](int v) {
            value->setText(QString::number(PropertyValue(p, v), 'g', 3));
            if (!showing_)
                maker_.SetProperty(p, v);
        });
    }
    auto* modes = new QGroupBox(U("Placement"));
    auto* modeColumn = new QVBoxLayout(modes);
    placementGroup_ = new QButtonGroup(this);
    const char* names[3] = {"Default", "Overlay (Fit Screen)", "Motion Guide Line"};
    for (int k = 0; k < 3; ++k) {
        auto* b = new QRadioButton(U(names[k]));
        b->setAccessibleName(b->text());
        placementGroup_->addButton(b, k);
        placements_.push_back(b);
        modeColumn->addWidget(b);
    }
    guide_ = new QPushButton(U("Draw Guide Line"));
    guide_->setAccessibleName(guide_->text());
    modeColumn->addWidget(guide_);
    connect(placementGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        maker_.SetPlacement(Placement(id), motion_->currentIndex());
        EnableControls();
    });
    auto* right = new QVBoxLayout;
    right->addWidget(properties);
    right->addWidget(modes);
    right->addStretch(1);

    auto* columns = new QHBoxLayout(this);
    columns->addWidget(libraryBox, 3);
    columns->addLayout(middle, 4);
    columns->addLayout(right, 4);

    connect(importButton, &QPushButton::clicked, this, [this] { ImportPictures(); });
    connect(addButton, &QPushButton::clicked, this, [this] { AddSymbol(); });
    connect(libraryList_, &QListWidget::itemDoubleClicked, this, [this] { AddSymbol(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { RemoveSymbols(); });
    connect(saveButton, &QPushButton::clicked, this, [this] { SaveEffect(); });
    connect(closeButton, &QPushButton::clicked, this, [this] { reject(); });
    connect(guide_, &QPushButton::clicked, this, [this] { DrawGuideLine(); });
    connect(strip_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (showing_)
            return;
        maker_.Select(row);
        ShowSelected();
    });

    timer_ = new QTimer(this);
    timer_->setInterval(kPreviewMs);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_->start();
    RefreshLibrary();
    RefreshStrip();
    Tick();
}

EffectMakerWindow::~EffectMakerWindow() { timer_->stop(); }

void EffectMakerWindow::RefreshLibrary()
{
    const int row = libraryList_->currentRow();
    libraryList_->clear();
    for (int i = 0; i < library_.Count(); ++i) {
        QImage first;
        if (!library_.At(i).empty()) {
            std::vector<uint8_t> bgra;
            int w = 0, h = 0;
            if (SymbolLibrary::Decode(library_.At(i)[0], &bgra, &w, &h))
                first = QImage(bgra.data(), w, h, w * 4, QImage::Format_ARGB32).copy();
        }
        new QListWidgetItem(Thumb(first), QString::number(i + 1), libraryList_);
    }
    if (row >= 0 && row < libraryList_->count())
        libraryList_->setCurrentRow(row);
}

QImage EffectMakerWindow::SymbolPicture(int symbol) const
{
    const tagROMANCE_SYMBOL* s = maker_.Symbol(symbol);
    if (!s)
        return QImage();
    return FrameImage(maker_.Actor(s->nImageSource >= 0 ? s->nImageSource : symbol), 0);
}

void EffectMakerWindow::RefreshStrip()
{
    showing_ = true;
    strip_->clear();
    for (int i = 0; i < maker_.Symbols(); ++i)
        new QListWidgetItem(Thumb(SymbolPicture(i)), QString::number(i + 1), strip_);
    strip_->setCurrentRow(maker_.Selected());
    showing_ = false;
    ShowSelected();
}

void EffectMakerWindow::ShowSelected()
{
    const tagROMANCE_SYMBOL* s = maker_.Symbol(maker_.Selected());
    showing_ = true;
    if (s) {
        for (int k = 0; k < kSymbolPropertyCount; ++k)
            if (sliders_[size_t(k)])
                sliders_[size_t(k)]->setValue(PropertyPosition(SymbolProperty(k), *s));
        motion_->setCurrentIndex(PropertyPosition(SymbolProperty::kSpecialMotion, *s));
        placements_[size_t(maker_.PlacementOf(maker_.Selected()))]->setChecked(true);
    }
    showing_ = false;
    EnableControls();
}

void EffectMakerWindow::EnableControls()
{
    const bool any = maker_.Symbol(maker_.Selected()) != nullptr;
    const Placement placement = maker_.PlacementOf(maker_.Selected());
    for (int k = 0; k < kSymbolPropertyCount; ++k) {
        const bool on = any && EffectMaker::PropertyEnabled(SymbolProperty(k), placement);
        QWidget* control = sliders_[size_t(k)] ? static_cast<QWidget*>(sliders_[size_t(k)]) : motion_;
        control->setEnabled(on);
    }
    for (QRadioButton* b : placements_)
        b->setEnabled(any);
    guide_->setEnabled(true);
}

bool EffectMakerWindow::ImportPictures()
{
    const QString filter = U("Pictures (*.jpg *.jpeg *.gif *.bmp *.png *.tga *.tif *.tiff *.pcx);;JPEG (*.jpg *.jpeg);;"
                             "GIF (*.gif);;BMP (*.bmp);;PNG (*.png);;TGA (*.tga);;TIFF (*.tif *.tiff);;PCX (*.pcx)");
    const QStringList files = pictures_ ? pictures_()
                                        : QFileDialog::getOpenFileNames(this, U("Import Pictures"), QString(), filter);
    if (files.isEmpty())
        return false;
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    timer_->stop();
    const bool added = library_.Import(paths);
    RefreshLibrary();
    if (added)
        libraryList_->setCurrentRow(library_.Count() - 1);
    timer_->start();
    return added;
}

bool EffectMakerWindow::AddSymbol()
{
    const int index = libraryList_->currentItem() ? libraryList_->currentRow() : -1;
    if (!maker_.AddSymbol(index, library_, prompt_))
        return false;
    RefreshStrip();
    return true;
}

void EffectMakerWindow::RemoveSymbols()
{
    std::vector<int> rows;
    for (const QModelIndex& i : strip_->selectionModel()->selectedIndexes())
        rows.push_back(i.row());
    if (rows.empty())
        return;
    maker_.RemoveSymbols(rows);
    RefreshStrip();
}

void EffectMakerWindow::DrawGuideLine()
{
    if (maker_.Symbols() == 0) {
        prompt_.Show("Please add an animation symbol first.", Str(0), kPromptInformation, kPromptOk);
        return;
    }
    if (maker_.Selected() < 0)
        maker_.Select(0);
    maker_.SetPlacement(Placement::kGuideLine);
    ShowSelected();
    GuideLineWindow window(maker_, SymbolPicture(maker_.Selected()), this);
    window.exec();
}

bool EffectMakerWindow::SaveEffect()
{
    const QString path = save_ ? save_()
                               : QFileDialog::getSaveFileName(this, U("Save Effect File"), QString(),
                                                              U("Animation effects (*.arf)"));
    if (path.isEmpty())
        return false;
    if (!maker_.Save(path.toStdString())) {
        prompt_.Show("The animation effect could not be written to " + path.toStdString() + ".", Str(0),
                     kPromptError, kPromptOk);
        return false;
    }
    return true;
}

void EffectMakerWindow::Tick()
{
    const std::vector<uint8_t> frame = maker_.PreviewFrame(background_);
    preview_->setPixmap(QPixmap::fromImage(QImage(frame.data(), EffectMaker::kPreviewWidth,
                                                  EffectMaker::kPreviewHeight, EffectMaker::kPreviewWidth * 3,
                                                  QImage::Format_BGR888)
                                               .copy()));
    // Once a second the library and the strip are drawn again.
    ticks_ = ticks_ >= 100 ? 0 : ticks_ + 1;
    if (ticks_ % 10 == 0) {
        libraryList_->viewport()->update();
        strip_->viewport()->update();
    }
}

bool EffectMakerWindow::ConfirmClose()
{
    if (closing_)
        return true;
    if (maker_.AsksOnClose() &&
        prompt_.Show("Do you want to save this animation effect?", Str(0), kPromptQuestion, kPromptYesNo) ==
            kAnswerYes)
        SaveEffect();
    closing_ = true;
    timer_->stop();
    return true;
}

void EffectMakerWindow::closeEvent(QCloseEvent* event)
{
    ConfirmClose();
    QDialog::closeEvent(event);
}

void EffectMakerWindow::reject()
{
    ConfirmClose();
    QDialog::reject();
}

}  // namespace studio
}  // namespace zolvex
