#include "studio/project/ui/MediaLibraryPanel.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "studio/shell/ui/UiText.h"
#include "studio/project/MediaFilters.h"

namespace zolvex {
namespace studio {

namespace {

QPushButton* Button(QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

MediaLibraryPanel::MediaLibraryPanel(MediaLibrary& library, QWidget* parent)
    : QWidget(parent), library_(library), model_(std::make_unique<MediaLibraryModel>(library))
{
    setObjectName("MediaLibrary");
    setAcceptDrops(true);
    importButton_ = Button(this);
    removeButton_ = Button(this);
    addButton_ = Button(this);
    connect(importButton_, &QPushButton::clicked, this, &MediaLibraryPanel::ChooseFiles);
    connect(removeButton_, &QPushButton::clicked, this, &MediaLibraryPanel::RemoveSelected);
    connect(addButton_, &QPushButton::clicked, this, [this] { emit addToTimeline(Selection()); });

    browse_ = new QComboBox(this);
    browse_->addItems({"Thumb", "Detail"});
    browse_->setAccessibleName("Browse Mode");
    connect(browse_, &QComboBox::currentIndexChanged, this, &MediaLibraryPanel::SetBrowseMode);
    filter_ = new QComboBox(this);
    for (int n = 97; n <= 101; ++n)
        filter_->addItem(QString());
    connect(filter_, &QComboBox::currentIndexChanged, this,
            [this](int k) { model_->SetFilter(LibraryFilter(std::max(k, 0))); });

    pages_ = new QTabBar(this);
    pages_->addTab("Picture");
    pages_->addTab("Video && Audio");
    pages_->setCurrentIndex(1);
    pages_->setAccessibleName("Library Page");
    connect(pages_, &QTabBar::currentChanged, this, [this](int k) { model_->SetPage(LibraryPage(std::max(k, 0))); });

    // One model behind both views; the thumbnail grid lays items out in batches so
    // that a large library shows at once.
    thumbs_ = new QListView(this);
    thumbs_->setViewMode(QListView::IconMode);
    thumbs_->setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    thumbs_->setGridSize(QSize(kThumbnailWidth + 24, kThumbnailHeight + 36));
    thumbs_->setUniformItemSizes(true);
    thumbs_->setLayoutMode(QListView::Batched);
    thumbs_->setBatchSize(200);
    thumbs_->setResizeMode(QListView::Adjust);
    thumbs_->setMovement(QListView::Static);
    thumbs_->setWordWrap(true);
    thumbs_->setModel(model_.get());
    details_ = new QTreeView(this);
    details_->setRootIsDecorated(false);
    details_->setUniformRowHeights(true);
    details_->setIconSize(QSize(40, 36));
    details_->setModel(model_.get());
    details_->header()->setStretchLastSection(true);
    details_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(thumbs_), static_cast<QAbstractItemView*>(details_)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->setAccessibleName("Media Library");
        connect(view, &QWidget::customContextMenuRequested, this, &MediaLibraryPanel::ShowMenu);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& i) { emit previewRequested(model_->EntryAt(i.row())); });
    }
    views_ = new QStackedWidget(this);
    views_->addWidget(thumbs_);
    views_->addWidget(details_);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(importButton_);
    buttons->addWidget(removeButton_);
    buttons->addWidget(addButton_);
    buttons->addStretch();
    auto* browseLabel = new QLabel("Browse Mode:", this);
    browseLabel->setBuddy(browse_);
    buttons->addWidget(browseLabel);
    buttons->addWidget(browse_);
    auto* filterLabel = new QLabel(this);
    filterLabel->setObjectName("FilterLabel");
    filterLabel->setBuddy(filter_);
    buttons->addWidget(filterLabel);
    buttons->addWidget(filter_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(pages_);
    layout->addWidget(views_, 1);
    Retranslate();
}

MediaLibraryPanel::~MediaLibraryPanel()
{
    // The worker may still call in: it stops before the panel goes.
    import_.Cancel();
    import_.Wait();
}

void MediaLibraryPanel::Retranslate()
{
    const std::pair<QPushButton*, int> labels[] = {{importButton_, 21}, {removeButton_, 22}, {addButton_, 20}};
    for (const auto& [button, n] : labels) {
        button->setText(S(n));
        button->setAccessibleName(S(n));
    }
    for (int n = 97; n <= 101; ++n)
        filter_->setItemText(n - 97, S(n));
    filter_->setAccessibleName(S(102));
    if (auto* label = findChild<QLabel*>("FilterLabel"))
        label->setText(S(102) + ":");
}

void MediaLibraryPanel::SetBrowseMode(int detail)
{
    if (browse_->currentIndex() != detail)
        browse_->setCurrentIndex(detail);
    views_->setCurrentIndex(detail ? 1 : 0);
}

QAbstractItemView* MediaLibraryPanel::CurrentView() const
{
    return views_->currentIndex() == 1 ? static_cast<QAbstractItemView*>(details_) : thumbs_;
}

std::vector<size_t> MediaLibraryPanel::Selection() const
{
    std::set<int> rows;
    for (const QModelIndex& i : CurrentView()->selectionModel()->selectedIndexes())
        rows.insert(i.row());
    std::vector<size_t> entries;
    for (int row : rows)
        entries.push_back(model_->EntryAt(row));
    return entries;
}

void MediaLibraryPanel::ChooseFiles()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, S(21), QString(), QtFileFilters(kMediaFileChoices));
    if (!files.isEmpty())
        ImportFiles(files);
}

void MediaLibraryPanel::ImportFiles(const QStringList& files)
{
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    if (paths.empty())
        return;
    // Files that come while an import runs are read after it.
    if (import_.Running()) {
        queued_.insert(queued_.end(), paths.begin(), paths.end());
        return;
    }
    if (!import_.Start(std::move(paths), this))
        return;
    if (!progress_) {
        progress_ = new QProgressDialog(this);
        progress_->setWindowTitle(S(21));
        progress_->setMinimumDuration(300);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        connect(progress_, &QProgressDialog::canceled, this, [this] { import_.Cancel(); });
    }
    progress_->setRange(0, int(files.size()));
    progress_->setValue(0);
}

void MediaLibraryPanel::OnImportProgress(size_t index, size_t count, const std::string& path)
{
    // On the worker: the news goes to the panel's own thread.
    const QString file = QString::fromStdString(path);
    QMetaObject::invokeMethod(this, [this, index, count, file] { ShowProgress(int(index), int(count), file); },
                              Qt::QueuedConnection);
}

void MediaLibraryPanel::OnImportFinished(bool)
{
    QMetaObject::invokeMethod(this, [this] { FinishImport(); }, Qt::QueuedConnection);
}

void MediaLibraryPanel::ShowProgress(int index, int count, const QString& path)
{
    if (!progress_)
        return;
    progress_->setMaximum(count);
    progress_->setValue(index);
    progress_->setLabelText(QString("%1 / %2: %3").arg(index + 1).arg(count).arg(path.section('/', -1)));
}

void MediaLibraryPanel::FinishImport()
{
    std::vector<ImportedFile> files = import_.Take();
    const int added = int(files.size());
    AddImported(library_, std::move(files));
    model_->Refresh();
    // The reset also stops the dialog's own timer, which would show it again later
    // for an import that ended sooner than the dialog's delay.
    if (progress_) {
        progress_->reset();
        progress_->hide();
    }
    emit importDone(added);
    if (!queued_.empty()) {
        QStringList next;
        for (const std::string& path : queued_)
            next << QString::fromStdString(path);
        queued_.clear();
        ImportFiles(next);
    }
}

bool MediaLibraryPanel::SelectEntry(size_t entry)
{
    auto select = [this, entry] {
        QAbstractItemView* view = CurrentView();
        for (int row = 0; row < view->model()->rowCount(); ++row)
            if (model_->EntryAt(row) == entry) {
                const QModelIndex at = view->model()->index(row, 0);
                view->selectionModel()->select(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                view->setCurrentIndex(at);
                view->scrollTo(at);
                return true;
            }
        return false;
    };
    if (select())
        return true;
    // Hidden by the page or the filter: the page of sounds with every file shown.
    pages_->setCurrentIndex(1);
    filter_->setCurrentIndex(0);
    return select();
}

void MediaLibraryPanel::RemoveSelected()
{
    const std::vector<size_t> entries = Selection();
    if (entries.empty())
        return;
    for (size_t e : entries)
        library_.Remove(e);
    library_.Store();
    model_->Refresh();
}

void MediaLibraryPanel::StepCurrent(int step)
{
    QAbstractItemView* view = CurrentView();
    const int rows = view->model()->rowCount();
    if (rows == 0)
        return;
    const QModelIndex at = view->currentIndex();
    const int row = std::clamp((at.isValid() ? at.row() : (step > 0 ? -1 : rows)) + step, 0, rows - 1);
    view->setCurrentIndex(view->model()->index(row, 0));
}

void MediaLibraryPanel::ShowMenu(const QPoint& at)
{
    const std::vector<size_t> entries = Selection();
    if (entries.empty())
        return;
    const bool favourite = library_.IsFavourite(entries.front());
    QMenu menu(this);
    QAction* toggle = menu.addAction(favourite ? "Remove from Favorites" : "Add to Favorites");
    QAction* add = menu.addAction(S(20));
    QAction* remove = menu.addAction(S(22));
    QAction* chosen = menu.exec(CurrentView()->viewport()->mapToGlobal(at));
    if (chosen == toggle) {
        for (size_t e : entries)
            library_.SetFavourite(e, !favourite);
        model_->Refresh();
    } else if (chosen == add) {
        emit addToTimeline(entries);
    } else if (chosen == remove) {
        RemoveSelected();
    }
}

void MediaLibraryPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MediaLibraryPanel::dropEvent(QDropEvent* event)
{
    if (ImportDropped(event->mimeData()))
        event->acceptProposedAction();
}

bool MediaLibraryPanel::ImportDropped(const QMimeData* mime)
{
    QStringList files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    ImportFiles(files);
    return !files.isEmpty();
}

void MediaLibraryPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        RemoveSelected();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace studio
}  // namespace zolvex
