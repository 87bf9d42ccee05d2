#include "studio/project/ui/ProjectListDialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "studio/shell/ui/UiText.h"

namespace zolvex {
namespace studio {

namespace {

QPushButton* Button(int n)
{
    auto* b = new QPushButton(S(n));
    b->setAccessibleName(S(n));
    return b;
}

}  // namespace

ProjectListDialog::ProjectListDialog(ProjectDatabase& database, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), database_(database), prompt_(prompt)
{
    setWindowTitle(S(37));
    setObjectName("ProjectListDialog");
    list_ = new QListWidget;
    list_->setAccessibleName(S(91));
    open_ = Button(94);
    delete_ = Button(128);
    QPushButton* cancel = Button(72);
    open_->setDefault(true);
    connect(open_, &QPushButton::clicked, this, &ProjectListDialog::Open);
    connect(delete_, &QPushButton::clicked, this, &ProjectListDialog::Delete);
    connect(cancel, &QPushButton::clicked, this, &ProjectListDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &ProjectListDialog::Open);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(open_);
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(420, 300);
    Fill();
}

void ProjectListDialog::Fill()
{
    shown_ = database_.OpenableProjects();
    list_->clear();
    for (const std::string& name : shown_)
        list_->addItem(QString::fromStdString(name));
    if (!shown_.empty())
        list_->setCurrentRow(0);
}

void ProjectListDialog::Open()
{
    const int row = list_->currentRow();
    if (row < 0 || size_t(row) >= shown_.size()) {
        prompt_.Show(Str(88), Str(0), kPromptInformation, kPromptOk);
        return;
    }
    chosen_ = shown_[size_t(row)];
    accept();
}

void ProjectListDialog::Delete()
{
    const int row = list_->currentRow();
    if (row < 0 || size_t(row) >= shown_.size()) {
        prompt_.Show(Str(127), Str(0), kPromptWarning, kPromptOk);
        return;
    }
    if (prompt_.Show(Str(129), Str(0), kPromptQuestion, kPromptYesNo) != kAnswerYes)
        return;
    if (!database_.DeleteProject(shown_[size_t(row)], shown_)) {
        Fill();  // the database could not be written: show what it still holds
        return;
    }
    list_->clear();
    for (const std::string& name : shown_)
        list_->addItem(QString::fromStdString(name));
    if (!shown_.empty())
        list_->setCurrentRow(std::min(row, int(shown_.size()) - 1));
}

}  // namespace studio
}  // namespace zolvex
