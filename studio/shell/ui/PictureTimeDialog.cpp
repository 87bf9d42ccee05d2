#include "studio/shell/ui/PictureTimeDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "studio/shell/ui/UiText.h"
#include "studio/shell/StudioSettings.h"

namespace zolvex {
namespace studio {

PictureTimeDialog::PictureTimeDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("PictureTimeDialog");
    label_ = new QLabel(this);
    seconds_ = new QSpinBox(this);
    seconds_->setRange(kMinPictureSeconds, kMaxPictureSeconds);
    seconds_->setValue(PictureTimeSetting());
    seconds_->setMinimumWidth(80);
    unit_ = new QLabel("s", this);
    label_->setBuddy(seconds_);
    ok_ = new QPushButton(this);
    cancel_ = new QPushButton(this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label_);
    row->addStretch();
    row->addWidget(seconds_);
    row->addWidget(unit_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    Retranslate();
}

void PictureTimeDialog::Retranslate()
{
    setWindowTitle(S(143));
    label_->setText(S(144));
    ok_->setText(S(71));
    cancel_->setText(S(72));
}

void PictureTimeDialog::accept()
{
    seconds_->interpretText();
    SetPictureTimeSetting(seconds_->value());
    QDialog::accept();
}

}  // namespace studio
}  // namespace zolvex
