// The media library panel of the Create Video page: Import, Remove and Add to
// Timeline; thumbnails or a detail list; the Picture and Video & Audio pages and the
// five filters; favourites from the context menu; files dropped from a file manager
// are imported like chosen ones. Imports run on a worker; this panel only hears of
// them through queued calls and never waits for it.
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "studio/project/MediaImport.h"
#include "studio/project/MediaLibrary.h"
#include "studio/project/ui/MediaLibraryModel.h"

class QAbstractItemView;
class QComboBox;
class QListView;
class QMimeData;
class QProgressDialog;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTreeView;

namespace zolvex {
namespace studio {

class MediaLibraryPanel : public QWidget, private IImportListener {
    Q_OBJECT
public:
    explicit MediaLibraryPanel(MediaLibrary& library, QWidget* parent = nullptr);
    ~MediaLibraryPanel() override;

    MediaLibraryModel& Model() { return *model_; }
    MediaImport& Import() { return import_; }
    // Imports the files on the worker (the Import button's dialog and drops end here).
    void ImportFiles(const QStringList& files);
    // What a drop from a file manager brings: its local files are imported.
    bool ImportDropped(const QMimeData* mime);
    // An import runs, or files wait for one.
    bool ImportPending() const { return import_.Running() || !queued_.empty(); }
    // Selects the entry in the view, showing its page when it is hidden.
    bool SelectEntry(size_t entry);
    // The library entries selected in the view that shows.
    std::vector<size_t> Selection() const;
    void SetBrowseMode(int detail);
    // The timeline's list commands while the library has the focus: Delete removes
    // the selected entries, Move Left and Move Right step the current entry.
    void RemoveSelected();
    void StepCurrent(int step);
    QComboBox* FilterBox() const { return filter_; }
    QTabBar* PageBar() const { return pages_; }
    QListView* ThumbView() const { return thumbs_; }
    QTreeView* DetailView() const { return details_; }
    void Retranslate();

signals:
    // Add to Timeline with the selected entries (message 1143).
    void addToTimeline(std::vector<size_t> entries);
    // A double-click on an entry: its file in the player.
    void previewRequested(size_t entry);
    // An import ended and its files are in the library.
    void importDone(int added);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnImportProgress(size_t index, size_t count, const std::string& path) override;
    void OnImportFinished(bool cancelled) override;
    void ShowProgress(int index, int count, const QString& path);
    void FinishImport();
    void ChooseFiles();
    void ShowMenu(const QPoint& at);
    QAbstractItemView* CurrentView() const;

    MediaLibrary& library_;
    std::unique_ptr<MediaLibraryModel> model_;
    MediaImport import_;
    QPushButton* importButton_;
    QPushButton* removeButton_;
    QPushButton* addButton_;
    QComboBox* browse_;
    QComboBox* filter_;
    QTabBar* pages_;
    QStackedWidget* views_;
    QListView* thumbs_;
    QTreeView* details_;
    QProgressDialog* progress_ = nullptr;
    std::vector<std::string> queued_;
};

}  // namespace studio
}  // namespace zolvex
