// The media library: what "TavMedia" holds and in which order, what a damaged file
// leaves, favourites beside it, and imports of good and bad files on the worker.
#include <gtest/gtest.h>

#include <Magick++.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>

#include "filter/media/MagickReady.h"
#include "studio/project/MediaFilters.h"
#include "studio/project/MediaImport.h"
#include "studio/project/MediaLibrary.h"
#include "studio/project/ProjectLayouts.h"
#include "tests/support/Command.h"
#include "tests/support/TestMedia.h"

using namespace zolvex;
using namespace zolvex::studio;
using testsupport::Quote;

namespace {

using Bytes = std::vector<unsigned char>;

testsupport::TestMedia g_media("media-library");
std::string g_dir;

Bytes FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

MediaItem Item(const std::string& path, int kind, double duration)
{
    MediaItem item;
    std::memset(&item, 0, sizeof item);
    std::snprintf(item.szPath, sizeof item.szPath, "%s", path.c_str());
    item.nKind = kind;
    item.nWidth = 320;
    item.nHeight = 240;
    item.dDuration = duration;
    item.bViewFlag = 1;
    return item;
}

int32_t I32(const Bytes& b, size_t at) { return int32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); }

class MediaLibraryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(g_media.Open()) << g_media.Why();
        g_dir = g_media.Dir() + "/";
        magick::EnsureReady();
        ASSERT_TRUE(g_media.Run({"ffmpeg -nostdin -v error -f lavfi -i color=red:s=160x120:r=25:d=1 -c:v mpeg2video " +
                                 Quote(g_dir + "clip.mpg")}) ||
                    g_media.Missing())
            << g_media.Why();
        Magick::Image(Magick::Geometry(64, 48), Magick::Color("lime")).write(g_dir + "green.png");
        std::ofstream(g_dir + "damaged.mpg") << "not a movie";
        std::ofstream(g_dir + "notes.txt") << "text";
        mkdir((g_dir + "folder.jpg").c_str(), 0755);
        // Its header promises 400 million pixels: refused before it is decoded.
        std::ofstream(g_dir + "huge.ppm") << "P6\n20000 20000\n255\n" << std::string(64, '\0');
    }
    static void TearDownTestSuite() { g_media.Remove(); }
    void SetUp() override
    {
        data = g_dir + "data" + std::to_string(++n) + "/";
        mkdir(data.c_str(), 0755);
    }
    std::string data;
    static int n;
};
int MediaLibraryTest::n = 0;

struct Listener : IImportListener {
    MediaImport* import = nullptr;
    size_t cancelAt = SIZE_MAX;
    std::vector<std::string> seen;
    std::atomic<bool> finished{false}, cancelled{false};
    void OnImportProgress(size_t index, size_t, const std::string& path) override
    {
        seen.push_back(path);
        if (index == cancelAt)
            import->Cancel();
    }
    void OnImportFinished(bool c) override
    {
        cancelled = c;
        finished = true;
    }
};

}  // namespace

TEST_F(MediaLibraryTest, StoresTheEntriesNotRemovedAndLoadsThemBack)
{
    MediaLibrary library(data);
    EXPECT_EQ(library.Load(), MediaLibrary::Loaded::kNone);
    library.Append(Item("/m/a.mpg", MEDIA_VIDEO, 12.5), MediaThumbnail{1, 2, 3});
    library.Append(Item("/m/b.wav", MEDIA_AUDIO, 3.0), MediaThumbnail{4});
    library.Append(Item("/m/c.png", MEDIA_PICTURE, 0.0), MediaThumbnail{5, 6});
    library.Remove(1);
    ASSERT_TRUE(library.Store());

    const Bytes bytes = FileBytes(library.Path());
    ASSERT_EQ(bytes.size(), 4 + 2 * kMediaItemBytes + (4 + 3) + (4 + 2));
    EXPECT_EQ(I32(bytes, 0), 2);
    EXPECT_STREQ(reinterpret_cast<const char*>(&bytes[4 + kMediaItemBytes]), "/m/c.png");
    EXPECT_EQ(I32(bytes, 4 + 2 * kMediaItemBytes), 3);
    EXPECT_EQ(bytes[4 + 2 * kMediaItemBytes + 4], 1);
    EXPECT_EQ(I32(bytes, 4 + 2 * kMediaItemBytes + 7), 2) << "the third entry's thumbnail follows the first's";

    MediaLibrary again(data);
    ASSERT_EQ(again.Load(), MediaLibrary::Loaded::kWhole);
    ASSERT_EQ(again.Count(), 2u);
    const LibraryEntry& c = again.Entry(1);
    EXPECT_EQ(c.item.nLibraryIndex, 1);
    EXPECT_EQ(c.item.bViewFlag, 0);
    EXPECT_EQ(c.thumbnail, (MediaThumbnail{5, 6}));
    const SceneRecord& a = again.Entry(0).record;
    EXPECT_STREQ(a.szPath, "/m/a.mpg");
    EXPECT_EQ(a.nMediaType, MEDIA_VIDEO);
    EXPECT_TRUE(a.dDuration == 12.5 && a.dOutPoint == 12.5 && a.dInPoint == 0.0);
    EXPECT_TRUE(a.nSourceWidth == 320 && a.bVideoOpen == 0 && a.bAudioOpen == 0);
    EXPECT_EQ(PrepareSceneRecord(Item("/m/b.wav", MEDIA_AUDIO, 3.0)).nMediaType, 0) << "sound makes no picture";

    // Favourites live beside the library, never in it.
    ASSERT_TRUE(again.SetFavourite(1, true));
    EXPECT_EQ(FileBytes(again.Path()), bytes);
    MediaLibrary third(data);
    third.Load();
    EXPECT_TRUE(third.IsFavourite(1) && !third.IsFavourite(0));
}

TEST_F(MediaLibraryTest, AFileCutShortIsDeletedAndWhatWasReadStays)
{
    MediaLibrary library(data);
    for (int i = 0; i < 3; ++i)
        library.Append(Item("/m/" + std::to_string(i) + ".mpg", MEDIA_VIDEO, 1.0 + i), MediaThumbnail(50, uint8_t(i)));
    ASSERT_TRUE(library.Store());
    const Bytes whole = FileBytes(library.Path());
    for (size_t size = 0; size < whole.size(); size += 1 + size / 8) {
        SCOPED_TRACE(size);
        WriteBytes(library.Path(), Bytes(whole.begin(), whole.begin() + long(size)));
        MediaLibrary cut(data);
        ASSERT_EQ(cut.Load(), MediaLibrary::Loaded::kDamaged);
        EXPECT_NE(access(cut.Path().c_str(), F_OK), 0) << "deleted";
        const size_t items = size < 4 ? 0 : std::min<size_t>(3, (size - 4) / kMediaItemBytes);
        EXPECT_EQ(cut.Count(), items);
    }
    // A count that promises more than the file holds.
    Bytes more = whole;
    more[0] = 9;
    WriteBytes(library.Path(), more);
    MediaLibrary promised(data);
    EXPECT_EQ(promised.Load(), MediaLibrary::Loaded::kDamaged);

    // A store that fails half way (a file size limit, as a full disk) keeps the old file.
    WriteBytes(library.Path(), whole);
    library.Append(Item("/m/big.mpg", MEDIA_VIDEO, 1.0), MediaThumbnail(100000, 7));
    struct rlimit saved, small;
    getrlimit(RLIMIT_FSIZE, &saved);
    small = saved;
    small.rlim_cur = whole.size() + 1000;
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool stored = library.Store();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(stored);
    EXPECT_EQ(FileBytes(library.Path()), whole);
}

TEST_F(MediaLibraryTest, ImportKeepsTheGoodFilesInOrderAndSkipsTheRest)
{
    ZOLVEX_REQUIRE_MEDIA(g_media);
    const std::vector<std::string> files = {
        g_dir + "clip.mpg",  g_dir + "damaged.mpg", g_dir + "folder.jpg", g_dir + "notes.txt",
        g_dir + "gone.mpg",  g_dir + "huge.ppm",    g_dir + "green.png"};
    MediaImport import;
    Listener listener;
    listener.import = &import;
    ASSERT_TRUE(import.Start(files, &listener));
    import.Wait();
    EXPECT_TRUE(listener.finished && !listener.cancelled);
    EXPECT_EQ(listener.seen, files);
    std::vector<ImportedFile> made = import.Take();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_STREQ(made[0].item.szPath, files[0].c_str());
    EXPECT_EQ(made[0].item.nKind, MEDIA_VIDEO);
    EXPECT_STREQ(made[1].item.szPath, files.back().c_str());
    EXPECT_FALSE(made[1].thumbnail.empty());

    MediaLibrary library(data);
    ASSERT_TRUE(AddImported(library, std::move(made)));
    MediaLibrary stored(data);
    ASSERT_EQ(stored.Load(), MediaLibrary::Loaded::kWhole);
    EXPECT_EQ(stored.Count(), 2u);

    // Cancelled at the third file: it ends after that one, keeping the first.
    Listener stop;
    stop.import = &import;
    stop.cancelAt = 2;
    ASSERT_TRUE(import.Start(files, &stop));
    import.Wait();
    EXPECT_TRUE(stop.cancelled);
    EXPECT_EQ(stop.seen.size(), 3u);
    EXPECT_EQ(import.Take().size(), 1u);
}

TEST(MediaFileChoices, EachDescriptionGetsItsOwnPatterns)
{
    const std::vector<FileChoice> media = ReadFileChoices(kMediaFileChoices);
    ASSERT_EQ(media.size(), 21u);
    EXPECT_EQ(media[0].description, "(all media files)");
    EXPECT_EQ(media[0].patterns.size(), 20u);
    EXPECT_EQ(media[20].description, "(*.pcx)");
    EXPECT_EQ(media[20].patterns, (std::vector<std::string>{"*.pcx"}));
    // The picture choices run "(*.jpg)" into the list of all pictures.
    const std::vector<FileChoice> pictures = ReadFileChoices(kPictureFileChoices);
    ASSERT_EQ(pictures.size(), 10u);
    EXPECT_EQ(pictures[0].patterns.size(), 9u);
    EXPECT_EQ(pictures[1].description, "(*.jpg)");
    EXPECT_EQ(pictures[1].patterns, (std::vector<std::string>{"*.jpg"}));
    EXPECT_NE(std::string(kPictureFileChoices).find("*.pcx;\t\t(*.jpg)|*.jpg|"), std::string::npos)
        << "the text stays as it was";
}
