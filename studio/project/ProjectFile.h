// Saving and loading a project as its ".mpf" file in the project's folder under the
// data folder: the header, the scenes in timeline order and the objects in list
// order, every record in its fixed byte layout.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filter/media/MediaProblems.h"
#include "platform/Prompt.h"
#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

// The project database (the list of projects the studio offers).
class IProjectDatabase {
public:
    virtual ~IProjectDatabase() = default;
    // Adds the name when it is not listed yet.
    virtual void AddProject(const std::string& name) = 0;
};

// What the main window hears about loads.
class IProjectListener {
public:
    virtual ~IProjectListener() = default;
    // A load starts: the preview must stop, the timeline is about to be emptied.
    virtual void OnProjectBusy() = 0;
    // Two seconds after a load finished.
    virtual void OnProjectReady() = 0;
};

// No project lasts longer: spans and object times beyond it mark a damaged file.
constexpr double kMaxProjectSeconds = 24.0 * 3600.0;

class ProjectStore {
public:
    explicit ProjectStore(ProjectModel& model);
    ~ProjectStore();
    ProjectStore(const ProjectStore&) = delete;
    ProjectStore& operator=(const ProjectStore&) = delete;

    void SetPrompt(IPrompt* prompt) { prompt_ = prompt; }
    // Asks for a name for a project that has none (the project dialog); false when
    // the user cancels.
    void SetNameAsker(std::function<bool(std::string&)> ask) { askName_ = std::move(ask); }
    void SetDatabase(IProjectDatabase* database) { database_ = database; }
    void SetListener(IProjectListener* listener) { listener_ = listener; }
    // How long after a load the project is announced ready (2,000 ms).
    void SetReadyDelay(int milliseconds) { readyDelayMs_ = milliseconds; }

    // Writes the project; effect track points are scaled by (xScale, yScale) as they
    // are written. 1 saved, 0 not.
    int SaveProject(float xScale, float yScale);
    // Replaces the model's project by the file of the project named in the model.
    // 1 loaded; 0 failed (what was read before a damaged part stays).
    int LoadProject();
    void AddProjectToDatabase(const std::string& name);

    // The project's folder and file for a name ("" when the name cannot be a folder).
    static std::string ProjectFolder(const std::string& name);
    static std::string ProjectFilePath(const std::string& name);

    // The file's bytes for the model as it stands, and the model filled from bytes:
    // what SaveProject writes and LoadProject reads.
    static std::vector<unsigned char> Serialise(ProjectModel& model, float xScale, float yScale);
    static bool Parse(const std::vector<unsigned char>& bytes, ProjectModel& model);
    // The same, saying in *why what made the file unusable when it can name it (a
    // scene or object time that is not a time or is beyond kMaxProjectSeconds), and
    // adding to *dropped each animated picture left out because its file cannot be used.
    static bool Parse(const std::vector<unsigned char>& bytes, ProjectModel& model, std::string* why,
                      std::vector<MediaProblem>* dropped = nullptr);
    // Loads the project from `path` itself, wherever it lies; the model's name is not
    // changed. 1 loaded, 0 not (LastError() says why when it can).
    int LoadProjectFile(const std::string& path);
    // Why the last load failed, or "".
    const std::string& LastError() const { return lastError_; }
    // The animated pictures the last load of a project file left out, with why.
    const std::vector<MediaProblem>& DroppedPictures() const { return dropped_; }

private:
    void Tell(const std::string& text);
    // Busy, preview stopped, model emptied: what every load starts with.
    void BeginLoad();
    void AnnounceReadyLater();
    void StopAnnouncer();

    ProjectModel& model_;
    IPrompt* prompt_ = nullptr;
    std::function<bool(std::string&)> askName_;
    IProjectDatabase* database_ = nullptr;
    IProjectListener* listener_ = nullptr;
    int readyDelayMs_ = 2000;
    std::thread announcer_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool cancel_ = false;
    std::string lastError_;
    std::vector<MediaProblem> dropped_;
};

}  // namespace studio
}  // namespace zolvex
