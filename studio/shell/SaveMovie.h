// The checks the Save Movie page makes before a movie is started: a name is given,
// the choices make a movie, and an existing file of the same name is replaced only
// when the user says so and it can really be removed. Also where movies go unless
// the user picks another folder.
#pragma once

#include <string>

#include "platform/Prompt.h"
#include "studio/shell/MovieOutputParams.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

// The question asked before a file of the movie's name is replaced, in the language.
std::string OverwriteQuestion(Language language);
// Said when that file could not be removed.
extern const char* const kOverwriteFailed;

// Fills `params` from `choices` and clears the way for the movie file, asking
// through `prompt` in the active table's language. True when the run may start;
// false when the user was told why not or answered No. An existing file is removed
// only on Yes; on No it stays as it was.
bool ConfirmSaveMovie(const MovieChoices& choices, IPrompt& prompt, MovieOutputParams& params);

// The user's documents folder: XDG_DOCUMENTS_DIR from the environment or from
// user-dirs.dirs, else $HOME/Documents. Without a final "/".
std::string DocumentsFolder();

// `documents` + "/" + the application title + "/Moive Output/", each level made
// when missing. False with *error (the folder that could not be made, and why)
// when one cannot be made or is not a folder.
bool MakeMovieFolder(const std::string& documents, std::string& folder, std::string* error);
// The same under DocumentsFolder().
bool DefaultMovieFolder(std::string& folder, std::string* error);

}  // namespace studio
}  // namespace zolvex
