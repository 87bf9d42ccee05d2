// Media items made from real files: kind by extension, the path's parts, size and
// times, and thumbnails that show the picture upright in its own colours.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <Magick++.h>

#include <cstdlib>
#include <fstream>

#include "filter/media/MagickReady.h"
#include "studio/project/MediaItems.h"
#include "tests/support/Command.h"
#include "tests/support/TestMedia.h"

using namespace zolvex;
using namespace zolvex::studio;
using testsupport::Quote;

namespace {

testsupport::TestMedia g_media("media-items");
std::string g_dir;

struct Rgb {
    int r, g, b;
};

// The thumbnail decoded: its size and the colour at (x, y) from the top.
struct Decoded {
    int width = 0, height = 0;
    Magick::Image image;
    Rgb At(int x, int y)
    {
        const Magick::ColorRGB c = image.pixelColor(unsigned(x), unsigned(y));
        return Rgb{int(c.red() * 255 + 0.5), int(c.green() * 255 + 0.5), int(c.blue() * 255 + 0.5)};
    }
};

Decoded Decode(const MediaThumbnail& jpeg)
{
    Decoded d;
    Magick::Blob blob(jpeg.data(), jpeg.size());
    d.image.read(blob);
    d.width = int(d.image.columns());
    d.height = int(d.image.rows());
    EXPECT_EQ(d.image.magick(), "JPEG");
    return d;
}

bool Near(Rgb c, int r, int g, int b) { return std::abs(c.r - r) < 40 && std::abs(c.g - g) < 40 && std::abs(c.b - b) < 40; }

class MediaItemTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(g_media.Open()) << g_media.Why();
        g_dir = g_media.Dir() + "/";
        magick::EnsureReady();
        // A clip red above and blue below, a wide picture green on the left and
        // yellow on the right, a tone, and a picture that is not one. Without ffmpeg
        // the tests of the clip and the tone are skipped (ZOLVEX_REQUIRE_MEDIA).
        const std::vector<std::string> commands = {
            "ffmpeg -nostdin -v error -f lavfi -i \"color=red:s=320x240:r=25:d=2,drawbox=y=120:h=120:color=blue:t=fill\" "
            "-c:v mpeg2video -q:v 2 " + Quote(g_dir + "Clip.MPG"),
            "ffmpeg -nostdin -v error -f lavfi -i sine=d=1 " + Quote(g_dir + "tone.wav")};
        ASSERT_TRUE(g_media.Run(commands) || g_media.Missing()) << g_media.Why();
        Magick::Image wide(Magick::Geometry(200, 100), Magick::Color("lime"));
        wide.fillColor(Magick::Color("yellow"));
        wide.draw(Magick::DrawableRectangle(100, 0, 199, 99));
        wide.write(g_dir + "wide.png");
        std::ofstream(g_dir + "broken.jpg") << "not a picture at all";
        std::ofstream(g_dir + "notes.txt") << "text";
    }
    static void TearDownTestSuite() { g_media.Remove(); }
};

}  // namespace

TEST_F(MediaItemTest, KindComesFromTheExtension)
{
    EXPECT_EQ(MediaKindOf("/a/b.JPeG"), MEDIA_PICTURE);
    EXPECT_EQ(MediaKindOf("/a/b.pcx"), MEDIA_PICTURE);
    EXPECT_EQ(MediaKindOf("b.vob"), MEDIA_VIDEO);
    EXPECT_EQ(MediaKindOf("/a/b.Swf"), MEDIA_VIDEO);
    EXPECT_EQ(MediaKindOf("/a/b.qt"), MEDIA_AUDIO);
    EXPECT_EQ(MediaKindOf("/a/b.wma"), MEDIA_AUDIO);
    EXPECT_EQ(MediaKindOf("/a/b.mp4"), -1);
    EXPECT_EQ(MediaKindOf("/a.mpg/b"), -1) << "a dot in a folder name is no extension";
    EXPECT_EQ(MediaKindOf("/a/mpg"), -1);

    MediaItem item;
    EXPECT_FALSE(BuildMediaItem((g_dir + "notes.txt").c_str(), item));
    EXPECT_FALSE(BuildMediaItem((g_dir + "missing.mpg").c_str(), item));
    const std::string longPath = g_dir + std::string(260, 'x') + ".mpg";
    EXPECT_FALSE(BuildMediaItem(longPath.c_str(), item)) << "never cut short";
}

TEST_F(MediaItemTest, VideoItemHasItsPartsSizeDurationAndAnUprightThumbnail)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const std::string path = g_dir + "Clip.MPG";
    MediaItem item;
    MediaThumbnail thumb;
    ASSERT_TRUE(CreateMediaItem(path.c_str(), item, thumb));
    EXPECT_STREQ(item.szPath, path.c_str());
    EXPECT_STREQ(item.szDrive, "");
    EXPECT_EQ(std::string(item.szDir), g_dir);
    EXPECT_STREQ(item.szName, "Clip");
    EXPECT_STREQ(item.szExt, ".mpg");
    EXPECT_EQ(item.nKind, MEDIA_VIDEO);
    EXPECT_EQ(item.nWidth, 320);
    EXPECT_EQ(item.nHeight, 240);
    EXPECT_NEAR(item.dDuration, 2.0, 0.1);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(item.nFileSize, uint32_t(st.st_size));
    EXPECT_GE(item.stLastWrite.wYear, 2024);
    EXPECT_GE(item.stLastWrite.wMonth, 1);

    Decoded d = Decode(thumb);
    ASSERT_EQ(d.width, kThumbnailWidth);
    ASSERT_EQ(d.height, kThumbnailHeight);
    EXPECT_TRUE(Near(d.At(50, 10), 255, 0, 0)) << "red stays on top";
    EXPECT_TRUE(Near(d.At(50, 80), 0, 0, 255)) << "blue below";
}

TEST_F(MediaItemTest, PictureIsFittedKeepingItsShape)
{
    MediaItem item;
    MediaThumbnail thumb;
    ASSERT_TRUE(CreateMediaItem((g_dir + "wide.png").c_str(), item, thumb));
    EXPECT_EQ(item.nKind, MEDIA_PICTURE);
    EXPECT_EQ(item.nWidth, 200);
    EXPECT_EQ(item.nHeight, 100);
    Decoded d = Decode(thumb);
    EXPECT_TRUE(Near(d.At(20, 45), 0, 255, 0));
    EXPECT_TRUE(Near(d.At(80, 45), 255, 255, 0));
    EXPECT_TRUE(Near(d.At(50, 5), 0, 0, 0)) << "black above a 100 × 50 picture";
    EXPECT_TRUE(Near(d.At(50, 85), 0, 0, 0));

    EXPECT_FALSE(CreateMediaItem((g_dir + "broken.jpg").c_str(), item, thumb)) << "no item for a broken picture";
}

TEST_F(MediaItemTest, AudioGetsTheFixedPicture)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    MediaItem item;
    MediaThumbnail thumb, again;
    ASSERT_TRUE(CreateMediaItem((g_dir + "tone.wav").c_str(), item, thumb));
    EXPECT_EQ(item.nKind, MEDIA_AUDIO);
    std::vector<unsigned char> jpeg;
    const std::vector<unsigned char>& picture = AudioThumbnailPicture();
    ASSERT_EQ(picture.size(), size_t(kThumbnailWidth) * kThumbnailHeight * 3);
    ASSERT_TRUE(EncodeJpeg(picture.data(), kThumbnailWidth, kThumbnailHeight, 75, jpeg));
    EXPECT_EQ(thumb, jpeg);
    Decoded d = Decode(thumb);
    EXPECT_EQ(d.width, kThumbnailWidth);
}
