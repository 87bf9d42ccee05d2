// Save Movie choices to output parameters: disc profiles, the quality scale, each
// kind's codecs, format names, paths, and choices outside their lists.
#include <gtest/gtest.h>

#include "studio/shell/MovieOutputParams.h"

using namespace zolvex::studio;

namespace {

MovieChoices Choices(MovieKind kind, DiscProfile profile = kDvdPal)
{
    MovieChoices c;
    c.kind = kind;
    c.profile = profile;
    c.channels = -1;  // the kind's own
    c.movieName = "holiday";
    c.folder = "/home/me/Movies";
    return c;
}

MovieOutputParams Fill(const MovieChoices& c)
{
    MovieOutputParams p;
    std::string error;
    EXPECT_TRUE(FillMovieParams(c, p, &error)) << error;
    return p;
}

TEST(MovieOutputParams, DiscProfilesSelectTheirEntries)
{
    const struct {
        DiscProfile profile;
        const char* name;
        int size, rate, width, height, fps, bitRate, audioCodec, sampleRate;
    } rows[] = {
        {kDvdNtsc, "DVD_NTSC", 13, 3, 720, 480, 29, 6000000, 86020, 48000},
        {kDvdPal, "DVD_PAL", 14, 2, 720, 576, 25, 6000000, 86020, 48000},
        {kSvcdNtsc, "SVCD_NTSC", 11, 3, 480, 480, 29, 2040000, 86016, 44100},
        {kSvcdPal, "SVCD_PAL", 12, 2, 480, 576, 25, 2040000, 86016, 44100},
        {kVcdNtsc, "VCD_NTSC", 9, 3, 352, 240, 29, 1150000, 86016, 44100},
        {kVcdPal, "VCD_PAL", 10, 2, 352, 288, 25, 1150000, 86016, 44100},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(ProfileFrameSize(r.profile), r.size);
        EXPECT_EQ(ProfileFrameRate(r.profile), r.rate);
        MovieChoices c = Choices(kMovieDisc, r.profile);
        c.quality = 3;  // not for discs
        for (int codec : {0, 1}) {
            c.videoCodec = codec;
            const MovieOutputParams p = Fill(c);
            EXPECT_EQ(p.nVideoCodec, codec + 1);
            EXPECT_EQ(p.szFormatName, r.name);
            EXPECT_EQ(p.nWidth * 10000 + p.nHeight, r.width * 10000 + r.height);
            EXPECT_EQ(p.nFrameRate, r.fps);
            EXPECT_EQ(p.nVideoBitRate, r.bitRate);
            EXPECT_EQ(p.nQuality, -1);
            EXPECT_EQ(p.nAudioCodec, r.audioCodec);
            EXPECT_EQ(p.nSampleRate, r.sampleRate);
            EXPECT_EQ(p.nAudioBitRate, 224000);
            EXPECT_EQ(p.nChannels, 2);
            EXPECT_EQ(p.szFilePath, "/home/me/Movies/holiday.mpg");
        }
        MovieKind kind = kMovieAvi;
        DiscProfile parsed = kDvdNtsc;
        ASSERT_TRUE(ParseFormatName(r.name, kind, parsed));
        EXPECT_EQ(kind, kMovieDisc);
        EXPECT_EQ(parsed, r.profile);
    }
    EXPECT_EQ(FrameRates(kMovieDisc)[3].label, "29.97fps");
    EXPECT_EQ(AudioBitRates(kMovieDisc, kDvdPal)[0].label, "192.0 kbps");
    EXPECT_EQ(SampleRates(kMovieDisc, kVcdNtsc)[0].label, "44100 Hz");
}

TEST(MovieOutputParams, EachOtherKindHasItsCodecsQualityAndExtension)
{
    MovieChoices avi = Choices(kMovieAvi);
    const int quality[] = {255, 229, 204, 178, 153, 127, 102, 76, 51, 25, 0};
    for (int q = 0; q <= 10; ++q) {
        avi.quality = q;
        EXPECT_EQ(Fill(avi).nQuality, quality[q]) << q;
    }
    avi.audioBitRate = avi.sampleRate = avi.channels = 0;
    MovieOutputParams p = Fill(avi);
    EXPECT_EQ(p.nVideoCodec * 100000 + p.nAudioCodec, 13 * 100000 + 86017);
    EXPECT_EQ(p.nAudioBitRate, 64000);
    EXPECT_EQ(p.nSampleRate, 22050);
    EXPECT_EQ(p.nChannels, 1);
    EXPECT_EQ(p.szFilePath, "/home/me/Movies/holiday.avi");

    MovieChoices gp = Choices(kMovie3gp);
    const int codecs[] = {5, 13, 5, 13, 5, 5};
    for (int i = 0; i < 6; ++i) {
        gp.videoCodec = i;
        p = Fill(gp);
        EXPECT_EQ(p.nVideoCodec, codecs[i]) << i;
        EXPECT_EQ(p.nVideoBitRate, 160000);
        EXPECT_EQ(p.nAudioCodec, 73728);
        EXPECT_EQ(p.nSampleRate * 10 + p.nChannels, 80001);
        EXPECT_EQ(p.szFilePath, "/home/me/Movies/holiday.3gp");
    }

    MovieChoices swf = Choices(kMovieSwf);
    swf.folder = "out/";
    p = Fill(swf);
    EXPECT_EQ(p.nVideoCodec * 100000 + p.nAudioCodec, 22 * 100000 + 86017);
    EXPECT_EQ(p.nVideoBitRate, 0);
    EXPECT_EQ(p.szFilePath, "out/holiday.swf");

    for (const char* name : {"AVI", "3GP", "SWF"}) {
        MovieKind kind = kMovieDisc;
        DiscProfile profile = kVcdPal;
        ASSERT_TRUE(ParseFormatName(name, kind, profile));
        EXPECT_EQ(Fill(Choices(kind)).szFormatName, name);
    }
    MovieKind kind;
    DiscProfile profile;
    EXPECT_FALSE(ParseFormatName("dvd_pal", kind, profile));
}

TEST(MovieOutputParams, Mp4IsH264AndAacAtTodaysSizesAndRatesAlwaysInFullMotion)
{
    MovieChoices mp4 = Choices(kMovieMp4);
    MovieOutputParams p = Fill(mp4);
    EXPECT_EQ(p.szFormatName, "MP4");
    EXPECT_EQ(p.nVideoCodec * 100000 + p.nAudioCodec, 28 * 100000 + 86018);
    EXPECT_EQ(p.nWidth * 10000 + p.nHeight, 1280 * 10000 + 720);
    EXPECT_EQ(p.nFrameRate, 25);
    EXPECT_EQ(p.nAudioBitRate, 192000);
    EXPECT_EQ(p.nSampleRate * 10 + p.nChannels, 480002);
    EXPECT_EQ(p.nVideoBitRate, 0);
    EXPECT_EQ(p.nQuality, 127);
    EXPECT_TRUE(p.bFullMotion) << "even when the choice is off";
    EXPECT_EQ(p.szFilePath, "/home/me/Movies/holiday.mp4");
    EXPECT_EQ(FrameSizes(kMovieMp4).back().label, "1920 x 1080");
    std::string rates;
    for (const ChoiceEntry& e : FrameRates(kMovieMp4))
        rates += e.label + "|";
    EXPECT_EQ(rates, "23.976fps|24 fps|25 fps|29.97fps|30 fps|50 fps|60 fps|");
    EXPECT_EQ(AudioBitRates(kMovieMp4).front().value, 128000);
    EXPECT_EQ(AudioBitRates(kMovieMp4).back().value, 256000);

    // The full-motion choice carries over for the other kinds; off by default.
    MovieChoices avi = Choices(kMovieAvi);
    EXPECT_FALSE(Fill(avi).bFullMotion);
    avi.fullMotion = true;
    EXPECT_TRUE(Fill(avi).bFullMotion);

    MovieKind kind = kMovieDisc;
    DiscProfile profile = kVcdPal;
    ASSERT_TRUE(ParseFormatName("MP4", kind, profile));
    EXPECT_EQ(kind, kMovieMp4);
    EXPECT_EQ(std::string(MovieExtension(kMovieMp4)), ".mp4");
}

TEST(MovieOutputParams, ChoicesOutsideTheirListsAreRefused)
{
    std::vector<std::pair<std::string, MovieChoices>> cases;
    auto refuse = [&](const std::string& what, MovieKind kind, void (*change)(MovieChoices&)) {
        MovieChoices c = Choices(kind, kVcdPal);
        change(c);
        cases.emplace_back(what, c);
    };
    refuse("disc size 15", kMovieDisc, [](MovieChoices& c) { c.frameSize = 15; });
    refuse("size -2", kMovieDisc, [](MovieChoices& c) { c.frameSize = -2; });
    refuse("disc rate 4", kMovieDisc, [](MovieChoices& c) { c.frameRate = 4; });
    refuse("disc codec 2", kMovieDisc, [](MovieChoices& c) { c.videoCodec = 2; });
    refuse("VCD audio rate 1", kMovieDisc, [](MovieChoices& c) { c.audioBitRate = 1; });
    refuse("profile 6", kMovieDisc, [](MovieChoices& c) { c.profile = DiscProfile(6); });
    refuse("quality 11", kMovieAvi, [](MovieChoices& c) { c.quality = 11; });
    refuse("quality -1", kMovieSwf, [](MovieChoices& c) { c.quality = -1; });
    refuse("AVI codec 1", kMovieAvi, [](MovieChoices& c) { c.videoCodec = 1; });
    refuse("audio codec 1", kMovieAvi, [](MovieChoices& c) { c.audioCodec = 1; });
    refuse("three channels", kMovieAvi, [](MovieChoices& c) { c.channels = 2; });
    refuse("3GP codec 6", kMovie3gp, [](MovieChoices& c) { c.videoCodec = 6; });
    refuse("3GP stereo", kMovie3gp, [](MovieChoices& c) { c.channels = 1; });
    refuse("MP4 mono", kMovieMp4, [](MovieChoices& c) { c.channels = 0; });
    refuse("MP4 rate 7", kMovieMp4, [](MovieChoices& c) { c.frameRate = 7; });
    refuse("SWF size 2", kMovieSwf, [](MovieChoices& c) { c.frameSize = 2; });
    refuse("no name", kMovieAvi, [](MovieChoices& c) { c.movieName.clear(); });
    refuse("name with a slash", kMovieAvi, [](MovieChoices& c) { c.movieName = "a/b"; });
    refuse("path too long", kMovieAvi, [](MovieChoices& c) { c.folder = std::string(300, 'x'); });
    for (const auto& [what, c] : cases) {
        MovieOutputParams p;
        p.szFormatName = "untouched";
        std::string error;
        EXPECT_FALSE(FillMovieParams(c, p, &error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        EXPECT_EQ(p.szFormatName, "untouched") << what;
    }
    EXPECT_EQ(ProfileFrameSize(DiscProfile(7)), -1);
}

}  // namespace
