#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/support/Golden.h"
#include "tests/transitions/TransitionTestSupport.h"

using namespace zolvex::test;

namespace {

TEST(TransitionEngine, TableListsTheTwentyEightTransitionsInIdOrder)
{
    static const char* const kNames[] = {
        "Fade", "Fade/Zoom In", "Fade/Zoom Out", "Erase From Left", "Erase From Right", "Erase From Top",
        "Erase From Bottom", "Cross In", "Cross Out", "Upper Left Rectangle", "Upper Right Rectangle", "Rectangle",
        "Mini Rectangle", "Ellipse", "Mini Ellipse", "Swing Side Left Out", "Swing Side Right Out",
        "Swing Side Top Out", "Swing Side Bottom Out", "Change Left To Right", "Change Right To Left",
        "Side Top To Bottom", "Side Bottom To Top", "Center Slip In", "Center Slip Out", "Rotate Out", "Rotate In",
        "Clock"};
    ASSERT_EQ(GetTransitionCount(), 28);
    for (int id = 1; id <= 28; ++id)
        EXPECT_STREQ(GetTransitionName(id), kNames[id - 1]) << id;
    EXPECT_EQ(GetTransitionName(0), nullptr);
    EXPECT_EQ(GetTransitionName(29), nullptr);

    CfTavTransition t;
    EXPECT_EQ(t.nTransferID, 0);
    EXPECT_EQ(t.dDuration, 0.0);
    t.InitTransfer(tagSIZE{160, 120}, 3, 2.5);
    EXPECT_EQ(t.GetWidth(), 160);
    EXPECT_EQ(t.GetHeight(), 120);
    EXPECT_EQ(t.GetCount(), 30);
}

TEST(TransitionEngine, IdsOutsideTheTableCutToTheSecondPicture)
{
    const Picture a = zolvex::testpic::MakeTestPicture(40, 30, 4);
    const Picture b = zolvex::testpic::MakeSecondPicture(40, 30, 4);
    for (int id : {0, 29, -1, 1000})
        EXPECT_EQ(RenderTransition(id, 40, 30, 4, 0.5, a, b), b) << id;
}

// Every transition, every size down to one pixel, both pixel sizes, progress from
// start to end: the sanitizer build watches every read and write, and the output
// must be fully written with values between those of the two pictures.
TEST(TransitionEngine, EveryTransitionFillsItsOutputAndStaysInItsBuffers)
{
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {33, 17}, {320, 240}, {721, 577}};
    for (const auto& s : sizes)
        for (int bpp : {3, 4}) {
            // Values 10 and 60 keep every blend well away from the 0xCD fill.
            const Picture a = Uniform(s[0], s[1], bpp, 10, 20);
            const Picture b = Uniform(s[0], s[1], bpp, 60, 70);
            for (int id = 1; id <= GetTransitionCount(); ++id)
                for (double p : {0.0, 0.01, 0.5, 0.99, 1.0}) {
                    const Picture o = RenderTransition(id, s[0], s[1], bpp, p, a, b);
                    for (size_t k = 0; k < o.size(); ++k) {
                        const bool alpha = bpp == 4 && k % 4 == 3;
                        const int lo = alpha ? 20 : 10, hi = alpha ? 70 : 60;
                        ASSERT_TRUE(o[k] >= lo && o[k] <= hi)
                            << GetTransitionName(id) << " " << s[0] << "x" << s[1] << "x" << bpp << " p " << p
                            << " byte " << k << " = " << int(o[k]);
                    }
                }
        }
}

// A stray time is held to the transition's ends: before the start (or NaN) it draws
// exactly what progress 0 draws, past the end exactly what progress 1 draws, and a
// duration that is not positive counts as finished.
TEST(TransitionEngine, StrayTimesAndOddFormatsAreHarmless)
{
    const double kNaN = std::numeric_limits<double>::quiet_NaN();
    const Picture a = Uniform(24, 16, 3, 10), b = Uniform(24, 16, 3, 60);
    auto render = [](int id, int bpp, double duration, double time, const Picture& first, const Picture& second) {
        CfTavTransition t;
        t.InitTransfer(tagSIZE{24, 16}, bpp, duration);
        t.SetCurTransferTime(time);
        t.SetCurTransferID(id);
        Picture o(first.size(), 0xCD);
        t.Transfer(first.data(), second.data(), o.data());
        return o;
    };
    for (int id = 1; id <= GetTransitionCount(); ++id) {
        SCOPED_TRACE(GetTransitionName(id));
        for (double time : {-5.0, 7.0, kNaN, 1e300}) {
            CfTavTransition t;
            t.InitTransfer(tagSIZE{24, 16}, 3, 1.0);
            t.SetCurTransferTime(time);
            t.SetCurTransferID(id);
            Picture o(a.size());
            t.Transfer(a.data(), b.data(), o.data());
        }
        // No duration: the transition counts as finished.
        CfTavTransition t;
        t.InitTransfer(tagSIZE{24, 16}, 3, 0.0);
        t.SetCurTransferID(id);
        Picture o(a.size());
        t.Transfer(a.data(), b.data(), o.data());

        // Textured pictures, so that a stray time drawing any other moment shows.
        for (int bpp : {3, 4}) {
            const Picture x = zolvex::testpic::MakeTestPicture(24, 16, bpp);
            const Picture y = zolvex::testpic::MakeSecondPicture(24, 16, bpp);
            const Picture start = RenderTransition(id, 24, 16, bpp, 0.0, x, y);
            const Picture end = RenderTransition(id, 24, 16, bpp, 1.0, x, y);
            ASSERT_NE(start, end) << "the check needs ends that differ";
            for (double time : {-5.0, -1e-9, -1e300, kNaN, -std::numeric_limits<double>::infinity()})
                EXPECT_EQ(render(id, bpp, 1.0, time, x, y), start) << "time " << time << " bpp " << bpp;
            for (double time : {7.0, 1.0 + 1e-9, 1e300, std::numeric_limits<double>::infinity()})
                EXPECT_EQ(render(id, bpp, 1.0, time, x, y), end) << "time " << time << " bpp " << bpp;
            for (double duration : {0.0, -2.0, kNaN})
                for (double time : {0.0, 0.5, -3.0, kNaN})
                    EXPECT_EQ(render(id, bpp, duration, time, x, y), end)
                        << "duration " << duration << " time " << time << " bpp " << bpp;
            // The progress is time over duration, whatever the duration.
            EXPECT_EQ(render(id, bpp, 4.0, 2.0, x, y), RenderTransition(id, 24, 16, bpp, 0.5, x, y)) << bpp;
            EXPECT_EQ(render(id, bpp, 4.0, -8.0, x, y), start) << bpp;
            EXPECT_EQ(render(id, bpp, 4.0, 9.0, x, y), end) << bpp;
        }

        for (int bpp : {1, 2, 5}) {
            const Picture a5 = Uniform(9, 4, bpp, 10), b5 = Uniform(9, 4, bpp, 60);
            EXPECT_EQ(RenderTransition(id, 9, 4, bpp, 0.5, a5, b5), b5) << "other pixel sizes cut";
        }
    }
}

TEST(TransitionGolden, EveryTransitionAtFiveMoments)
{
    const int w = 720, h = 576;
    std::vector<std::string> lines;
    for (int bpp : {3, 4}) {
        const Picture a = zolvex::testpic::MakeTestPicture(w, h, bpp);
        const Picture b = zolvex::testpic::MakeSecondPicture(w, h, bpp);
        for (int id = 1; id <= GetTransitionCount(); ++id)
            for (double p : {0.0, 0.25, 0.5, 0.75, 1.0}) {
                const Picture o = RenderTransition(id, w, h, bpp, p, a, b);
                char key[160];
                std::snprintf(key, sizeof key, "transition=%d name=\"%s\" p=%.2f size=%dx%dx%d", id,
                              GetTransitionName(id), p, w, h, bpp);
                lines.push_back(GoldenLine(key, o.data(), o.size()));
            }
    }
    const std::string diff = CheckGolden("transitions.txt", lines);
    EXPECT_TRUE(diff.empty()) << diff;
}

}  // namespace
