// The project database: the file "Project" in the data folder lists every project by
// name (an int32 count, then one 260-byte NUL-terminated slot per name, in the order
// of registration). Names compare exactly, byte for byte. The project dialog
// registers a name as soon as the project is created; a save registers it too; the
// project list opens and deletes projects from it.
#pragma once

#include <string>
#include <vector>

#include "platform/Prompt.h"
#include "studio/project/DataFolder.h"
#include "studio/project/ProjectFile.h"

namespace zolvex {
namespace studio {

constexpr size_t kProjectNameBytes = 260;

class ProjectDatabase : public IProjectDatabase {
public:
    // The database of `dataFolder` (with its final "/"); by default the studio's.
    explicit ProjectDatabase(std::string dataFolder = DataFolder());

    const std::string& Folder() const { return folder_; }
    std::string Path() const { return folder_ + "Project"; }
    bool Exists() const;

    // The names in file order. False when the file is there but cut short or
    // unreadable: *names then holds the names that were whole.
    bool Read(std::vector<std::string>* names) const;

    // The project dialog's check of a new name, in order: the reserved name, an empty
    // name, the project folder (made here), a name already listed; each refusal is
    // shown through `prompt`. On success the name is registered.
    bool CreateProject(const std::string& name, IPrompt* prompt);

    // After a save: registers the name unless it is empty or listed already (making
    // the project folder when it is missing).
    void AddProject(const std::string& name) override;

    // What the project list shows: every listed name whose folder exists, in order.
    std::vector<std::string> OpenableProjects() const;

    // Deletes the project's file (its folder stays), takes the name out of `shown`
    // and writes the database anew from `shown`: names not shown (their folder is
    // gone) leave the database with it. False when the database could not be written.
    bool DeleteProject(const std::string& name, std::vector<std::string>& shown);

    // Writes the database from the names, replacing the old file whole: a crash or a
    // full disk leaves the previous file as it was.
    bool Write(const std::vector<std::string>& names) const;

private:
    bool Register(const std::string& name);

    std::string folder_;
};

}  // namespace studio
}  // namespace zolvex
