#include "studio/project/ui/ScreenPage.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

#include "platform/ReadFile.h"
#include "studio/project/MediaFilters.h"
#include "studio/project/ui/MediaLibraryModel.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

QString S(int n) { return QString::fromStdString(Str(n)); }

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
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(background_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(items_, 1);
    Retranslate();
    Refresh();
}

void ScreenPage::Retranslate()
{
    add_->setText(S(20));
    add_->setAccessibleName(S(20));
    background_->setText(S(141));
    background_->setAccessibleName(S(141));
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
