// The maker's core: the symbol library file (imports, damage), symbols shared and
// handed over, the property conversions both ways, guide points, and a saved effect
// that reads back as it was built.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "filter/animation/AnimationFile.h"
#include "platform/ReadFile.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/maker/EffectMaker.h"
#include "studio/maker/SymbolLibrary.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScriptedPrompt.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

typedef std::vector<uint8_t> Bytes;

class EffectMakerTest : public ::testing::Test {
protected:
    void SetUp() override { Strings().Load(Language::kEnglish); }
    // A w × h PNG of one colour.
    std::string Png(const std::string& name, int w, int h, double r, double g, double b)
    {
        const std::string path = folder.Path() + name + ".png";
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, r, g, b);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_write_to_png(s, path.c_str());
        cairo_surface_destroy(s);
        return path;
    }
    Bytes Read(const std::string& path)
    {
        Bytes b;
        ReadRegularFile(path.c_str(), 1 << 30, b);
        return b;
    }

    testsupport::ScratchFolder folder{"maker"};
    testsupport::ScriptedPrompt prompt;
};

}  // namespace

TEST_F(EffectMakerTest, ImportedPicturesBecomeOneSymbolOfTheLibraryFile)
{
    SymbolLibrary library(folder.Path());
    EXPECT_FALSE(library.Load()) << "no file yet";
    const std::string red = Png("red", 8, 6, 1, 0, 0), blue = Png("blue", 4, 4, 0, 0, 1);
    ASSERT_TRUE(library.Import({red, folder.Path() + "gone.png", blue}));
    ASSERT_EQ(library.Count(), 1);
    ASSERT_EQ(library.At(0).size(), 2u) << "the missing file is skipped";
    const Bytes file = Read(library.Path()), redBytes = Read(red), blueBytes = Read(blue);
    // count 1; byte size and picture count; then size, width, height and the bytes.
    Bytes expected;
    auto put = [&expected](int32_t v) {
        for (int k = 0; k < 4; ++k)
            expected.push_back(uint8_t(uint32_t(v) >> (8 * k)));
    };
    put(1);
    put(int32_t(redBytes.size() + 12 + blueBytes.size() + 12));
    put(2);
    put(int32_t(redBytes.size()));
    put(8);
    put(6);
    expected.insert(expected.end(), redBytes.begin(), redBytes.end());
    put(int32_t(blueBytes.size()));
    put(4);
    put(4);
    expected.insert(expected.end(), blueBytes.begin(), blueBytes.end());
    EXPECT_EQ(file, expected);
    // A second import appends a second symbol; nothing usable changes nothing.
    ASSERT_TRUE(library.Import({blue}));
    EXPECT_FALSE(library.Import({folder.Path() + "gone.png"}));
    SymbolLibrary again(folder.Path());
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.Count(), 2);

    // Every cut of the file loads what is whole before it, without a crash.
    const Bytes whole = Read(library.Path());
    for (size_t cut = 0; cut < whole.size(); cut += 7) {
        std::ofstream(library.Path(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(whole.data()), std::streamsize(cut));
        SymbolLibrary cutShort(folder.Path());
        EXPECT_FALSE(cutShort.Load());
        EXPECT_LE(cutShort.Count(), 1);
    }
}

TEST_F(EffectMakerTest, SharedSymbolsAndTheirHandOver)
{
    SymbolLibrary library(folder.Path());
    ASSERT_TRUE(library.Import({Png("a", 8, 6, 1, 0, 0), Png("b", 8, 6, 0, 1, 0)}));
    EffectMaker maker;
    EXPECT_STREQ(maker.Effect()->szVersion, "AMRF_2001");
    EXPECT_FALSE(maker.AddSymbol(-1, library, prompt));
    EXPECT_EQ(prompt.LastText(), "Please select an animation symbol in the library.");
    ASSERT_TRUE(maker.AddSymbol(0, library, prompt));
    ASSERT_TRUE(maker.AddSymbol(0, library, prompt));
    EXPECT_EQ(maker.Selected(), 1);
    EXPECT_EQ(maker.Actor(0)->nFrames, 2);
    EXPECT_EQ(maker.Symbol(0)->nImageSource, -1);
    EXPECT_EQ(maker.Actor(1)->nFrames, 0) << "the second shows the first one's pictures";
    EXPECT_EQ(maker.Symbol(1)->nImageSource, 0);
    // The defaults of a new symbol.
    const tagROMANCE_SYMBOL& s = *maker.Symbol(0);
    EXPECT_EQ(s.nOpacity, 200);
    EXPECT_EQ(s.nGuideSpeed, 12);
    EXPECT_EQ(s.nFrameRate, 12);
    EXPECT_EQ(s.nAngle, 180);
    EXPECT_FLOAT_EQ(s.fStretch, 1.0f);
    EXPECT_FLOAT_EQ(s.fOriginX, 0.5f);
    // The first frame is the red picture, rows from the top, opaque.
    const uint8_t* px = maker.Actor(0)->pFrameBits->GetAt(0);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[3], 255);

    // Saved: the second actor block has no frames of its own.
    ASSERT_TRUE(maker.Save(folder.Path() + "twins.arf"));
    EXPECT_TRUE(maker.Saved());
    Bytes bytes = Read(folder.Path() + "twins.arf");
    MemoryAnimationSource source(bytes.data(), bytes.size());
    auto* read = static_cast<tagROMANCE_EFFECT2*>(ReadAnimationEffect(source));
    ASSERT_NE(read, nullptr);
    EXPECT_STREQ(read->szName0, "twins");
    EXPECT_STREQ(read->szName1, "twins");
    ASSERT_EQ(read->nSymbols, 2);
    EXPECT_EQ(read->pActors->GetAt(1)->nFrames, 0);
    EXPECT_EQ(read->pSymbols->GetAt(1)->nImageSource, 0);
    EXPECT_EQ(read->pActors->GetAt(0)->nFrames, 2);
    EXPECT_EQ(std::memcmp(read->pActors->GetAt(0)->pFrameBits->GetAt(0), px, 8 * 6 * 4), 0);
    EXPECT_TRUE(read->guidEffect == maker.Effect()->guidEffect);
    FreeAnimationEffect(read);

    // Removing the first: the second gets its own copy of the frames.
    maker.RemoveSymbols({0});
    ASSERT_EQ(maker.Symbols(), 1);
    EXPECT_EQ(maker.Symbol(0)->nImageSource, -1);
    EXPECT_EQ(maker.Actor(0)->nFrames, 2);
    EXPECT_EQ(maker.Selected(), 0);
    EXPECT_EQ(maker.LibraryIndexes(), std::vector<int>{0});
    maker.RemoveSymbols({0});
    EXPECT_EQ(maker.Selected(), -1);
    EXPECT_FALSE(maker.AsksOnClose()) << "saved once";
}

TEST_F(EffectMakerTest, RemovingSeveralRenumbersThePictureSources)
{
    SymbolLibrary library(folder.Path());
    ASSERT_TRUE(library.Import({Png("a", 4, 4, 1, 0, 0)}));
    ASSERT_TRUE(library.Import({Png("b", 4, 4, 0, 0, 1)}));
    EffectMaker maker;
    // Symbols: 0 (lib 0), 1 (lib 1), 2 (lib 1 → shows 1), 3 (lib 1 → shows 1).
    for (int lib : {0, 1, 1, 1})
        ASSERT_TRUE(maker.AddSymbol(lib, library, prompt));
    EXPECT_TRUE(maker.AsksOnClose());
    maker.RemoveSymbols({0, 1});
    ASSERT_EQ(maker.Symbols(), 2);
    EXPECT_EQ(maker.Symbol(0)->nImageSource, -1) << "the heir has its own frames";
    EXPECT_EQ(maker.Actor(0)->nFrames, 1);
    EXPECT_EQ(maker.Symbol(1)->nImageSource, 0) << "the other follows the heir, renumbered";
}

TEST_F(EffectMakerTest, PropertyConversionsBothWays)
{
    struct Case {
        SymbolProperty p;
        int position;
        double value;
    };
    const Case cases[] = {
        {SymbolProperty::kOpacity, 255, 255},        {SymbolProperty::kOriginX, 25, 0.25},
        {SymbolProperty::kOriginY, 100, 1.0},        {SymbolProperty::kAngle, 360, 180},
        {SymbolProperty::kAngle, 0, 540},            {SymbolProperty::kStretch, 150, 6.0},
        {SymbolProperty::kStretch, 100, 1.0},        {SymbolProperty::kStretch, 101, 1.1},
        {SymbolProperty::kStretch, 40, 0.4},         {SymbolProperty::kFrameRate, 0, 1},
        {SymbolProperty::kFrameRate, 29, 30},        {SymbolProperty::kSpeedX, 500, 0},
        {SymbolProperty::kSpeedY, 1000, 5.0},        {SymbolProperty::kRotateSpeed, 0, -5.0},
        {SymbolProperty::kZoomSpeed, 100, 0.25},     {SymbolProperty::kSpecialMotion, 0, 0},
        {SymbolProperty::kSpecialMotion, 1, 2},      {SymbolProperty::kSpecialMotion, 4, 5},
        {SymbolProperty::kMotionSpeed, 250, 2.5},
    };
    SymbolLibrary library(folder.Path());
    ASSERT_TRUE(library.Import({Png("a", 4, 4, 1, 0, 0)}));
    EffectMaker maker;
    ASSERT_TRUE(maker.AddSymbol(0, library, prompt));
    for (const Case& c : cases) {
        EXPECT_NEAR(PropertyValue(c.p, c.position), c.value, 1e-6) << PropertyInfo(c.p).label << " " << c.position;
        maker.SetProperty(c.p, c.position);
        EXPECT_EQ(PropertyPosition(c.p, *maker.Symbol(0)), c.position) << PropertyInfo(c.p).label;
    }
    EXPECT_EQ(SpecialMotionNames()[1], "Radom Movement");

    // The modes: the guide line follows its line; the others take the list's motion.
    maker.SetPlacement(Placement::kGuideLine);
    EXPECT_EQ(maker.Symbol(0)->nMotion[0], 1);
    EXPECT_EQ(maker.PlacementOf(0), Placement::kGuideLine);
    maker.SetPlacement(Placement::kFitScreen, 2);
    EXPECT_EQ(maker.Symbol(0)->bFitScreen, 1);
    EXPECT_EQ(maker.Symbol(0)->nMotion[0], 3);
    EXPECT_FALSE(EffectMaker::PropertyEnabled(SymbolProperty::kStretch, Placement::kFitScreen));
    EXPECT_TRUE(EffectMaker::PropertyEnabled(SymbolProperty::kStretch, Placement::kGuideLine));
    EXPECT_FALSE(EffectMaker::PropertyEnabled(SymbolProperty::kSpeedX, Placement::kGuideLine));
    EXPECT_TRUE(EffectMaker::PropertyEnabled(SymbolProperty::kOpacity, Placement::kFitScreen));
    EXPECT_TRUE(EffectMaker::PropertyEnabled(SymbolProperty::kMotionSpeed, Placement::kDefault));
}

TEST_F(EffectMakerTest, GuidePointsAndThePreview)
{
    SymbolLibrary library(folder.Path());
    ASSERT_TRUE(library.Import({Png("a", 40, 40, 1, 1, 0)}));
    EffectMaker maker;
    EXPECT_FALSE(maker.AddGuidePoint(100, 100)) << "no symbol";
    ASSERT_TRUE(maker.AddSymbol(0, library, prompt));
    EXPECT_TRUE(maker.AddGuidePoint(95, 115));
    EXPECT_FALSE(maker.AddGuidePoint(95, 115)) << "a drag without movement adds nothing";
    EXPECT_TRUE(maker.AddGuidePoint(490, 430));
    EXPECT_FALSE(maker.AddGuidePoint(491, 200)) << "outside the drawing area";
    ASSERT_EQ(maker.Actor(0)->nGuidePoints, 2);
    const tagPOINT last = maker.Actor(0)->pGuidePoints->GetAt(1);
    EXPECT_EQ(last.x, 395);
    EXPECT_EQ(last.y, 315);
    maker.SetGuideSpeed(55);
    EXPECT_EQ(maker.Symbol(0)->nGuideSpeed, 60);
    maker.ClearGuideLine();
    EXPECT_EQ(maker.Actor(0)->nGuidePoints, 0);

    // The preview draws the yellow symbol over the background.
    const std::vector<uint8_t> background(size_t(320) * 240 * 3, 20);
    bool drawn = false;
    for (int k = 0; k < 10 && !drawn; ++k) {
        const std::vector<uint8_t> frame = maker.PreviewFrame(background);
        ASSERT_EQ(frame.size(), background.size());
        drawn = frame != background;
    }
    EXPECT_TRUE(drawn);
}

TEST_F(EffectMakerTest, ASavedEffectReadsBackFieldByFieldAndAnEmptyOneIsNotImported)
{
    SymbolLibrary library(folder.Path());
    ASSERT_TRUE(library.Import({Png("a", 6, 5, 0.2, 0.4, 0.6)}));
    EffectMaker maker;
    ASSERT_TRUE(maker.AddSymbol(0, library, prompt));
    maker.SetProperty(SymbolProperty::kSpeedX, 700);
    maker.SetProperty(SymbolProperty::kZoomSpeed, 80);
    maker.SetPlacement(Placement::kGuideLine);
    maker.SetAngleCorrection(30);
    ASSERT_TRUE(maker.AddGuidePoint(100, 120) && maker.AddGuidePoint(140, 150));
    ASSERT_TRUE(maker.Save(folder.Path() + "built"));
    Bytes bytes = Read(folder.Path() + "built.arf");
    MemoryAnimationSource source(bytes.data(), bytes.size());
    auto* read = static_cast<tagROMANCE_EFFECT2*>(ReadAnimationEffect(source));
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->nSymbols, 1);
    const tagROMANCE_SYMBOL &a = *maker.Symbol(0), &b = *read->pSymbols->GetAt(0);
    EXPECT_EQ(a.nOpacity, b.nOpacity);
    EXPECT_EQ(a.bFitScreen, b.bFitScreen);
    EXPECT_EQ(a.nGuideSpeed, b.nGuideSpeed);
    EXPECT_EQ(a.nFrameRate, b.nFrameRate);
    EXPECT_FLOAT_EQ(a.fSpeedX, b.fSpeedX);
    EXPECT_FLOAT_EQ(a.fSpeedY, b.fSpeedY);
    EXPECT_FLOAT_EQ(a.fRotateSpeed, b.fRotateSpeed);
    EXPECT_FLOAT_EQ(a.fZoomSpeed, b.fZoomSpeed);
    EXPECT_FLOAT_EQ(a.fMotionSpeed, b.fMotionSpeed);
    EXPECT_EQ(a.nAngle, b.nAngle);
    EXPECT_FLOAT_EQ(a.fStretch, b.fStretch);
    EXPECT_EQ(std::memcmp(a.nMotion, b.nMotion, sizeof a.nMotion), 0);
    EXPECT_FLOAT_EQ(a.fOriginX, b.fOriginX);
    EXPECT_FLOAT_EQ(a.fOriginY, b.fOriginY);
    EXPECT_EQ(a.nAngleCorrection, b.nAngleCorrection);
    EXPECT_EQ(a.nImageSource, b.nImageSource);
    const tagROMANCE_ACTOR &x = *maker.Actor(0), &y = *read->pActors->GetAt(0);
    ASSERT_EQ(y.nFrames, x.nFrames);
    EXPECT_EQ(y.pFrameSizes->GetAt(0).cx, 6);
    EXPECT_EQ(std::memcmp(y.pFrameBits->GetAt(0), x.pFrameBits->GetAt(0), 6 * 5 * 4), 0);
    ASSERT_EQ(y.nGuidePoints, 2);
    EXPECT_EQ(y.pGuidePoints->GetAt(1).x, 45);
    EXPECT_EQ(y.pGuidePoints->GetAt(1).y, 35);
    FreeAnimationEffect(read);

    // An effect without symbols is written, but no library takes it.
    EffectMaker empty;
    ASSERT_TRUE(empty.Save(folder.Path() + "empty.arf"));
    AnimationLibrary effects(folder.Path());
    EXPECT_FALSE(effects.Import(folder.Path() + "empty.arf"));
    EXPECT_EQ(effects.Count(), 0);
}
