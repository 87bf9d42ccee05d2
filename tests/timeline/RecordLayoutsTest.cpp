// Every named field of every timeline record lands at its offset, little-endian;
// unnamed bytes and reference slots are 0; reading gives the fields back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filter/timeline/model/RecordLayouts.h"

using namespace zolvex;

namespace {

typedef std::vector<unsigned char> Bytes;

uint64_t LE(const Bytes& b, size_t at, int n)
{
    uint64_t v = 0;
    for (int k = 0; k < n; ++k)
        v |= uint64_t(b[at + size_t(k)]) << (8 * k);
    return v;
}
int32_t I32(const Bytes& b, size_t at) { return int32_t(uint32_t(LE(b, at, 4))); }
double F64(const Bytes& b, size_t at)
{
    const uint64_t bits = LE(b, at, 8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}
float F32(const Bytes& b, size_t at)
{
    const uint32_t bits = uint32_t(LE(b, at, 4));
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
std::string Text(const Bytes& b, size_t at) { return std::string(reinterpret_cast<const char*>(&b[at])); }

// The bytes of a record, and a check that every byte outside the named fields is 0.
template <class Record>
struct Image {
    Bytes bytes = Bytes(RecordLayout<Record>::kBytes, 0xEE);
    std::vector<bool> named = std::vector<bool>(RecordLayout<Record>::kBytes, false);

    explicit Image(const Record& r) { WriteRecordBytes(r, bytes.data()); }
    void Named(size_t at, size_t n)
    {
        for (size_t k = 0; k < n; ++k)
            named[at + k] = true;
    }
    void ExpectOthersZero() const
    {
        for (size_t k = 0; k < bytes.size(); ++k) {
            if (!named[k]) {
                EXPECT_EQ(bytes[k], 0) << "unnamed byte " << k;
            }
        }
    }
};

template <class Record>
Record ReadBack(const Bytes& b)
{
    Record r;
    std::memset(&r, 0x5A, sizeof r);  // whatever was there before must not survive
    ReadRecordBytes(b.data(), r);
    return r;
}

TEST(RecordLayouts, SizesAreThoseOfTheProjectFile)
{
    EXPECT_EQ(RecordLayout<SceneSpan>::kBytes, 16u);
    EXPECT_EQ(RecordLayout<SceneRecord>::kBytes, 312u);
    EXPECT_EQ(RecordLayout<TextOp>::kBytes, 1120u);
    EXPECT_EQ(RecordLayout<StickerOp>::kBytes, 600u);
    EXPECT_EQ(RecordLayout<ScreenOp>::kBytes, 56u);
    EXPECT_EQ(RecordLayout<tagOPR_EFFECT>::kBytes, 104u);
    EXPECT_EQ(RecordLayout<AudioOp>::kBytes, 552u);
}

TEST(RecordLayouts, SceneRecordAndSpan)
{
    SceneRecord r{};
    std::strcpy(r.szPath, "/home/ann/Videos/beach.mpg");
    r.nSourceWidth = 720;
    r.nSourceHeight = 576;
    r.bVideoOpen = 1;
    r.bAudioOpen = 1;
    r.nTransitionID = 28;
    r.nMediaType = MEDIA_TYPE_VIDEO;
    r.nReserved = -7;
    r.dDuration = 93.5;
    r.dInPoint = 4.25;
    r.dOutPoint = 11.75;
    Image<SceneRecord> img(r);
    const Bytes& b = img.bytes;
    EXPECT_EQ(Text(b, 0), "/home/ann/Videos/beach.mpg");
    EXPECT_EQ(I32(b, 260), 720);
    EXPECT_EQ(I32(b, 264), 576);
    EXPECT_EQ(I32(b, 268), 1);
    EXPECT_EQ(I32(b, 272), 1);
    EXPECT_EQ(I32(b, 276), 28);
    EXPECT_EQ(I32(b, 280), 1);
    EXPECT_EQ(I32(b, 284), -7);
    EXPECT_EQ(F64(b, 288), 93.5);
    EXPECT_EQ(F64(b, 296), 4.25);
    EXPECT_EQ(F64(b, 304), 11.75);
    img.Named(0, 27);
    img.Named(260, 52);
    img.ExpectOthersZero();
    const SceneRecord back = ReadBack<SceneRecord>(b);
    EXPECT_STREQ(back.szPath, r.szPath);
    EXPECT_EQ(back.nTransitionID, 28);
    EXPECT_EQ(back.dOutPoint, 11.75);

    SceneSpan s{1.5, -2.25};
    Image<SceneSpan> si(s);
    EXPECT_EQ(F64(si.bytes, 0), 1.5);
    EXPECT_EQ(F64(si.bytes, 8), -2.25);
    EXPECT_EQ(ReadBack<SceneSpan>(si.bytes).dOut, -2.25);
}

TEST(RecordLayouts, TextOpCarriesItsFont)
{
    TextOp r{};
    std::strcpy(r.szText, "Happy\nBirthday");
    r.nStyle = 7;
    r.dStartTime = 2.0;
    r.dEndTime = 6.5;
    r.lfFont.lfHeight = -36;
    r.lfFont.lfWidth = 11;
    r.lfFont.lfEscapement = 12;
    r.lfFont.lfOrientation = 13;
    r.lfFont.lfWeight = 700;
    r.lfFont.lfItalic = 1;
    r.lfFont.lfUnderline = 2;
    r.lfFont.lfStrikeOut = 3;
    r.lfFont.lfCharSet = 4;
    r.lfFont.lfOutPrecision = 5;
    r.lfFont.lfClipPrecision = 6;
    r.lfFont.lfQuality = 7;
    r.lfFont.lfPitchAndFamily = 8;
    std::strcpy(r.lfFont.lfFaceName, "Arial");
    r.crText = RGB(255, 10, 20);
    r.crBackColor = RGB(1, 2, 3);
    r.crShadow = RGB(0, 0, 128);
    r.nX = 40;
    r.nY = 400;
    r.nReserved2 = 5;
    r.nOpacity = 200;
    r.nReserved3 = 6;
    r.nOrder = 9;
    Image<TextOp> img(r);
    const Bytes& b = img.bytes;
    EXPECT_EQ(Text(b, 0), "Happy\nBirthday");
    EXPECT_EQ(I32(b, 1000), 7);
    EXPECT_EQ(F64(b, 1008), 2.0);
    EXPECT_EQ(F64(b, 1016), 6.5);
    EXPECT_EQ(I32(b, 1024), -36);
    EXPECT_EQ(I32(b, 1028), 11);
    EXPECT_EQ(I32(b, 1032), 12);
    EXPECT_EQ(I32(b, 1036), 13);
    EXPECT_EQ(I32(b, 1040), 700);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(b[1044 + k], k + 1);
    EXPECT_EQ(Text(b, 1052), "Arial");
    EXPECT_EQ(b[1084], 255);  // COLORREF: byte 0 red
    EXPECT_EQ(b[1085], 10);
    EXPECT_EQ(b[1086], 20);
    EXPECT_EQ(LE(b, 1088, 4), RGB(1, 2, 3));
    EXPECT_EQ(LE(b, 1092, 4), RGB(0, 0, 128));
    EXPECT_EQ(I32(b, 1096), 40);
    EXPECT_EQ(I32(b, 1100), 400);
    EXPECT_EQ(I32(b, 1104), 5);
    EXPECT_EQ(I32(b, 1108), 200);
    EXPECT_EQ(I32(b, 1112), 6);
    EXPECT_EQ(I32(b, 1116), 9);
    img.Named(0, 15);
    img.Named(1000, 4);
    img.Named(1008, 16);
    img.Named(1024, 28 + 6);
    img.Named(1084, 36);
    img.ExpectOthersZero();
    const TextOp back = ReadBack<TextOp>(b);
    EXPECT_EQ(0, std::memcmp(&back.lfFont, &r.lfFont, sizeof(LOGFONTA) - 32 + 6));
    EXPECT_EQ(back.nOrder, 9);
}

TEST(RecordLayouts, StickerScreenAndAudioOps)
{
    int32_t delays[2] = {10, 20};
    StickerOp st{};
    st.dStartTime = 1;
    st.dEndTime = 2;
    st.nFrameCount = 12;
    st.nCurFrame = 3;
    st.nReserved = 4;
    st.nWidth = 64;
    st.nHeight = 48;
    st.rcDest[0] = 10;
    st.rcDest[1] = 50;
    st.rcDest[2] = 128;
    st.rcDest[3] = 96;
    st.nFrameDelay = 70;
    st.nElapsed = 30;
    st.nAlpha = 255;
    st.pDelays = delays;
    st.hImage = &st;
    std::strcpy(st.szPath, "smile.gif");
    st.nOrder = 2;
    Image<StickerOp> si(st);
    const Bytes& b = si.bytes;
    EXPECT_EQ(F64(b, 0), 1.0);
    EXPECT_EQ(F64(b, 8), 2.0);
    const int32_t ints[] = {12, 3, 4, 64, 48, 10, 50, 128, 96, 70, 30, 255};
    for (int k = 0; k < 12; ++k)
        EXPECT_EQ(I32(b, 16 + 4 * size_t(k)), ints[k]) << "offset " << 16 + 4 * k;
    EXPECT_EQ(LE(b, 64, 8), 0u) << "references are not written";
    EXPECT_EQ(Text(b, 72), "smile.gif");
    EXPECT_EQ(I32(b, 592), 2);
    si.Named(0, 64);
    si.Named(72, 9);
    si.Named(592, 4);
    si.ExpectOthersZero();
    const StickerOp sb = ReadBack<StickerOp>(b);
    EXPECT_EQ(sb.pDelays, nullptr);
    EXPECT_EQ(sb.hImage, nullptr);
    EXPECT_EQ(sb.rcDest[3], 96);

    ScreenOp sc{};
    sc.dStartTime = 3;
    sc.dEndTime = 4;
    sc.nStyle = 24;
    sc.afParams[0] = 0.5f;
    sc.afParams[1] = -30.0f;
    sc.afParams[2] = 2.25f;
    sc.nOrder = 11;
    sc.pMaskPicture = &sc;
    sc.pBackground = &sc;
    Image<ScreenOp> ci(sc);
    EXPECT_EQ(F64(ci.bytes, 0), 3.0);
    EXPECT_EQ(F64(ci.bytes, 8), 4.0);
    EXPECT_EQ(I32(ci.bytes, 16), 24);
    EXPECT_EQ(F32(ci.bytes, 28), 0.5f);
    EXPECT_EQ(F32(ci.bytes, 32), -30.0f);
    EXPECT_EQ(F32(ci.bytes, 36), 2.25f);
    EXPECT_EQ(I32(ci.bytes, 44), 11);
    ci.Named(0, 20);
    ci.Named(28, 12);
    ci.Named(44, 4);
    ci.ExpectOthersZero();
    const ScreenOp cb = ReadBack<ScreenOp>(ci.bytes);
    EXPECT_EQ(cb.pMaskPicture, nullptr);
    EXPECT_EQ(cb.pBackground, nullptr);
    EXPECT_EQ(cb.afParams[1], -30.0f);

    AudioOp au{};
    au.dStartTime = 0.5;
    au.dEndTime = 30;
    au.dLength = 10;
    std::strcpy(au.szPath, "/music/song.mp3");
    std::strcpy(au.szName, "song.mp3");
    au.bOpen = 1;
    au.nOrder = 4;
    Image<AudioOp> ai(au);
    EXPECT_EQ(F64(ai.bytes, 16), 10.0);
    EXPECT_EQ(Text(ai.bytes, 24), "/music/song.mp3");
    EXPECT_EQ(Text(ai.bytes, 284), "song.mp3");
    EXPECT_EQ(I32(ai.bytes, 544), 1);
    EXPECT_EQ(I32(ai.bytes, 548), 4);
    ai.Named(0, 24 + 16);
    ai.Named(284, 9);
    ai.Named(544, 8);
    ai.ExpectOthersZero();
    EXPECT_STREQ(ReadBack<AudioOp>(ai.bytes).szName, "song.mp3");
}

TEST(RecordLayouts, EffectOperation)
{
    CTavmArray<tagSIZE> polygon(5);
    tagOPR_EFFECT r{};
    r.dStartTime = 1.25;
    r.dEndTime = 9.75;
    r.nEffectID = 13;
    r.nLevel = 60;
    r.nInstanceCount = 25;
    r.pValidPolygon = &polygon;
    r.bSpecialInited = 1;
    r.guidEffect = GUID{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    r.nReserved2 = 3;
    r.nOverallOpacity = 255;
    Image<tagOPR_EFFECT> img(r);
    const Bytes& b = img.bytes;
    EXPECT_EQ(F64(b, 0), 1.25);
    EXPECT_EQ(F64(b, 8), 9.75);
    EXPECT_EQ(I32(b, 16), 13);
    EXPECT_EQ(I32(b, 20), 60);
    EXPECT_EQ(I32(b, 24), 25);
    EXPECT_EQ(I32(b, 72), 0) << "the polygon is a reference";
    EXPECT_EQ(I32(b, 76), 1);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(b[80 + size_t(k)], (k < 4 ? 4 - k : (k < 6 ? 10 - k : (k < 8 ? 14 - k : k + 1))));
    EXPECT_EQ(I32(b, 96), 3);
    EXPECT_EQ(I32(b, 100), 255);
    img.Named(0, 28);
    img.Named(76, 28);
    img.ExpectOthersZero();
    const tagOPR_EFFECT back = ReadBack<tagOPR_EFFECT>(b);
    EXPECT_EQ(back.guidEffect, r.guidEffect);
    EXPECT_EQ(back.pValidPolygon, nullptr);
    EXPECT_EQ(back.aiSymbol, nullptr);
    EXPECT_EQ(back.nOverallOpacity, 255);
}

TEST(RecordLayouts, TextFieldsAreAlwaysTerminated)
{
    Bytes b(RecordLayout<SceneRecord>::kBytes, 'x');
    SceneRecord r;
    ReadRecordBytes(b.data(), r);
    EXPECT_EQ(std::strlen(r.szPath), 259u);

    SceneRecord full;
    std::memset(&full, 'y', sizeof full);
    Bytes out(RecordLayout<SceneRecord>::kBytes);
    WriteRecordBytes(full, out.data());
    EXPECT_EQ(out[259], 0);
}

}  // namespace
