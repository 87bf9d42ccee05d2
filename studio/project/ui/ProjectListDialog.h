// The project list: opens a project, or deletes one (its file; the folder stays).
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "studio/project/ProjectDatabase.h"

class QListWidget;
class QPushButton;

namespace zolvex {
namespace studio {

class ProjectListDialog : public QDialog {
    Q_OBJECT
public:
    ProjectListDialog(ProjectDatabase& database, IPrompt& prompt, QWidget* parent = nullptr);

    // The name chosen with Open.
    const std::string& Chosen() const { return chosen_; }
    QListWidget* List() const { return list_; }
    QPushButton* OpenButton() const { return open_; }
    QPushButton* DeleteButton() const { return delete_; }

private slots:
    void Open();
    void Delete();

private:
    void Fill();

    ProjectDatabase& database_;
    IPrompt& prompt_;
    std::vector<std::string> shown_;
    std::string chosen_;
    QListWidget* list_;
    QPushButton* open_;
    QPushButton* delete_;
};

}  // namespace studio
}  // namespace zolvex
