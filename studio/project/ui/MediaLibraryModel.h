// The media library as a Qt table: the entries a page and a filter show, with their
// thumbnails (decoded once and cached), the detail columns and the tool tips.
#pragma once

#include <QAbstractTableModel>
#include <QCache>
#include <QPixmap>

#include <vector>

#include "studio/project/MediaLibrary.h"

namespace zolvex {
namespace studio {

enum class LibraryPage { kPicture = 0, kVideoAndAudio = 1 };
enum class LibraryFilter { kAll = 0, kVideo, kAudio, kPicture, kFavourite };

// The texts the studio shows for an entry.
QString EntryDate(const MediaItem& item);
QString EntryDuration(const MediaItem& item);
QString EntryToolTip(const MediaItem& item);
// The studio's file choices (kMediaFileChoices, kPictureFileChoices) in a Qt file
// dialog's words.
QString QtFileFilters(const char* choices);

class MediaLibraryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kName, kDate, kDuration, kFileSize, kSize, kPath, kColumns };

    explicit MediaLibraryModel(MediaLibrary& library, QObject* parent = nullptr);

    void SetPage(LibraryPage page);
    void SetFilter(LibraryFilter filter);
    LibraryPage Page() const { return page_; }
    LibraryFilter Filter() const { return filter_; }
    // The library entry a row shows.
    size_t EntryAt(int row) const { return rows_[size_t(row)]; }
    // Call after the library changed (an import, a removal, a load).
    void Refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool Shows(size_t entry) const;
    QPixmap Thumbnail(size_t entry) const;

    MediaLibrary& library_;
    LibraryPage page_ = LibraryPage::kVideoAndAudio;
    LibraryFilter filter_ = LibraryFilter::kAll;
    std::vector<size_t> rows_;
    mutable QCache<QString, QPixmap> thumbnails_;
};

}  // namespace studio
}  // namespace zolvex
