// The file choices the import dialogs offer, as the studio has always written them
// ("description|patterns|…||"), and the same read into choices a file dialog of any
// toolkit can show.
#pragma once

#include <string>
#include <vector>

namespace zolvex {
namespace studio {

extern const char kMediaFileChoices[];
extern const char kPictureFileChoices[];

struct FileChoice {
    std::string description;
    std::vector<std::string> patterns;  // "*.mpg" …
};

// The choices of such a text, in order. Each "(…)" opens a choice and each "*.ext"
// joins the open one, wherever the bars and semicolons put them: the picture choices
// run a description into the list before it, which a literal reading would pair with
// the wrong patterns.
std::vector<FileChoice> ReadFileChoices(const std::string& text);

}  // namespace studio
}  // namespace zolvex
