// "Picture Play Time": how many seconds a picture plays when it is put on the
// timeline. Accepting the dialog keeps the value in the program's settings.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QSpinBox;

namespace zolvex {
namespace studio {

class PictureTimeDialog : public QDialog {
    Q_OBJECT
public:
    explicit PictureTimeDialog(QWidget* parent = nullptr);

    QSpinBox* Seconds() const { return seconds_; }
    QPushButton* OkButton() const { return ok_; }
    void Retranslate();

    // OK keeps the value (1–60 seconds) before the dialog closes.
    void accept() override;

private:
    QLabel* label_;
    QLabel* unit_;
    QSpinBox* seconds_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace studio
}  // namespace zolvex
