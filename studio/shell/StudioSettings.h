// The program's own settings, kept between runs in the settings store under the
// user's key: the language of the string table, the main window's geometry and how
// long a picture plays when it becomes a scene.
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

// Seconds a picture plays when it is put on the timeline, 1–60; 5 when never chosen
// or out of range.
constexpr int kDefaultPictureSeconds = 5;
constexpr int kMinPictureSeconds = 1;
constexpr int kMaxPictureSeconds = 60;
int PictureTimeSetting();
// Kept within 1–60.
void SetPictureTimeSetting(int seconds);

// Whether the preview plays at the project's own frame rate instead of 15 frames a
// second; off when never chosen.
bool SmoothPreviewSetting();
void SetSmoothPreviewSetting(bool on);
// The frame rate a project of `height` lines previews at when smooth: 30000/1001 for
// NTSC heights (240, 480), 25 otherwise.
double ProjectFrameRate(int height);

}  // namespace studio
}  // namespace zolvex
