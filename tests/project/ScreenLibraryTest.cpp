// The 3D screen library: "3D_Bg" round trip, damaged and cut files, the picture
// list, and the three masks.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "studio/project/ScreenLibrary.h"

using namespace zolvex::studio;

namespace {

typedef std::vector<unsigned char> Bytes;

ScreenOp Template(int style)
{
    ScreenOp t;
    std::memset(&t, 0, sizeof t);
    t.dStartTime = 1.5 * style;
    t.dEndTime = 4.25 * style;
    t.nStyle = style;
    t.afParams[1] = -1.25f;
    t.nOrder = 7;
    t.pMaskPicture = t.pBackground = &t;  // stale caches must never be kept
    return t;
}

class ScreenLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/zolvex-screenlib-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;  // without a final "/" on purpose
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Saves two items (pictures of 10 and 33 bytes) and returns the file.
    Bytes SaveTwo()
    {
        ScreenLibrary lib;
        EXPECT_FALSE(lib.Add(Bytes(), Template(1)));  // no picture, no item
        EXPECT_TRUE(lib.Add(Bytes(10, 1), Template(3)));
        EXPECT_TRUE(lib.Add(Bytes(33, 2), Template(22)));
        EXPECT_TRUE(lib.Save(dir_));
        std::ifstream in(dir_ + "/3D_Bg", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void Write(const Bytes& b)
    {
        std::ofstream(dir_ + "/3D_Bg", std::ios::binary).write(reinterpret_cast<const char*>(b.data()), long(b.size()));
    }

    std::string dir_;
};

TEST_F(ScreenLibraryTest, RoundTripKeepsPicturesAndTemplates)
{
    const Bytes file = SaveTwo();
    ASSERT_EQ(file.size(), 4u + (4 + 10 + 56) + (4 + 33 + 56));
    EXPECT_EQ(file[0], 2);
    EXPECT_EQ(file[4], 10);

    ScreenLibrary lib;
    ASSERT_TRUE(lib.Load(dir_ + "/"));
    ASSERT_EQ(lib.Count(), 2);
    const int styles[] = {3, 22};
    for (int i = 0; i < 2; ++i) {
        const ScreenOp& t = lib.Template(i);
        EXPECT_EQ(t.nStyle, styles[i]);
        EXPECT_EQ(t.dEndTime, 4.25 * styles[i]);
        EXPECT_EQ(t.afParams[1], -1.25f);
        EXPECT_EQ(t.pMaskPicture, nullptr);
        EXPECT_EQ(t.pBackground, nullptr);
        const PictureBlock block = lib.Pictures()->GetAt(uint32_t(i));
        EXPECT_EQ(Bytes(block.pData, block.pData + block.nBytes), Bytes(i ? 33 : 10, uint8_t(i + 1)));
    }
    // The list follows every change and keeps pointing at live bytes.
    ASSERT_TRUE(lib.Add(Bytes(5000, 3), Template(9)));
    ASSERT_EQ(lib.Pictures()->GetSize(), 3);
    EXPECT_EQ(lib.Pictures()->GetAt(0).pData[9], 1);
    EXPECT_EQ(lib.Pictures()->GetAt(2).nBytes, 5000u);
}

TEST_F(ScreenLibraryTest, DamagedFilesKeepTheWholeItemsBeforeTheDamage)
{
    const Bytes file = SaveTwo();
    const size_t firstEnd = 4 + 4 + 10 + 56;
    for (size_t cut = 0; cut < file.size(); ++cut) {
        Write(Bytes(file.begin(), file.begin() + long(cut)));
        ScreenLibrary lib;
        EXPECT_FALSE(lib.Load(dir_)) << cut;
        EXPECT_EQ(lib.Count(), cut >= firstEnd ? 1 : 0) << cut;
        EXPECT_EQ(lib.Pictures()->GetSize(), lib.Count());
    }
    for (int32_t length : {-1, INT32_MAX, 34}) {  // the second item's length
        Bytes bad = file;
        std::memcpy(&bad[firstEnd], &length, 4);
        Write(bad);
        ScreenLibrary lib;
        EXPECT_FALSE(lib.Load(dir_)) << length;
        EXPECT_EQ(lib.Count(), 1);
    }
    ScreenLibrary lib;
    ASSERT_TRUE(lib.Add(Bytes(4, 4), Template(1)));
    EXPECT_FALSE(lib.Load(dir_ + "/missing"));
    EXPECT_EQ(lib.Count(), 0);  // a load replaces what was there
    EXPECT_EQ(lib.Pictures()->GetSize(), 0);
}

TEST_F(ScreenLibraryTest, MasksFrameThePictureAndLeaveTheMiddleClear)
{
    ScreenLibrary lib;
    CTavmArray<void*>* masks = lib.Masks();
    ASSERT_EQ(masks->GetSize(), 3);
    ASSERT_EQ(lib.MaskSizes()->GetSize(), 3);
    EXPECT_EQ(lib.Masks()->GetAt(0), masks->GetAt(0));  // made once
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(lib.MaskSizes()->GetAt(i).cx, 720);
        ASSERT_EQ(lib.MaskSizes()->GetAt(i).cy, 576);
        const auto* p = static_cast<const unsigned char*>(masks->GetAt(i));
        auto alpha = [&](int x, int y) { return p[(size_t(y) * 720 + size_t(x)) * 4 + 3]; };
        EXPECT_EQ(alpha(360, 288), 0) << i;
        EXPECT_EQ(alpha(200, 250), 0) << i;
        EXPECT_EQ(alpha(2, 2), 255) << i;
        EXPECT_EQ(alpha(717, 573), 255) << i;
    }
}

}  // namespace
