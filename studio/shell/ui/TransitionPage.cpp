#include "studio/shell/ui/TransitionPage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <ctime>

#include "studio/shell/ui/UiText.h"
#include "filter/transitions/fTavTransition.h"
#include "studio/shell/TimelineEditor.h"
#include "studio/shell/ui/ProgramPictures.h"

namespace zolvex {
namespace studio {

namespace {

// The two thumbnail pictures as engine frames, painted once.
const std::vector<unsigned char>& ThumbFrame(ProgramPicture which)
{
    static const std::vector<unsigned char> sunset = FrameFromImage(
        PaintProgramPicture(ProgramPicture::kSunset, QSize(TransitionPage::kThumbWidth, TransitionPage::kThumbHeight)));
    static const std::vector<unsigned char> field = FrameFromImage(
        PaintProgramPicture(ProgramPicture::kField, QSize(TransitionPage::kThumbWidth, TransitionPage::kThumbHeight)));
    return which == ProgramPicture::kSunset ? sunset : field;
}

QString TransitionName(int id)
{
    const char* name = GetTransitionName(id);
    return name ? QString::fromUtf8(name) : QString("Transition %1").arg(id);
}

}  // namespace

QImage TransitionPage::Thumbnail(int id, double progress)
{
    const std::vector<unsigned char>& first = ThumbFrame(ProgramPicture::kSunset);
    const std::vector<unsigned char>& second = ThumbFrame(ProgramPicture::kField);
    std::vector<unsigned char> out(first.size());
    CfTavTransition transition;
    transition.InitTransfer(tagSIZE{kThumbWidth, kThumbHeight}, 3, 1.0);
    transition.SetCurTransferTime(std::clamp(progress, 0.0, 1.0));
    transition.SetCurTransferID(id);
    transition.Transfer(first.data(), second.data(), out.data());
    return ImageFromFrame(out.data(), kThumbWidth, kThumbHeight);
}

TransitionPage::TransitionPage(TimelineEditor& editor, QWidget* parent) : QWidget(parent), editor_(editor)
{
    setObjectName("TransitionPage");
    items_ = new QListWidget(this);
    items_->setObjectName("TransitionList");
    items_->setViewMode(QListView::IconMode);
    items_->setIconSize(QSize(kThumbWidth, kThumbHeight));
    items_->setGridSize(QSize(kThumbWidth + 44, kThumbHeight + 46));
    items_->setResizeMode(QListView::Adjust);
    items_->setMovement(QListView::Static);
    items_->setWordWrap(true);
    items_->setTextElideMode(Qt::ElideNone);
    items_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    items_->setMouseTracking(true);
    items_->viewport()->installEventFilter(this);
    const int count = GetTransitionCount();
    for (int id = 1; id <= count; ++id) {
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(Thumbnail(id, 0.5))), TransitionName(id));
        item->setData(Qt::UserRole, id);
        item->setToolTip(TransitionName(id));
        items_->addItem(item);
    }

    add_ = new QPushButton(this);
    random_ = new QPushButton(this);
    sequence_ = new QPushButton(this);
    delete_ = new QPushButton(this);
    for (QPushButton* b : {add_, random_, sequence_, delete_})
        b->setAutoDefault(false);
    current_ = new QLabel(this);
    current_->setObjectName("CurrentTransition");

    loop_ = new QTimer(this);
    loop_->setInterval(kFrameMs);
    connect(loop_, &QTimer::timeout, this, &TransitionPage::AdvanceLoop);
    connect(items_, &QListWidget::entered, this, [this](const QModelIndex& index) { Play(index.row()); });
    connect(items_, &QListWidget::viewportEntered, this, [this] { Play(-1); });
    connect(add_, &QPushButton::clicked, this, &TransitionPage::AddChosen);
    connect(items_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        // A double-click chooses the transition under the pointer even when the
        // selection was made elsewhere.
        if (item && !item->isSelected()) {
            items_->clearSelection();
            item->setSelected(true);
        }
        AddChosen();
    });
    connect(random_, &QPushButton::clicked, this, &TransitionPage::AddRandom);
    connect(sequence_, &QPushButton::clicked, this, &TransitionPage::AddInSequence);
    connect(delete_, &QPushButton::clicked, this, &TransitionPage::DeleteTransitions);
    connect(items_, &QListWidget::itemSelectionChanged, this,
            [this] { add_->setEnabled(!items_->selectedItems().isEmpty()); });

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addWidget(add_);
    buttons->addSpacing(12);
    buttons->addWidget(random_);
    buttons->addWidget(sequence_);
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(current_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(items_, 1);
    add_->setEnabled(false);
    Retranslate();
    SelectionChanged();
}

void TransitionPage::Retranslate()
{
    const std::pair<QPushButton*, int> texts[] = {{add_, 20}, {random_, 133}, {sequence_, 134}, {delete_, 135}};
    for (const auto& [button, n] : texts) {
        button->setText(S(n));
        button->setAccessibleName(S(n));
    }
    items_->setAccessibleName(S(4));
    SelectionChanged();
}

void TransitionPage::SelectionChanged()
{
    ProjectModel& model = editor_.Model();
    const int scene = editor_.SelectedScene();
    if (scene < 0 || scene >= model.SceneCount()) {
        current_->clear();
        return;
    }
    const int id = model.Record(scene).nTransitionID;
    const QString name = id >= 1 && id <= items_->count() ? TransitionName(id) : QStringLiteral("–");
    current_->setText(QString("%1: %2").arg(S(4), name));
    if (id >= 1 && id <= items_->count())
        items_->scrollToItem(items_->item(id - 1));
}

std::vector<int> TransitionPage::Chosen() const
{
    std::vector<int> ids;
    for (int row = 0; row < items_->count(); ++row)
        if (items_->item(row)->isSelected())
            ids.push_back(items_->item(row)->data(Qt::UserRole).toInt());
    return ids;
}

bool TransitionPage::Done(bool changed)
{
    SelectionChanged();
    return changed;
}

bool TransitionPage::AddChosen()
{
    const std::vector<int> ids = Chosen();
    if (ids.empty())
        return false;
    return Done(editor_.SetTransitions(kTransitionsChosen, ids));
}

bool TransitionPage::AddRandom()
{
    return Done(editor_.SetTransitions(kTransitionsRandom, {}, unsigned(std::time(nullptr))));
}

bool TransitionPage::AddInSequence() { return Done(editor_.SetTransitions(kTransitionsInSequence)); }

bool TransitionPage::DeleteTransitions() { return Done(editor_.SetTransitions(kTransitionsNone)); }

void TransitionPage::Play(int row)
{
    if (row == playingRow_)
        return;
    // The thumbnail that played goes back to its still picture.
    if (playingRow_ >= 0 && playingRow_ < items_->count())
        items_->item(playingRow_)->setIcon(QIcon(QPixmap::fromImage(Thumbnail(playingRow_ + 1, 0.5))));
    playingRow_ = row >= 0 && row < items_->count() ? row : -1;
    loopFrame_ = 0;
    if (playingRow_ < 0) {
        loop_->stop();
        return;
    }
    AdvanceLoop();
    loop_->start();
}

void TransitionPage::AdvanceLoop()
{
    if (playingRow_ < 0 || playingRow_ >= items_->count())
        return;
    const double progress = double(loopFrame_) / double(kLoopFrames - 1);
    items_->item(playingRow_)->setIcon(QIcon(QPixmap::fromImage(Thumbnail(playingRow_ + 1, progress))));
    loopFrame_ = (loopFrame_ + 1) % kLoopFrames;
}

bool TransitionPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == items_->viewport() && event->type() == QEvent::Leave)
        Play(-1);
    return QWidget::eventFilter(watched, event);
}

void TransitionPage::hideEvent(QHideEvent* event)
{
    Play(-1);
    QWidget::hideEvent(event);
}

}  // namespace studio
}  // namespace zolvex
