#include "studio/project/ui/MediaLibraryModel.h"

#include <QIcon>
#include <QStringList>

#include <cmath>

#include "studio/project/MediaFilters.h"

namespace zolvex {
namespace studio {

namespace {

QString HoursMinutesSeconds(double seconds)
{
    const long s = long(std::max(0.0, std::floor(seconds)));
    return QString::asprintf("%02ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
}

bool KnownSize(const MediaItem& item) { return item.nKind != MEDIA_AUDIO && item.nWidth > 0 && item.nHeight > 0; }
bool KnownDuration(const MediaItem& item) { return item.nKind != MEDIA_PICTURE && item.dDuration > 0; }

QString Name(const MediaItem& item)
{
    return QString::fromUtf8(item.szName, int(strnlen(item.szName, sizeof item.szName))) +
           QString::fromUtf8(item.szExt, int(strnlen(item.szExt, sizeof item.szExt)));
}

}  // namespace

QString EntryDate(const MediaItem& item)
{
    const SYSTEMTIME& t = item.stCreation;
    return QString::asprintf("%04d-%02d-%02d %02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
}

QString EntryDuration(const MediaItem& item) { return HoursMinutesSeconds(item.dDuration); }

QString EntryToolTip(const MediaItem& item)
{
    QString tip = QString("name: %1\n").arg(Name(item));
    tip += KnownSize(item) ? QString::asprintf("size: %d * %d \n", item.nWidth, item.nHeight) : QString("size:\n");
    tip += KnownDuration(item) ? "duration: " + HoursMinutesSeconds(item.dDuration) : QString("duration:\n");
    return tip;
}

QString QtFileFilters(const char* choices)
{
    QStringList filters;
    for (const FileChoice& c : ReadFileChoices(choices)) {
        QStringList patterns;
        for (const std::string& p : c.patterns)
            patterns << QString::fromStdString(p);
        filters << QString::fromStdString(c.description) + " (" + patterns.join(' ') + ")";
    }
    return filters.join(";;");
}

MediaLibraryModel::MediaLibraryModel(MediaLibrary& library, QObject* parent)
    : QAbstractTableModel(parent), library_(library), thumbnails_(2000)
{
    Refresh();
}

void MediaLibraryModel::SetPage(LibraryPage page)
{
    page_ = page;
    Refresh();
}

void MediaLibraryModel::SetFilter(LibraryFilter filter)
{
    filter_ = filter;
    Refresh();
}

bool MediaLibraryModel::Shows(size_t entry) const
{
    const MediaItem& item = library_.Entry(entry).item;
    if (item.bRemoved)
        return false;
    const bool picture = item.nKind == MEDIA_PICTURE;
    if ((page_ == LibraryPage::kPicture) != picture)
        return false;
    switch (filter_) {
    case LibraryFilter::kVideo:
        return item.nKind == MEDIA_VIDEO;
    case LibraryFilter::kAudio:
        return item.nKind == MEDIA_AUDIO;
    case LibraryFilter::kPicture:
        return picture;
    case LibraryFilter::kFavourite:
        return library_.IsFavourite(entry);
    default:
        return true;
    }
}

void MediaLibraryModel::Refresh()
{
    beginResetModel();
    rows_.clear();
    for (size_t i = 0; i < library_.Count(); ++i)
        if (Shows(i))
            rows_.push_back(i);
    endResetModel();
}

int MediaLibraryModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }

int MediaLibraryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QPixmap MediaLibraryModel::Thumbnail(size_t entry) const
{
    const LibraryEntry& e = library_.Entry(entry);
    const QString key = QString::number(entry) + "|" + QString::fromUtf8(e.item.szPath);
    if (QPixmap* cached = thumbnails_.object(key))
        return *cached;
    auto* pixmap = new QPixmap;
    pixmap->loadFromData(e.thumbnail.data(), uint(e.thumbnail.size()), "JPEG");
    const QPixmap copy = *pixmap;
    thumbnails_.insert(key, pixmap);
    return copy;
}

QVariant MediaLibraryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || size_t(index.row()) >= rows_.size())
        return QVariant();
    const size_t entry = rows_[size_t(index.row())];
    const MediaItem& item = library_.Entry(entry).item;
    if (role == Qt::ToolTipRole)
        return EntryToolTip(item);
    // An icon, so that each view draws the thumbnail at its own icon size.
    if (role == Qt::DecorationRole && index.column() == kName)
        return QIcon(Thumbnail(entry));
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return QVariant();
    switch (index.column()) {
    case kName:
        return Name(item);
    case kDate:
        return EntryDate(item);
    case kDuration:
        return KnownDuration(item) ? EntryDuration(item) : QString();
    case kFileSize:
        return QString::asprintf("%d KB", int(item.nFileSize / 1024));
    case kSize:
        return KnownSize(item) ? QString::asprintf("%d * %d", item.nWidth, item.nHeight) : QString();
    case kPath:
        return QString::fromUtf8(item.szPath, int(strnlen(item.szPath, sizeof item.szPath)));
    default:
        return QVariant();
    }
}

QVariant MediaLibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const kHeaders[kColumns] = {"Name", "Date Created", "Duration", "File size", "Size", "Path"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return QString(kHeaders[section]);
    return QVariant();
}

Qt::ItemFlags MediaLibraryModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled : Qt::NoItemFlags;
}

}  // namespace studio
}  // namespace zolvex
