// Picture scenes and animated pictures, on pictures written at test time with
// Magick++: fitting under the display aspect, which decoder takes which file, bad
// files, and the frame clock of animated pictures.
#include <gtest/gtest.h>

#include <Magick++.h>
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "filter/media/AnimatedPicture.h"
#include "filter/common/CompositionSurface.h"
#include "filter/timeline/video/ScenePicture.h"
#include "filter/timeline/video/StickerDrawing.h"
#include "filter/timeline/model/TimelineRecords.h"

using namespace zolvex;

namespace {

// A folder for the pictures, removed at the end of the program.
struct Pictures : ::testing::Environment {
    static std::string dir;
    void SetUp() override
    {
        Magick::InitializeMagick(nullptr);
        char pattern[] = "/tmp/zolvex-pictures-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }
};
std::string Pictures::dir;
::testing::Environment* const kPictures = ::testing::AddGlobalTestEnvironment(new Pictures);

std::string PathOf(const std::string& name) { return Pictures::dir + "/" + name; }

std::string WriteBytes(const std::string& name, const std::string& bytes)
{
    FILE* f = std::fopen(PathOf(name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return PathOf(name);
}

// Red w × h with a green block over the top-left eighth of each side.
std::string Marked(int w, int h, const char* format, const std::string& name)
{
    Magick::Image im(Magick::Geometry(w, h), Magick::Color("red"));
    im.fillColor("lime");
    im.draw(Magick::DrawableRectangle(0, 0, w / 8 - 1, h / 8 - 1));
    im.write(std::string(format) + ":" + PathOf(name));
    return PathOf(name);
}

// A bitmap header claiming 20000 × 20000 pixels over a few bytes of data.
std::string HugeBmp()
{
    const int at[] = {10, 14, 18, 22, 26, 28};
    const uint32_t value[] = {54, 40, 20000, 20000, 1, 24};
    std::string bmp = "BM" + std::string(116, '\0');
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < 4; ++k)
            bmp[size_t(at[i] + k)] = char(value[i] >> (8 * k));
    return WriteBytes("huge.bmp", bmp);
}

const int kW = 720, kH = 480;

struct Output {
    std::vector<unsigned char> frame = std::vector<unsigned char>(size_t(kW) * kH * 3, 0x77);
    bool Load(const std::string& path) { return LoadScenePicture(path.c_str(), kW, kH, 16, 9, frame.data()); }
    // Rows counted from the top; the frame is bottom-up.
    const unsigned char* At(int x, int top) const { return &frame[(size_t(kH - 1 - top) * kW + x) * 3]; }
    bool Is(int x, int top, int b, int g, int r, int tolerance = 0) const
    {
        const unsigned char* p = At(x, top);
        return std::abs(p[0] - b) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - r) <= tolerance;
    }
    bool AllBlack() const { return std::all_of(frame.begin(), frame.end(), [](unsigned char c) { return c == 0; }); }
};

TEST(ScenePicture, FourByThreeOnWideOutputFillsHeightUpright)
{
    // A = 1.5 / (16 / 9) = 0.84375: 640 × 480 is shown 540 wide with bars of 90. TGA and
    // PCX go to the extension decoder, the others to the content decoder.
    for (const char* format : {"PNG", "BMP", "GIF", "JPEG", "TIFF", "TGA", "PCX"}) {
        SCOPED_TRACE(format);
        Output out;
        ASSERT_TRUE(out.Load(Marked(640, 480, format, std::string("marked.") + format)));
        const int tol = std::strcmp(format, "JPEG") == 0 ? 12 : 0;
        for (int top : {0, 240, 479})
            EXPECT_TRUE(out.Is(0, top, 0, 0, 0) && out.Is(89, top, 0, 0, 0) && out.Is(630, top, 0, 0, 0) &&
                        out.Is(719, top, 0, 0, 0));
        EXPECT_TRUE(out.Is(92, 2, 0, 255, 0, tol)) << "green corner top-left";
        EXPECT_TRUE(out.Is(92, 477, 0, 0, 255, tol) && out.Is(627, 2, 0, 0, 255, tol)) << "flipped or mirrored";
        EXPECT_TRUE(tol || (out.Is(90, 0, 0, 255, 0) && out.Is(629, 479, 0, 0, 255))) << "edges of the picture";
    }
}

TEST(ScenePicture, WidePictureGetsBarsTopAndBottom)
{
    // 1600 × 400: height trunc(400 × 720 / (1600 × 0.84375)) = 213, bottom offset 133.
    for (const char* format : {"PNG", "TGA"}) {
        SCOPED_TRACE(format);
        Output out;
        ASSERT_TRUE(out.Load(Marked(1600, 400, format, std::string("wide.") + format)));
        const int top = kH - 133 - 213, bottom = kH - 1 - 133;
        EXPECT_TRUE(out.Is(360, top - 1, 0, 0, 0) && out.Is(360, bottom + 1, 0, 0, 0));
        EXPECT_TRUE(out.Is(360, top, 0, 0, 255) && out.Is(360, bottom, 0, 0, 255));
        EXPECT_TRUE(out.Is(1, top + 1, 0, 255, 0) && out.Is(718, bottom, 0, 0, 255));
    }
}

TEST(ScenePicture, ContentDecoderPicksPixelsExtensionDecoderResamples)
{
    // A one-pixel checkerboard shrunk from 640 to 540 columns: nearest neighbour keeps
    // black and white, a bilinear resample makes greys.
    Magick::Image board(Magick::Geometry(640, 480), Magick::Color("white"));
    for (int y = 0; y < 480; ++y)
        for (int x = y & 1; x < 640; x += 2)
            board.pixelColor(x, y, Magick::Color("black"));
    board.write("PNG:" + PathOf("board.png"));
    board.write("TGA:" + PathOf("board.tga"));
    board.write("PCX:" + PathOf("board.dat"));  // an extension of no format: found by content
    board.write("TGA:" + PathOf("board_tga.png"));
    const auto greys = [](const std::string& name) {
        Output out;
        EXPECT_TRUE(out.Load(PathOf(name))) << name;
        return std::count_if(out.frame.begin(), out.frame.end(), [](unsigned char c) { return c && c != 255; });
    };
    EXPECT_EQ(greys("board.png"), 0);
    EXPECT_GT(greys("board.tga"), 540 * 480);
    EXPECT_GT(greys("board.dat"), 540 * 480);
    // TGA has no signature: under the name of another format it is nobody's picture.
    Output misnamed;
    EXPECT_FALSE(misnamed.Load(PathOf("board_tga.png")));
    EXPECT_TRUE(misnamed.AllBlack());
}

TEST(ScenePicture, BadFilesGiveBlackAndFalse)
{
    Marked(64, 48, "PCX", "nodot");  // found by content, but only the extension decoder takes PCX
    WriteBytes("empty.png", "");
    WriteBytes("damaged.png", "\x89PNG\r\n\x1a\n" + std::string(300, 'Z'));
    WriteBytes("huge.ppm", "P6\n20000 20000\n255\n" + std::string(64, '\0'));
    for (const std::string& path : {PathOf("missing.png"), PathOf("nodot"), PathOf("empty.png"), PathOf("damaged.png"),
                                    HugeBmp(), PathOf("huge.ppm"), Pictures::dir}) {
        Output out;
        EXPECT_FALSE(out.Load(path)) << path;
        EXPECT_TRUE(out.AllBlack()) << path;
    }
    // Cuts and corruptions of small pictures: loaded, or black and false.
    for (const char* format : {"PNG", "GIF", "BMP", "TGA", "JPEG"}) {
        const std::string name = std::string("cut.") + format;
        std::string whole(8192, '\0');
        FILE* f = std::fopen(Marked(40, 30, format, name).c_str(), "rb");
        whole.resize(std::fread(&whole[0], 1, whole.size(), f));
        std::fclose(f);
        for (size_t n = 1; n < whole.size(); n += 1 + n / 16) {
            std::string bytes = whole.substr(0, n);
            if (n % 3 == 0)
                bytes = whole, bytes[n] ^= 0x5a;
            Output out;
            if (!out.Load(WriteBytes(name, bytes))) {
                ASSERT_TRUE(out.AllBlack()) << name << " " << n;
            }
            delete AnimatedPicture::Load(PathOf(name).c_str());
        }
    }
    EXPECT_FALSE(LoadScenePicture(nullptr, kW, kH, 16, 9, Output().frame.data()));
    EXPECT_FALSE(LoadScenePicture(PathOf("still.png").c_str(), kW, kH, 16, 9, nullptr));
}

// 8 × 8, delays 10, 25 and 40 hundredths: frame 0 red with a transparent top-left
// pixel; frame 1 a blue 4 × 4 patch at (4, 4) over it; frame 2 green.
std::string AnimatedGif()
{
    std::vector<Magick::Image> frames(3, Magick::Image(Magick::Geometry(8, 8), Magick::Color("red")));
    frames[0].matte(true);
    frames[0].pixelColor(0, 0, Magick::Color(0, 0, 0, MaxRGB));
    frames[1] = Magick::Image(Magick::Geometry(4, 4), Magick::Color("blue"));
    frames[1].page(Magick::Geometry(4, 4, 4, 4));
    frames[2] = Magick::Image(Magick::Geometry(8, 8), Magick::Color("lime"));
    for (unsigned k = 0; k < 3; ++k)
        frames[k].animationDelay(std::vector<unsigned>{10, 25, 40}[k]);
    Magick::writeImages(frames.begin(), frames.end(), "GIF:" + PathOf("anim.gif"));
    return PathOf("anim.gif");
}

std::vector<int> Bgra(const AnimatedPicture& pic, int frame, int x, int y)
{
    const unsigned char* p = pic.Frame(frame) + (y * pic.Width() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

TEST(AnimatedPicture, FramesComposedWithDelays)
{
    std::unique_ptr<AnimatedPicture> pic(AnimatedPicture::Load(AnimatedGif().c_str()));
    ASSERT_TRUE(pic);
    ASSERT_TRUE(pic->Width() == 8 && pic->Height() == 8 && pic->FrameCount() == 3);
    EXPECT_EQ(std::vector<int32_t>(pic->Delays(), pic->Delays() + 3), (std::vector<int32_t>{10, 25, 40}));
    EXPECT_EQ(Bgra(*pic, 0, 0, 0)[3], 0);
    EXPECT_EQ(Bgra(*pic, 1, 1, 1), (std::vector<int>{0, 0, 255, 255})) << "frame 0 shows through frame 1";
    EXPECT_EQ(Bgra(*pic, 1, 5, 5), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Bgra(*pic, 2, 7, 7), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_TRUE(pic->Frame(3) == nullptr && pic->Frame(-1) == nullptr);

    // A first frame over part of the logical screen is shown on the whole screen.
    std::vector<Magick::Image> part(2, Magick::Image(Magick::Geometry(4, 4), Magick::Color("red")));
    part[0].page(Magick::Geometry(12, 10, 2, 2));
    part[1].page(Magick::Geometry(12, 10, 8, 6));
    Magick::writeImages(part.begin(), part.end(), "GIF:" + PathOf("part.gif"));
    std::unique_ptr<AnimatedPicture> screen(AnimatedPicture::Load(PathOf("part.gif").c_str()));
    ASSERT_TRUE(screen && screen->Width() == 12 && screen->Height() == 10);
    EXPECT_TRUE(Bgra(*screen, 1, 0, 0)[3] == 0 && Bgra(*screen, 1, 2, 2)[3] == 255 && Bgra(*screen, 1, 11, 9)[2] == 255);

    std::unique_ptr<AnimatedPicture> still(AnimatedPicture::Load(Marked(64, 48, "PNG", "still.png").c_str()));
    ASSERT_TRUE(still && still->Width() == 64 && still->Height() == 48 && still->FrameCount() == 1);
    EXPECT_TRUE(still->Delays()[0] == 0 && Bgra(*still, 0, 1, 1) == (std::vector<int>{0, 255, 0, 255}));

    StickerOp op{};
    std::snprintf(op.szPath, sizeof op.szPath, "%s", PathOf("anim.gif").c_str());
    ASSERT_TRUE(OpenStickerPicture(op));
    EXPECT_TRUE(op.nFrameCount == 3 && op.nWidth == 8 && op.nHeight == 8 && op.nAlpha == 255);
    EXPECT_TRUE(op.hImage && op.pDelays && op.pDelays[1] == 25);
    CloseStickerPicture(op);
    EXPECT_TRUE(op.hImage == nullptr && op.pDelays == nullptr);
    for (const std::string& bad : {PathOf("missing.gif"), WriteBytes("empty.gif", ""), HugeBmp(), std::string()}) {
        std::snprintf(op.szPath, sizeof op.szPath, "%s", bad.c_str());
        EXPECT_FALSE(OpenStickerPicture(op) || op.hImage) << bad;
    }
}

// Each frame's disposal shapes the next: cleared to transparent, or the picture
// before the frame brought back.
TEST(AnimatedPicture, DisposalOfEachFrameShapesTheNext)
{
    std::vector<Magick::Image> frames;
    auto add = [&](int w, int h, int x, int y, const char* colour, int dispose) {
        Magick::Image f(Magick::Geometry(w, h), Magick::Color(colour));
        f.page(Magick::Geometry(8, 8, x, y));
        f.gifDisposeMethod(dispose);
        frames.push_back(f);
    };
    add(8, 8, 0, 0, "red", 1);
    add(4, 4, 0, 0, "blue", 2);   // cleared after it is shown
    add(2, 2, 6, 6, "lime", 3);   // the picture before it comes back
    add(1, 1, 4, 4, "yellow", 1);
    Magick::writeImages(frames.begin(), frames.end(), "GIF:" + PathOf("dispose.gif"));
    std::unique_ptr<AnimatedPicture> pic(AnimatedPicture::Load(PathOf("dispose.gif").c_str()));
    ASSERT_TRUE(pic && pic->FrameCount() == 4);
    EXPECT_EQ(Bgra(*pic, 1, 0, 0), (std::vector<int>{255, 0, 0, 255}));
    EXPECT_EQ(Bgra(*pic, 2, 0, 0)[3], 0) << "blue cleared";
    EXPECT_EQ(Bgra(*pic, 2, 7, 7), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_EQ(Bgra(*pic, 3, 7, 7), (std::vector<int>{0, 0, 255, 255})) << "red again under the green";
    EXPECT_EQ(Bgra(*pic, 3, 0, 0)[3], 0);
    EXPECT_EQ(Bgra(*pic, 3, 4, 4), (std::vector<int>{0, 255, 255, 255}));
}

// A hundred frames of 1000 x 1000 would hold 400 MB: they are kept smaller, within
// the picture's budget, and a project cannot open more of them than all pictures'
// budget holds.
TEST(AnimatedPicture, LargeAnimationsAreKeptWithinTheMemoryBudget)
{
    std::vector<Magick::Image> frames{Magick::Image(Magick::Geometry(1000, 1000), Magick::Color("white"))};
    for (int k = 1; k < 100; ++k) {
        frames.emplace_back(Magick::Geometry(50, 50), Magick::Color(k == 60 ? "blue" : "red"));
        frames.back().page(Magick::Geometry(1000, 1000, 9 * k, 500));
    }
    Magick::writeImages(frames.begin(), frames.end(), "GIF:" + PathOf("large.gif"));
    const uint64_t before = AnimatedPicture::HeldBytes();
    std::vector<std::unique_ptr<AnimatedPicture>> open;
    std::string why;
    for (;;) {
        open.emplace_back(AnimatedPicture::Load(PathOf("large.gif").c_str(), &why));
        if (!open.back())
            break;
        ASSERT_LT(open.size(), 10u) << "the budget of all pictures holds";
    }
    open.pop_back();
    EXPECT_EQ(open.size(), 8u);
    EXPECT_NE(why.find("memory budget of 512 MB"), std::string::npos) << why;
    const AnimatedPicture& pic = *open[0];
    EXPECT_TRUE(pic.Width() == 1000 && pic.Height() == 1000 && pic.FrameCount() == 100);
    EXPECT_EQ(pic.StoredWidth(), pic.StoredHeight());
    EXPECT_LE(uint64_t(pic.StoredWidth()) * pic.StoredHeight() * 4 * 100, uint64_t(64) << 20);
    EXPECT_GT(pic.StoredWidth(), 400);
    // Frame 60's blue patch at (540, 500) − (590, 550), in stored pixels.
    const double f = pic.StoredWidth() / 1000.0;
    const unsigned char* p = pic.Frame(60) + (size_t(525 * f) * size_t(pic.StoredWidth()) + size_t(565 * f)) * 4;
    EXPECT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255);
    open.clear();
    EXPECT_EQ(AnimatedPicture::HeldBytes(), before) << "given back with the pictures";
}

// The animated GIF on a grey 64 × 48 surface at (16, 8), three times its size: picture
// pixel (k, j) has its centre on surface pixel (17 + 3k, 9 + 3j).
struct StickerScene {
    std::unique_ptr<AnimatedPicture> pic{AnimatedPicture::Load(AnimatedGif().c_str())};
    StickerOp op{0, 0, 3, 0, 0, 8, 8, {16, 8, 24, 24}, 0, 0, 255, pic ? pic->Delays() : nullptr, pic.get(), {}, 0};
    CompositionSurface surface;
    StickerScene() { Fill(); }
    void Fill()
    {
        surface.Resize(64, 48);
        cairo_set_source_rgb(surface.Context(), 100 / 255.0, 100 / 255.0, 100 / 255.0), cairo_paint(surface.Context());
    }
    std::vector<int> At(int x, int y) const
    {
        surface.Flush();
        const unsigned char* p = surface.Pixels() + y * surface.Stride() + x * 4;
        return {p[0], p[1], p[2]};
    }
};
const std::vector<int> kGrey{100, 100, 100};

TEST(StickerDrawing, FrameClockInEncodeAndPreviewModes)
{
    StickerScene s;
    ASSERT_TRUE(s.pic);
    double last = 1.0;
    // Encode: 1,000 × dt. Frame 0 waits out 100 ms; selecting it moves nCurFrame on.
    DrawSticker(s.surface, s.op, 1.0625, last, 1);
    EXPECT_TRUE(s.op.nFrameDelay == 100 && s.op.nElapsed == 62 && s.op.nCurFrame == 0);
    last = 1.0625;
    DrawSticker(s.surface, s.op, 1.125, last, 1);
    EXPECT_TRUE(s.op.nElapsed == 0 && s.op.nCurFrame == 1 && s.pic->SelectedFrame() == 0);
    // Preview: 25,000 × dt², 97 ms for a sixteenth of a second; frame 1 needs 250.
    last = 1.125;
    for (int k = 0; k < 2; ++k)
        DrawSticker(s.surface, s.op, 1.1875, last, 0);
    EXPECT_TRUE(s.op.nFrameDelay == 250 && s.op.nElapsed == 194 && s.op.nCurFrame == 1);
    DrawSticker(s.surface, s.op, 1.1875, last, 0);
    EXPECT_TRUE(s.op.nElapsed == 0 && s.op.nCurFrame == 2 && s.pic->SelectedFrame() == 1);
    // Playback restarted: the last frame time comes back to t and nothing elapses.
    last = 30.0;
    DrawSticker(s.surface, s.op, 2.0, last, 1);
    EXPECT_TRUE(last == 2.0 && s.op.nElapsed == 0 && s.op.nFrameDelay == 400);
    DrawSticker(s.surface, s.op, 2.5, last, 1);
    EXPECT_TRUE(s.op.nCurFrame == 0 && s.pic->SelectedFrame() == 2) << "wraps after the last frame";
}

TEST(StickerDrawing, DrawsSelectedFrameIntoRectWithItsAlpha)
{
    StickerScene s;
    ASSERT_TRUE(s.pic);
    s.pic->SelectFrame(1);
    double last = 0;
    DrawSticker(s.surface, s.op, 0, last, 1);
    EXPECT_EQ(s.At(17, 9), kGrey) << "transparent pixel";
    EXPECT_EQ(s.At(20, 9), (std::vector<int>{0, 0, 255}));
    EXPECT_TRUE(s.At(32, 24) == s.At(39, 31) && s.At(39, 31) == (std::vector<int>{255, 0, 0}));
    EXPECT_TRUE(s.At(15, 12) == kGrey && s.At(40, 12) == kGrey && s.At(20, 32) == kGrey) << "outside rcDest";

    s.Fill();
    s.op.nAlpha = 128;
    DrawSticker(s.surface, s.op, 0, last, 1);
    EXPECT_NEAR(s.At(20, 9)[2], 128 + 100 * 127 / 255, 2);
    EXPECT_NEAR(s.At(20, 9)[0], 100 * 127 / 255, 2);
    EXPECT_EQ(s.At(17, 9), kGrey);

    // Nothing to draw: nothing drawn, no crash.
    for (void (*spoil)(StickerOp&) :
         {+[](StickerOp& op) { op.hImage = nullptr; }, +[](StickerOp& op) { op.pDelays = nullptr; },
          +[](StickerOp& op) { op.nFrameCount = 0; }, +[](StickerOp& op) { op.nFrameCount = 4; },
          +[](StickerOp& op) { op.rcDest[2] = -24; }, +[](StickerOp& op) { op.nHeight = -8; }}) {
        StickerScene b;
        spoil(b.op);
        DrawSticker(b.surface, b.op, 1.0, last, 1);
        EXPECT_EQ(b.At(24, 16), kGrey);
    }
}

}  // namespace
