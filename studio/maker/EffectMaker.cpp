#include "studio/maker/EffectMaker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <random>

#include "filter/animation/AnimationFile.h"
#include "filter/effects/fTavEffect.h"
#include "studio/shell/StringTable.h"

namespace zolvex {
namespace studio {

namespace {

const SymbolPropertyInfo kProperties[kSymbolPropertyCount] = {
    {SymbolProperty::kOpacity, "Opacity", 255},
    {SymbolProperty::kOriginX, "Default Origin.X", 100},
    {SymbolProperty::kOriginY, "Default Origin.Y", 100},
    {SymbolProperty::kAngle, "Default Angle", 360},
    {SymbolProperty::kStretch, "Stretch", 200},
    {SymbolProperty::kFrameRate, "Frame Rate", 29},
    {SymbolProperty::kSpeedX, "Speed.X", 1000},
    {SymbolProperty::kSpeedY, "Speed.Y", 1000},
    {SymbolProperty::kRotateSpeed, "Rotate Speed", 100},
    {SymbolProperty::kZoomSpeed, "Zoom Speed", 100},
    {SymbolProperty::kSpecialMotion, "Special Motion", 4},
    {SymbolProperty::kMotionSpeed, "Motion Speed", 500},
};

// A fresh version-4 GUID.
GUID NewGuid()
{
    std::random_device random;
    unsigned char b[16];
    for (unsigned char& c : b)
        c = static_cast<unsigned char>(random());
    GUID g{};
    g.Data1 = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    g.Data2 = uint16_t(b[4] | b[5] << 8);
    g.Data3 = uint16_t(((b[6] | b[7] << 8) & 0x0FFF) | 0x4000);
    std::memcpy(g.Data4, b + 8, 8);
    g.Data4[0] = uint8_t((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

// The symbol's field a property edits, as a number.
void Store(tagROMANCE_SYMBOL& s, SymbolProperty p, double v)
{
    switch (p) {
    case SymbolProperty::kOpacity: s.nOpacity = int32_t(std::lround(v)); break;
    case SymbolProperty::kOriginX: s.fOriginX = float(v); break;
    case SymbolProperty::kOriginY: s.fOriginY = float(v); break;
    case SymbolProperty::kAngle: s.nAngle = int32_t(std::lround(v)); break;
    case SymbolProperty::kStretch: s.fStretch = float(v); break;
    case SymbolProperty::kFrameRate: s.nFrameRate = int32_t(std::lround(v)); break;
    case SymbolProperty::kSpeedX: s.fSpeedX = float(v); break;
    case SymbolProperty::kSpeedY: s.fSpeedY = float(v); break;
    case SymbolProperty::kRotateSpeed: s.fRotateSpeed = float(v); break;
    case SymbolProperty::kZoomSpeed: s.fZoomSpeed = float(v); break;
    case SymbolProperty::kSpecialMotion: s.nMotion[0] = int32_t(std::lround(v)); break;
    case SymbolProperty::kMotionSpeed: s.fMotionSpeed = float(v); break;
    }
}

}  // namespace

const SymbolPropertyInfo& PropertyInfo(SymbolProperty p) { return kProperties[int(p)]; }

const std::vector<std::string>& SpecialMotionNames()
{
    static const std::vector<std::string> names = {"None", "Radom Movement", "Swing", "Flicker", "Flutter"};
    return names;
}

double PropertyValue(SymbolProperty p, int v)
{
    v = std::clamp(v, 0, PropertyInfo(p).maximum);
    switch (p) {
    case SymbolProperty::kOpacity: return v;
    case SymbolProperty::kOriginX:
    case SymbolProperty::kOriginY: return v * 0.01;
    case SymbolProperty::kAngle: return 540 - v;
    case SymbolProperty::kStretch: return v <= 100 ? v * 0.01 : (v - 90) * 0.1;
    case SymbolProperty::kFrameRate: return v + 1;
    case SymbolProperty::kSpeedX:
    case SymbolProperty::kSpeedY: return (v - 500) * 0.01;
    case SymbolProperty::kRotateSpeed: return (v - 50) * 0.1;
    case SymbolProperty::kZoomSpeed: return (v - 50) * 0.005;
    case SymbolProperty::kSpecialMotion: return v == 0 ? 0 : v + 1;
    case SymbolProperty::kMotionSpeed: return v * 0.01;
    }
    return 0;
}

int PropertyPosition(SymbolProperty p, const tagROMANCE_SYMBOL& s)
{
    double v = 0;
    switch (p) {
    case SymbolProperty::kOpacity: v = s.nOpacity; break;
    case SymbolProperty::kOriginX: v = s.fOriginX * 100.0; break;
    case SymbolProperty::kOriginY: v = s.fOriginY * 100.0; break;
    case SymbolProperty::kAngle: v = 540 - s.nAngle; break;
    case SymbolProperty::kStretch: v = s.fStretch > 1.0f ? s.fStretch * 10.0 + 90 : s.fStretch * 100.0; break;
    case SymbolProperty::kFrameRate: v = s.nFrameRate - 1; break;
    case SymbolProperty::kSpeedX: v = s.fSpeedX * 100.0 + 500; break;
    case SymbolProperty::kSpeedY: v = s.fSpeedY * 100.0 + 500; break;
    case SymbolProperty::kRotateSpeed: v = s.fRotateSpeed * 10.0 + 50; break;
    case SymbolProperty::kZoomSpeed: v = s.fZoomSpeed * 200.0 + 50; break;
    case SymbolProperty::kSpecialMotion: v = s.nMotion[0] < 2 ? 0 : s.nMotion[0] - 1; break;
    case SymbolProperty::kMotionSpeed: v = s.fMotionSpeed * 100.0; break;
    }
    return std::clamp(int(std::lround(v)), 0, PropertyInfo(p).maximum);
}

EffectMaker::EffectMaker() : effect_(NewAnimationEffect2())
{
    if (!effect_)
        throw std::bad_alloc();
    std::snprintf(effect_->szVersion, sizeof effect_->szVersion, "%s", ANIMATION_VERSION_2);
    effect_->guidEffect = NewGuid();
    preview_.guidEffect = effect_->guidEffect;
    preview_.nOverallOpacity = 255;
}

EffectMaker::~EffectMaker()
{
    CfTavEffect::ReleaseOprSpecialData(&preview_);
    FreeAnimationEffect(effect_);
}

tagROMANCE_SYMBOL* EffectMaker::Symbol(int i) const
{
    return i >= 0 && i < effect_->nSymbols ? effect_->pSymbols->GetAt(uint32_t(i)) : nullptr;
}

tagROMANCE_ACTOR* EffectMaker::Actor(int i) const
{
    return i >= 0 && i < effect_->nSymbols ? effect_->pActors->GetAt(uint32_t(i)) : nullptr;
}

void EffectMaker::Select(int i) { selected_ = i >= 0 && i < effect_->nSymbols ? i : -1; }

void EffectMaker::RestartPreview() { CfTavEffect::ReleaseOprSpecialData(&preview_); }

bool EffectMaker::AddSymbol(int index, const SymbolLibrary& library, IPrompt& prompt)
{
    if (index < 0 || index >= library.Count()) {
        prompt.Show("Please select an animation symbol in the library.", Str(0), kPromptInformation, kPromptOk);
        return false;
    }
    tagROMANCE_ACTOR* actor = NewAnimationActor();
    auto* symbol = new (std::nothrow) tagROMANCE_SYMBOL();
    if (!actor || !symbol) {
        FreeAnimationActor(actor);
        delete symbol;
        return false;
    }
    symbol->nOpacity = 200;
    symbol->nGuideSpeed = 12;
    symbol->nFrameRate = 12;
    symbol->fMotionSpeed = 1.0f;
    symbol->nAngle = 180;
    symbol->fStretch = 1.0f;
    symbol->fOriginX = symbol->fOriginY = 0.5f;
    symbol->nImageSource = -1;
    const auto earlier = std::find(libraryIndexes_.begin(), libraryIndexes_.end(), index);
    if (earlier != libraryIndexes_.end()) {
        // The pictures are already there: this symbol shows the first one's.
        symbol->nImageSource = int32_t(earlier - libraryIndexes_.begin());
    } else {
        for (const SymbolLibrary::Picture& picture : library.At(index)) {
            std::vector<uint8_t> bgra;
            int w = 0, h = 0;
            if (SymbolLibrary::Decode(picture, &bgra, &w, &h))
                AddActorFrame(actor, w, h, bgra.data());
        }
    }
    if (effect_->pSymbols->Add(symbol) < 0) {
        FreeAnimationActor(actor);
        delete symbol;
        return false;
    }
    if (effect_->pActors->Add(actor) < 0) {
        effect_->pSymbols->RemoveAt(uint32_t(effect_->pSymbols->GetSize() - 1));
        FreeAnimationActor(actor);
        delete symbol;
        return false;
    }
    libraryIndexes_.push_back(index);
    ++effect_->nSymbols;
    selected_ = effect_->nSymbols - 1;
    RestartPreview();
    return true;
}

void EffectMaker::RemoveSymbols(std::vector<int> indexes)
{
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    // Each later index moves down by one for every symbol removed before it.
    for (size_t k = 0; k < indexes.size(); ++k) {
        const int i = indexes[k] - int(k);
        if (i < 0 || i >= effect_->nSymbols)
            continue;
        tagROMANCE_ACTOR* actor = Actor(i);
        // The first symbol that showed i's pictures gets its own copy; the others
        // that did show that one's now.
        int heir = -1;
        for (int j = 0; j < effect_->nSymbols; ++j) {
            tagROMANCE_SYMBOL* s = Symbol(j);
            if (j == i || s->nImageSource != i)
                continue;
            if (heir < 0) {
                heir = j;
                tagROMANCE_ACTOR* own = Actor(j);
                for (int f = 0; f < actor->nFrames; ++f) {
                    const tagSIZE size = actor->pFrameSizes->GetAt(uint32_t(f));
                    AddActorFrame(own, size.cx, size.cy, actor->pFrameBits->GetAt(uint32_t(f)));
                }
                s->nImageSource = -1;
            } else {
                s->nImageSource = heir;
            }
        }
        delete Symbol(i);
        FreeAnimationActor(actor);
        effect_->pSymbols->RemoveAt(uint32_t(i));
        effect_->pActors->RemoveAt(uint32_t(i));
        libraryIndexes_.erase(libraryIndexes_.begin() + i);
        --effect_->nSymbols;
        for (int j = 0; j < effect_->nSymbols; ++j)
            if (Symbol(j)->nImageSource > i)
                --Symbol(j)->nImageSource;
        selected_ = i > 0 ? i - 1 : (effect_->nSymbols > 0 ? 0 : -1);
    }
    RestartPreview();
}

void EffectMaker::SetProperty(SymbolProperty p, int position)
{
    tagROMANCE_SYMBOL* s = Symbol(selected_);
    if (!s)
        return;
    // The special motion of a guide-line symbol stays "follow the line".
    if (p == SymbolProperty::kSpecialMotion && s->bGuideLine)
        return;
    Store(*s, p, PropertyValue(p, position));
    RestartPreview();
}

Placement EffectMaker::PlacementOf(int i) const
{
    const tagROMANCE_SYMBOL* s = Symbol(i);
    if (!s)
        return Placement::kDefault;
    return s->bGuideLine ? Placement::kGuideLine : s->bFitScreen ? Placement::kFitScreen : Placement::kDefault;
}

void EffectMaker::SetPlacement(Placement placement, int specialMotion)
{
    tagROMANCE_SYMBOL* s = Symbol(selected_);
    if (!s)
        return;
    s->bGuideLine = placement == Placement::kGuideLine;
    s->bFitScreen = placement == Placement::kFitScreen;
    // A guide-line symbol follows its line; the others move as the list says.
    s->nMotion[0] = placement == Placement::kGuideLine
                        ? 1
                        : int32_t(PropertyValue(SymbolProperty::kSpecialMotion, specialMotion));
    RestartPreview();
}

bool EffectMaker::PropertyEnabled(SymbolProperty p, Placement placement)
{
    switch (p) {
    case SymbolProperty::kOpacity:
    case SymbolProperty::kFrameRate: return true;
    case SymbolProperty::kStretch: return placement != Placement::kFitScreen;
    default: return placement == Placement::kDefault;
    }
}

void EffectMaker::SetGuideSpeed(int position)
{
    if (tagROMANCE_SYMBOL* s = Symbol(selected_)) {
        s->nGuideSpeed = std::clamp(position, 0, 55) + 5;
        RestartPreview();
    }
}

void EffectMaker::SetAngleCorrection(int degrees)
{
    if (tagROMANCE_SYMBOL* s = Symbol(selected_)) {
        s->nAngleCorrection = degrees;
        RestartPreview();
    }
}

bool EffectMaker::AddGuidePoint(int x, int y)
{
    tagROMANCE_ACTOR* actor = Actor(selected_);
    if (!actor || x < kAreaLeft || x > kAreaRight || y < kAreaTop || y > kAreaBottom)
        return false;
    const tagPOINT p{x - kCanvasLeft, y - kCanvasTop};
    const int n = int(actor->pGuidePoints->GetSize());
    if (n > 0) {
        const tagPOINT last = actor->pGuidePoints->GetAt(uint32_t(n - 1));
        if (last.x == p.x && last.y == p.y)
            return false;
    }
    if (actor->pGuidePoints->Add(p) < 0)
        return false;
    actor->nGuidePoints = int32_t(actor->pGuidePoints->GetSize());
    RestartPreview();
    return true;
}

void EffectMaker::ClearGuideLine()
{
    if (tagROMANCE_ACTOR* actor = Actor(selected_)) {
        actor->pGuidePoints->RemoveAll();
        actor->nGuidePoints = 0;
        RestartPreview();
    }
}

std::vector<uint8_t> EffectMaker::PreviewFrame(const std::vector<uint8_t>& background)
{
    const size_t row = size_t(kPreviewWidth) * 3;
    std::vector<uint8_t> frame(row * kPreviewHeight, 0);
    // The engine's frames run from the bottom row up.
    if (background.size() == frame.size())
        for (int y = 0; y < kPreviewHeight; ++y)
            std::memcpy(&frame[size_t(kPreviewHeight - 1 - y) * row], &background[size_t(y) * row], row);
    if (effect_->nSymbols > 0) {
        CfTavEffect fx;
        const float scale = float(kPreviewWidth) / 720.0f;
        fx.InitEffect(tagSIZE{kPreviewWidth, kPreviewHeight}, scale, scale, 100, 3);
        fx.SetSrcVideoSize(tagSIZE{kPreviewWidth, kPreviewHeight});
        fx.SetAniFrameRate(10);
        fx.InitSpecial(preview_.guidEffect, &preview_, effect_->szVersion, effect_);
        fx.Special_Effect(&preview_, frame.data(), frame.data(), effect_->szVersion, effect_);
    }
    std::vector<uint8_t> upright(frame.size());
    for (int y = 0; y < kPreviewHeight; ++y)
        std::memcpy(&upright[size_t(y) * row], &frame[size_t(kPreviewHeight - 1 - y) * row], row);
    return upright;
}

bool EffectMaker::Save(const std::string& path)
{
    // Both names are the file's title.
    std::string title = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    if (title.size() > 4 && title.compare(title.size() - 4, 4, ".arf") == 0)
        title.resize(title.size() - 4);
    std::snprintf(effect_->szName0, sizeof effect_->szName0, "%s", title.c_str());
    std::snprintf(effect_->szName1, sizeof effect_->szName1, "%s", title.c_str());
    if (!WriteAnimationEffect(effect_, path.c_str()))
        return false;
    saved_ = true;
    return true;
}

}  // namespace studio
}  // namespace zolvex
