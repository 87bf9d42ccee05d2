#include "studio/project/ui/ScreenPage.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "studio/shell/ui/UiText.h"
#include "platform/ReadFile.h"
#include "studio/project/MediaFilters.h"
#include "studio/project/ui/MediaLibraryModel.h"
#include "studio/shell/TimelineEditor.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kShapes = 25;  // nStyle 0–24
// The three parameters turn the surface by degrees on top of its shape's own angles.
const char* const kParamNames[3] = {"Tilt", "Turn", "Bend"};
constexpr double kParamRange = 180.0;

}  // namespace

ScreenPage::ScreenPage(ScreenLibrary& library, std::string folder, QWidget* parent)
    : QWidget(parent), library_(library), folder_(std::move(folder))
{
    setObjectName("ScreenPage");
    items_ = new QListWidget(this);
    items_->setViewMode(QListView::IconMode);
    items_->setIconSize(QSize(120, 90));
    items_->setGridSize(QSize(140, 110));
    items_->setResizeMode(QListView::Adjust);
    items_->setMovement(QListView::Static);
    items_->setAccessibleName(S(3));
    add_ = new QPushButton(this);
    background_ = new QPushButton(this);
    add_->setAutoDefault(false);
    background_->setAutoDefault(false);
    auto send = [this] {
        const int row = items_->currentRow();
        if (row >= 0 && row < library_.Count()) {
            ScreenOp item = library_.Template(row);
            item.pMaskPicture = item.pBackground = nullptr;
            emit addScreenItem(item);
        }
    };
    connect(add_, &QPushButton::clicked, this, send);
    connect(items_, &QListWidget::itemDoubleClicked, this, send);
    connect(background_, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(this, S(141), QString(), QtFileFilters(kPictureFileChoices));
        if (!file.isEmpty())
            AddBackground(file);
    });
    empty_ = new QLabel(this);
    empty_->setObjectName("ScreenEmpty");
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    empty_->setMargin(24);
    QPalette hint = empty_->palette();
    hint.setColor(QPalette::WindowText, hint.color(QPalette::PlaceholderText));
    empty_->setPalette(hint);

    // The selected item's surface.
    surface_ = new QGroupBox(this);
    surface_->setObjectName("SurfaceSetting");
    surfaceTitle_ = new QLabel(surface_);
    QFont bold = surfaceTitle_->font();
    bold.setBold(true);
    surfaceTitle_->setFont(bold);
    shapeLabel_ = new QLabel(surface_);
    shape_ = new QComboBox(surface_);
    shape_->setObjectName("SurfaceShape");
    shape_->setIconSize(QSize(48, 36));
    shapeLabel_->setBuddy(shape_);
    auto* grid = new QGridLayout(surface_);
    grid->addWidget(surfaceTitle_, 0, 0, 1, 3);
    grid->addWidget(shapeLabel_, 1, 0, Qt::AlignRight);
    grid->addWidget(shape_, 1, 1, 1, 2, Qt::AlignLeft);
    for (int i = 0; i < 3; ++i) {
        paramLabels_[i] = new QLabel(surface_);
        sliders_[i] = new QSlider(Qt::Horizontal, surface_);
        sliders_[i]->setRange(int(-kParamRange), int(kParamRange));
        sliders_[i]->setTickPosition(QSlider::TicksBelow);
        sliders_[i]->setTickInterval(45);
        params_[i] = new QDoubleSpinBox(surface_);
        params_[i]->setObjectName(QString("SurfaceParam%1").arg(i));
        params_[i]->setRange(-360.0, 360.0);
        params_[i]->setDecimals(1);
        params_[i]->setSuffix(QStringLiteral("°"));
        paramLabels_[i]->setBuddy(params_[i]);
        grid->addWidget(paramLabels_[i], 2 + i, 0, Qt::AlignRight);
        grid->addWidget(sliders_[i], 2 + i, 1);
        grid->addWidget(params_[i], 2 + i, 2);
        connect(sliders_[i], &QSlider::valueChanged, this, [this, i](int v) {
            if (int(std::lround(params_[i]->value())) != v)
                params_[i]->setValue(v);
        });
        connect(sliders_[i], &QSlider::sliderReleased, this, &ScreenPage::EndGesture);
        connect(params_[i], &QDoubleSpinBox::valueChanged, this, [this, i](double v) {
            const int whole = int(std::lround(std::clamp(v, -kParamRange, kParamRange)));
            if (sliders_[i]->value() != whole) {
                const bool was = filling_;
                filling_ = true;
                sliders_[i]->setValue(whole);
                filling_ = was;
            }
            Edit([&](ScreenOp& op) { op.afParams[i] = float(v); });
        });
        connect(params_[i], &QDoubleSpinBox::editingFinished, this, &ScreenPage::EndGesture);
    }
    grid->setColumnStretch(1, 1);
    connect(shape_, &QComboBox::currentIndexChanged, this, [this](int style) {
        if (style < 0)
            return;
        Edit([&](ScreenOp& op) { op.nStyle = style; });
        EndGesture();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(background_);
    buttons->addStretch();
    shelf_ = new QStackedLayout;
    shelf_->addWidget(items_);
    shelf_->addWidget(empty_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addLayout(shelf_, 1);
    layout->addWidget(surface_);
    Retranslate();
    Refresh();
    SelectionChanged();
}

void ScreenPage::Retranslate()
{
    add_->setText(S(20));
    add_->setAccessibleName(S(20));
    background_->setText(S(141));
    background_->setAccessibleName(S(141));
    surface_->setTitle(S(136));
    surfaceTitle_->setText(S(137));
    shapeLabel_->setText(QStringLiteral("Shape:"));
    for (int i = 0; i < 3; ++i)
        paramLabels_[i]->setText(QString("%1:").arg(kParamNames[i]));
    empty_->setText(QStringLiteral("There are no 3D screen backgrounds yet.\nClick \"%1\" to add a picture; "
                                   "the scene then plays on a 3D surface in front of it.")
                        .arg(S(141)));
}

// Shape n also picks background n of the library, so each entry shows that picture.
void ScreenPage::FillShapes()
{
    const bool was = filling_;
    filling_ = true;
    const int current = shape_->currentIndex();
    shape_->clear();
    for (int style = 0; style < kShapes; ++style) {
        QPixmap picture;
        if (style < library_.Count()) {
            const std::vector<unsigned char>& bytes = library_.Picture(style);
            picture.loadFromData(bytes.data(), uint(bytes.size()));
        }
        if (picture.isNull()) {
            picture = QPixmap(48, 36);
            picture.fill(palette().color(QPalette::Mid));
        }
        shape_->addItem(QIcon(picture.scaled(48, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation)),
                        QString::number(style + 1));
    }
    shape_->setCurrentIndex(current);
    filling_ = was;
}

void ScreenPage::SetEditor(TimelineEditor* editor)
{
    EndGesture();
    editor_ = editor;
    SelectionChanged();
}

ScreenOp* ScreenPage::Target() const
{
    if (!editor_ || editor_->TargetKind() != OBJ_SCREEN3D)
        return nullptr;
    return static_cast<ScreenOp*>(editor_->TargetRecord());
}

template <typename Change>
void ScreenPage::Edit(Change change)
{
    if (filling_)
        return;
    if (ScreenOp* op = Target()) {
        editor_->HoldForRecordEdit();
        change(*op);
        editing_ = true;
        editor_->RecordEdited(false);
    }
}

void ScreenPage::EndGesture()
{
    if (!editing_ || !editor_)
        return;
    editing_ = false;
    editor_->RecordEdited(true);
}

void ScreenPage::SelectionChanged()
{
    EndGesture();
    const ScreenOp* op = Target();
    filling_ = true;
    if (op) {
        shape_->setCurrentIndex(op->nStyle >= 0 && op->nStyle < kShapes ? op->nStyle : -1);
        for (int i = 0; i < 3; ++i) {
            const double v = std::isfinite(op->afParams[i]) ? op->afParams[i] : 0.0;
            params_[i]->setValue(v);
            sliders_[i]->setValue(int(std::lround(std::clamp(v, -kParamRange, kParamRange))));
        }
    }
    filling_ = false;
    surface_->setVisible(op != nullptr);
}

void ScreenPage::Refresh()
{
    items_->clear();
    for (int i = 0; i < library_.Count(); ++i) {
        QPixmap picture;
        const std::vector<unsigned char>& bytes = library_.Picture(i);
        picture.loadFromData(bytes.data(), uint(bytes.size()));
        auto* item = new QListWidgetItem(QIcon(picture.scaled(120, 90, Qt::KeepAspectRatio, Qt::SmoothTransformation)),
                                         QString::number(i + 1));
        item->setToolTip(QString("%1 %2").arg(S(3)).arg(i + 1));
        items_->addItem(item);
    }
    if (library_.Count() > 0 && items_->currentRow() < 0)
        items_->setCurrentRow(0);
    shelf_->setCurrentIndex(library_.Count() > 0 ? 0 : 1);
    add_->setEnabled(library_.Count() > 0);
    FillShapes();
}

bool ScreenPage::AddBackground(const QString& file)
{
    std::vector<unsigned char> bytes;
    if (!ReadRegularFile(file.toLocal8Bit().constData(), uint64_t(64) << 20, bytes) || bytes.empty())
        return false;
    QPixmap check;
    if (!check.loadFromData(bytes.data(), uint(bytes.size())))
        return false;
    ScreenOp templ;
    std::memset(&templ, 0, sizeof templ);
    templ.dEndTime = 5.0;
    const int row = items_->currentRow();
    if (row >= 0 && row < library_.Count())
        templ = library_.Template(row);
    templ.pMaskPicture = templ.pBackground = nullptr;
    if (!library_.Add(std::move(bytes), templ) || !library_.Save(folder_))
        return false;
    Refresh();
    items_->setCurrentRow(library_.Count() - 1);
    return true;
}

}  // namespace studio
}  // namespace zolvex
