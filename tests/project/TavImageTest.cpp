// The studio's picture loader and encoder on pictures made at test time: the type
// table, files named with the wrong or an upper-case extension, frames of odd widths,
// damaged and missing files, and encoders chosen by MIME type or file name.
#include <gtest/gtest.h>

#include <Magick++.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "filter/media/MagickReady.h"
#include "studio/project/TavImage.h"
#include "studio/project/TavImageEncoder.h"

using namespace zolvex;

namespace {

struct Folder : ::testing::Environment {
    static std::string dir;
    void SetUp() override
    {
        magick::EnsureReady();
        char pattern[] = "/tmp/zolvex-tavimage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
};
std::string Folder::dir;
::testing::Environment* const kFolder = ::testing::AddGlobalTestEnvironment(new Folder);

std::string PathOf(const std::string& name) { return Folder::dir + "/" + name; }

std::string Put(const std::string& name, const std::string& bytes)
{
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
    return PathOf(name);
}

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Bottom-up blue-green-red rows without padding, every byte telling its place.
std::vector<unsigned char> Pattern(int w, int h)
{
    std::vector<unsigned char> p(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* px = &p[(size_t(y) * w + x) * 3];
            px[0] = (unsigned char)(x * 7 + y);
            px[1] = (unsigned char)(x * 3 + y * 5);
            px[2] = (unsigned char)((x ^ y) * 11);
        }
    return p;
}

// A w × h picture with a gradient and an EXIF block, encoded as `format`.
std::string Encoded(int w, int h, const char* format, bool exif = false)
{
    Magick::Image im(Magick::Geometry(w, h), Magick::Color("navy"));
    im.draw(Magick::DrawableCircle(w / 2, h / 2, w / 2, h / 3));
    if (exif) {
        const unsigned char block[] = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        MagickLib::SetImageProfile(im.image(), "EXIF", block, sizeof block);
    }
    Magick::Blob blob;
    im.write(&blob, format);
    return std::string(static_cast<const char*>(blob.data()), blob.length());
}

TEST(TavImage, TypeTableAndExtensions)
{
    const std::pair<const char*, int> table[] = {
        {"bmp", 1},  {"jpg", 3},  {"jpeg", 3}, {"gif", 2},  {"png", 4},  {"ico", 5},  {"tiff", 6}, {"tif", 6},
        {"tga", 7},  {"pcx", 8},  {"wbmp", 9}, {"wmf", 10}, {"emf", 10}, {"jp2", 11}, {"j2k", 11}, {"jpc", 12},
        {"j2c", 12}, {"pgx", 13}, {"pnm", 14}, {"pgm", 14}, {"ppm", 14}, {"ras", 15}};
    for (const auto& t : table)
        EXPECT_EQ(CTavImage::FindType(t.first), t.second) << t.first;
    for (const char* other : {"JPG", "Png", "", "jpg ", "webp", "p"})
        EXPECT_EQ(CTavImage::FindType(other), 0) << other;

    const char* name = "holiday.2004.png";
    EXPECT_EQ(CTavImage::FindExtension(name), name + 13);
    EXPECT_STREQ(CTavImage::FindExtension("holiday"), "");
    EXPECT_STREQ(CTavImage::FindExtension("holiday."), "");
}

TEST(TavImage, LoadsByLowerCasedExtensionAndKeepsExif)
{
    CTavImage image;
    EXPECT_EQ(image.LastTime(), -1.0);
    ASSERT_EQ(image.LoadPhoto(Put("beach.JPG", Encoded(64, 48, "JPEG", true)).c_str()), 1);
    EXPECT_EQ(image.GetType(), CTavImage::kTypeJpg);
    EXPECT_EQ(image.GetImage()->columns(), 64u);
    EXPECT_GE(image.LastTime(), 0.0);
    EXPECT_EQ(std::string(image.ExifBlock().begin(), image.ExifBlock().end()).substr(0, 6), std::string("Exif\0\0", 6));

    // A Targa file has no signature to find it by: only its lower-cased extension does.
    ASSERT_EQ(image.LoadPhoto(Put("title.TGA", Encoded(20, 10, "TGA")).c_str()), 1);
    EXPECT_EQ(image.GetType(), CTavImage::kTypeTga);
    EXPECT_TRUE(image.ExifBlock().empty());

    // A name without extension is refused before the held picture is dropped.
    EXPECT_EQ(image.LoadPhoto(Put("noextension", Encoded(8, 8, "PNG")).c_str()), 0);
    EXPECT_NE(image.GetImage(), nullptr);

}

TEST(TavImage, MisnamedPicturesLoadByContent)
{
    CTavImage image;
    ASSERT_EQ(image.LoadPhoto(Put("really-a-png.jpg", Encoded(12, 9, "PNG")).c_str()), 1);
    EXPECT_EQ(image.GetType(), CTavImage::kTypePng);
    ASSERT_EQ(image.LoadPhoto(Put("camera.dat", Encoded(12, 9, "GIF")).c_str()), 1);
    EXPECT_EQ(image.GetType(), CTavImage::kTypeGif);
    EXPECT_EQ(image.GetImage()->rows(), 9u);
}

TEST(TavImage, DamagedMissingAndHugeFilesFailCleanly)
{
    CTavImage image;
    const std::string png = Encoded(40, 30, "PNG");
    const std::string jpg = Encoded(40, 30, "JPEG");
    for (const std::string* whole : {&png, &jpg})
        for (size_t cut = 0; cut < whole->size(); cut += 7) {
            const int loaded = image.LoadPhoto(Put("cut.png", whole->substr(0, cut)).c_str());
            // A JPEG cut late still shows its upper part, as every viewer does.
            if (loaded) {
                EXPECT_EQ(image.GetImage()->columns(), 40u) << cut;
            } else {
                EXPECT_EQ(image.GetImage(), nullptr) << cut;
            }
            EXPECT_TRUE(cut >= 64 || !loaded) << cut;
        }

    std::string huge = png;  // header claims 65536 × 65536
    huge[16] = huge[20] = 0;
    huge[17] = huge[21] = 1;
    huge[18] = huge[19] = huge[22] = huge[23] = 0;
    const std::string noise(3000, '\x5a');
    mkdir(PathOf("folder.png").c_str(), 0700);
    mkfifo(PathOf("pipe.jpg").c_str(), 0600);  // must not wait for a writer
    for (const std::string& path : {Put("huge.png", huge), Put("noise.jpg", noise), Put("noise.xyz", noise),
                                    PathOf("missing.png"), PathOf("folder.png"), PathOf("pipe.jpg")}) {
        ASSERT_EQ(image.LoadPhoto(Put("good.bmp", Encoded(4, 4, "BMP")).c_str()), 1);
        EXPECT_EQ(image.LoadPhoto(path.c_str()), 0) << path;
        EXPECT_EQ(image.GetImage(), nullptr) << path;
        EXPECT_EQ(image.GetType(), 0);
    }
    EXPECT_EQ(image.LoadPhoto(static_cast<const char*>(nullptr)), 0);
}

TEST(TavImage, FramesRoundTripAtOddWidths)
{
    for (const tagSIZE size : {tagSIZE{1, 1}, tagSIZE{7, 3}, tagSIZE{101, 5}, tagSIZE{64, 2}}) {
        const std::vector<unsigned char> frame = Pattern(size.cx, size.cy);
        CTavImage image;
        ASSERT_EQ(image.LoadPhoto(frame.data(), size), 1) << size.cx;
        EXPECT_EQ(image.GetType(), CTavImage::kTypeBmp);
        std::vector<unsigned char> back;
        int w = 0, h = 0;
        ASSERT_TRUE(image.GetPixels24(back, w, h));
        EXPECT_EQ(w, size.cx);
        EXPECT_EQ(h, size.cy);
        EXPECT_EQ(back, frame) << size.cx;
    }

    // Refused before a byte of the frame is read.
    const unsigned char one[3] = {1, 2, 3};
    CTavImage image;
    for (const tagSIZE size : {tagSIZE{0, 4}, tagSIZE{4, -1}, tagSIZE{100000, 100000}, tagSIZE{INT32_MAX, 2}})
        EXPECT_EQ(image.LoadPhoto(one, size), 0) << size.cx << " x " << size.cy;
    EXPECT_EQ(image.LoadPhoto(nullptr, tagSIZE{1, 1}), 0);
    std::vector<unsigned char> back;
    int w, h;
    EXPECT_FALSE(image.GetPixels24(back, w, h));
}

TEST(TavImage, ResampleGivesTheSize)
{
    CTavImage image;
    image.Resample(10, 10);  // nothing held: nothing happens
    const std::vector<unsigned char> frame(7 * 5 * 3, 200);
    ASSERT_EQ(image.LoadPhoto(frame.data(), tagSIZE{7, 5}), 1);
    image.Resample(100, 90);
    for (const auto& bad : {std::pair<int, int>{0, 10}, {10, -3}, {200000, 200000}})
        image.Resample(bad.first, bad.second);
    std::vector<unsigned char> back;
    int w = 0, h = 0;
    ASSERT_TRUE(image.GetPixels24(back, w, h));
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 90);
    EXPECT_EQ(back, std::vector<unsigned char>(100 * 90 * 3, 200));  // a flat picture stays flat
}

TEST(TavImageEncoder, ChoosesByMimeTypeOrFileName)
{
    const auto& all = CTavImageEncoder::InstalledEncoders();
    ASSERT_GE(all.size(), 5u);
    const char* builtIn[] = {"image/bmp", "image/jpeg", "image/gif", "image/tiff", "image/png"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(all[i].mimeType, builtIn[i]);

    EXPECT_EQ(CTavImageEncoder("x.png").MimeType(), "image/png");
    EXPECT_EQ(CTavImageEncoder("image/jpeg").MimeType(), "image/jpeg");
    EXPECT_EQ(CTavImageEncoder("/a.b/HOLIDAY.JPE").MimeType(), "image/jpeg");
    EXPECT_EQ(CTavImageEncoder("Image/TIFF").MimeType(), "image/tiff");
    EXPECT_EQ(CTavImageEncoder("scan.dib").MimeType(), "image/bmp");
    for (const char* none : {"x.pn", "picture", "image/none", "x.", ""}) {
        CTavImageEncoder encoder(none);
        EXPECT_FALSE(encoder.IsValid()) << none;
        Magick::Image im(Magick::Geometry(4, 4), Magick::Color("red"));
        std::ostringstream out;
        EXPECT_EQ(encoder.Save(im, PathOf("never.png").c_str()), kImageGenericError);
        EXPECT_EQ(encoder.Save(im, out), kImageGenericError);
        EXPECT_TRUE(out.str().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(PathOf("never.png")));
}

TEST(TavImageEncoder, JpegQualityAndTiffCompression)
{
    CTavImage source;
    const std::vector<unsigned char> frame = Pattern(101, 77);
    ASSERT_EQ(source.LoadPhoto(frame.data(), tagSIZE{101, 77}), 1);

    CTavImageEncoder jpeg("image/jpeg");
    std::ostringstream q90, q20;
    ASSERT_EQ(jpeg.Save(*source.GetImage(), q90), kImageOk);
    jpeg.SetJpgQuality(20);
    ASSERT_EQ(jpeg.Save(*source.GetImage(), q20), kImageOk);
    EXPECT_GT(q90.str().size(), q20.str().size() + 500);
    jpeg.SetJpgQuality(101);
    EXPECT_EQ(jpeg.Save(*source.GetImage(), q20), kImageInvalidParameter);

    // Lossless either way, and LZW (the default) is the smaller.
    CTavImageEncoder tiff("frame.tif");
    ASSERT_EQ(tiff.Save(*source.GetImage(), PathOf("lzw.tif").c_str()), kImageOk);
    tiff.SetTiffCompression(CTavImageEncoder::kTiffNone);
    ASSERT_EQ(tiff.Save(*source.GetImage(), PathOf("plain.tif").c_str()), kImageOk);
    EXPECT_LT(Bytes(PathOf("lzw.tif")).size(), Bytes(PathOf("plain.tif")).size());
    for (const char* name : {"lzw.tif", "plain.tif"}) {
        CTavImage back;
        ASSERT_EQ(back.LoadPhoto(PathOf(name).c_str()), 1);
        EXPECT_EQ(back.GetType(), CTavImage::kTypeTif);
        std::vector<unsigned char> pixels;
        int w, h;
        ASSERT_TRUE(back.GetPixels24(pixels, w, h));
        EXPECT_EQ(pixels, frame) << name;
    }
    tiff.SetTiffCompression(9);
    EXPECT_EQ(tiff.Save(*source.GetImage(), PathOf("bad.tif").c_str()), kImageInvalidParameter);
}

TEST(TavImageEncoder, FileWritesReplaceOrFailCleanly)
{
    Magick::Image picture(Magick::Geometry(30, 20), Magick::Color("green"));
    CTavImageEncoder png("image/png");
    const std::string path = Put("old.png", "an older file that must go");
    ASSERT_EQ(png.Save(picture, path.c_str()), kImageOk);
    std::ostringstream stream;
    ASSERT_EQ(png.Save(picture, stream), kImageOk);
    EXPECT_EQ(Bytes(path), stream.str());

    EXPECT_NE(png.Save(picture, PathOf("no/such/folder/x.png").c_str()), kImageOk);
    EXPECT_FALSE(std::filesystem::exists(PathOf("no")));
    EXPECT_NE(png.Save(picture, (Folder::dir + "/").c_str()), kImageOk);
    EXPECT_EQ(png.Save(picture, static_cast<const char*>(nullptr)), kImageInvalidParameter);

    // A failed save leaves the folder as it was: no temporary file behind.
    Magick::Image empty;
    EXPECT_EQ(png.Save(empty, path.c_str()), kImageInvalidParameter);
    EXPECT_EQ(Bytes(path), stream.str());
    std::ostringstream broken;
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(png.Save(picture, broken), kImageWin32Error);
    for (const auto& entry : std::filesystem::directory_iterator(Folder::dir))
        EXPECT_EQ(entry.path().filename().string().rfind(".tavimage-", 0), std::string::npos);
}

}  // namespace
