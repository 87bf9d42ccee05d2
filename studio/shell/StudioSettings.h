// The program's own settings, kept between runs in the settings store under the
// user's key: the language of the string table and the main window's geometry.
#pragma once

#include <string>

namespace zolvex {
namespace studio {

// 0 English, 1 Chinese; English when never chosen or damaged.
int LanguageSetting();
void SetLanguageSetting(int language);

// The window's geometry as the toolkit saves it (bytes as text of hex digits);
// empty when none was kept.
std::string WindowGeometrySetting();
void SetWindowGeometrySetting(const std::string& hex);

}  // namespace studio
}  // namespace zolvex
