// The animation library container: the bytes an import writes, duplicates, damaged
// and cut containers, files that are no effect, a container that is never lost,
// removal through the temporary container and its recovery, and the thumbnails.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "filter/animation/AnimationFile.h"
#include "studio/maker/AnimationLibrary.h"
#include "studio/shell/StringTable.h"
#include "tests/support/ScriptedPrompt.h"
#include "tools/common/SampleEffect.h"

using namespace zolvex;
using namespace zolvex::studio;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& b)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void PutInt(Bytes& b, int32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
}

uint32_t Tag(AnimationLibrary& lib, int i)
{
    return static_cast<tagROMANCE_EFFECT2*>(lib.Records()->GetAt(uint32_t(i)))->guidEffect.Data1;
}

class AnimationLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zolvex-anilib-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = std::string(name) + "/";
        container_ = dir_ + AnimationLibrary::kContainerName;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // The sample effect saved as `title`.arf, its GUID's Data1 set to `tag`.
    std::string Sample(const std::string& title, uint32_t tag)
    {
        tagROMANCE_EFFECT2* e = MakeSampleAnimationEffect();
        e->guidEffect.Data1 = tag;
        EXPECT_TRUE(WriteAnimationEffect(e, (dir_ + title).c_str()));
        FreeAnimationEffect(e);
        return dir_ + title + ".arf";
    }

    void WriteContainer(int32_t count, const std::vector<Bytes>& entries)
    {
        Bytes b;
        PutInt(b, count);
        for (const Bytes& e : entries) {
            PutInt(b, int32_t(e.size()));
            b.insert(b.end(), e.begin(), e.end());
        }
        WriteFile(container_, b);
    }

    std::string dir_, container_;
};

TEST_F(AnimationLibraryTest, ImportsWriteWholeFilesAndSkipKnownEffects)
{
    const std::string a = Sample("star", 1), b = Sample("b", 2);
    const Bytes fileA = ReadFile(a);
    WriteFile(dir_ + "copy.arf", fileA);  // same GUID under another name
    {
        AnimationLibrary lib(dir_);
        EXPECT_FALSE(lib.Load());  // no container: an empty library
        ASSERT_TRUE(lib.Import(a));
        Bytes expected;
        PutInt(expected, 1);
        PutInt(expected, int32_t(fileA.size()));
        expected.insert(expected.end(), fileA.begin(), fileA.end());
        EXPECT_EQ(ReadFile(container_), expected);

        EXPECT_FALSE(lib.Import(a));
        EXPECT_FALSE(lib.Import(dir_ + "copy.arf"));
        EXPECT_EQ(ReadFile(container_), expected);
        ASSERT_TRUE(lib.Import(b));
        EXPECT_EQ(ReadFile(container_)[0], 2);
        EXPECT_EQ(lib.Records()->GetAt(0), lib.Versions()->GetAt(0));
        EXPECT_EQ(lib.Name(0), "star");
        EXPECT_EQ(lib.Name(2), "");
    }
    AnimationLibrary again(dir_);
    EXPECT_TRUE(again.Load());
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(Tag(again, 0), 1u);
    EXPECT_EQ(Tag(again, 1), 2u);
    EXPECT_FALSE(again.Import(b));
}

TEST_F(AnimationLibraryTest, DamagedEntryStopsTheLoadThere)
{
    const Bytes a = ReadFile(Sample("a", 1)), b = ReadFile(Sample("b", 2)), c = ReadFile(Sample("c", 3));
    Bytes badVersion = b, noSymbols = b, padded = a;
    badVersion[6] = '9';  // "AMRF_2901"
    std::fill(noSymbols.begin() + 556, noSymbols.begin() + 560, 0);
    padded.insert(padded.end(), {1, 0, 0, 0, 9});  // bytes past the effect stay in their entry
    for (const Bytes& second : {badVersion, noSymbols, Bytes(b.begin(), b.begin() + 3000)}) {
        WriteContainer(3, {padded, second, c});
        AnimationLibrary lib(dir_);
        EXPECT_FALSE(lib.Load());
        ASSERT_EQ(lib.Count(), 1);
        EXPECT_EQ(Tag(lib, 0), 1u);
    }
    WriteContainer(2, {padded, c});
    AnimationLibrary whole(dir_);
    EXPECT_TRUE(whole.Load());
    EXPECT_EQ(whole.Count(), 2);
    WriteContainer(-1, {a});
    EXPECT_FALSE(whole.Load());
    EXPECT_EQ(whole.Count(), 0);  // a load replaces what was held
}

TEST_F(AnimationLibraryTest, CutContainersLoadTheirWholeEntriesAndTakeNewOnes)
{
    const Bytes a = ReadFile(Sample("a", 1));
    const std::string c = Sample("c", 3);
    WriteContainer(2, {a, ReadFile(Sample("b", 2))});
    const Bytes full = ReadFile(container_);
    const size_t firstEnd = 8 + a.size();
    std::vector<size_t> cuts = {0, 3, 4, 7, firstEnd - 1, firstEnd, firstEnd + 4, full.size() - 1};
    for (size_t cut = 9; cut < full.size(); cut += 7919)
        cuts.push_back(cut);
    for (size_t cut : cuts) {
        SCOPED_TRACE(cut);
        WriteFile(container_, Bytes(full.begin(), full.begin() + long(cut)));
        const int complete = cut >= firstEnd ? 1 : 0;
        {
            AnimationLibrary lib(dir_);
            EXPECT_FALSE(lib.Load());
            EXPECT_EQ(lib.Count(), complete);
            ASSERT_TRUE(lib.Import(c));
        }
        // The new effect follows the whole entries, where a load finds it.
        AnimationLibrary after(dir_);
        EXPECT_TRUE(after.Load());
        ASSERT_EQ(after.Count(), complete + 1);
        EXPECT_EQ(Tag(after, complete), 3u);
    }
}

TEST_F(AnimationLibraryTest, FilesThatAreNoEffectAreNotImported)
{
    const Bytes a = ReadFile(Sample("a", 1));
    Bytes noSymbols(a.begin(), a.begin() + 560), otherVersion = a;
    std::fill(noSymbols.begin() + 556, noSymbols.end(), 0);
    otherVersion[5] = '3';
    const std::vector<Bytes> bad = {noSymbols, otherVersion, Bytes(a.begin(), a.begin() + 100), Bytes()};
    AnimationLibrary lib(dir_);
    for (size_t i = 0; i < bad.size(); ++i) {
        WriteFile(dir_ + "bad.arf", bad[i]);
        EXPECT_FALSE(lib.Import(dir_ + "bad.arf")) << i;
    }
    EXPECT_FALSE(lib.Import(dir_ + "missing.arf"));
    EXPECT_FALSE(lib.Import(dir_));
    EXPECT_EQ(lib.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(container_));
}

TEST_F(AnimationLibraryTest, ContainerThatCannotBeReadIsLeftAlone)
{
    ASSERT_EQ(mkdir(container_.c_str(), 0755), 0);
    AnimationLibrary lib(dir_);
    EXPECT_FALSE(lib.Import(Sample("a", 1)));
    EXPECT_EQ(lib.Count(), 0);  // memory and container stay alike
    EXPECT_TRUE(std::filesystem::is_directory(container_));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);  // the ".arf" only: no temporary file is left behind
}

}  // namespace

TEST_F(AnimationLibraryTest, RemovalAsksAndRewritesTheContainer)
{
    Strings().Load(Language::kEnglish);
    const std::string a = Sample("a", 1), b = Sample("b", 2), c = Sample("c", 3);
    const Bytes fileA = ReadFile(a), fileC = ReadFile(c);
    {
        AnimationLibrary lib(dir_);
        ASSERT_TRUE(lib.Import(a) && lib.Import(b) && lib.Import(c));
        testsupport::ScriptedPrompt prompt;
        // Nothing selected: string 146, and nothing changes.
        EXPECT_FALSE(lib.Remove(-1, prompt));
        ASSERT_EQ(prompt.shown.size(), 1u);
        EXPECT_EQ(prompt.shown[0].text, "Please select an image to remove");
        EXPECT_EQ(prompt.shown[0].icon, kPromptInformation);
        // No to the question keeps the effect and the container.
        const Bytes before = ReadFile(container_);
        prompt.answers = {kAnswerNo};
        EXPECT_FALSE(lib.Remove(1, prompt));
        EXPECT_EQ(prompt.shown.back().icon, kPromptQuestion);
        EXPECT_EQ(prompt.shown.back().title, "Zolvex Video Studio");
        EXPECT_EQ(lib.Count(), 3);
        EXPECT_EQ(ReadFile(container_), before);
        // Yes: the middle one goes from memory and from the container, in order.
        prompt.answers = {kAnswerYes};
        ASSERT_TRUE(lib.Remove(1, prompt));
        EXPECT_EQ(lib.Count(), 2);
        EXPECT_EQ(lib.Versions()->GetSize(), 2u);
        EXPECT_EQ(Tag(lib, 0), 1u);
        EXPECT_EQ(Tag(lib, 1), 3u);
        EXPECT_NE(lib.Thumbnail(1), nullptr);
        EXPECT_EQ(lib.Thumbnail(2), nullptr);
    }
    Bytes expected;
    PutInt(expected, 2);
    for (const Bytes* f : {&fileA, &fileC}) {
        PutInt(expected, int32_t(f->size()));
        expected.insert(expected.end(), f->begin(), f->end());
    }
    EXPECT_EQ(ReadFile(container_), expected);
    EXPECT_FALSE(std::filesystem::exists(dir_ + AnimationLibrary::kTemporaryName));

    // Removing the last ones leaves a container of count 0.
    AnimationLibrary lib(dir_);
    ASSERT_TRUE(lib.Load());
    testsupport::ScriptedPrompt prompt;
    prompt.answers = {kAnswerYes, kAnswerYes};
    ASSERT_TRUE(lib.Remove(0, prompt) && lib.Remove(0, prompt));
    EXPECT_EQ(ReadFile(container_), (Bytes{0, 0, 0, 0}));
}

TEST_F(AnimationLibraryTest, ALoadFinishesARemovalCutShort)
{
    const std::string a = Sample("a", 1), b = Sample("b", 2);
    {
        AnimationLibrary lib(dir_);
        ASSERT_TRUE(lib.Import(a) && lib.Import(b));
    }
    const std::string temporary = dir_ + AnimationLibrary::kTemporaryName;
    // The old container deleted, the rename not done: the temporary one is taken.
    std::filesystem::rename(container_, temporary);
    {
        AnimationLibrary lib(dir_);
        ASSERT_TRUE(lib.Load());
        EXPECT_EQ(lib.Count(), 2);
        EXPECT_TRUE(std::filesystem::exists(container_));
        EXPECT_FALSE(std::filesystem::exists(temporary));
    }
    // Both there (a one-effect temporary beside the two-effect container): the
    // removal never replaced the container, which stays as it is.
    const Bytes whole = ReadFile(container_);
    WriteContainer(1, {ReadFile(a)});
    std::filesystem::rename(container_, temporary);
    WriteFile(container_, whole);
    AnimationLibrary lib(dir_);
    ASSERT_TRUE(lib.Load());
    EXPECT_EQ(lib.Count(), 2);
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_EQ(ReadFile(container_), whole);
}

TEST_F(AnimationLibraryTest, ThumbnailsAnimateOverTheirBackground)
{
    AnimationLibrary lib(dir_);
    std::vector<uint8_t> grey(size_t(AnimationLibrary::kThumbWidth) * AnimationLibrary::kThumbHeight * 3, 90);
    lib.SetThumbnailBackground(grey);
    ASSERT_TRUE(lib.Import(Sample("a", 1)));
    EXPECT_EQ(lib.ItemFlag(0, 0), 0);
    EXPECT_EQ(lib.ItemFlag(0, 1), 1) << "an animated item";
    const size_t bytes = grey.size();
    std::vector<uint8_t> first(lib.Thumbnail(0), lib.Thumbnail(0) + bytes);
    bool drawn = false, moved = false;
    for (int frame = 0; frame < 30; ++frame) {
        ASSERT_TRUE(lib.NextThumbnailFrame(0));
        const std::vector<uint8_t> now(lib.Thumbnail(0), lib.Thumbnail(0) + bytes);
        drawn = drawn || now != grey;
        moved = moved || now != first;
    }
    EXPECT_TRUE(drawn) << "the effect's symbols are drawn over the background";
    EXPECT_TRUE(moved) << "each frame moves them on";
    EXPECT_FALSE(lib.NextThumbnailFrame(1));
}
