#include "studio/shell/ui/AudioLevelDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

#include "studio/shell/ui/UiText.h"

namespace zolvex {
namespace studio {

AudioLevelDialog::AudioLevelDialog(int level, QWidget* parent) : QDialog(parent)
{
    setObjectName("AudioLevelDialog");
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, 100);
    slider_->setPageStep(10);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(10);
    slider_->setMinimumWidth(280);
    slider_->setValue(std::clamp(level, 0, 100));
    scene_ = new QLabel(this);
    music_ = new QLabel(this);
    value_ = new QLabel(this);
    value_->setAlignment(Qt::AlignCenter);
    QFont bold = value_->font();
    bold.setBold(true);
    value_->setFont(bold);
    ok_ = new QPushButton(this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(slider_, &QSlider::valueChanged, this, [this](int v) {
        ShowValue(v);
        emit levelChanged(v);
    });

    auto* ends = new QHBoxLayout;
    ends->addWidget(scene_);
    ends->addStretch();
    ends->addWidget(music_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(value_);
    layout->addWidget(slider_);
    layout->addLayout(ends);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowValue(slider_->value());
    Retranslate();
}

int AudioLevelDialog::Level() const { return slider_->value(); }

void AudioLevelDialog::SetLevel(int level) { slider_->setValue(std::clamp(level, 0, 100)); }

void AudioLevelDialog::ShowValue(int level)
{
    value_->setText(QString("%1 %").arg(level));
    slider_->setAccessibleName(QString("%1 %2 %").arg(S(42)).arg(level));
}

void AudioLevelDialog::Retranslate()
{
    setWindowTitle(S(40));
    // The two ends of the slider: all scene sound at 0, all music at 100.
    scene_->setText(S(41));
    music_->setText(S(42));
    ok_->setText(S(71));
    ShowValue(slider_->value());
}

}  // namespace studio
}  // namespace zolvex
