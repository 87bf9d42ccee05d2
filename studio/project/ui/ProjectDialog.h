// The project dialog: a new project's name, frame size and aspect. OK checks the
// name (and registers it) through the project database; while the check fails the
// dialog stays open.
#pragma once

#include <QDialog>

#include "platform/Prompt.h"
#include "studio/project/ProjectDatabase.h"
#include "studio/shell/ProjectCommands.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace zolvex {
namespace studio {

struct FrameSize {
    int width, height;
};
// The frame sizes a project can have, in the order the dialog lists them.
extern const FrameSize kProjectFrameSizes[16];

class ProjectDialog : public QDialog {
    Q_OBJECT
public:
    // Titled `title` (the New Project text when empty).
    ProjectDialog(ProjectDatabase& database, IPrompt& prompt, const QString& title = QString(),
                  QWidget* parent = nullptr);

    const NewProjectChoice& Choice() const { return choice_; }
    QComboBox* FrameSizes() const { return sizes_; }
    QComboBox* Aspects() const { return aspects_; }
    QLineEdit* NameField() const { return name_; }
    QPushButton* OkButton() const { return ok_; }

public slots:
    void accept() override;

private:
    ProjectDatabase& database_;
    IPrompt& prompt_;
    NewProjectChoice choice_;
    QComboBox* sizes_;
    QComboBox* aspects_;
    QLineEdit* name_;
    QPushButton* ok_;
};

}  // namespace studio
}  // namespace zolvex
