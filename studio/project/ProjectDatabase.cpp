#include "studio/project/ProjectDatabase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "filter/common/ByteLayout.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"
#include "studio/project/DataFolder.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

// No database holds more names than this; a count beyond it is damage.
constexpr uint64_t kMaxDatabaseBytes = 4 + uint64_t(1000000) * kProjectNameBytes;

// The name becomes a folder and a file: it must not climb out of the data folder.
bool CanBeFolder(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() < kProjectNameBytes;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

ProjectDatabase::ProjectDatabase(std::string dataFolder) : folder_(std::move(dataFolder)) {}

bool ProjectDatabase::Exists() const { return access(Path().c_str(), F_OK) == 0; }

bool ProjectDatabase::Read(std::vector<std::string>* names) const
{
    names->clear();
    std::vector<unsigned char> bytes;
    if (!ReadRegularFile(Path().c_str(), kMaxDatabaseBytes, bytes))
        return false;
    if (bytes.size() < 4)
        return false;
    int32_t count = 0;
    ByteReader(bytes.data()).I32(0, count);
    if (count < 0)
        return false;
    size_t at = 4;
    for (int32_t i = 0; i < count; ++i, at += kProjectNameBytes) {
        if (bytes.size() - at < kProjectNameBytes)
            return false;
        const char* slot = reinterpret_cast<const char*>(bytes.data() + at);
        names->emplace_back(slot, strnlen(slot, kProjectNameBytes - 1));
    }
    return true;
}

bool ProjectDatabase::Write(const std::vector<std::string>& names) const
{
    std::vector<unsigned char> bytes(4 + names.size() * kProjectNameBytes, 0);
    ByteWriter(bytes.data(), 4).I32(0, int32_t(names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        std::memcpy(bytes.data() + 4 + i * kProjectNameBytes, names[i].data(),
                    std::min(names[i].size(), kProjectNameBytes - 1));
    ReplacingFile file;
    return file.Open(Path()) && file.Write(bytes.data(), bytes.size()) && file.Commit();
}

bool ProjectDatabase::Register(const std::string& name)
{
    // A database cut short (a disk that filled under an older program) keeps the
    // names that are whole: refusing every new project for it would lock the user
    // out of the studio for good.
    std::vector<std::string> names;
    Read(&names);
    names.push_back(name);
    return Write(names);
}

bool ProjectDatabase::CreateProject(const std::string& name, IPrompt* prompt)
{
    auto refuse = [&](const std::string& text, const std::string& title, PromptIcon icon) {
        if (prompt)
            prompt->Show(text, title, icon, kPromptOk);
        return false;
    };
    if (name == "con")
        return refuse("Failed to create project with the name", "Error", kPromptWarning);
    if (name.empty())
        return refuse(Str(124), Str(0), kPromptInformation);
    if (folder_.empty() || !CanBeFolder(name) || !MakeFolders(folder_ + name))
        return refuse(Str(122), Str(0), kPromptWarning);
    std::vector<std::string> names;
    if (Exists()) {
        Read(&names);
        if (std::find(names.begin(), names.end(), name) != names.end())
            return refuse(Str(126), Str(0), kPromptWarning);
    }
    names.push_back(name);
    if (!Write(names))
        return refuse(Str(122), Str(0), kPromptWarning);
    return true;
}

void ProjectDatabase::AddProject(const std::string& name)
{
    if (folder_.empty() || !CanBeFolder(name) || !MakeFolders(folder_ + name))
        return;
    std::vector<std::string> names;
    Read(&names);
    if (std::find(names.begin(), names.end(), name) == names.end())
        Register(name);
}

std::vector<std::string> ProjectDatabase::OpenableProjects() const
{
    std::vector<std::string> names, shown;
    Read(&names);
    for (const std::string& n : names)
        if (CanBeFolder(n) && IsFolder(folder_ + n))
            shown.push_back(n);
    return shown;
}

bool ProjectDatabase::DeleteProject(const std::string& name, std::vector<std::string>& shown)
{
    const auto it = std::find(shown.begin(), shown.end(), name);
    if (it == shown.end())
        return false;
    if (CanBeFolder(name))
        unlink((folder_ + name + "/" + name + ".mpf").c_str());
    shown.erase(it);
    return Write(shown);
}

}  // namespace studio
}  // namespace zolvex
