// Where the studio keeps its projects, libraries and database.
#pragma once

#include <string>

namespace zolvex {
namespace studio {

// The data folder with a final "/", created when missing: ZOLVEX_DATA_DIR when set;
// else the program's folder + "Data/" when that can be written; else
// $XDG_DATA_HOME (or ~/.local/share) + "/zolvex-video-studio/Data/". Empty when no
// such folder can be made.
std::string DataFolder();

// Makes the folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);

// Where movies are saved unless the user picks another folder: `documents` (the
// user's documents folder) + "/Zolvex Video Studio/Moive Output/", each level made
// when missing. Empty when it cannot be made.
std::string DefaultMovieFolder(const std::string& documents);

}  // namespace studio
}  // namespace zolvex
