// "Adjust Audio Level": the weight of the music tracks against the scenes' own sound,
// in percent. Every change is told at once, so the preview follows the slider.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSlider;

namespace zolvex {
namespace studio {

class AudioLevelDialog : public QDialog {
    Q_OBJECT
public:
    explicit AudioLevelDialog(int level, QWidget* parent = nullptr);

    int Level() const;
    void SetLevel(int level);
    QSlider* Slider() const { return slider_; }
    QLabel* ValueLabel() const { return value_; }
    void Retranslate();

signals:
    // 0–100; the window stores it and hands it to the filter.
    void levelChanged(int level);

private:
    void ShowValue(int level);

    QLabel* scene_;
    QLabel* music_;
    QLabel* value_;
    QSlider* slider_;
    QPushButton* ok_;
};

}  // namespace studio
}  // namespace zolvex
