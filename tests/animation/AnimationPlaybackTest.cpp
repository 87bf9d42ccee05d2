// Animation playback: positions, angles, scales and opacities frame by frame, and
// what reaches the frame, with the generator seeded by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "filter/animation/AnimationPlayback.h"
#include "filter/animation/AnimationRecords.h"
#include "filter/effects/fTavEffect.h"

namespace {

typedef std::vector<unsigned char> Frame;

unsigned FixedSeed() { return 1234; }

struct SeededGenerator {
    SeededGenerator() { zolvex::SetAnimationSeedSource(FixedSeed); }
    ~SeededGenerator() { zolvex::SetAnimationSeedSource(nullptr); }
};

// A w × h picture, rows top to bottom, of one opaque colour.
std::vector<unsigned char> Solid(int w, int h, uint8_t b, uint8_t g, uint8_t r)
{
    std::vector<unsigned char> px(size_t(w) * h * 4);
    for (size_t k = 0; k < px.size(); k += 4) {
        px[k] = b;
        px[k + 1] = g;
        px[k + 2] = r;
        px[k + 3] = 255;
    }
    return px;
}

struct EffectDeleter {
    void operator()(void* e) const { FreeAnimationEffect(e); }
};
typedef std::unique_ptr<tagROMANCE_EFFECT2, EffectDeleter> Effect2;
typedef std::unique_ptr<tagROMANCE_EFFECT1, EffectDeleter> Effect1;

// A symbol with the maker's defaults and nothing moving.
tagROMANCE_SYMBOL* StillSymbol()
{
    tagROMANCE_SYMBOL* s = new tagROMANCE_SYMBOL();
    s->nOpacity = 200;
    s->nGuideSpeed = 12;
    s->nFrameRate = 12;
    s->nAngle = 180;
    s->fOriginX = s->fOriginY = 0.5f;
    s->fStretch = 1;
    s->fMotionSpeed = 1;
    s->nImageSource = -1;
    return s;
}

// A version-2 effect of one symbol showing the given pictures.
Effect2 OneSymbolEffect(tagROMANCE_SYMBOL* s, const std::vector<std::vector<unsigned char>>& pictures, int w, int h)
{
    Effect2 e(NewAnimationEffect2());
    tagROMANCE_ACTOR* a = NewAnimationActor();
    for (const auto& p : pictures)
        AddActorFrame(a, w, h, p.data());
    e->pSymbols->Add(s);
    e->pActors->Add(a);
    e->nSymbols = 1;
    e->guidEffect = GUID{0x11, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    return e;
}

struct Player {
    CfTavEffect fx;
    tagOPR_EFFECT op{};
    Frame frame;
    int w, h;
    Player(int width, int height, int afr) : w(width), h(height)
    {
        fx.InitEffect(tagSIZE{w, h}, w / 720.0f, w / 720.0f, 100, 3);
        fx.SetSrcVideoSize(tagSIZE{w, h});
        fx.SetAniFrameRate(afr);
        frame.assign(size_t(w) * h * 3, 0);
    }
    ~Player() { CfTavEffect::ReleaseOprSpecialData(&op); }
    void Start(void* record) { fx.InitSpecial(op.guidEffect, &op, AnimationRecordVersion(record), record); }
    void Frame_(void* record)
    {
        std::fill(frame.begin(), frame.end(), 0);
        fx.Special_Effect(&op, frame.data(), frame.data(), AnimationRecordVersion(record), record);
    }
    int Drawn() const
    {
        int n = 0;
        for (size_t k = 0; k < frame.size(); k += 3)
            n += frame[k] || frame[k + 1] || frame[k + 2];
        return n;
    }
};

TEST(AnimationPlayback, AStillSymbolIsDrawnCentredUprightAndFaded)
{
    // A 12 × 10 green picture with a red block in its top-left corner.
    std::vector<unsigned char> px = Solid(12, 10, 0, 255, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            px[(size_t(y) * 12 + x) * 4 + 1] = 0;
            px[(size_t(y) * 12 + x) * 4 + 2] = 255;
        }
    Effect2 e = OneSymbolEffect(StillSymbol(), {px}, 12, 10);
    Player p(720, 576, 10);
    p.fx.SetFadeOpacity(0.5f);
    p.Start(e.get());
    ASSERT_TRUE(p.op.bSpecialInited);
    EXPECT_EQ(p.op.nOverallOpacity, 255);
    Frame first;
    for (int k = 0; k < 4; ++k) {
        p.Frame_(e.get());
        if (k == 0)
            first = p.frame;
        EXPECT_EQ(p.frame, first) << "the same place every frame";
    }
    // Centred on (360, 288), the red corner at the top left, faded to 200 × 0.5.
    int minX = 720, maxX = 0, minRow = 576, maxRow = 0, redX = 0, redY = 0, reds = 0;
    for (int row = 0; row < 576; ++row)
        for (int col = 0; col < 720; ++col) {
            const unsigned char* q = &p.frame[(size_t(row) * 720 + col) * 3];
            if (!q[1] && !q[2])
                continue;
            minX = std::min(minX, col);
            maxX = std::max(maxX, col);
            minRow = std::min(minRow, row);
            maxRow = std::max(maxRow, row);
            if (q[2]) {
                EXPECT_EQ(q[2], 100);  // 255 × 100/255 (alpha 200 × 0.5 = 100)
                redX += col;
                redY += 575 - row;
                ++reds;
            } else {
                EXPECT_EQ(q[1], 100);
            }
        }
    ASSERT_GT(reds, 0);
    EXPECT_NEAR((minX + maxX) / 2.0, 360, 2);
    EXPECT_NEAR(575 - (minRow + maxRow) / 2.0, 288, 2);
    EXPECT_LT(redX / reds, 360) << "red block on the left";
    EXPECT_LT(redY / reds, 288) << "red block at the top";
}

TEST(AnimationPlayback, LinearMotionStepsByGuideSpeedOverFrameRate)
{
    tagROMANCE_SYMBOL* s = StillSymbol();
    s->fSpeedX = 1;
    s->fRotateSpeed = 1;
    Effect2 e = OneSymbolEffect(s, {Solid(4, 4, 9, 9, 9)}, 4, 4);
    Player p(720, 576, 10);  // g = 12 / 10 = 1, u = 4.5
    p.Start(e.get());
    float x = 360;
    for (int k = 1; k <= 170; ++k) {
        p.Frame_(e.get());
        x += 4.5f;
        if (x > 1080)
            x = 0;
        ASSERT_FLOAT_EQ(p.op.afPosX->GetAt(0), x) << "frame " << k;
        ASSERT_FLOAT_EQ(p.op.afAngle->GetAt(0), 180 - 5.0f * k);
    }

    // At 25 frames per second g = 12 / 25 = 0: nothing moves.
    Player still(720, 576, 25);
    still.Start(e.get());
    for (int k = 0; k < 10; ++k)
        still.Frame_(e.get());
    EXPECT_FLOAT_EQ(still.op.afPosX->GetAt(0), 360);
    EXPECT_FLOAT_EQ(still.op.afAngle->GetAt(0), 180);
}

TEST(AnimationPlayback, ZoomRestartsSmallAndFadesOnlyAboveOneTenth)
{
    for (float speed : {0.1f, 0.2f}) {
        tagROMANCE_SYMBOL* s = StillSymbol();
        s->fZoomSpeed = speed;
        s->nOpacity = 255;
        Effect2 e = OneSymbolEffect(s, {Solid(8, 8, 255, 255, 255)}, 8, 8);
        Player p(720, 576, 10);
        p.Start(e.get());
        float a = 1;
        bool restarted = false;
        for (int k = 0; k < 40; ++k) {
            p.Frame_(e.get());
            a += (a > 1 ? a : 1.0f) * speed;
            if (a > 5) {
                a = 0.01f;
                restarted = true;
            }
            ASSERT_FLOAT_EQ(p.op.afScaleX->GetAt(0), a) << speed << " frame " << k;
            // The brightest pixel shows the fade factor.
            int brightest = 0;
            for (unsigned char v : p.frame)
                brightest = std::max(brightest, int(v));
            const float q = (speed > 0.1f && a > 1) ? (5 - a) * 0.25f : 1.0f;
            if (a * 8 >= 4) {
                ASSERT_NEAR(brightest, int(q * 255), 2) << speed << " frame " << k;
            }
        }
        EXPECT_TRUE(restarted);
    }
}

TEST(AnimationPlayback, FlickerStepsByTwentyStartingDownwards)
{
    tagROMANCE_SYMBOL* s = StillSymbol();
    s->nMotion[0] = 4;
    Effect2 e = OneSymbolEffect(s, {Solid(4, 4, 9, 9, 9)}, 4, 4);
    Player p(160, 120, 10);
    p.Start(e.get());
    int o = 200, step = -20;
    for (int k = 0; k < 40; ++k) {
        p.Frame_(e.get());
        o += step;
        if (o > 255) {
            o = 255;
            step = -20;
        } else if (o < 0) {
            o = 0;
            step = 20;
        }
        ASSERT_EQ(p.op.aiOpacity->GetAt(0), o) << "frame " << k;
    }
}

// Draws what playback should have drawn, through the compositor directly.
Frame Expected(int w, int h, float zx, float zy, float angle, const std::vector<unsigned char>& px, int pw, int ph,
               int x, int y, int alpha)
{
    CfTavEffect fx;
    fx.InitEffect(tagSIZE{w, h}, w / 720.0f, w / 720.0f, 100, 3);
    Frame f(size_t(w) * h * 3, 0);
    fx.AddV2RenderPropsBuf(zx, zy, angle, f.data(), px.data(), tagSIZE{pw, ph}, x, y, alpha, 1, 0);
    return f;
}

TEST(AnimationPlayback, TinyPicturesAndFitScreen)
{
    // Three pixels wide at engine scale 1: drawn at scale 3 / 3 = 1.
    const std::vector<unsigned char> tiny = Solid(3, 3, 50, 100, 150);
    Effect2 e = OneSymbolEffect(StillSymbol(), {tiny}, 3, 3);
    Player p(720, 576, 10);
    p.Start(e.get());
    p.Frame_(e.get());
    EXPECT_EQ(p.frame, Expected(720, 576, 1, 1, 180, tiny, 3, 3, 360, 288, 200));

    // Fit screen: 2 % larger than the frame, centred, upright; the stretch is ignored.
    tagROMANCE_SYMBOL* s = StillSymbol();
    s->bFitScreen = 1;
    s->fStretch = 3;
    s->nAngle = 250;
    const std::vector<unsigned char> pic = Solid(40, 30, 10, 20, 30);
    Effect2 fit = OneSymbolEffect(s, {pic}, 40, 30);
    Player f(160, 120, 10);
    f.Start(fit.get());
    f.Frame_(fit.get());
    EXPECT_EQ(f.frame, Expected(160, 120, 160 * 1.02f / 40, 120 * 1.02f / 30, 180, pic, 40, 30, 80, 60, 200));
    EXPECT_GT(f.Drawn(), 150 * 110);
}

TEST(AnimationPlayback, RecordsAreFoundByGuidAndBadOnesAreNotPlayed)
{
    Effect2 e = OneSymbolEffect(StillSymbol(), {Solid(6, 6, 200, 200, 200)}, 6, 6);
    CTavmArray<void*> library(5);
    library.Add(e.get());
    Player p(160, 120, 10);
    p.fx.SetRomanceData(&library);
    p.op.guidEffect = e->guidEffect;
    p.fx.InitSpecial(p.op.guidEffect, &p.op, ANIMATION_VERSION_2, nullptr);
    ASSERT_TRUE(p.op.bSpecialInited);
    p.fx.Special_Effect(&p.op, p.frame.data(), p.frame.data(), ANIMATION_VERSION_2, nullptr);
    EXPECT_GT(p.Drawn(), 0);

    // Another GUID or another version text: nothing drawn, nothing changed.
    Player q(160, 120, 10);
    q.fx.SetRomanceData(&library);
    q.op.guidEffect = GUID{99, 0, 0, {0}};
    q.fx.InitSpecial(q.op.guidEffect, &q.op, ANIMATION_VERSION_2, nullptr);
    EXPECT_FALSE(q.op.bSpecialInited);
    q.fx.InitSpecial(e->guidEffect, &q.op, "AMRF_2002", e.get());
    q.fx.InitSpecial(e->guidEffect, &q.op, ANIMATION_VERSION_1, e.get());
    EXPECT_FALSE(q.op.bSpecialInited);
}

TEST(AnimationPlayback, EffectsThatWouldDivideByZeroAreSkipped)
{
    struct Case {
        const char* what;
        int afr;
        void (*spoil)(tagROMANCE_SYMBOL*);
    } cases[] = {
        {"no animation frame rate", 0, [](tagROMANCE_SYMBOL*) {}},
        {"no picture frame rate", 10, [](tagROMANCE_SYMBOL* s) { s->nFrameRate = 0; }},
        {"guide line without guide speed", 10,
         [](tagROMANCE_SYMBOL* s) {
             s->nMotion[2] = 1;
             s->nGuideSpeed = 0;
         }},
        {"pictures of a symbol that does not exist", 10, [](tagROMANCE_SYMBOL* s) { s->nImageSource = 3; }},
    };
    for (const Case& c : cases) {
        tagROMANCE_SYMBOL* s = StillSymbol();
        c.spoil(s);
        Effect2 e = OneSymbolEffect(s, {Solid(4, 4, 9, 9, 9)}, 4, 4);
        Player p(160, 120, c.afr);
        p.Start(e.get());
        p.Frame_(e.get());
        EXPECT_FALSE(p.op.bSpecialInited) << c.what;
        EXPECT_EQ(p.Drawn(), 0) << c.what;
    }
    // An actor without pictures.
    Effect2 empty = OneSymbolEffect(StillSymbol(), {}, 4, 4);
    Player p(160, 120, 10);
    p.Start(empty.get());
    EXPECT_FALSE(p.op.bSpecialInited);
}

TEST(AnimationPlayback, AChangedRecordStartsAfreshInsideTheSamePolygon)
{
    Effect2 e = OneSymbolEffect(StillSymbol(), {Solid(6, 6, 200, 200, 200)}, 6, 6);
    Player p(160, 120, 10);
    CTavmArray<tagSIZE>* left = new CTavmArray<tagSIZE>(5);
    for (tagSIZE pt : {tagSIZE{0, 0}, tagSIZE{80, 0}, tagSIZE{80, 120}, tagSIZE{0, 120}})
        left->Add(pt);
    p.op.pValidPolygon = left;
    p.Start(e.get());
    EXPECT_EQ(p.op.pValidPolygon, left) << "an existing polygon is kept";
    // A second symbol appears in the record.
    e->pSymbols->Add(StillSymbol());
    tagROMANCE_ACTOR* a = NewAnimationActor();
    AddActorFrame(a, 6, 6, Solid(6, 6, 1, 2, 3).data());
    e->pActors->Add(a);
    e->nSymbols = 2;
    p.Frame_(e.get());
    EXPECT_EQ(p.op.aiSymbol->GetSize(), 2);
    ASSERT_EQ(p.op.pValidPolygon, left);
    EXPECT_EQ(p.op.pValidPolygon->GetAt(1).cx, 80);
}

TEST(AnimationPlayback, RandomnessIsTheGeneratorsAndOnlyTheGenerators)
{
    SeededGenerator seeded;
    tagROMANCE_SYMBOL* s = StillSymbol();
    s->nMotion[0] = 2;  // random movement
    s->nMotion[1] = 5;  // flutter
    s->nMotion[2] = 3;  // swing
    Effect2 e = OneSymbolEffect(s, {Solid(6, 6, 200, 200, 200), Solid(6, 6, 100, 100, 100)}, 6, 6);
    std::vector<float> runs[2];
    std::vector<Frame> pictures[2];
    for (int i = 0; i < 2; ++i) {
        Player p(320, 240, 15);
        p.Start(e.get());
        for (int k = 0; k < 30; ++k) {
            p.Frame_(e.get());
            runs[i].push_back(p.op.afPosX->GetAt(0));
            runs[i].push_back(p.op.afPosY->GetAt(0));
            runs[i].push_back(p.op.afAngle->GetAt(0));
            pictures[i].push_back(p.frame);
        }
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(pictures[0], pictures[1]);

    // Equal runs prove nothing if the symbol stands still. The random movement steps
    // at least 7 pixels a frame across or down (5 × 2 × cos 45°), so every frame is
    // somewhere new, and what is drawn moves with it while it is on the frame.
    const std::vector<float>& run = runs[0];
    for (size_t k = 3; k < run.size(); k += 3)
        EXPECT_TRUE(run[k] != run[k - 3] || run[k + 1] != run[k - 2]) << "frame " << k / 3 << " did not move";
    const auto shows = [](const Frame& f) {
        return std::any_of(f.begin(), f.end(), [](unsigned char c) { return c != 0; });
    };
    int shownPairs = 0;
    for (size_t k = 1; k < pictures[0].size(); ++k) {
        if (!shows(pictures[0][k - 1]) || !shows(pictures[0][k]))
            continue;
        ++shownPairs;
        EXPECT_NE(pictures[0][k], pictures[0][k - 1]) << "frame " << k << " drawn where the one before was";
    }
    EXPECT_GE(shownPairs, 5) << "the symbol must be on the frame often enough to be seen moving";
}

// A version-1 crowd with every motion type and every placement mode plays without
// leaving its arrays out of step or the frame out of bounds.
TEST(AnimationPlayback, VersionOneCrowds)
{
    SeededGenerator seeded;
    for (int placement = 0; placement <= 11; ++placement) {
        Effect1 e(NewAnimationEffect1());
        e->nDefaultDensity = 7;
        e->nMaxDensity = 20;
        e->nOpacity = 180;
        e->nGuideSpeed = 12;
        e->nFrameRate = 10;
        e->fDriftX = 1.5f;
        e->fDriftY = -1;
        e->fMotionSpeed = 1;
        e->nMaxSwingAngle = 30;
        e->bChangeAspect = placement % 2;
        e->nPlacement = placement;
        for (int k = 0; k < kMotionSlots; ++k)
            e->nMotion[k] = (k + placement) % 15;
        for (int i = 0; i < 2; ++i) {
            tagROMANCE_ACTOR* a = NewAnimationActor();
            AddActorFrame(a, 5, 7, Solid(5, 7, 30, 60, 90).data());
            AddActorFrame(a, 2, 2, Solid(2, 2, 90, 60, 30).data());
            for (int g = 0; g < 40; ++g)
                a->pGuidePoints->Add(tagPOINT{g * 8, 120 + (g % 7) * 5});
            a->nGuidePoints = 40;
            e->pActors->Add(a);
        }
        e->nSymbols = 2;
        Player p(160, 120, 10);
        p.Start(e.get());
        ASSERT_TRUE(p.op.bSpecialInited);
        EXPECT_EQ(p.op.nInstanceCount, 7) << "the default density";
        for (int k = 0; k < 25; ++k)
            p.Frame_(e.get());
        EXPECT_EQ(p.op.afPosX->GetSize(), 7);
        EXPECT_EQ(p.op.aiGuidePos->GetSize(), 7);

        Player preset(160, 120, 10);
        preset.op.nInstanceCount = 3;
        preset.Start(e.get());
        EXPECT_EQ(preset.op.aiSymbol->GetSize(), 3);
    }
}

}  // namespace
