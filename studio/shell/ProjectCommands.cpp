#include "studio/shell/ProjectCommands.h"

#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

ProjectCommands::ProjectCommands(ProjectModel& model, ProjectStore& store, IPrompt& prompt, IProjectDialogs& dialogs,
                                 IProjectView& view)
    : model_(model), store_(store), prompt_(prompt), dialogs_(dialogs), view_(view)
{
}

bool ProjectCommands::Untitled() const { return model_.name.empty() || model_.name == Str(96); }

bool ProjectCommands::NewProject()
{
    if (view_.TimelineBusy())
        return false;
    NewProjectChoice choice;
    if (!dialogs_.AskProject(Str(36), &choice))
        return false;
    view_.HoldPreview();
    if (model_.undo)
        model_.undo->Clear();
    model_.Clear();
    model_.header = choice.header;
    model_.name = choice.name;
    model_.dMarkIn = model_.dMarkOut = 0.0;
    model_.bMarkInSet = model_.bMarkOutSet = false;
    model_.bModified = false;
    view_.TimelineReset(false);
    view_.ProjectReplaced();
    return true;
}

bool ProjectCommands::SaveProject()
{
    if (!Untitled()) {
        if (!store_.SaveProject(1.0f, 1.0f))
            return false;
        model_.bModified = false;
        view_.ProjectReplaced();
        return true;
    }
    NewProjectChoice choice;
    if (!dialogs_.AskProject(Str(38), &choice))
        return false;
    // Positions were laid out in the old frame size: the save scales them to the new.
    const ProjectHeader old = model_.header;
    const float xScale = old.nWidth > 0 ? float(choice.header.nWidth) / float(old.nWidth) : 1.0f;
    const float yScale = old.nHeight > 0 ? float(choice.header.nHeight) / float(old.nHeight) : 1.0f;
    model_.header = choice.header;
    model_.name = choice.name;
    if (!store_.SaveProject(xScale, yScale))
        return false;
    model_.bModified = false;
    view_.ProjectReplaced();
    return true;
}

bool ProjectCommands::OpenProject()
{
    if (view_.TimelineBusy())
        return false;
    if (model_.bModified && prompt_.Show(Str(87), Str(0), kPromptInformation, kPromptYesNo) == kAnswerYes)
        SaveProject();  // a Cancel in the project dialog only skips the save
    std::string name;
    if (!dialogs_.AskProjectToOpen(&name))
        return false;
    view_.HoldPreview();
    model_.name = name;
    const bool loaded = store_.LoadProject() == 1;
    model_.bModified = false;
    view_.TimelineReset(true);
    view_.ProjectReplaced();
    return loaded;
}

}  // namespace studio
}  // namespace zolvex
