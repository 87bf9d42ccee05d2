// The animation effect under construction in the maker: a version-2 effect whose
// symbols are made from the symbol library, their motion properties, guide lines and
// placement, a preview operation that plays it, and saving it as an ".arf" file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter/animation/AnimationRecords.h"
#include "filter/timeline/model/EffectOperation.h"
#include "platform/Prompt.h"
#include "studio/maker/SymbolLibrary.h"

namespace zolvex {
namespace studio {

// The property sliders: each an integer position from 0 to its maximum, turned into
// the symbol's field and back.
enum class SymbolProperty {
    kOpacity,
    kOriginX,
    kOriginY,
    kAngle,
    kStretch,
    kFrameRate,
    kSpeedX,
    kSpeedY,
    kRotateSpeed,
    kZoomSpeed,
    kSpecialMotion,  // a list: "None", "Radom Movement", "Swing", "Flicker", "Flutter"
    kMotionSpeed,
};
constexpr int kSymbolPropertyCount = 12;

struct SymbolPropertyInfo {
    SymbolProperty property;
    const char* label;
    int maximum;
};
const SymbolPropertyInfo& PropertyInfo(SymbolProperty p);
// The field's value for a slider position, and the position that shows a field.
double PropertyValue(SymbolProperty p, int position);
int PropertyPosition(SymbolProperty p, const tagROMANCE_SYMBOL& symbol);
// The five entries of "Special Motion", as the list shows them.
const std::vector<std::string>& SpecialMotionNames();

enum class Placement { kDefault, kFitScreen, kGuideLine };

class EffectMaker {
public:
    // The guide-line window's drawing area and the canvas inside it.
    static constexpr int kAreaLeft = 20, kAreaTop = 40, kAreaRight = 490, kAreaBottom = 430;
    static constexpr int kCanvasLeft = 95, kCanvasTop = 115;
    static constexpr int kPreviewWidth = 320, kPreviewHeight = 240;

    EffectMaker();
    ~EffectMaker();  // frees the effect, its symbols, actors and frames
    EffectMaker(const EffectMaker&) = delete;
    EffectMaker& operator=(const EffectMaker&) = delete;

    tagROMANCE_EFFECT2* Effect() const { return effect_; }
    int Symbols() const { return effect_->nSymbols; }
    tagROMANCE_SYMBOL* Symbol(int i) const;
    tagROMANCE_ACTOR* Actor(int i) const;
    // The library symbol each symbol was made from.
    const std::vector<int>& LibraryIndexes() const { return libraryIndexes_; }
    int Selected() const { return selected_; }
    void Select(int i);
    bool Saved() const { return saved_; }

    // "Add Symbol" with library symbol `index` (−1: none selected, which `prompt` is
    // told). Frames are decoded, or shared with the first earlier symbol made from
    // the same library symbol. The new symbol becomes the selection.
    bool AddSymbol(int index, const SymbolLibrary& library, IPrompt& prompt);
    // "Remove Symbol" for the given symbols (each index as it stands when its turn
    // comes, from the first to the last).
    void RemoveSymbols(std::vector<int> indexes);

    // The selected symbol's property from a slider position; its mode; its guide.
    void SetProperty(SymbolProperty p, int position);
    // `specialMotion`: the "Special Motion" list's entry, for the modes that use it.
    void SetPlacement(Placement placement, int specialMotion = 0);
    Placement PlacementOf(int i) const;
    // Which controls a mode enables.
    static bool PropertyEnabled(SymbolProperty p, Placement placement);
    void SetGuideSpeed(int position);         // 0..55 → nGuideSpeed = position + 5
    void SetAngleCorrection(int degrees);
    // A point of the guide-line window (window coordinates); false when it is outside
    // the drawing area or repeats the last point.
    bool AddGuidePoint(int x, int y);
    void ClearGuideLine();

    // The next preview frame over `background` (320 × 240 × 3, rows from the top),
    // returned with rows from the top.
    std::vector<uint8_t> PreviewFrame(const std::vector<uint8_t>& background);
    // Starts the preview's animation afresh (after every change).
    void RestartPreview();

    // Writes the effect to `path` (".arf" added when missing), its names from the
    // file title; sets the saved flag. False when it cannot be written.
    bool Save(const std::string& path);
    // Closing asks to save an effect with symbols that was never saved.
    bool AsksOnClose() const { return effect_->nSymbols > 0 && !saved_; }

private:
    tagROMANCE_EFFECT2* effect_;
    tagOPR_EFFECT preview_{};
    std::vector<int> libraryIndexes_;
    int selected_ = -1;
    bool saved_ = false;
};

}  // namespace studio
}  // namespace zolvex
