#include "studio/shell/SaveMovie.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace zolvex {
namespace studio {

const char* const kOverwriteFailed = "The file is currently used by another program, Overwrite failed.";

std::string OverwriteQuestion(Language language)
{
    return language == Language::kChinese ? "已存在同名文件，是否覆盖？"
                                          : "A file with same name already exist, Overwrite it?";
}

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool Say(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// "$HOME/Documents" → the home folder's; quotes stripped. Empty for a line that
// names no folder.
std::string ExpandUserDir(std::string value, const std::string& home)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0)
        value = home + value.substr(5);
    if (value.empty() || value[0] != '/')
        return std::string();
    while (value.size() > 1 && value.back() == '/')
        value.pop_back();
    return value;
}

}  // namespace

bool ConfirmSaveMovie(const MovieChoices& choices, IPrompt& prompt, MovieOutputParams& params)
{
    const std::string title = Str(0);
    if (choices.movieName.empty()) {
        prompt.Show(Str(125), title, kPromptInformation, kPromptOk);
        return false;
    }
    MovieOutputParams filled;
    std::string error;
    if (!FillMovieParams(choices, filled, &error)) {
        prompt.Show(error, title, kPromptError, kPromptOk);
        return false;
    }
    const std::string& path = filled.szFilePath;
    if (Exists(path)) {
        if (prompt.Show(OverwriteQuestion(Strings().CurrentLanguage()), title, kPromptInformation, kPromptYesNo) !=
            kAnswerYes)
            return false;
        // A folder of that name, or a file in a folder we may not change, stays.
        struct stat st;
        const bool folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (folder || unlink(path.c_str()) != 0 || Exists(path)) {
            prompt.Show(kOverwriteFailed, title, kPromptInformation, kPromptOk);
            return false;
        }
    }
    params = filled;
    return true;
}

std::string DocumentsFolder()
{
    const char* homeEnv = std::getenv("HOME");
    const std::string home = homeEnv && *homeEnv ? homeEnv : "/tmp";
    if (const char* env = std::getenv("XDG_DOCUMENTS_DIR")) {
        const std::string dir = ExpandUserDir(env, home);
        if (!dir.empty())
            return dir;
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string dirs = (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream in(dirs);
    for (std::string line; std::getline(in, line);) {
        static const char key[] = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, sizeof key - 1, key) == 0) {
            const std::string dir = ExpandUserDir(line.substr(sizeof key - 1), home);
            // user-dirs.dirs gives $HOME itself when the user turned the folder off.
            if (!dir.empty() && dir != home)
                return dir;
        }
    }
    return home + "/Documents";
}

bool MakeMovieFolder(const std::string& documents, std::string& folder, std::string* error)
{
    std::string base = documents;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty())
        return Say(error, "There is no documents folder to keep the movies in.");
    const std::string levels[] = {base, base + "/" + Str(0), base + "/" + Str(0) + "/Moive Output"};
    for (const std::string& level : levels) {
        struct stat st;
        if (stat(level.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return Say(error, "The movie folder cannot be made: " + level + " is a file, not a folder.");
            continue;
        }
        if (mkdir(level.c_str(), 0755) != 0 && errno != EEXIST)
            return Say(error, "The movie folder " + level + " cannot be made: " + std::strerror(errno) + ".");
    }
    folder = levels[2] + "/";
    return true;
}

bool DefaultMovieFolder(std::string& folder, std::string* error)
{
    return MakeMovieFolder(DocumentsFolder(), folder, error);
}

}  // namespace studio
}  // namespace zolvex
