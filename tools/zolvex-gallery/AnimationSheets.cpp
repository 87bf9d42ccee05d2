// The filmstrip of an animation effect: ten frames of the sample effect played over
// the test picture, one every fifth frame at 25 frames per second.
#include <cstdio>

#include "filter/animation/AnimationPlayback.h"
#include "filter/effects/fTavEffect.h"
#include "tools/common/SampleEffect.h"
#include "tools/common/SyntheticPicture.h"
#include "tools/zolvex-gallery/Sheet.h"

namespace gallery {
namespace {

unsigned FixedSeed() { return 7; }

}  // namespace

bool AnimationSheet(const std::string& folder)
{
    const int w = 360, h = 288;
    tagROMANCE_EFFECT2* effect = MakeSampleAnimationEffect();
    if (!effect) {
        std::fprintf(stderr, "zolvex-gallery: cannot make the sample animation effect\n");
        return false;
    }
    // The same picture on every run.
    zolvex::SetAnimationSeedSource(FixedSeed);
    const Frame background = zolvex::testpic::MakeTestPicture(w, h, 3);
    tagOPR_EFFECT op{};
    op.guidEffect = effect->guidEffect;
    std::vector<Cell> cells;
    for (int frame = 0; frame < 50; ++frame) {
        CfTavEffect fx;
        fx.InitEffect(tagSIZE{w, h}, w / 720.0f, w / 720.0f, 100, 3);
        fx.SetAniFrameRate(25);
        if (frame == 0)
            fx.InitSpecial(op.guidEffect, &op, effect->szVersion, effect);
        Frame picture = background;
        fx.Special_Effect(&op, picture.data(), picture.data(), effect->szVersion, effect);
        if (frame % 5 == 0) {
            char label[48];
            std::snprintf(label, sizeof label, "frame %d (%.1f s)", frame, frame / 25.0);
            cells.push_back(Cell{label, picture});
        }
    }
    CfTavEffect::ReleaseOprSpecialData(&op);
    FreeAnimationEffect(effect);
    zolvex::SetAnimationSeedSource(nullptr);
    return WriteSheet(folder + "/animation.png", cells, w, h, 5);
}

}  // namespace gallery
