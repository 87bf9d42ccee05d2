// Keeps the autosave of the project in the main window up to date and offers what a
// studio that ended without saving left behind.
//
// It looks at the model twice a second: the change counter tells it that something
// changed. A copy is written once the edits have paused for a few seconds (3 s), and
// at least once a minute while they go on; a project that is not modified needs none.
// A save, or a project replaced without keeping its changes, removes the copy; so does
// a clean close. When the window has started (the command line's project opened or
// not) and when a project is opened, a recoverable copy is offered with a Yes/No
// question; Yes fills the project from it, No removes it.
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Prompt.h"
#include "studio/project/ProjectModel.h"
#include "studio/shell/Autosave.h"
#include "studio/shell/ProjectCommands.h"

namespace zolvex {
namespace studio {

class AutosaveController : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMs = 500;
    static constexpr int kQuietMs = 3000;
    static constexpr int kLongestMs = 60000;

    // `view` holds the preview before a restore and refreshes the window after it.
    AutosaveController(ProjectModel& model, IPrompt& prompt, IProjectView& view, QObject* parent = nullptr);
    ~AutosaveController() override;

    // The window is built: the polling starts, and on the event loop's first turn
    // (after the command line's project has opened) any recoverable copy is offered.
    void Start();
    // After a new, opened, saved or renamed project (the window's ProjectReplaced).
    void ProjectReplaced();
    // A clean close: the copy goes.
    void Closed();

    // One look at the model, as the timer takes it.
    void Poll();
    // Offers the copies that can be recovered: of every project (at start), else only
    // of the project open now. True when one was restored.
    bool OfferRecovery(bool everyProject);
    // The clock the delays are measured with, in milliseconds (tests set their own).
    void SetClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }
    Autosave& Files() { return files_; }

private:
    bool Untitled() const;
    void WriteNow();
    bool RestoreFrom(const AutosaveEntry& entry);

    ProjectModel& model_;
    IPrompt& prompt_;
    IProjectView& view_;
    Autosave files_;
    QTimer poll_;
    std::function<int64_t()> clock_;
    uint64_t seen_ = 0;        // the change count last looked at
    bool dirty_ = false;       // changes not yet in the copy
    int64_t lastChange_ = 0;   // when the last change was seen
    int64_t dirtySince_ = 0;   // when the oldest change not in the copy was seen
    bool startPending_ = false;
    bool restoring_ = false;
    bool known_ = false;       // `name_` and `unnamed_` describe the project
    std::string name_;
    bool unnamed_ = false;
};

}  // namespace studio
}  // namespace zolvex
