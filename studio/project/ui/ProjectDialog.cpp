#include "studio/project/ui/ProjectDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "studio/shell/ui/UiText.h"

namespace zolvex {
namespace studio {

const FrameSize kProjectFrameSizes[16] = {
    {80, 60},   {96, 72},   {128, 96},  {160, 120}, {176, 120}, {176, 144}, {192, 144}, {240, 180},
    {320, 200}, {320, 240}, {352, 240}, {352, 288}, {480, 480}, {480, 576}, {720, 480}, {720, 576},
};

namespace {

// The aspect choices keep their labels as the studio has always shown them, the
// trailing blank of the second included.
const char* const kAspectLabels[3] = {"Original Aspect", "TV Aspect (4:3) ", "Wide Aspect (16:9)"};

QLabel* Label(int n, QWidget* buddy)
{
    auto* label = new QLabel(S(n) + ":");
    label->setBuddy(buddy);
    return label;
}

}  // namespace

ProjectDialog::ProjectDialog(ProjectDatabase& database, IPrompt& prompt, const QString& title, QWidget* parent)
    : QDialog(parent), database_(database), prompt_(prompt)
{
    setWindowTitle(title.isEmpty() ? S(36) : title);
    setObjectName("ProjectDialog");

    name_ = new QLineEdit;
    name_->setAccessibleName(S(91));
    name_->setMaxLength(int(kProjectNameBytes) - 1);
    sizes_ = new QComboBox;
    sizes_->setAccessibleName(S(92));
    for (const FrameSize& f : kProjectFrameSizes)
        sizes_->addItem(QString::asprintf("%d*%d", f.width, f.height));
    // 352 × 240 suits NTSC countries, 352 × 288 PAL ones, where the Chinese studio sells.
    sizes_->setCurrentIndex(Strings().CurrentLanguage() == Language::kChinese ? 11 : 10);
    aspects_ = new QComboBox;
    aspects_->setAccessibleName(S(93));
    for (const char* label : kAspectLabels)
        aspects_->addItem(QString::fromLatin1(label));
    aspects_->setCurrentIndex(0);

    auto* form = new QFormLayout;
    form->addRow(Label(91, name_), name_);
    form->addRow(Label(92, sizes_), sizes_);
    form->addRow(Label(93, aspects_), aspects_);

    auto* buttons = new QDialogButtonBox;
    ok_ = buttons->addButton(S(71), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(S(72), QDialogButtonBox::RejectRole);
    ok_->setAccessibleName(S(71));
    cancel->setAccessibleName(S(72));
    ok_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProjectDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ProjectDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    name_->setFocus();
}

void ProjectDialog::accept()
{
    const FrameSize size = kProjectFrameSizes[std::max(0, sizes_->currentIndex())];
    ProjectHeader header;
    header.nWidth = size.width;
    header.nHeight = size.height;
    switch (aspects_->currentIndex()) {
    case 1:
        header.nAspectNumerator = 4, header.nAspectDenominator = 3;
        break;
    case 2:
        header.nAspectNumerator = 16, header.nAspectDenominator = 9;
        break;
    default:
        header.nAspectNumerator = size.width, header.nAspectDenominator = size.height;
        break;
    }
    const std::string name = name_->text().toStdString();
    if (!database_.CreateProject(name, &prompt_)) {
        name_->setFocus();
        return;
    }
    choice_.name = name;
    choice_.header = header;
    QDialog::accept();
}

}  // namespace studio
}  // namespace zolvex
