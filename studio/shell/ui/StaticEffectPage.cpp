#include "studio/shell/ui/StaticEffectPage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <new>

#include "studio/shell/ui/UiText.h"
#include "filter/effects/fTavEffect.h"
#include "studio/project/ProjectRecords.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/ProgramPictures.h"

namespace zolvex {
namespace studio {

namespace {

typedef unsigned char uchar;

// The page's few texts that the numbered table does not hold.
QString Own(const char* english, const char* chinese)
{
    return QString::fromUtf8(Strings().CurrentLanguage() == Language::kChinese ? chinese : english);
}

struct FurtherEffect {
    const char* name;
    void (*apply)(CfTavEffect& fx, const uchar* src, uchar* dst);
};

const FurtherEffect kFurther[StaticEffectPage::kFurtherEffectCount] = {
    {"Gauss Blur", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.GaussBlur(s, d); }},
    {"Motion Blur", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.MotionBlur(s, d, 0); }},
    {"Distort", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Distord(s, d); }},
    {"Tile Reflection", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.TileReflection(s, d); }},
    {"Noise", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Noise(s, d); }},
    {"Mosaic", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Mosaic(s, d); }},
    {"Illusion", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Illusion(s, d); }},
    {"Frog", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Frog(s, d); }},
};

QString EntryName(int entry)
{
    if (entry < StaticEffectPage::StaticCount()) {
        const char* name = GetStaticEffectName(entry);
        return name ? QString::fromUtf8(name) : QString::number(entry);
    }
    return QString::fromUtf8(kFurther[entry - StaticEffectPage::StaticCount()].name);
}

// Only brightness, contrast and gamma read the level; each has its own word for it.
int LevelText(int effectId)
{
    switch (effectId) {
    case 0: return 76;  // "Brightness"
    case 1: return 77;  // "Contrast"
    case 2: return 78;  // "Gamma"
    default: return 79; // "Density"
    }
}

bool UsesLevel(int effectId) { return effectId >= 0 && effectId <= 2; }

int PointCount(const tagOPR_EFFECT* effect)
{
    return effect && effect->pValidPolygon ? effect->pValidPolygon->GetSize() : 0;
}

}  // namespace

// ---- the region view -------------------------------------------------------------------

EffectRegionView::EffectRegionView(StaticEffectPage& page, QWidget* parent) : QWidget(parent), page_(page)
{
    setObjectName("EffectRegion");
    setCursor(Qt::CrossCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QSize EffectRegionView::sizeHint() const
{
    const QSize frame = page_.FrameSize();
    return QSize(258, 2 + 256 * frame.height() / std::max(1, frame.width()));
}

QSize EffectRegionView::minimumSizeHint() const { return QSize(162, 122); }

QRect EffectRegionView::FrameRect() const
{
    const QSize frame = page_.FrameSize();
    const QRect area = rect().adjusted(1, 1, -1, -1);
    if (area.isEmpty())
        return QRect();
    const QSize shown = frame.scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - shown.width()) / 2, area.top() + (area.height() - shown.height()) / 2,
                 std::max(1, shown.width()), std::max(1, shown.height()));
}

QPoint EffectRegionView::ToFrame(QPoint widgetPoint) const
{
    const QRect r = FrameRect();
    const QSize frame = page_.FrameSize();
    if (r.isEmpty())
        return QPoint();
    const int x = int((widgetPoint.x() - r.left() + 0.5) * frame.width() / r.width());
    const int y = int((widgetPoint.y() - r.top() + 0.5) * frame.height() / r.height());
    return QPoint(std::clamp(x, 0, frame.width()), std::clamp(y, 0, frame.height()));
}

QPointF EffectRegionView::ToWidget(QPoint framePoint) const
{
    const QRect r = FrameRect();
    const QSize frame = page_.FrameSize();
    return QPointF(r.left() + double(framePoint.x()) * r.width() / std::max(1, frame.width()),
                   r.top() + double(framePoint.y()) * r.height() / std::max(1, frame.height()));
}

QImage EffectRegionView::Preview(const tagOPR_EFFECT* effect, QSize size)
{
    std::vector<int> key = {size.width(), size.height(), effect ? effect->nEffectID : -1, effect ? effect->nLevel : 0};
    for (int i = 0; i < PointCount(effect); ++i) {
        const tagSIZE p = effect->pValidPolygon->GetAt(uint32_t(i));
        key.push_back(p.cx);
        key.push_back(p.cy);
    }
    if (key != previewKey_ || preview_.isNull()) {
        const QImage picture = PaintProgramPicture(ProgramPicture::kSunset, size);
        preview_ = effect ? StaticEffectPage::Apply(picture, effect->nEffectID, effect->nLevel, effect,
                                                    page_.FrameSize())
                          : picture;
        previewKey_ = std::move(key);
    }
    return preview_;
}

void EffectRegionView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Mid));
    const QRect r = FrameRect();
    if (r.isEmpty())
        return;
    const tagOPR_EFFECT* effect = page_.EditedEffect();
    p.drawImage(r.topLeft(), Preview(effect, r.size()));
    if (!effect) {
        p.fillRect(r, QColor(255, 255, 255, 120));
        return;
    }
    const int n = PointCount(effect);
    if (n == 0)
        return;
    QPolygonF outline;
    for (int i = 0; i < n; ++i) {
        const tagSIZE point = effect->pValidPolygon->GetAt(uint32_t(i));
        outline << ToWidget(QPoint(point.cx, point.cy));
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(r.adjusted(-4, -4, 4, 4));
    // A dark line under a light one reads on any picture.
    for (const QPen& pen : {QPen(QColor(0, 0, 0, 170), 3.0), QPen(QColor(255, 236, 90), 1.2)}) {
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        if (n >= 3)
            p.drawPolygon(outline);
        else
            p.drawPolyline(outline);
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(30, 30, 30));
    for (int i = 0; i < n; ++i) {
        p.setBrush(i == n - 1 ? QColor(255, 236, 90) : QColor(255, 255, 255));
        p.drawRect(QRectF(outline[i].x() - 2.5, outline[i].y() - 2.5, 5, 5));
    }
}

void EffectRegionView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && FrameRect().contains(event->position().toPoint()) &&
        page_.AddOutlinePoint(ToFrame(event->position().toPoint()))) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

// ---- the page ----------------------------------------------------------------------------

int StaticEffectPage::StaticCount() { return GetStaticEffectCount(); }

QImage StaticEffectPage::Apply(const QImage& picture, int effectId, int level, const tagOPR_EFFECT* outline,
                               QSize frameSize)
{
    std::vector<uchar> src = FrameFromImage(picture);
    if (src.empty())
        return QImage();
    // Gray writes only the pixels it changes: the rest must already be the picture.
    std::vector<uchar> dst = src;
    const int w = picture.width(), h = picture.height();
    CfTavEffect fx;
    const float scale = float(w) / 720.0f;
    fx.InitEffect(tagSIZE{w, h}, scale, scale, level, 3);
    // The outline is in project frame pixels; without one the whole picture is valid.
    if (PointCount(outline) >= 3 && !frameSize.isEmpty())
        fx.SetSrcVideoSize(tagSIZE{frameSize.width(), frameSize.height()});
    const int staticCount = StaticCount();
    if (effectId >= 0 && effectId < staticCount) {
        fx.SetCurEffectID(effectId);
        fx.Effect(src.data(), dst.data(), const_cast<tagOPR_EFFECT*>(outline));
    } else if (effectId >= staticCount && effectId < staticCount + kFurtherEffectCount) {
        fx.UpdateValidRgn(outline);
        kFurther[effectId - staticCount].apply(fx, src.data(), dst.data());
    }
    return ImageFromFrame(dst.data(), w, h);
}

QImage StaticEffectPage::Thumbnail(int entry)
{
    static const QImage sunset = PaintProgramPicture(ProgramPicture::kSunset, QSize(kThumbWidth, kThumbHeight));
    return Apply(sunset, entry, kThumbLevel, nullptr, QSize());
}

StaticEffectPage::StaticEffectPage(TimelineEditor& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("StaticEffectPage");
    items_ = new QListWidget(this);
    items_->setObjectName("EffectList");
    items_->setViewMode(QListView::IconMode);
    items_->setIconSize(QSize(kThumbWidth, kThumbHeight));
    items_->setGridSize(QSize(kThumbWidth + 44, kThumbHeight + 46));
    items_->setResizeMode(QListView::Adjust);
    items_->setMovement(QListView::Static);
    items_->setWordWrap(true);
    items_->setTextElideMode(Qt::ElideNone);
    const int total = StaticCount() + kFurtherEffectCount;
    for (int entry = 0; entry < total; ++entry) {
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(Thumbnail(entry))), EntryName(entry));
        item->setData(Qt::UserRole, entry);
        if (entry >= StaticCount())
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        items_->addItem(item);
    }
    add_ = new QPushButton(this);
    add_->setAutoDefault(false);
    connect(add_, &QPushButton::clicked, this, &StaticEffectPage::AddChosen);
    connect(items_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem*) { AddChosen(); });
    connect(items_, &QListWidget::currentRowChanged, this,
            [this](int row) { add_->setEnabled(row >= 0 && row < StaticCount()); });

    editBox_ = new QGroupBox(this);
    editBox_->setObjectName("EffectEdit");
    effectName_ = new QLabel(editBox_);
    QFont bold = effectName_->font();
    bold.setBold(true);
    effectName_->setFont(bold);
    levelLabel_ = new QLabel(editBox_);
    level_ = new QSlider(Qt::Horizontal, editBox_);
    level_->setObjectName("EffectLevel");
    level_->setRange(0, 100);
    level_->setPageStep(10);
    level_->setTickPosition(QSlider::TicksBelow);
    level_->setTickInterval(10);
    connect(level_, &QSlider::valueChanged, this, &StaticEffectPage::LevelMoved);
    connect(level_, &QSlider::sliderReleased, this, [this] {
        if (EditedEffect())
            editor_.RecordEdited(true);
    });
    regionLabel_ = new QLabel(editBox_);
    regionLabel_->setWordWrap(true);
    region_ = new EffectRegionView(*this, editBox_);
    clear_ = new QPushButton(editBox_);
    clear_->setAutoDefault(false);
    connect(clear_, &QPushButton::clicked, this, &StaticEffectPage::ClearOutline);

    auto* edit = new QVBoxLayout(editBox_);
    edit->addWidget(effectName_);
    edit->addSpacing(4);
    edit->addWidget(levelLabel_);
    edit->addWidget(level_);
    edit->addSpacing(8);
    edit->addWidget(regionLabel_);
    edit->addWidget(region_);
    auto* clearRow = new QHBoxLayout;
    clearRow->addStretch();
    clearRow->addWidget(clear_);
    edit->addLayout(clearRow);
    edit->addStretch();
    editBox_->setFixedWidth(290);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addStretch();
    auto* left = new QVBoxLayout;
    left->addLayout(buttons);
    left->addWidget(items_, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(left, 1);
    layout->addWidget(editBox_);

    items_->setCurrentRow(0);
    Retranslate();
}

void StaticEffectPage::Retranslate()
{
    add_->setText(S(20));
    add_->setAccessibleName(S(20));
    items_->setAccessibleName(S(5));
    editBox_->setTitle(S(27));
    regionLabel_->setText(Own("Outline: click on the picture to add points", "轮廓：在图片上单击添加点"));
    clear_->setText(Own("Clear", "清除"));
    clear_->setAccessibleName(clear_->text());
    const QString preview = Own("Shown as a preview: movies are not drawn with this effect", "仅供预览：影片不使用此效果");
    for (int row = StaticCount(); row < items_->count(); ++row)
        items_->item(row)->setToolTip(EntryName(row) + "\n" + preview);
    for (int row = 0; row < StaticCount() && row < items_->count(); ++row)
        items_->item(row)->setToolTip(EntryName(row));
    SelectionChanged();
}

QSize StaticEffectPage::FrameSize() const
{
    const ProjectHeader& header = editor_.Model().header;
    if (header.nWidth > 0 && header.nHeight > 0)
        return QSize(header.nWidth, header.nHeight);
    return QSize(720, 576);
}

tagOPR_EFFECT* StaticEffectPage::EditedEffect() const
{
    // Only a record the timeline holds right now is edited: the target stays valid
    // exactly as long as it is the selected object's.
    ProjectModel& model = editor_.Model();
    const int object = editor_.SelectedObject();
    if (editor_.TargetKind() != OBJ_EFFECT || !editor_.TargetRecord() || object < 0 ||
        object >= model.ObjectCount() || model.Kind(object) != OBJ_EFFECT || model.Object(object) != editor_.TargetRecord())
        return nullptr;
    tagOPR_EFFECT* effect = static_cast<tagOPR_EFFECT*>(editor_.TargetRecord());
    return IsNullGuid(effect->guidEffect) ? effect : nullptr;
}

void StaticEffectPage::SelectionChanged()
{
    tagOPR_EFFECT* effect = EditedEffect();
    showing_ = true;
    editBox_->setEnabled(effect != nullptr);
    if (effect) {
        const bool known = effect->nEffectID >= 0 && effect->nEffectID < StaticCount();
        effectName_->setText(known ? EntryName(effect->nEffectID) : QString::number(effect->nEffectID));
        level_->setValue(std::clamp(int(effect->nLevel), 0, 100));
        level_->setEnabled(UsesLevel(effect->nEffectID));
        clear_->setEnabled(PointCount(effect) > 0);
        if (known && items_->currentRow() != effect->nEffectID)
            items_->setCurrentRow(effect->nEffectID);
    } else {
        effectName_->setText(QStringLiteral("–"));
        level_->setValue(kNewLevel);
    }
    showing_ = false;
    ShowLevel();
    region_->update();
}

void StaticEffectPage::ShowLevel()
{
    const tagOPR_EFFECT* effect = EditedEffect();
    const int text = LevelText(effect ? effect->nEffectID : -1);
    levelLabel_->setText(QString("%1: %2").arg(S(text)).arg(level_->value()));
}

bool StaticEffectPage::AddChosen()
{
    const int id = items_->currentRow();
    if (id < 0 || id >= StaticCount())
        return false;
    // Zero-filled like every effect record the project frees: no outline, no
    // animation state, an all-zero animation identity.
    tagOPR_EFFECT* op = new (std::nothrow) tagOPR_EFFECT();
    if (!op)
        return false;
    op->nEffectID = id;
    op->nLevel = kNewLevel;
    op->nOverallOpacity = 255;
    const bool added = editor_.AddObject(OBJ_EFFECT, op);
    SelectionChanged();
    return added;
}

void StaticEffectPage::LevelMoved(int value)
{
    if (showing_)
        return;
    tagOPR_EFFECT* effect = EditedEffect();
    if (!effect || effect->nLevel == value) {
        ShowLevel();
        return;
    }
    editor_.HoldForRecordEdit();
    effect->nLevel = value;
    // A drag keeps one undo step, at its release; a key press is a gesture of its own.
    editor_.RecordEdited(!level_->isSliderDown());
    ShowLevel();
    region_->update();
}

bool StaticEffectPage::AddOutlinePoint(QPoint framePoint)
{
    tagOPR_EFFECT* effect = EditedEffect();
    if (!effect)
        return false;
    const QSize frame = FrameSize();
    const tagSIZE point{std::clamp(framePoint.x(), 0, frame.width()), std::clamp(framePoint.y(), 0, frame.height())};
    editor_.HoldForRecordEdit();
    if (!effect->pValidPolygon)
        effect->pValidPolygon = new (std::nothrow) TrackPoints(kPointBlock);
    if (!effect->pValidPolygon || effect->pValidPolygon->Add(point) < 0) {
        editor_.RecordEdited(false);  // nothing changed, but the filter must be let go again
        return false;
    }
    editor_.RecordEdited(true);
    clear_->setEnabled(true);
    region_->update();
    return true;
}

bool StaticEffectPage::ClearOutline()
{
    tagOPR_EFFECT* effect = EditedEffect();
    if (PointCount(effect) == 0)
        return false;
    // The emptied list stays: the record keeps its outline list, as a loaded one does.
    editor_.HoldForRecordEdit();
    effect->pValidPolygon->RemoveAll();
    editor_.RecordEdited(true);
    clear_->setEnabled(false);
    region_->update();
    return true;
}

}  // namespace studio
}  // namespace zolvex
