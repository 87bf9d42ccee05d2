#include "studio/maker/ui/AnimationEffectPage.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include "studio/shell/ui/UiText.h"
#include "studio/shell/StudioSettings.h"

namespace zolvex {
namespace studio {

namespace {

// Paints each item's thumbnail straight from the library, so that a further frame
// costs a repaint of the item, not a new icon.
class ThumbnailDelegate : public QStyledItemDelegate {
public:
    ThumbnailDelegate(AnimationLibrary& library, QObject* parent) : QStyledItemDelegate(parent), library_(library) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* view = opt.widget;
        QStyle* style = view ? view->style() : QApplication::style();
        const QRect picture = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, view);
        opt.icon = QIcon();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, view);
        if (const uint8_t* bgr = library_.Thumbnail(index.row())) {
            const QImage image(bgr, AnimationLibrary::kThumbWidth, AnimationLibrary::kThumbHeight,
                               AnimationLibrary::kThumbWidth * 3, QImage::Format_BGR888);
            painter->drawImage(QRect(QPoint(picture.center().x() - AnimationLibrary::kThumbWidth / 2, picture.top()),
                                     QSize(AnimationLibrary::kThumbWidth, AnimationLibrary::kThumbHeight)),
                               image);
        }
    }

private:
    AnimationLibrary& library_;
};

}  // namespace

AnimationEffectPage::AnimationEffectPage(AnimationLibrary& library, IPrompt& prompt, QWidget* parent)
    : QWidget(parent), library_(library), prompt_(prompt)
{
    setObjectName("AnimationEffectPage");
    list_ = new QListWidget(this);
    list_->setObjectName("AnimationEffects");
    list_->setViewMode(QListView::IconMode);
    list_->setIconSize(QSize(AnimationLibrary::kThumbWidth, AnimationLibrary::kThumbHeight));
    list_->setGridSize(QSize(AnimationLibrary::kThumbWidth + 24, AnimationLibrary::kThumbHeight + 40));
    list_->setResizeMode(QListView::Adjust);
    list_->setMovement(QListView::Static);
    list_->setUniformItemSizes(true);
    list_->setWordWrap(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { AddSelected(); });
    list_->setItemDelegate(new ThumbnailDelegate(library_, list_));

    import_ = new QPushButton(this);
    import_->setObjectName("ImportAnimationEffects");
    make_ = new QPushButton(this);
    make_->setObjectName("MakeAnimationEffects");
    remove_ = new QPushButton(this);
    remove_->setObjectName("RemoveAnimationEffect");
    add_ = new QPushButton(this);
    add_->setObjectName("AddAnimationEffect");
    connect(import_, &QPushButton::clicked, this, [this] { Import(); });
    connect(make_, &QPushButton::clicked, this, [this] { emit makeRequested(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(add_, &QPushButton::clicked, this, [this] { AddSelected(); });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {import_, make_, remove_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(add_);
    auto* column = new QVBoxLayout(this);
    column->addLayout(buttons);
    column->addWidget(list_, 1);

    timer_ = new QTimer(this);
    timer_->setInterval(kFrameMs);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_->start();
    Retranslate();
    Refresh();
}

void AnimationEffectPage::Retranslate()
{
    import_->setText(Text("Import Animation Effects", "导入动画效果"));
    make_->setText(Text("Make Animation Effects", "制作动画效果"));
    remove_->setText(S(22));
    add_->setText(S(20));
    for (QPushButton* b : {import_, make_, remove_, add_})
        b->setAccessibleName(b->text());
    for (int i = 0; i < list_->count(); ++i)
        list_->item(i)->setText(QString::fromStdString(library_.Name(i, LanguageSetting())));
}

void AnimationEffectPage::Refresh()
{
    const int selected = list_->currentRow();
    list_->clear();
    for (int i = 0; i < library_.Count(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(library_.Name(i, LanguageSetting())), list_);
        item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
        ShowThumbnail(i);
    }
    if (selected >= 0 && selected < list_->count())
        list_->setCurrentRow(selected);
}

void AnimationEffectPage::ShowThumbnail(int i)
{
    const uint8_t* bgr = library_.Thumbnail(i);
    if (!bgr || i >= list_->count())
        return;
    const QImage picture(bgr, AnimationLibrary::kThumbWidth, AnimationLibrary::kThumbHeight,
                         AnimationLibrary::kThumbWidth * 3, QImage::Format_BGR888);
    list_->item(i)->setIcon(QIcon(QPixmap::fromImage(picture)));
}

void AnimationEffectPage::Tick()
{
    if (!isVisible())
        return;
    // Only the items the user can see move on: a long library costs what is in view.
    const QRect view = list_->viewport()->rect();
    for (int i = 0; i < list_->count() && i < library_.Count(); ++i) {
        const QRect item = list_->visualItemRect(list_->item(i));
        if (library_.ItemFlag(i, 1) != 1 || !item.intersects(view))
            continue;
        library_.NextThumbnailFrame(i);
        list_->viewport()->update(item);
    }
}

int AnimationEffectPage::Import()
{
    const QString title = Text("Import Animation Effects", "导入动画效果");
    const QString filter = Text("Animation effects (*.arf)", "动画效果 (*.arf)");
    const QStringList files =
        chooser_ ? chooser_(title, filter) : QFileDialog::getOpenFileNames(this, title, QString(), filter);
    if (files.isEmpty())
        return 0;
    emit libraryChanging();
    int added = 0;
    for (const QString& file : files)
        added += library_.Import(file.toStdString()) ? 1 : 0;
    Refresh();
    emit libraryChanged();
    return added;
}

bool AnimationEffectPage::RemoveSelected()
{
    const int index = list_->currentItem() ? list_->currentRow() : -1;
    if (index < 0) {  // says there is nothing to remove
        library_.Remove(index, prompt_);
        return false;
    }
    emit libraryChanging();
    const bool removed = library_.Remove(index, prompt_);
    if (removed) {
        Refresh();
        list_->setCurrentRow(-1);
    }
    emit libraryChanged();
    return removed;
}

bool AnimationEffectPage::AddSelected()
{
    const int index = list_->currentItem() ? list_->currentRow() : -1;
    if (index < 0 || index >= library_.Count())
        return false;
    emit addEffect(library_.Guid(index));
    return true;
}

}  // namespace studio
}  // namespace zolvex
