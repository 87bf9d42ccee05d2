#include "filter/effects/StaticEffectTable.h"

namespace zolvex {
namespace {

typedef unsigned char uchar;

const StaticEffectEntry kStaticEffects[] = {
    {0, "Adjust Brightness",
     [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Brightness(s, d, fx.nLevel * 255 / 100); }},
    {1, "Adjust Contrast",
     [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Contrast(s, d, fx.nLevel * 255 / 100); }},
    {2, "Adjust Gamma",
     [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Gamma(s, d, static_cast<float>(fx.nLevel * 2.55 * 0.01)); }},
    {3, "Mirror", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.mirror(s, d); }},
    {4, "Flip", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.flip(s, d); }},
    {5, "Posterize", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.posterize(s, d); }},
    {6, "Negate", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.negate(s, d); }},
    {7, "Solarize", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Solarize(s, d); }},
    {8, "Glass", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Glass(s, d); }},
    {9, "Emboss", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Emboss(s, d); }},
    {10, "Gray", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.Gray(s, d); }},
    {11, "Threshold", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.threshold(s, d); }},
    {12, "Halftone", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.halftone(s, d); }},
    {13, "Splash", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.splash(s, d); }},
    {14, "Radial-Blur", [](CfTavEffect& fx, const uchar* s, uchar* d) { fx.RadialBlur(s, d); }},
};

constexpr int kCount = int(sizeof(kStaticEffects) / sizeof(kStaticEffects[0]));

}  // namespace

const StaticEffectEntry* FindStaticEffect(int id)
{
    if (id < 0 || id >= kCount)
        return nullptr;
    return &kStaticEffects[id];
}

int StaticEffectCount()
{
    return kCount;
}

}  // namespace zolvex
