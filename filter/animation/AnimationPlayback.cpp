// Animation effect playback: a crowd of symbol instances that drift, turn, zoom,
// flicker and follow guide lines over the frame, one step per output frame. The
// instances live in the operation record; the effect record is only read.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "filter/animation/AnimationPlayback.h"
#include "filter/animation/AnimationRecords.h"
#include "filter/effects/fTavEffect.h"

namespace {

typedef unsigned char uchar;

unsigned TimeSeed()
{
    return unsigned(std::time(nullptr));
}

unsigned (*g_seedSource)() = TimeSeed;

// Playback draws from the C library generator, seeded from the clock at every call.
void Reseed()
{
    std::srand(g_seedSource());
}

enum class Version { None, One, Two };

Version VersionOf(const char* text)
{
    if (!text)
        return Version::None;
    if (std::strcmp(text, ANIMATION_VERSION_1) == 0)
        return Version::One;
    if (std::strcmp(text, ANIMATION_VERSION_2) == 0)
        return Version::Two;
    return Version::None;
}

// Each value of pi below is the one its motion was tuned with; the stored
// animations look the way their makers saw them only with that exact value.
constexpr double kPi = 3.14159265;
// The random movement's heading steps a degree of this coarse pi per frame.
constexpr double kWanderPi = 3.14;
// Not pi past the fifth digit, but the bursts in stored animations were tuned with it: it must stay.
constexpr double kBurstPi = 3.1415946;
constexpr double kToRadians = kPi / 180.0;

// A guide-line step's compass heading in degrees (0 is up, clockwise).
double Heading(int x1, int y1, int x2, int y2)
{
    if (x1 == x2 && y1 == y2)
        return 180;
    const double t = std::atan(std::fabs(double(y2 - y1)) / std::fabs(double(x2 - x1))) / kToRadians;
    if (x2 > x1)
        return y2 > y1 ? 90 + t : 90 - t;
    return y2 >= y1 ? 270 - t : 270 + t;
}

// The eleven per-instance arrays of an operation.
struct Instances {
    tagOPR_EFFECT* op;

    int Count() const { return op->aiSymbol->GetSize(); }
    float X(int r) const { return op->afPosX->GetAt(uint32_t(r)); }
    float Y(int r) const { return op->afPosY->GetAt(uint32_t(r)); }
    float Angle(int r) const { return op->afAngle->GetAt(uint32_t(r)); }
    int Opacity(int r) const { return op->aiOpacity->GetAt(uint32_t(r)); }
    float ScaleX(int r) const { return op->afScaleX->GetAt(uint32_t(r)); }
    float ScaleY(int r) const { return op->afScaleY->GetAt(uint32_t(r)); }
    int32_t* Motion(int r) const { return op->apMotion->GetAt(uint32_t(r)); }
    void SetX(int r, float v) { op->afPosX->SetAt(uint32_t(r), v); }
    void SetY(int r, float v) { op->afPosY->SetAt(uint32_t(r), v); }
    void SetAngle(int r, float v) { op->afAngle->SetAt(uint32_t(r), v); }
    void SetOpacity(int r, int v) { op->aiOpacity->SetAt(uint32_t(r), v); }
    void SetScale(int r, float a, float b)
    {
        op->afScaleX->SetAt(uint32_t(r), a);
        op->afScaleY->SetAt(uint32_t(r), b);
    }
};

// A picture of an actor: its pixels (top row first) and size.
struct Picture {
    const uchar* bits = nullptr;
    int w = 0, h = 0;
};

Picture PictureOf(const tagROMANCE_ACTOR* actor, int index)
{
    Picture p;
    if (index < 0 || index >= actor->nFrames)
        index = 0;
    const tagSIZE size = actor->pFrameSizes->GetAt(uint32_t(index));
    p.bits = actor->pFrameBits->GetAt(uint32_t(index));
    p.w = size.cx;
    p.h = size.cy;
    return p;
}

bool HasSlot(const int32_t* m, int type)
{
    for (int k = 0; k < kMotionSlots; ++k)
        if (m[k] == type)
            return true;
    return false;
}

// An instance's motion block: kMotionSlots motion types, then one state word per
// type. Setting up draws a random start for the state word of every type present.
constexpr int StateOf(int type) { return kMotionSlots + type; }

// The motion types of a version-2 symbol.
enum MotionV2 : int32_t { kV2GuideLine = 1, kV2Wander = 2, kV2Swing = 3, kV2Flicker = 4, kV2Flutter = 5 };

// The motion types of a version-1 effect.
enum MotionV1 : int32_t {
    kV1GuideLine = 1,
    kV1DriftY = 2,
    kV1DriftX = 3,
    kV1Swing = 4,
    kV1Spin = 5,
    kV1Jitter = 6,
    kV1Flutter = 7,
    kV1OpacityPulse = 8,
    kV1Shimmer = 9,
    kV1Burst = 10,
    kV1FitScreen = 11,
    kV1WidthPulse = 12,
    kV1HeightPulse = 13,
    kV1SizePulse = 14,
};
static_assert(int(kV2GuideLine) == int(kV1GuideLine), "both versions share the guide-line state word");

// Frames played along the guide line since its start (both versions).
constexpr int kGuideFrameSlot = StateOf(kV1GuideLine);
// Version 2: the random movement's heading in steps of one degree, back to 0 after 360.
constexpr int kWanderStepSlot = StateOf(kV2Wander);
// Version 2: 1 while the swing angle grows, 0 while it falls.
constexpr int kSwingRisingSlot = StateOf(kV2Swing);
// Version 2: 1 while the flicker fades, 0 while it brightens. It is not the flicker's
// own state word, which keeps only its start draw.
constexpr int kFlickerFadingSlot = StateOf(8);
// Version 1: frames of the jitter's to and fro; the swing moves by the same counter.
constexpr int kJitterFrameSlot = StateOf(kV1Jitter);
// Version 1: frames counted by the opacity pulse.
constexpr int kOpacityPulseSlot = StateOf(kV1OpacityPulse);
// Version 1: frames counted by the shimmer, back to 0 after 1000.
constexpr int kShimmerFrameSlot = StateOf(kV1Shimmer);
// Version 1: frames since the current burst began.
constexpr int kBurstFrameSlot = StateOf(kV1Burst);
// Version 1: the width, height and size pulses count frames in their own words.
static_assert(StateOf(kV1SizePulse) < 2 * kMotionSlots, "every type's state word lies in the block");

// An actor whose pictures can be drawn: arrays in step with its count, every picture
// with pixels and a size.
bool ActorDrawable(const tagROMANCE_ACTOR* a)
{
    if (!a || a->nFrames < 1 || !a->pFrameSizes || !a->pFrameBits || a->pFrameSizes->GetSize() < a->nFrames ||
        a->pFrameBits->GetSize() < a->nFrames)
        return false;
    for (int f = 0; f < a->nFrames; ++f) {
        const tagSIZE s = a->pFrameSizes->GetAt(uint32_t(f));
        if (s.cx < 1 || s.cy < 1 || !a->pFrameBits->GetAt(uint32_t(f)))
            return false;
    }
    return true;
}

int GuidePointCount(const tagROMANCE_ACTOR* a)
{
    return a && a->pGuidePoints ? std::min(a->nGuidePoints, a->pGuidePoints->GetSize()) : 0;
}

// Effects whose numbers would divide by zero or point at pictures that are not there
// are not played (the maker never writes them).
bool PlayableV2(const tagROMANCE_EFFECT2* e, int afr)
{
    if (afr < 1 || e->nSymbols < 1 || !e->pSymbols || !e->pActors || e->pSymbols->GetSize() < e->nSymbols ||
        e->pActors->GetSize() < e->nSymbols)
        return false;
    for (int i = 0; i < e->nSymbols; ++i) {
        const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(uint32_t(i));
        if (!s || s->nFrameRate < 1 || (HasSlot(s->nMotion, kV2GuideLine) && s->nGuideSpeed < 1))
            return false;
        const int source = s->nImageSource == -1 ? i : s->nImageSource;
        if (source < 0 || source >= e->nSymbols || !ActorDrawable(e->pActors->GetAt(uint32_t(source))))
            return false;
        if (!e->pActors->GetAt(uint32_t(i)))
            return false;
    }
    return true;
}

bool PlayableV1(const tagROMANCE_EFFECT1* e, int afr)
{
    if (afr < 1 || e->nFrameRate < 1 || e->nGuideSpeed < 1 || e->nSymbols < 1 || !e->pActors ||
        e->pActors->GetSize() < e->nSymbols)
        return false;
    const bool guided = HasSlot(e->nMotion, kV1GuideLine);
    for (int i = 0; i < e->nSymbols; ++i) {
        const tagROMANCE_ACTOR* a = e->pActors->GetAt(uint32_t(i));
        if (!ActorDrawable(a))
            return false;
        if (guided && (int64_t(GuidePointCount(a)) * afr) / e->nGuideSpeed < 1)
            return false;
    }
    return true;
}

// More instances than this are not a crowd but a corrupt count.
constexpr int kMaxInstances = 5000;

void CreateArrays(tagOPR_EFFECT* op, int srcWidth, int srcHeight)
{
    op->aiSymbol = new CTavmArray<int32_t>(5);
    op->aiFrame = new CTavmArray<int32_t>(5);
    op->afScaleX = new CTavmArray<float>(5);
    op->afScaleY = new CTavmArray<float>(5);
    op->afAngle = new CTavmArray<float>(5);
    op->afPosX = new CTavmArray<float>(5);
    op->afPosY = new CTavmArray<float>(5);
    op->aiOpacity = new CTavmArray<int32_t>(5);
    op->apMotion = new CTavmArray<int32_t*>(5);
    op->aiTick = new CTavmArray<int32_t>(5);
    op->aiGuidePos = new CTavmArray<int32_t>(5);
    if (!op->pValidPolygon) {
        op->pValidPolygon = new CTavmArray<tagSIZE>(5);
        op->pValidPolygon->Add(tagSIZE{0, 0});
        op->pValidPolygon->Add(tagSIZE{srcWidth, 0});
        op->pValidPolygon->Add(tagSIZE{srcWidth, srcHeight});
        op->pValidPolygon->Add(tagSIZE{0, srcHeight});
    }
}

template <class T>
void Free(CTavmArray<T>*& array)
{
    delete array;
    array = nullptr;
}

}  // namespace

namespace zolvex {

void SetAnimationSeedSource(unsigned (*source)())
{
    g_seedSource = source ? source : TimeSeed;
}

}  // namespace zolvex

void CfTavEffect::ReleaseOprSpecialData(tagOPR_EFFECT* op)
{
    if (!op || !op->bSpecialInited)
        return;
    Free(op->aiSymbol);
    Free(op->aiFrame);
    Free(op->afScaleX);
    Free(op->afScaleY);
    Free(op->afAngle);
    Free(op->afPosX);
    Free(op->afPosY);
    Free(op->aiOpacity);
    if (op->apMotion) {
        for (int k = 0; k < op->apMotion->GetSize(); ++k)
            delete[] op->apMotion->GetAt(uint32_t(k));
        Free(op->apMotion);
    }
    Free(op->aiTick);
    Free(op->aiGuidePos);
    if (op->pValidPolygon) {
        op->pValidPolygon->RemoveAll();
        Free(op->pValidPolygon);
    }
    op->bSpecialInited = 0;
}

// ---- finding the record ------------------------------------------------------------

namespace {

void* FindRecord(CTavmArray<void*>* library, const GUID& guid)
{
    if (!library)
        return nullptr;
    for (int k = 0; k < library->GetSize(); ++k) {
        void* record = library->GetAt(uint32_t(k));
        const Version v = VersionOf(AnimationRecordVersion(record));
        if (v == Version::Two && static_cast<tagROMANCE_EFFECT2*>(record)->guidEffect == guid)
            return record;
        if (v == Version::One && static_cast<tagROMANCE_EFFECT1*>(record)->guidEffect == guid)
            return record;
    }
    return nullptr;
}

// ---- version 2 -----------------------------------------------------------------------

const tagROMANCE_ACTOR* ShownActor(const tagROMANCE_EFFECT2* e, int symbol)
{
    const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(uint32_t(symbol));
    return e->pActors->GetAt(uint32_t(s->nImageSource == -1 ? symbol : s->nImageSource));
}

void SetUpV2(CfTavEffect& fx, tagOPR_EFFECT* op, const tagROMANCE_EFFECT2* e)
{
    const int W = fx.nWidth, H = fx.nHeight, afr = fx.nAniFrameRate;
    Reseed();
    CreateArrays(op, fx.nSrcWidth, fx.nSrcHeight);
    op->nOverallOpacity = 255;
    for (int i = 0; i < e->nSymbols; ++i) {
        const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(uint32_t(i));
        const tagROMANCE_ACTOR* own = e->pActors->GetAt(uint32_t(i));
        op->aiSymbol->Add(i);
        int32_t* m = new int32_t[2 * kMotionSlots];
        std::memcpy(m, s->nMotion, sizeof(int32_t) * kMotionSlots);
        std::memcpy(m + kMotionSlots, s->nMotionState, sizeof(int32_t) * kMotionSlots);
        op->aiFrame->Add(std::rand() % ShownActor(e, i)->nFrames);
        op->afScaleX->Add(1.0f);
        op->afScaleY->Add(1.0f);
        op->afAngle->Add(float(s->nAngle));
        op->afPosX->Add(float(W) * s->fOriginX);
        op->afPosY->Add(float(H) * s->fOriginY);
        op->aiOpacity->Add(s->nOpacity);
        const int guideIndex = op->aiGuidePos->Add(0);
        const int t = int(int64_t(own->nFrames) * afr / s->nFrameRate);
        op->aiTick->Add(t >= 1 ? std::rand() % t : 0);
        for (int k = 0; k < kMotionSlots; ++k) {
            const int type = m[k];
            if (type < 0 || type >= kMotionSlots)
                continue;
            m[StateOf(type)] = std::rand() % 1000;
            switch (type) {
            case kV2GuideLine:
                op->aiGuidePos->SetAt(uint32_t(guideIndex), 0);
                m[kGuideFrameSlot] = 0;
                break;
            case kV2Wander:
                m[kWanderStepSlot] = std::rand() % 360;
                break;
            case kV2Swing:
                m[kSwingRisingSlot] = std::rand() % 100 > 49 ? 1 : 0;
                break;
            case kV2Flicker:
                m[kFlickerFadingSlot] = 1;
                break;
            default:
                break;
            }
        }
        op->apMotion->Add(m);
    }
    op->bSpecialInited = 1;
}

// Per instance state of one frame, as the motion rules change it.
struct Step {
    float x, y, angle;
    int opacity;
    bool guided = false, swinging = false;
    int flip = 0;
};

void GuideLineV2(CfTavEffect& fx, Instances& in, int r, const tagROMANCE_SYMBOL* s, const tagROMANCE_ACTOR* a,
                 int32_t* m, Step& st)
{
    const int W = fx.nWidth, H = fx.nHeight, afr = fx.nAniFrameRate;
    const int n = GuidePointCount(a), d = s->nGuideSpeed / 4;
    if (n <= 0 || d >= n)
        return;  // too few points: the instance stays where it is
    m[kGuideFrameSlot] += 1;
    int p = int(int64_t(m[kGuideFrameSlot]) * s->nGuideSpeed / afr);
    if (p < 0 || p + d >= n) {
        m[kGuideFrameSlot] = 0;
        p = 0;
    }
    const tagPOINT p1 = a->pGuidePoints->GetAt(uint32_t(p));
    const tagPOINT p2 = a->pGuidePoints->GetAt(uint32_t(p + d));
    st.x = float(int64_t(p1.x) * W / 320);
    st.y = float(int64_t(p1.y) * H / 240);
    in.SetX(r, st.x);
    in.SetY(r, st.y);
    in.op->aiGuidePos->SetAt(uint32_t(r), p);
    st.angle = float(Heading(p1.x, p1.y, p2.x, p2.y) - s->nAngleCorrection + 180);
    st.opacity = in.Opacity(r);
    st.guided = true;
    st.flip = 1;
}

void RandomMovementV2(CfTavEffect& fx, Instances& in, int r, const tagROMANCE_SYMBOL* s, int32_t* m, Step& st)
{
    const int W = fx.nWidth, H = fx.nHeight;
    st.x = in.X(r);
    st.y = in.Y(r);
    st.angle = in.Angle(r);
    Reseed();
    const int c = m[kWanderStepSlot] + 1;
    m[kWanderStepSlot] = c;
    const int k1 = std::rand() % 5 + 5, k2 = std::rand() % 5 + 5;
    const double v = fx.nSrcWidth * 0.00625 * s->fMotionSpeed;
    const double phi = c * kWanderPi / 180;
    double dx, dy;
    if (c % 80 > 30) {
        dx = k1 * std::sin(phi) * v;
        dy = k2 * std::cos(phi) * v;
    } else {
        dy = k1 * std::sin(phi) * v;
        dx = k2 * std::cos(phi) * v;
    }
    st.x = float(st.x + dx);
    st.y = float(st.y + dy);
    if (c > 360)
        m[kWanderStepSlot] = 0;
    if (st.x > 1.2f * W)
        st.x = 0;
    else if (st.x < -0.2f * W)
        st.x = float(W);
    if (st.y > 1.2f * H)
        st.y = 0;
    else if (st.y < -0.2f * H)
        st.y = float(H);
    in.SetX(r, st.x);
    in.SetY(r, st.y);
    if (std::fabs(s->fRotateSpeed) < 0.1f) {
        // The symbol turns to where it is heading.
        const int ix = int(dx), iy = int(dy);
        if (std::abs(ix) < 1) {
            st.angle = dy >= 0 ? 360.0f : 180.0f;
        } else {
            const double t = std::atan(std::fabs(double(iy)) / std::fabs(double(ix))) / kToRadians;
            if (dx > 0)
                st.angle = float(dy > 0 ? 90 + t : 90 - t);
            else
                st.angle = float(dy >= 0 ? 270 - t : 270 + t);
        }
        st.flip = (st.angle > 180 && st.angle <= 360) ? 0 : 1;
    }
}

void SwingV2(CfTavEffect& fx, Instances& in, int r, const tagROMANCE_SYMBOL* s, int32_t* m, int g, Step& st)
{
    st.angle = in.Angle(r);
    if (m[kSwingRisingSlot] > fx.nAniFrameRate * 100)
        m[kSwingRisingSlot] = 0;
    const float amount = (std::rand() % 10) * g * s->fMotionSpeed * 0.1f;
    st.angle += m[kSwingRisingSlot] < 1 ? -amount : amount;
    const int j = std::rand() % 40;
    if (st.angle > s->nAngle + j)
        m[kSwingRisingSlot] = 0;
    if (st.angle < s->nAngle - j)
        m[kSwingRisingSlot] = 1;
    in.SetAngle(r, st.angle);
    st.y = in.Y(r);
    st.swinging = true;
}

void FlickerV2(Instances& in, int r, const tagROMANCE_SYMBOL* s, int32_t* m, Step& st)
{
    float o = float(in.Opacity(r));
    o += m[kFlickerFadingSlot] == 0 ? s->fMotionSpeed * 20 : -s->fMotionSpeed * 20;
    int v = int(o);
    if (v > 255) {
        m[kFlickerFadingSlot] = 1;
        v = 255;
    } else if (v < 0) {
        m[kFlickerFadingSlot] = 0;
        v = 0;
    }
    in.SetOpacity(r, v);
    st.opacity = v;
}

// Flutter: each of angle, x and y moves one way or the other at random.
void Flutter(int W, int H, float u, float g, float speed, Step& st)
{
    const float turn = g * speed;
    st.angle += std::rand() % 100 < 50 ? -turn : turn;
    const float dx = u * (g * speed) * 0.5f;
    st.x += std::rand() % 100 < 50 ? -dx : dx;
    if (st.x > 1.5f * W)
        st.x = float(W);
    else if (st.x < -(W / 2))
        st.x = 0;
    const float dy = u * (g * speed) * 0.3f;
    st.y += std::rand() % 100 < 50 ? -dy : dy;
    if (st.y > 1.5f * H)
        st.y = float(H);
    else if (st.y < -(H / 2))
        st.y = 0;
}

// Very small pictures are drawn at least 3 pixels wide and high; returns the
// horizontal and vertical factors the instance's scales are multiplied by.
void TinyPictureFactors(CfTavEffect& fx, Instances& in, int r, const Picture& pic, float& fxOut, float& fyOut)
{
    const float sx = fx.fScaleX, sy = fx.fScaleY;
    fxOut = sx;
    fyOut = sy;
    if (sx * pic.w < 4) {
        in.SetScale(r, 1, 1);
        fxOut = 3.0f / pic.w;
        fyOut = sy * (3.0f / pic.w) / sx;
    }
    if (sy * pic.h < 4) {
        in.SetScale(r, 1, 1);
        fyOut = 3.0f / pic.h;
        fxOut = sx * (3.0f / pic.h) / sy;
    }
}

void PlayV2(CfTavEffect& fx, tagOPR_EFFECT* op, uchar* dst, const tagROMANCE_EFFECT2* e)
{
    const int W = fx.nWidth, H = fx.nHeight, afr = fx.nAniFrameRate;
    const float u = W * 0.00625f;
    Instances in{op};
    for (int r = 0; r < in.Count(); ++r) {
        const int symbol = op->aiSymbol->GetAt(uint32_t(r));
        const tagROMANCE_SYMBOL* s = e->pSymbols->GetAt(uint32_t(symbol));
        const tagROMANCE_ACTOR* own = e->pActors->GetAt(uint32_t(symbol));
        const tagROMANCE_ACTOR* shown = ShownActor(e, symbol);
        int32_t* m = in.Motion(r);
        const int g = s->nGuideSpeed / afr;

        const Picture pic = PictureOf(shown, op->aiFrame->GetAt(uint32_t(r)));
        int tick = op->aiTick->GetAt(uint32_t(r)) + 1;
        int next = int(int64_t(s->nFrameRate) * tick / afr);
        if (next >= shown->nFrames)
            tick = next = 0;
        op->aiTick->SetAt(uint32_t(r), tick);
        op->aiFrame->SetAt(uint32_t(r), next);

        // Linear motion, wrapping round to the far side.
        Step st;
        st.x = in.X(r) + float(g * s->fSpeedX * u);
        if (st.x > 1.5f * W || st.x < -(W / 2))
            st.x = s->fSpeedX > 0 ? 0.0f : float(W);
        st.y = in.Y(r) + u * (g * s->fSpeedY);
        if (st.y > 1.5f * H || st.y < -(H / 2))
            st.y = s->fSpeedY > 0 ? 0.0f : float(H);
        in.SetX(r, st.x);
        in.SetY(r, st.y);
        st.opacity = in.Opacity(r);
        st.angle = in.Angle(r) - g * s->fRotateSpeed * 5;
        if (st.angle > 3780 || st.angle < -3420)
            st.angle = 180;
        in.SetAngle(r, st.angle);

        // Zoom: a symbol that grows past 5 starts again small, one that shrinks away
        // starts again large; fast zooms fade.
        float a = in.ScaleX(r), b = in.ScaleY(r);
        const float z = s->fZoomSpeed;
        const float e1 = (a > 1 || b > 1) ? a : 1.0f;
        a += e1 * z;
        b += e1 * z;
        float q = 1;
        if (z > 0) {
            if (a > 5 || b > 5)
                a = b = 0.01f;
            q = (z > 0.1f && a > 1) ? (5 - a) * 0.25f : 1.0f;
        } else {
            if (a < 0.01f || b < 0.01f)
                a = b = 5;
            q = z < -0.1f ? std::min(a, 1.0f) : 1.0f;
        }
        in.SetScale(r, a, b);

        for (int k = 0; k < kMotionSlots; ++k) {
            switch (m[k]) {
            case kV2GuideLine:
                GuideLineV2(fx, in, r, s, own, m, st);
                break;
            case kV2Wander:
                RandomMovementV2(fx, in, r, s, m, st);
                break;
            case kV2Swing:
                SwingV2(fx, in, r, s, m, g, st);
                break;
            case kV2Flicker:
                FlickerV2(in, r, s, m, st);
                break;
            case kV2Flutter:
                Flutter(W, H, u, float(g), s->fMotionSpeed, st);
                in.SetAngle(r, st.angle);
                in.SetX(r, st.x);
                in.SetY(r, st.y);
                st.opacity = in.Opacity(r);
                break;
            default:
                break;
            }
        }

        float fxf, fyf;
        TinyPictureFactors(fx, in, r, pic, fxf, fyf);
        a = fxf * in.ScaleX(r);
        b = fyf * in.ScaleY(r);
        if (s->bFitScreen) {
            a = W * 1.02f / pic.w;
            b = H * 1.02f / pic.h;
            in.SetScale(r, a, b);
            st.angle = 180;
            st.x = float(W / 2);
            st.y = float(H / 2);
            in.SetAngle(r, st.angle);
            in.SetX(r, st.x);
            in.SetY(r, st.y);
        }
        // A swinging symbol turns about its top edge rather than its centre.
        float x = st.x;
        if (st.swinging) {
            const int n = s->nAngle;
            if (st.angle > n)
                x -= float(b * (pic.h * std::sin((st.angle - n) * kToRadians)) * 0.5);
            else
                x += float(b * (pic.h * std::sin((n - st.angle) * kToRadians)) * 0.5);
        }
        const int alpha = int(q * (op->nOverallOpacity / 255.0f * fx.fFadeOpacity * st.opacity));
        if (!s->bFitScreen) {
            a *= s->fStretch;
            b *= s->fStretch;
        }
        const tagSIZE size{pic.w, pic.h};
        if (st.guided)
            fx.AddV2TrackRenderPropsBuf(a, b, st.angle, dst, pic.bits, size, int(x), int(st.y), alpha, 1, st.flip);
        else
            fx.AddV2RenderPropsBuf(a, b, st.angle, dst, pic.bits, size, int(x), int(st.y), alpha, 1, st.flip);
    }
}

// ---- version 1 -----------------------------------------------------------------------

// Start position of instance j of n by placement mode; the angle is drawn first.
void PlaceV1(int mode, int j, int n, int W, int H, float& x, float& y, float& scale)
{
    const auto edge = [](int size) {
        const int first = std::rand() % size;
        const int sixth = std::max(size / 6, 1);
        return first < size / 2 ? std::rand() % sixth : std::rand() % sixth + size * 5 / 6;
    };
    const double fj = double(j) / n, fr = double(n - j) / n;
    switch (mode) {
    case 1: x = float(std::rand() % (W / 4 + 1)); y = float(std::rand() % H); break;
    case 2: x = float(std::rand() % (W / 4 + 1) + W * 3 / 4); y = float(std::rand() % H); break;
    case 3: x = float(std::rand() % W); y = float(std::rand() % (H / 4 + 1)); break;
    case 4: x = float(std::rand() % W); y = float(std::rand() % (H / 6 + 1) + H * 5 / 6); break;
    case 5: x = float(edge(W)); y = float(edge(H)); break;
    case 6: x = float(edge(W)); y = float(std::rand() % H); break;
    case 7: x = float(std::rand() % W); y = float(edge(H)); break;
    case 8:
    case 9: {
        const int rx = std::rand() % W;
        x = float(rx * (mode == 8 ? fj : fr));
        y = float(H / 3 + (H * 0.5 + std::rand() % std::max(H / 2, 1)) * fr);
        break;
    }
    case 10:
    case 11: {
        const int rx = std::rand() % W;
        x = float(rx * (mode == 10 ? fj : fr));
        y = float((H / 2 + std::rand() % std::max(H / 2, 1)) * fj - H / 3);
        break;
    }
    default: x = float(std::rand() % W); y = float(std::rand() % H); break;
    }
    if (mode >= 8 && mode <= 11)
        scale = float(fr * scale + 0.1);
}

// The state a version-1 motion type starts from.
void StartMotionV1(Instances& in, tagOPR_EFFECT* op, int j, int type, const tagROMANCE_ACTOR* a,
                   const tagROMANCE_EFFECT1* e, int W, int H, int afr, int32_t* m)
{
    switch (type) {
    case kV1GuideLine:
        m[kGuideFrameSlot] = std::rand() % int(int64_t(GuidePointCount(a)) * afr / e->nGuideSpeed);
        break;
    case kV1Swing:
        if (e->nMaxSwingAngle > 1)
            in.SetAngle(j, float(std::rand() % e->nMaxSwingAngle - e->nMaxSwingAngle / 2 + 180));
        break;
    case kV1Shimmer:
        in.SetOpacity(j, std::rand() % 100 + 100);
        break;
    case kV1Burst:
        // Every instance starts its first burst from the middle of the frame.
        in.SetAngle(j, float(std::rand() % 360));
        in.SetX(j, float(W / 2));
        in.SetY(j, float(H / 2));
        break;
    case kV1FitScreen:
        in.SetAngle(j, 180);
        in.SetX(j, float(W / 2));
        in.SetY(j, float(H / 2));
        break;
    case kV1WidthPulse:
        op->afScaleX->SetAt(uint32_t(j), 0.01f);
        break;
    case kV1HeightPulse:
        op->afScaleY->SetAt(uint32_t(j), 0.01f);
        break;
    case kV1SizePulse:
        in.SetScale(j, 0.01f, 0.01f);
        break;
    default:
        break;
    }
}

void SetUpV1(CfTavEffect& fx, tagOPR_EFFECT* op, const tagROMANCE_EFFECT1* e)
{
    const int W = std::max(fx.nWidth, 1), H = std::max(fx.nHeight, 1), afr = fx.nAniFrameRate;
    Reseed();
    CreateArrays(op, fx.nSrcWidth, fx.nSrcHeight);
    if (op->nInstanceCount == 0)
        op->nInstanceCount = e->nDefaultDensity;
    const int n = std::min(std::max(op->nInstanceCount, 0), kMaxInstances);
    for (int j = 0; j < n; ++j) {
        const int symbol = std::rand() % e->nSymbols;
        op->aiSymbol->Add(symbol);
        const tagROMANCE_ACTOR* a = e->pActors->GetAt(uint32_t(symbol));
        op->aiFrame->Add(std::rand() % a->nFrames);
        float scale = (std::rand() % 50) * 0.01f + 0.75f;
        float angle = float(std::rand() % 360), x = 0, y = 0;
        PlaceV1(e->nPlacement, j, n, W, H, x, y, scale);
        op->afScaleX->Add(scale);
        op->afScaleY->Add(scale);
        op->afAngle->Add(angle);
        op->afPosX->Add(x);
        op->afPosY->Add(y);
        op->aiOpacity->Add(e->nOpacity);
        // One guide position per instance keeps the arrays in step, guided or not.
        op->aiGuidePos->Add(0);
        const int t = int(int64_t(a->nFrames) * afr / e->nFrameRate);
        op->aiTick->Add(t >= 1 ? std::rand() % t : 0);

        int32_t* m = new int32_t[2 * kMotionSlots];
        std::memcpy(m, e->nMotion, sizeof(int32_t) * kMotionSlots);
        std::memcpy(m + kMotionSlots, e->nMotionState, sizeof(int32_t) * kMotionSlots);
        Instances in{op};
        for (int k = 0; k < kMotionSlots; ++k) {
            const int type = m[k];
            if (type < 0 || type >= kMotionSlots)
                continue;
            m[StateOf(type)] = std::rand() % 1000;
            StartMotionV1(in, op, j, type, a, e, W, H, afr, m);
        }
        op->apMotion->Add(m);
    }
    op->bSpecialInited = 1;
}

// What every version-1 motion step of one frame reads.
struct SceneV1 {
    CfTavEffect& fx;
    Instances& in;
    const tagROMANCE_EFFECT1* e;
    int W, H, afr;
    int g;            // guide speed over frame rate: the time step of the motions
    float u, v;       // one 160th of the frame width; the effect's motion speed
    int n;            // instances
    const std::vector<int>& kick;  // this frame's random burst strength per instance
};

// What the motions decide about how an instance is drawn.
struct LookV1 {
    bool swinging = false, fitScreen = false;
    int flip = 0;
};

// The pulse counters of the opacity, width, height and size pulses: the slot's state
// word counts frames and the direction flips every nGuideSpeed frames.
int Pulse(int32_t& counter, int speed)
{
    int c = counter + 1;
    if (int64_t(speed) * 100 < c)
        c = 0;
    counter = c;
    return (c / speed) % 2 == 0 ? 1 : -1;
}

// The picture after this frame's: the tick counts frames, the picture follows the
// effect's picture rate and starts over after the last.
void AdvancePictureV1(const SceneV1& sc, tagOPR_EFFECT* op, int j, const tagROMANCE_ACTOR* a)
{
    const int tick = op->aiTick->GetAt(uint32_t(j)) + 1;
    const int next = int(int64_t(tick) * sc.e->nFrameRate / sc.afr);
    op->aiTick->SetAt(uint32_t(j), next < a->nFrames ? tick : 0);
    op->aiFrame->SetAt(uint32_t(j), next < a->nFrames ? next : 0);
}

// Onto the next guide point, heading for the one a quarter of the guide speed on.
void GuideLineV1(const SceneV1& sc, int j, const tagROMANCE_ACTOR* a, int32_t* m, int& flip)
{
    const tagROMANCE_EFFECT1* e = sc.e;
    const int count = GuidePointCount(a);
    m[kGuideFrameSlot] += 1;
    int p = int(int64_t(m[kGuideFrameSlot]) * e->nGuideSpeed / sc.afr);
    if (p < 0 || p >= count) {
        m[kGuideFrameSlot] = 0;
        p = 0;
    }
    sc.in.op->aiGuidePos->SetAt(uint32_t(j), p);
    int p2 = p + e->nGuideSpeed / 4;
    if (p2 >= count)
        p2 = 0;
    const tagPOINT p1 = a->pGuidePoints->GetAt(uint32_t(p));
    const tagPOINT q2 = a->pGuidePoints->GetAt(uint32_t(p2));
    sc.in.SetX(j, float(int64_t(p1.x) * sc.W / 320));
    sc.in.SetY(j, float(int64_t(p1.y) * sc.H / 240));
    float angle;
    if (std::abs(q2.x - p1.x) < 1) {
        angle = q2.y < p1.y ? 180.0f : 360.0f;
        flip = q2.y < p1.y ? 1 : flip;
    } else {
        const double t = std::atan(std::fabs(double(q2.y - p1.y)) / std::fabs(double(q2.x - p1.x))) / kToRadians;
        if (p1.x < q2.x)
            angle = float(p1.y < q2.y ? t + 270 : 270 - t);
        else
            angle = float(q2.y >= p1.y ? 450 - t : 450 + t);
        if (angle <= 180 || angle > 360)
            flip = 1;
    }
    sc.in.SetAngle(j, angle);
}

// Vertical drift, wrapping round to the far side.
void DriftYV1(const SceneV1& sc, int j)
{
    float y = sc.in.Y(j) + sc.u * (sc.g * sc.e->fDriftY);
    if (y > 1.5f * sc.H || y < -(sc.H / 2))
        y = sc.e->fDriftY > 0 ? 0.0f : float(sc.H);
    sc.in.SetY(j, y);
}

// Horizontal drift, wrapping round to the far side.
void DriftXV1(const SceneV1& sc, int j)
{
    float x = sc.in.X(j) + sc.u * sc.g * sc.e->fDriftX;
    if (x > 1.5f * sc.W || x < -(sc.W / 2))
        x = sc.e->fDriftX > 0 ? 0.0f : float(sc.W);
    sc.in.SetX(j, x);
}

// To and fro in the angle (a swing) or in angle and place near the top of the frame
// (a jitter); the direction changes every second of animation.
void Jitter(const SceneV1& sc, int j, int32_t* m, bool swing)
{
    Instances& in = sc.in;
    const int afr = sc.afr, g = sc.g;
    const float u = sc.u, v = sc.v;
    int c = m[kJitterFrameSlot] + 1;
    if (int64_t(afr) * 100 < c)
        c = 0;
    m[kJitterFrameSlot] = c;
    const float e = swing ? 0.5f : 0.00002f;
    const float sign = (c / afr) % 2 == 0 ? 1.0f : -1.0f;
    in.SetAngle(j, in.Angle(j) + sign * (std::rand() % 10) * g * v * e * 0.2f);
    if (swing)
        return;
    float x = in.X(j) + sign * u * ((std::rand() % 10) * g * v) * 0.001f;
    float y = in.Y(j) + sign * u * ((std::rand() % 10) * g * v) * 0.001f;
    x = std::min(std::max(x, 0.0f), float(sc.fx.nWidth));
    y = std::min(std::max(y, 0.0f), float(sc.fx.nHeight / 4));
    in.SetX(j, x);
    in.SetY(j, y);
}

// A swing stays within the effect's largest swing angle either side of upright.
void SwingV1(const SceneV1& sc, int j, int32_t* m)
{
    Jitter(sc, j, m, true);
    const float lo = 180.0f - sc.e->nMaxSwingAngle, hi = 180.0f + sc.e->nMaxSwingAngle;
    sc.in.SetAngle(j, std::min(std::max(sc.in.Angle(j), lo), hi));
}

void SpinV1(const SceneV1& sc, int j)
{
    float angle = sc.in.Angle(j) + sc.g * sc.v * 5;
    if (angle > 3780 || angle < -3420)
        angle = 180;
    sc.in.SetAngle(j, angle);
}

void FlutterV1(const SceneV1& sc, int j)
{
    Step st;
    st.x = sc.in.X(j);
    st.y = sc.in.Y(j);
    st.angle = sc.in.Angle(j);
    Flutter(sc.W, sc.H, sc.u, float(sc.g), sc.v, st);
    sc.in.SetAngle(j, st.angle);
    sc.in.SetX(j, st.x);
    sc.in.SetY(j, st.y);
}

// The opacity rises and falls between 0 and 200.
void OpacityPulseV1(const SceneV1& sc, int j, int32_t* m)
{
    const int step = 200 / sc.e->nGuideSpeed;
    const int o = sc.in.Opacity(j) + Pulse(m[kOpacityPulseSlot], sc.e->nGuideSpeed) * step;
    sc.in.SetOpacity(j, std::min(std::max(o, 0), 200));
}

// The opacity rises and falls by 10 every ten frames between 150 and 200.
void ShimmerV1(const SceneV1& sc, int j, int32_t* m)
{
    int c = m[kShimmerFrameSlot] + 1;
    if (c > 1000)
        c = 0;
    m[kShimmerFrameSlot] = c;
    int o = sc.in.Opacity(j) + ((c / 10) % 2 == 0 ? 10 : -10);
    if (o > 200 || o < 150)
        o = 150;
    sc.in.SetOpacity(j, o);
}

// Flying out along the instance's angle; when the burst has lasted long enough the
// whole crowd starts another.
void BurstV1(const SceneV1& sc, int j, int32_t* m)
{
    Instances& in = sc.in;
    const int g = sc.g;
    const float u = sc.u, v = sc.v;
    const double phi = in.Angle(j) * 2 * kBurstPi / 360;
    const float x = float(in.X(j) + sc.kick[size_t(j)] * (g * (u * (std::sin(phi) * v))) * 0.03);
    const float y = float(in.Y(j) + sc.kick[size_t(j)] * (g * (u * (std::cos(phi) * v))) * 0.03);
    in.SetX(j, x);
    in.SetY(j, y);
    const int c = m[kBurstFrameSlot] + 1;
    m[kBurstFrameSlot] = c;
    if (c > sc.e->nGuideSpeed * sc.e->fDriftX) {
        // A new burst: every instance leaves from one random point.
        const float bx = float(std::rand() % std::max(sc.W, 1)), by = float(std::rand() % std::max(sc.H, 1));
        for (int i = 0; i < sc.n; ++i) {
            in.SetX(i, bx);
            in.SetY(i, by);
            in.SetAngle(i, float(std::rand() % 360));
            in.Motion(i)[kBurstFrameSlot] = 0;
        }
    }
}

// The width, the height or both grow and shrink between 0.01 and 1.2.
void ScalePulseV1(const SceneV1& sc, int j, int32_t* m, int type)
{
    const float step = Pulse(m[StateOf(type)], sc.e->nGuideSpeed) * (1.0f / sc.e->nGuideSpeed);
    float sxv = sc.in.ScaleX(j), syv = sc.in.ScaleY(j);
    if (type != kV1HeightPulse)
        sxv = std::min(std::max(sxv + step, 0.01f), 1.2f);
    if (type != kV1WidthPulse)
        syv = std::min(std::max(syv + step, 0.01f), 1.2f);
    sc.in.SetScale(j, sxv, syv);
}

// The instance's motion types, in slot order.
void MoveV1(const SceneV1& sc, int j, const tagROMANCE_ACTOR* a, int32_t* m, LookV1& look)
{
    for (int k = 0; k < kMotionSlots; ++k) {
        switch (m[k]) {
        case kV1GuideLine: GuideLineV1(sc, j, a, m, look.flip); break;
        case kV1DriftY: DriftYV1(sc, j); break;
        case kV1DriftX: DriftXV1(sc, j); break;
        case kV1Swing:
            look.swinging = true;
            SwingV1(sc, j, m);
            break;
        case kV1Spin: SpinV1(sc, j); break;
        case kV1Jitter: Jitter(sc, j, m, false); break;
        case kV1Flutter: FlutterV1(sc, j); break;
        case kV1OpacityPulse: OpacityPulseV1(sc, j, m); break;
        case kV1Shimmer: ShimmerV1(sc, j, m); break;
        case kV1Burst: BurstV1(sc, j, m); break;
        case kV1FitScreen: look.fitScreen = true; break;
        case kV1WidthPulse:
        case kV1HeightPulse:
        case kV1SizePulse: ScalePulseV1(sc, j, m, m[k]); break;
        default: break;
        }
    }
}

// A changing aspect nudges a scale up or down at random, kept within 0.5 to 1.2.
float WobbleV1(float value, float v)
{
    const float amount = (std::rand() % 5) * v * 0.01f;
    value += std::rand() % 100 < 51 ? -amount : amount;
    return std::min(std::max(value, 0.5f), 1.2f);
}

void DrawV1(const SceneV1& sc, tagOPR_EFFECT* op, int j, const Picture& pic, const LookV1& look, uchar* dst)
{
    Instances& in = sc.in;
    const int o = in.Opacity(j);
    float fxf, fyf;
    TinyPictureFactors(sc.fx, in, j, pic, fxf, fyf);
    float sa = in.ScaleX(j), sb = in.ScaleY(j);
    if (sc.e->bChangeAspect) {
        sa = WobbleV1(sa, sc.v);
        sb = WobbleV1(sb, sc.v);
        in.SetScale(j, sa, sb);
    }
    sa *= fxf;
    sb *= fyf;
    if (look.fitScreen) {
        sa = sc.W * 1.02f / pic.w;
        sb = sc.H * 1.02f / pic.h;
    }
    const float angle = in.Angle(j);
    float x = in.X(j);
    // A swinging symbol turns about its top edge rather than its centre.
    if (look.swinging) {
        if (angle > 180)
            x += float(sb * (pic.h * std::sin((angle - 180) * kToRadians)) * 0.5);
        else
            x -= float(sb * (pic.h * std::sin((180 - angle) * kToRadians)) * 0.5);
    }
    const int alpha = int(sc.fx.fFadeOpacity * ((o * op->nOverallOpacity) / 255));
    sc.fx.AddRenderPropsBuf(sa, sb, angle, dst, pic.bits, tagSIZE{pic.w, pic.h}, int(x), int(in.Y(j)), alpha, 1,
                            look.flip);
}

void PlayV1(CfTavEffect& fx, tagOPR_EFFECT* op, uchar* dst, const tagROMANCE_EFFECT1* e)
{
    const int afr = fx.nAniFrameRate;
    Instances in{op};
    const int n = in.Count();
    // Drawn for the whole crowd before anything moves.
    std::vector<int> kick(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j)
        kick[size_t(j)] = std::rand() % 100;
    const SceneV1 sc{fx, in, e, fx.nWidth, fx.nHeight, afr, e->nGuideSpeed / afr, fx.nWidth * 0.00625f,
                     e->fMotionSpeed, n, kick};

    for (int j = 0; j < n; ++j) {
        const tagROMANCE_ACTOR* a = e->pActors->GetAt(uint32_t(op->aiSymbol->GetAt(uint32_t(j))));
        int32_t* m = in.Motion(j);
        // This frame shows the picture the last one chose.
        const Picture pic = PictureOf(a, op->aiFrame->GetAt(uint32_t(j)));
        AdvancePictureV1(sc, op, j, a);
        LookV1 look;
        MoveV1(sc, j, a, m, look);
        DrawV1(sc, op, j, pic, look, dst);
    }
}

}  // namespace

// ---- the entry points ------------------------------------------------------------------

void CfTavEffect::InitSpecial(GUID guid, tagOPR_EFFECT* op, const char* version, void* record)
{
    const Version v = VersionOf(version);
    if (v == Version::None || !op)
        return;
    if (!record)
        record = FindRecord(pRomanceData, guid);
    if (!record || VersionOf(AnimationRecordVersion(record)) != v || op->bSpecialInited)
        return;
    if (v == Version::Two) {
        const tagROMANCE_EFFECT2* e = static_cast<const tagROMANCE_EFFECT2*>(record);
        if (PlayableV2(e, nAniFrameRate))
            SetUpV2(*this, op, e);
    } else {
        const tagROMANCE_EFFECT1* e = static_cast<const tagROMANCE_EFFECT1*>(record);
        if (PlayableV1(e, nAniFrameRate))
            SetUpV1(*this, op, e);
    }
}

void CfTavEffect::Special_Effect(tagOPR_EFFECT* op, const unsigned char*, unsigned char* dst, const char* version,
                                 void* record)
{
    const Version v = VersionOf(version);
    if (v == Version::None || !op || !op->bSpecialInited || !dst || nWidth <= 0 || nHeight <= 0 ||
        (nBpp != 3 && nBpp != 4))
        return;
    if (!record)
        record = FindRecord(pRomanceData, op->guidEffect);
    if (!record || VersionOf(AnimationRecordVersion(record)) != v)
        return;
    const bool playable = v == Version::Two ? PlayableV2(static_cast<const tagROMANCE_EFFECT2*>(record), nAniFrameRate)
                                            : PlayableV1(static_cast<const tagROMANCE_EFFECT1*>(record), nAniFrameRate);
    if (!playable || !(fScaleX > 0) || !(fScaleY > 0))
        return;

    UpdateValidRgn(op);
    Reseed();
    const int expected = v == Version::Two ? static_cast<const tagROMANCE_EFFECT2*>(record)->nSymbols
                                           : std::min(std::max(op->nInstanceCount, 0), kMaxInstances);
    if (op->aiSymbol->GetSize() != expected) {
        // The record changed: start afresh, keeping the area the operation is confined to.
        CTavmArray<tagSIZE>* polygon = op->pValidPolygon;
        op->pValidPolygon = nullptr;
        ReleaseOprSpecialData(op);
        op->pValidPolygon = polygon;
        InitSpecial(op->guidEffect, op, version, record);
        if (!op->bSpecialInited)
            return;
    }
    if (v == Version::Two)
        PlayV2(*this, op, dst, static_cast<const tagROMANCE_EFFECT2*>(record));
    else
        PlayV1(*this, op, dst, static_cast<const tagROMANCE_EFFECT1*>(record));
}
