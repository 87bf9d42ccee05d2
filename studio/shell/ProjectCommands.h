// The main window's New, Open and Save Project commands: the project dialog, the
// project list, the modified question and the project file, in the order the studio
// has always run them. The dialogs and the window are behind interfaces, so that the
// commands run the same under the program and under tests.
#pragma once

#include <string>

#include "platform/Prompt.h"
#include "studio/project/ProjectFile.h"
#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

// What the project dialog gives on OK (the name already checked and registered).
struct NewProjectChoice {
    std::string name;
    ProjectHeader header;
};

class IProjectDialogs {
public:
    virtual ~IProjectDialogs() = default;
    // The project dialog under `title`; false on Cancel.
    virtual bool AskProject(const std::string& title, NewProjectChoice* choice) = 0;
    // The project list; false on Cancel.
    virtual bool AskProjectToOpen(std::string* name) = 0;
};

// What the commands ask of the main window around them.
class IProjectView {
public:
    virtual ~IProjectView() = default;
    // Nothing may replace the project while the timeline is busy (a load, a render).
    virtual bool TimelineBusy() = 0;
    // The preview lets go of the timeline before it changes.
    virtual void HoldPreview() = 0;
    // The project was replaced or renamed: refresh the pages, stop the preview.
    virtual void ProjectReplaced() = 0;
    // The timeline now holds a new empty project (false) or a loaded one (true).
    virtual void TimelineReset(bool /*loaded*/) {}
};

class ProjectCommands {
public:
    ProjectCommands(ProjectModel& model, ProjectStore& store, IPrompt& prompt, IProjectDialogs& dialogs,
                    IProjectView& view);

    // A project that has never been named carries the name "Utitled".
    bool Untitled() const;
    // Each true when it did what was asked (false on Cancel, when busy or on failure).
    bool NewProject();
    bool OpenProject();
    bool SaveProject();

private:
    ProjectModel& model_;
    ProjectStore& store_;
    IPrompt& prompt_;
    IProjectDialogs& dialogs_;
    IProjectView& view_;
};

}  // namespace studio
}  // namespace zolvex
