// Copies of the project as it is being edited, kept in the data folder's "Autosave/"
// folder, so that a crash or a killed studio loses a few seconds of work, not a
// session. An autosave is never the project's own file: the project changes only
// when the user saves it.
//
// Each autosave is three files with one stem: "<stem>.mpf" (the project file's
// bytes), "<stem>.info" (the side record: project name, when, whether unnamed) and
// "<stem>.lock", which the studio writing the autosave holds locked (flock) for as
// long as it runs it. A named project's stem is its name; an unnamed project's is
// the unnamed name and the process id ("Utitled~4711"), so that two unnamed
// sessions never meet. A stem whose copy is already there and is not this run's own
// gets "~2", "~3" … instead: an autosave never writes over one it did not write.
//
// The bytes are taken on the window thread and written on a worker thread through a
// replacing file (fsync, then rename), so a copy on disk is always whole.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "filter/media/MediaProblems.h"
#include "studio/project/ProjectModel.h"

namespace zolvex {
namespace studio {

// One autosave found in the folder.
struct AutosaveEntry {
    std::string stem;
    std::string dataPath, recordPath, lockPath;
    std::string project;   // the project's name ("Utitled" or the like for an unnamed one)
    bool unnamed = false;  // never saved: there is no project file to compare with
    int64_t savedAt = 0;   // seconds since 1970, when the copy was written
    int64_t bytes = 0;     // the copy's size as the side record gives it
};

// What a restore did.
struct AutosaveRestore {
    bool restored = false;
    std::string why;                          // when not restored
    std::vector<MediaProblem> droppedPictures;  // animated pictures left out (file gone)
    std::vector<MediaProblem> missingScenes;    // scenes kept whose files are gone (shown black)
};

class Autosave {
public:
    // Works in `folder` (with its final "/"); by default the data folder's "Autosave/".
    explicit Autosave(std::string folder = DefaultFolder());
    // Writes what is still waiting and lets go of the lock. The copy stays: only
    // Remove() takes it away, so an end without a clean close leaves it recoverable.
    ~Autosave();
    Autosave(const Autosave&) = delete;
    Autosave& operator=(const Autosave&) = delete;

    // DataFolder() + "Autosave/", made when missing; "" when it cannot be.
    static std::string DefaultFolder();
    const std::string& Folder() const { return folder_; }

    // Hands the project's bytes to the worker, which writes them as the copy of
    // `project`; the first call takes a stem and its lock. A copy of another project
    // held until now is removed first. False when no stem can be had (no folder, or
    // every candidate taken); LastError() says why.
    bool Save(std::vector<unsigned char> bytes, const std::string& project, bool unnamed);
    // Waits until the worker has written every copy handed to it.
    void Flush();
    // This run's copy: a write still waiting is dropped, one under way is waited for,
    // then the files go and the lock is let go. Nothing when none is held.
    void Remove();
    // Takes over a copy found in the folder (its lock, its stem), so that the next
    // Save writes over it: a restored project goes on with the copy it came from.
    bool Adopt(const AutosaveEntry& entry);

    bool Holding() const { return lockFd_ >= 0; }
    const std::string& Stem() const { return stem_; }
    // The worker's last failure ("" after a good write), and how many copies it wrote.
    std::string LastError() const;
    uint64_t Written() const;

    // Copies that a recovery may offer, newest first: not held by a running studio,
    // and either of a project never saved or newer than the project's file.
    std::vector<AutosaveEntry> ListRecoverable() const;
    // The newest such copy of the named project; false when there is none.
    bool FindRecoverable(const std::string& project, AutosaveEntry* entry) const;

    // Fills the model from the copy: the project named as in the copy, modified (the
    // restore is not saved yet), the undo history started afresh. A copy that does
    // not parse leaves the model as it was.
    static AutosaveRestore Restore(const AutosaveEntry& entry, ProjectModel& model);
    // The user does not want the copy: its files go (not when a studio holds it).
    static bool Discard(const AutosaveEntry& entry);
    // A copy that cannot be restored is kept as "<stem>.damaged" for whoever wants to
    // look at it, out of the recovery's way. Returns the path it now has ("" if none).
    static std::string SetAside(const AutosaveEntry& entry);

    // The side record's text and its reading; exposed for the tests.
    static std::string RecordText(const std::string& project, bool unnamed, int64_t savedAt, int64_t bytes);
    static bool ReadRecord(const std::string& text, AutosaveEntry* entry);

private:
    struct Job {
        std::vector<unsigned char> bytes;
        std::string dataPath, recordPath, record;
    };
    bool Claim(const std::string& project, bool unnamed);
    bool LockStem(const std::string& stem);
    void Work();

    std::string folder_;
    // Window thread's side.
    std::string stem_, project_;
    bool unnamed_ = false;
    int lockFd_ = -1;
    // Shared with the worker.
    mutable std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::unique_ptr<Job> pending_;
    bool writing_ = false, stop_ = false;
    uint64_t written_ = 0;
    std::string error_;
    std::thread worker_;
};

}  // namespace studio
}  // namespace zolvex
