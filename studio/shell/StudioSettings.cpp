#include "studio/shell/StudioSettings.h"

#include <cstdint>

#include "platform/SettingsStore.h"

namespace zolvex {
namespace studio {

namespace {

// The program's key below the user's.
const char kProgramKey[] = "HKEY_CURRENT_USER/Software/Zolvex Video Studio";

SettingsStore::Handle ProgramKey()
{
    SettingsStore& store = Settings();
    return store.CreateKey(store.Root(), kProgramKey, false);
}

}  // namespace

int LanguageSetting()
{
    uint32_t language = 0;
    if (!Settings().ReadDword(ProgramKey(), "Language", language) || language > 1)
        return 0;
    return int(language);
}

void SetLanguageSetting(int language)
{
    Settings().WriteDword(ProgramKey(), "Language", language == 1 ? 1u : 0u);
}

std::string WindowGeometrySetting()
{
    std::string hex;
    if (!Settings().ReadString(ProgramKey(), "WindowGeometry", hex) ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::string();
    return hex;
}

void SetWindowGeometrySetting(const std::string& hex) { Settings().WriteString(ProgramKey(), "WindowGeometry", hex); }

int PictureTimeSetting()
{
    uint32_t seconds = 0;
    if (!Settings().ReadDword(ProgramKey(), "PictureTime", seconds) || seconds < uint32_t(kMinPictureSeconds) ||
        seconds > uint32_t(kMaxPictureSeconds))
        return kDefaultPictureSeconds;
    return int(seconds);
}

void SetPictureTimeSetting(int seconds)
{
    if (seconds < kMinPictureSeconds)
        seconds = kMinPictureSeconds;
    if (seconds > kMaxPictureSeconds)
        seconds = kMaxPictureSeconds;
    Settings().WriteDword(ProgramKey(), "PictureTime", uint32_t(seconds));
}

bool SmoothPreviewSetting()
{
    uint32_t on = 0;
    return Settings().ReadDword(ProgramKey(), "SmoothPreview", on) && on == 1;
}

void SetSmoothPreviewSetting(bool on) { Settings().WriteDword(ProgramKey(), "SmoothPreview", on ? 1u : 0u); }

double ProjectFrameRate(int height) { return height == 240 || height == 480 ? 30000.0 / 1001.0 : 25.0; }

}  // namespace studio
}  // namespace zolvex
