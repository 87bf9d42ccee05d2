// The demo's media, made from nothing: two short movies written with the studio's
// own movie encoder, a photo-like landscape, a flower picture, a butterfly that
// flaps its wings over eight GIF frames, and a melody as a WAV file. Everything is
// computed from formulas, so every run makes the same pictures and sounds.
#include "tools/zolvex-demo/DemoMedia.h"

#include <Magick++.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "filter/encoder/CodecTable.h"
#include "filter/encoder/TavmEncoder.h"
#include "filter/media/MagickReady.h"
#include "tools/zolvex-demo/Canvas.h"

namespace zolvex {
namespace demomaker {
namespace {

constexpr int kFrameRate = 25;
constexpr int kClipFrames = 260;  // 10.4 s: scenes may use up to 10 s of a clip
constexpr int kSamplesPerFrame = kSampleRate / kFrameRate;
using namespace encoder;

// One stereo sample frame in 16-bit units (clipped when stored).
struct Stereo {
    double l = 0, r = 0;
};

int16_t Pcm(double v) { return int16_t(std::lround(v < -32767 ? -32767 : (v > 32767 ? 32767 : v))); }

// Equal-power placement: pan −1 is left, 1 right.
Stereo Pan(double v, double pan)
{
    const double a = (pan + 1) * kPi / 4;
    return {v * std::cos(a), v * std::sin(a)};
}

double MidiHz(double note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// A bell-like note `tau` seconds after it was struck: a quick attack, a few
// harmonics and an exponential decay.
double Bell(double hz, double tau, double decay)
{
    if (tau < 0)
        return 0;
    const double w = 2 * kPi * hz * tau;
    const double body = std::sin(w) + 0.35 * std::sin(2 * w) * std::exp(-tau / 0.15) + 0.12 * std::sin(3 * w);
    return body * std::min(1.0, tau / 0.006) * std::exp(-tau / decay);
}

// Fades in over the first `in` seconds and out over the last `out` of `length`.
double Envelope(double t, double length, double in, double out)
{
    return std::max(0.0, std::min({1.0, t / in, (length - t) / out}));
}

// ---- movie 1: a beach at sunset with a bouncing beach ball -----------------------

constexpr double kClipSeconds = double(kClipFrames) / kFrameRate;
constexpr double kBouncePeriod = 1.3;  // seconds between two touches of the sand
constexpr float kHorizon = 334, kGround = 530, kBallRadius = 38;

float BallX(double t)
{
    const double p = t / kClipSeconds;  // right, then back left
    return float(90 + (kFrameWidth - 180) * (1 - std::fabs(1 - 2 * p)));
}

void DrawBay(Canvas& c, float t)
{
    const float W = float(c.Width()), H = float(c.Height());
    const float p = float(t / kClipSeconds);  // how far the sun has set
    const Rgb skyTop = Mix({0.18f, 0.26f, 0.56f}, {0.13f, 0.10f, 0.36f}, p);
    const Rgb skyLow = Mix({1.00f, 0.76f, 0.46f}, {0.98f, 0.48f, 0.30f}, p);
    const float sunX = 0.68f * W, sunY = kHorizon - 170 + 135 * p;
    const Rgb sunColour = Mix({1.0f, 0.93f, 0.62f}, {1.0f, 0.70f, 0.40f}, p);

    for (int y = 0; y < int(kHorizon); ++y) {
        const Rgb row = Mix(skyTop, skyLow, std::pow((y + 0.5f) / kHorizon, 1.6f));
        for (int x = 0; x < c.Width(); ++x)
            c.At(x, y) = row;
    }
    c.Disc(sunX, sunY, 150, {1.0f, 0.72f, 0.45f}, 0.35f, 130);
    c.Disc(sunX, sunY, 46, sunColour, 1.0f);
    const Rgb cloud = Mix({1.0f, 0.80f, 0.76f}, {0.62f, 0.46f, 0.62f}, p);
    for (int k = 0; k < 4; ++k) {
        const float cx = std::fmod(60 + 210.f * k + 9 * t, W + 300) - 150, cy = 70 + 45.f * (k % 3);
        c.Ellipse(cx, cy, 110, 22, 0, cloud, 0.5f, 18);
        c.Ellipse(cx + 50, cy - 12, 70, 20, 0, cloud, 0.45f, 16);
        c.Ellipse(cx - 60, cy + 6, 60, 14, 0, cloud, 0.4f, 14);
    }

    // Sea down to a moving shore line, then sand.
    const float sunShows = Clamp01((kHorizon - sunY + 46) / 92);
    for (int y = int(kHorizon); y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float shore = 470 + 8 * std::sin(fx * 0.012f + t * 0.9f) + 4 * std::sin(fx * 0.031f - t * 1.3f);
            if (fy < shore) {
                const float k = (fy - kHorizon) / (shore - kHorizon);
                Rgb sea = Mix(Mix({0.30f, 0.32f, 0.52f}, {0.38f, 0.24f, 0.40f}, p), {0.04f, 0.20f, 0.34f}, k);
                const float ripple = std::sin(fx * 0.045f + t * 1.7f + fy * 0.9f) * std::sin(fx * 0.013f - t * 0.8f);
                sea = Scale(sea, 1.0f + 0.08f * ripple);
                const float width = 14 + 110 * k;
                const float glint = std::exp(-(fx - sunX) * (fx - sunX) / (width * width)) *
                                    (0.55f + 0.45f * std::sin(fy * 0.7f + t * 3 + std::sin(fx * 0.05f) * 2));
                sea = Mix(sea, sunColour, 0.7f * glint * sunShows);
                c.At(x, y) = Mix(sea, {0.95f, 0.97f, 1.0f}, Clamp01(1.5f - (shore - fy)) * 0.8f);
            } else {
                const Rgb sand = Mix({0.94f, 0.80f, 0.58f}, {0.82f, 0.64f, 0.42f}, (fy - shore) / (H - shore));
                const float grain = 0.96f + 0.06f * Random01(uint32_t(x), uint32_t(y));
                c.At(x, y) = Mix(Scale(sand, grain), {0.98f, 0.98f, 1.0f}, Clamp01(2.5f - (fy - shore)) * 0.7f);
            }
        }

    // The ball: a parabola between touches, rolling as it travels.
    const double u = std::fmod(t, kBouncePeriod) / kBouncePeriod;
    const float lift = float(200 * 4 * u * (1 - u)), bx = BallX(t), by = kGround - kBallRadius - lift;
    const float high = lift / 200;
    c.Ellipse(bx, kGround, kBallRadius * (1.15f - 0.45f * high), 9 * (1.1f - 0.5f * high), 0, {0.25f, 0.15f, 0.1f},
              0.45f * (1 - 0.6f * high), 6);
    const float roll = (bx - 90) / kBallRadius;
    static const Rgb stripes[6] = {{0.92f, 0.12f, 0.10f}, {0.97f, 0.97f, 0.95f}, {0.10f, 0.35f, 0.90f},
                                   {0.97f, 0.97f, 0.95f}, {1.00f, 0.82f, 0.10f}, {0.97f, 0.97f, 0.95f}};
    c.ShadedDisc(bx, by, kBallRadius, 1.0f, [&](float dx, float dy, float&) {
        const float nz = std::sqrt(std::max(0.f, 1 - dx * dx - dy * dy));
        float a = std::atan2(dy, dx) - roll;
        a -= 2 * kPi * std::floor(a / (2 * kPi));
        Rgb base = std::hypot(dx, dy) < 0.18f ? Rgb{0.97f, 0.97f, 0.95f} : stripes[int(a / (2 * kPi) * 6) % 6];
        const float diffuse = std::max(0.f, -0.50f * dx - 0.55f * dy + 0.67f * nz);
        const float spec = std::pow(std::max(0.f, -0.27f * dx - 0.30f * dy + 0.91f * nz), 40.f);
        return Mix(Scale(base, 0.35f + 0.7f * diffuse), {1, 1, 1}, 0.7f * spec);
    });
}

// A soft A major chord that swells, and a plucked "boing" each time the ball lands.
Stereo BaySound(double t)
{
    static const double chord[4] = {220.0, 277.18, 329.63, 440.0};
    double pad = 0;
    for (int k = 0; k < 4; ++k)
        pad += std::sin(2 * kPi * chord[k] * t) + 0.5 * std::sin(2 * kPi * (chord[k] * 1.003) * t);
    pad *= 1500 * (0.8 + 0.2 * std::sin(2 * kPi * t / 5.2));
    const double landed = std::floor(t / kBouncePeriod) * kBouncePeriod, tau = t - landed;
    const double blip = 7000 * Bell(587.33 * (1 + 0.25 * std::exp(-tau / 0.03)), tau, 0.12);
    const double pan = (BallX(landed) - kFrameWidth / 2.0) / (kFrameWidth / 2.0);
    const Stereo b = Pan(blip, pan);
    const double env = Envelope(t, kClipSeconds, 0.4, 0.4);
    return {(pad * 0.7 + b.l) * env, (pad * 0.7 + b.r) * env};
}

// ---- movie 2: bubbles rising round a turning golden star ------------------------

void DrawBubbles(Canvas& c, float t)
{
    const float W = float(c.Width()), H = float(c.Height());
    const float a = 0.3f + 0.15f * t, ca = std::cos(a), sa = std::sin(a), half = 0.5f * std::hypot(W, H);
    const Rgb teal{0.04f, 0.42f, 0.52f}, violet{0.32f, 0.12f, 0.52f}, light{0.55f, 0.85f, 0.92f};
    c.Fill([&](float x, float y) {
        const float s = ((x - W / 2) * ca + (y - H / 2) * sa) / half;
        const float r2 = ((x - W / 2) * (x - W / 2) + (y - H / 2) * (y - H / 2)) / (2 * 230.f * 230.f);
        Rgb col = Mix(teal, violet, 0.5f + 0.5f * s);
        col = Mix(col, light, 0.28f * std::exp(-r2));
        const float ray = std::max(0.f, std::sin(x * 0.018f + y * 0.006f + t * 0.5f)) * (1 - y / H);
        return Mix(col, light, 0.10f * ray);
    });

    // The star behind the bubbles: a glow, the star and a lighter inner star.
    const float R = 95 + 12 * std::sin(2 * kPi * t / 2.6f), turn = 0.5f * t;
    auto star = [](float inner, float size) {
        return [=](float theta) {
            return size * (inner + (1 - inner) * std::pow(0.5f + 0.5f * std::cos(5 * theta), 3.f));
        };
    };
    c.Disc(W / 2, H / 2, R * 0.9f, {1.0f, 0.9f, 0.5f}, 0.35f, 70);
    c.PolarShape(W / 2, H / 2, R + 2, turn, {1.0f, 0.76f, 0.18f}, 1.0f, star(0.42f, R));
    c.PolarShape(W / 2, H / 2, R, turn, {1.0f, 0.93f, 0.62f}, 0.6f, star(0.42f, R * 0.55f));

    for (uint32_t i = 0; i < 28; ++i) {
        const float r = 10 + 34 * Random01(i, 1) * Random01(i, 1), speed = 35 + 70 * Random01(i, 2);
        const float span = H + 2 * r;
        const float y = H + r - std::fmod(t * speed + Random01(i, 4) * span, span);
        const float x = W * Random01(i, 3) + 25 * std::sin(1.3f * t + 6 * Random01(i, 4));
        const Rgb hue = Hsv(0.45f + 0.4f * Random01(i, 5), 0.45f, 1.0f);
        c.ShadedDisc(x, y, r, 1.0f, [&](float dx, float dy, float& alpha) {
            const float rim = SmoothStep(0.68f, 1.0f, std::hypot(dx, dy));
            alpha = 0.16f + 0.6f * rim;
            return Mix(hue, {1, 1, 1}, 0.35f * rim);
        });
        c.Disc(x - 0.35f * r, y - 0.38f * r, 0.2f * r, {1, 1, 1}, 0.75f);
    }
}

// An F major seventh pad with a tremolo that wanders between the speakers, and the
// chord's notes struck one after another like a music box.
Stereo BubbleSound(double t)
{
    static const double pad[4] = {174.61, 220.0, 261.63, 329.63};
    static const double notes[6] = {349.23, 440.0, 523.25, 659.26, 523.25, 440.0};
    double v = 0;
    for (int k = 0; k < 4; ++k)
        v += std::sin(2 * kPi * pad[k] * t) + 0.3 * std::sin(4 * kPi * pad[k] * t);
    v *= 1400 * (0.75 + 0.25 * std::sin(2 * kPi * 4 * t));
    Stereo out = Pan(v, 0.6 * std::sin(2 * kPi * 0.2 * t));
    const double step = 0.4;
    const int n = int(t / step);
    for (int back = 0; back < 3 && n - back >= 0; ++back) {  // earlier notes still ring
        const int k = n - back;
        const Stereo b = Pan(4200 * Bell(notes[k % 6], t - k * step, 0.35), k % 2 ? 0.5 : -0.5);
        out.l += b.l;
        out.r += b.r;
    }
    const double env = Envelope(t, kClipSeconds, 0.4, 0.4);
    return {out.l * env, out.r * env};
}

// Writes one movie with the studio's encoder: kClipFrames frames at 25 per second
// and 44.1 kHz stereo sound, 1,764 sample frames per picture.
bool WriteClip(const std::string& path, int videoCodec, int videoBitRate, int audioCodec, int audioBitRate,
                      const std::function<void(Canvas&, float)>& draw, const std::function<Stereo(double)>& sound,
                      std::string* error)
{
    OutputFormat f;
    f.nFrameRate = kFrameRate;
    f.nWidth = kFrameWidth;
    f.nHeight = kFrameHeight;
    f.nVideoCodec = videoCodec;
    f.nVideoBitRate = videoBitRate;
    f.nAudioCodec = audioCodec;
    f.nAudioBitRate = audioBitRate;
    f.nChannels = kChannels;
    f.nSampleRate = kSampleRate;
    f.nQuality = -1;  // work to the bit rate
    std::snprintf(f.szPath, sizeof f.szPath, "%s", path.c_str());
    f.nAspectNumerator = 4;
    f.nAspectDenominator = 3;

    CTavmEncoder encoder;
    if (!encoder.OpenMovie(f)) {
        *error = "cannot open the movie " + path + " for writing: " + encoder.OutputError();
        return false;
    }
    Canvas canvas(kFrameWidth, kFrameHeight);
    std::vector<int16_t> pcm(size_t(kSamplesPerFrame) * kChannels);
    for (int frame = 0; frame < kClipFrames; ++frame) {
        draw(canvas, float(frame) / kFrameRate);
        const std::vector<unsigned char> rgb = canvas.Rgb24();
        encoder.EncodeVideoFrame(rgb.data(), kFrameWidth, kFrameHeight);
        for (int n = 0; n < kSamplesPerFrame; ++n) {
            const Stereo s = sound(double(int64_t(frame) * kSamplesPerFrame + n) / kSampleRate);
            pcm[size_t(n) * 2] = Pcm(s.l);
            pcm[size_t(n) * 2 + 1] = Pcm(s.r);
        }
        encoder.EncodeAudioBlock(reinterpret_cast<const unsigned char*>(pcm.data()), int(pcm.size() * 2), kChannels,
                                 kSampleRate);
    }
    encoder.FinishMovie();
    if (!encoder.OutputError().empty()) {
        *error = "cannot write the movie " + path + ": " + encoder.OutputError();
        return false;
    }
    return true;
}

// ---- pictures ---------------------------------------------------------------------

bool WritePicture(const Canvas& c, const std::string& path, bool withAlpha, std::string* error)
{
    try {
        magick::EnsureReady();
        const std::vector<unsigned char> bytes = withAlpha ? c.Rgba32(true) : c.Rgb24();
        Magick::Image image(unsigned(c.Width()), unsigned(c.Height()), withAlpha ? "RGBA" : "RGB",
                            Magick::CharPixel, bytes.data());
        image.quality(92);
        image.write(path);
        return true;
    } catch (const std::exception& e) {
        *error = "cannot write the picture " + path + ": " + e.what();
        return false;
    }
}

// A lake below snowy mountains on a summer day, with a photo's grain: 1024 × 768.
Canvas DrawLandscape()
{
    const int W = 1024, H = 768;
    const float water = 500;
    Canvas c(W, H);
    std::vector<float> far(W), near(W);
    for (int x = 0; x < W; ++x) {
        // Noise values gather round 0.5: stretch them so that peaks rise well above
        // the valleys.
        const float peaks = std::clamp((Fbm(x / 300.f, 0.5f, 21, 5) - 0.28f) / 0.44f, 0.f, 1.3f);
        far[size_t(x)] = 400 - 210 * peaks;
        near[size_t(x)] = 445 - 90 * Clamp01((Fbm(x / 240.f, 3.3f, 33, 5) - 0.3f) / 0.4f);
    }
    for (int y = 0; y < int(water); ++y)
        for (int x = 0; x < W; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            Rgb col = Mix({0.26f, 0.48f, 0.84f}, {0.80f, 0.88f, 0.95f}, std::pow(fy / water, 0.8f));
            const float sun = std::exp(-((fx - 790) * (fx - 790) + (fy - 140) * (fy - 140)) / (2 * 90.f * 90.f));
            col = Mix(col, {1.0f, 0.98f, 0.88f}, 0.6f * sun);
            const float cloud = SmoothStep(0.52f, 0.74f, Fbm(fx / 260, fy / 80, 7)) * (1 - SmoothStep(140, 400, fy));
            col = Mix(col, Mix({1, 1, 1}, {0.74f, 0.77f, 0.84f}, 0.7f * Fbm(fx / 90, fy / 30, 9)), 0.9f * cloud);
            if (fy > far[size_t(x)]) {
                // Slopes that face the sun (on the right) are lit, the others in shade.
                const float slope = far[size_t(std::min(x + 14, W - 1))] - far[size_t(std::max(x - 14, 0))];
                const float lit = 1.0f + 0.25f * std::clamp(slope / 40, -1.f, 1.f);
                const float depth = (fy - far[size_t(x)]) / 220;
                col = Mix({0.58f, 0.62f, 0.74f}, {0.36f, 0.43f, 0.55f}, Clamp01(depth));
                col = Scale(col, lit * (0.9f + 0.2f * Fbm(fx / 30, fy / 12, 17, 4)));
                if (fy < 255 + 35 * Fbm(fx / 40, 1.7f, 5, 3))
                    col = Mix(col, Scale({0.95f, 0.96f, 1.0f}, std::min(1.f, lit)), 0.9f);
            }
            if (fy > near[size_t(x)]) {
                col = Mix({0.20f, 0.36f, 0.22f}, {0.12f, 0.26f, 0.15f}, Clamp01((fy - near[size_t(x)]) / 60));
                col = Scale(col, 0.8f + 0.4f * Fbm(fx / 7, fy / 7, 41, 3));
            }
            c.At(x, y) = col;
        }
    // Pines along the shore.
    for (uint32_t k = 0; k < 40; ++k) {
        const float tx = k * 27.f + 20 * Random01(k, 11), height = 38 + 46 * Random01(k, 12), half = height * 0.24f;
        c.Shape(tx - half, water - height, tx + half, water, [&](float x, float y, Rgb& out) {
            const float up = (water - y) / height;
            const float notch = 0.82f + 0.18f * std::sin(up * 22);  // layers of branches
            out = Scale({0.07f, 0.19f, 0.11f}, 0.8f + 0.4f * Random01(k, 13));
            return Clamp01(half * (1 - up) * notch - std::fabs(x - tx) + 0.5f);
        });
    }
    // The lake mirrors everything above, rippled and darkened with depth.
    for (int y = int(water); y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float k = (y - water) / (H - water);
            const int sx = std::clamp(int(x + 3 * std::sin(y * 0.35f + x * 0.01f)), 0, W - 1);
            const int sy = std::clamp(int(2 * water - y - 1 + 2 * std::sin(x * 0.02f + y * 0.5f)), 0, int(water) - 1);
            Rgb col = Mix(c.At(sx, sy), {0.08f, 0.22f, 0.32f}, 0.3f + 0.45f * k);
            col = Mix(col, {0.9f, 0.95f, 1.0f}, 0.25f * SmoothStep(0.86f, 0.98f, Fbm(x / 60.f, y / 2.5f, 51, 3)));
            c.At(x, y) = col;
        }
    // Meadow in front, then the grain of a photograph.
    std::vector<float> meadow(W);
    for (int x = 0; x < W; ++x)
        meadow[size_t(x)] = 715 - 30 * Fbm(x / 90.f, 2.f, 61, 4);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float edge = meadow[size_t(x)];
            if (y + 0.5f > edge)
                c.At(x, y) = Scale(Mix({0.30f, 0.48f, 0.16f}, {0.20f, 0.34f, 0.10f}, (y - edge) / 60),
                                   0.75f + 0.5f * Fbm(x / 3.f, y / 9.f, 71, 3));
            c.At(x, y) = Scale(c.At(x, y), 0.97f + 0.06f * Random01(uint32_t(x) * 7919u + 3, uint32_t(y)));
        }
    return c;
}

// A pink flower on a soft green background with out-of-focus light: 800 × 600.
Canvas DrawFlower()
{
    const int W = 800, H = 600;
    const float cx = 400, cy = 290;
    Canvas c(W, H);
    c.Fill([&](float, float y) { return Mix({0.06f, 0.20f, 0.09f}, {0.20f, 0.40f, 0.14f}, y / H); });
    for (uint32_t k = 0; k < 34; ++k)
        c.Disc(W * Random01(k, 21), H * Random01(k, 22), 20 + 50 * Random01(k, 23),
               Mix({0.70f, 0.90f, 0.40f}, {1.0f, 0.98f, 0.75f}, Random01(k, 24)), 0.10f + 0.15f * Random01(k, 25), 14);
    // Stem and leaf.
    for (int s = 0; s <= 120; ++s) {
        const float u = s / 120.f;
        const float x = (1 - u) * (1 - u) * 430 + 2 * u * (1 - u) * 470 + u * u * cx, y = H + 10 - u * (H + 10 - cy);
        c.Disc(x, y, 9, {0.18f, 0.46f, 0.16f}, 1.0f);
    }
    c.Ellipse(500, 500, 75, 22, -0.5f, {0.20f, 0.52f, 0.18f}, 1.0f);
    c.Ellipse(506, 496, 60, 5, -0.5f, {0.32f, 0.64f, 0.26f}, 0.7f);
    // Two rings of petals, each with a lighter blush towards its tip.
    for (int ring = 0; ring < 2; ++ring) {
        const float length = ring ? 100.f : 122.f, width = ring ? 36.f : 42.f;
        const Rgb colour = ring ? Rgb{0.98f, 0.56f, 0.74f} : Rgb{0.84f, 0.34f, 0.56f};
        for (int k = 0; k < 12; ++k) {
            const float a = (k + 0.5f * ring) * 2 * kPi / 12 + 0.13f;
            c.Ellipse(cx + std::cos(a) * length, cy + std::sin(a) * length, length, width, a, colour, 1.0f);
            c.Ellipse(cx + std::cos(a) * length * 1.35f, cy + std::sin(a) * length * 1.35f, length * 0.5f,
                      width * 0.55f, a, {1.0f, 0.85f, 0.92f}, 0.35f, 8);
        }
    }
    // The heart: seeds laid out on the golden angle.
    c.Disc(cx, cy, 62, {0.50f, 0.28f, 0.05f}, 1.0f);
    for (int n = 1; n < 230; ++n) {
        const float r = 4.0f * std::sqrt(float(n)), a = n * 2.39996f;
        c.Disc(cx + r * std::cos(a), cy + r * std::sin(a), 3.0f,
               Mix({1.0f, 0.84f, 0.22f}, {0.78f, 0.46f, 0.05f}, r / 62), 1.0f);
    }
    return c;
}

// One frame of a butterfly, wings open by `open` (0..1), on a clear 128 × 128.
Canvas DrawButterfly(float open, float bob)
{
    Canvas c(128, 128, true);
    const float cx = 64, cy = 62 + bob;
    for (int side = -1; side <= 1; side += 2) {
        const float s = float(side);
        c.Ellipse(cx + s * 30 * open, cy - 15, 32 * open + 1.5f, 28, -0.35f * s, {0.16f, 0.08f, 0.03f}, 1.0f);
        c.Ellipse(cx + s * 30 * open, cy - 15, 32 * open - 2.5f, 24, -0.35f * s, {1.0f, 0.55f, 0.08f}, 1.0f);
        c.Ellipse(cx + s * 22 * open, cy + 18, 22 * open + 1.5f, 20, 0.5f * s, {0.16f, 0.08f, 0.03f}, 1.0f);
        c.Ellipse(cx + s * 22 * open, cy + 18, 22 * open - 2.0f, 16, 0.5f * s, {1.0f, 0.78f, 0.20f}, 1.0f);
        if (open > 0.5f) {
            c.Disc(cx + s * 48 * open, cy - 28, 4.5f * open, {1, 1, 1}, 1.0f);
            c.Disc(cx + s * 38 * open, cy - 34, 3.0f * open, {1, 1, 1}, 1.0f);
        }
    }
    c.Ellipse(cx, cy, 5, 30, 0, {0.12f, 0.08f, 0.05f}, 1.0f);
    for (int k = 0; k < 12; ++k)
        for (int side = -1; side <= 1; side += 2)
            c.Disc(cx + side * (2 + k * 0.8f), cy - 30 - k * 1.6f, 1.3f, {0.12f, 0.08f, 0.05f}, 1.0f);
    return c;
}

// Eight frames of 7 hundredths of a second, looping for ever.
bool WriteButterflyFrames(const std::string& path, int* frames, std::string* error)
{
    try {
        magick::EnsureReady();
        std::vector<Magick::Image> images;
        for (int k = 0; k < 8; ++k) {
            const float open = 0.2f + 0.8f * std::fabs(std::cos(kPi * k / 8));
            const Canvas c = DrawButterfly(open, 3 * std::sin(2 * kPi * k / 8));
            const std::vector<unsigned char> bytes = c.Rgba32(true);
            Magick::Image image(128u, 128u, "RGBA", Magick::CharPixel, bytes.data());
            image.animationDelay(7);
            image.animationIterations(0);
            image.gifDisposeMethod(2);  // each frame starts from a clear picture
            images.push_back(image);
        }
        Magick::writeImages(images.begin(), images.end(), path, true);
        *frames = int(images.size());
        return true;
    } catch (const std::exception& e) {
        *error = "cannot write the animated picture " + path + ": " + e.what();
        return false;
    }
}

// ---- music ------------------------------------------------------------------------

constexpr double kBeat = 0.625;  // 96 beats a minute
constexpr int kBars = 16;
static_assert(kBars * 4 * kBeat == kMusicSeconds, "the tune fills the music file");

struct Note {
    double start, length, hz, amplitude, pan, decay;
};

// A little tune over I–V–vi–IV in C: melody, arpeggio, bass and a quiet chord.
std::vector<Note> Tune()
{
    struct Bar {
        int chord[3];
        int bass;
        std::vector<std::pair<int, double>> melody;  // note, beats
    };
    const int C[3] = {60, 64, 67}, G[3] = {59, 62, 67}, Am[3] = {60, 64, 69}, F[3] = {60, 65, 69};
    auto bar = [](const int (&chord)[3], int bass, std::vector<std::pair<int, double>> melody) {
        return Bar{{chord[0], chord[1], chord[2]}, bass, std::move(melody)};
    };
    const std::vector<Bar> bars = {
        bar(C, 48, {{76, 1}, {74, 1}, {72, 1}, {74, 1}}), bar(G, 43, {{74, 2}, {71, 1}, {67, 1}}),
        bar(Am, 45, {{72, 1}, {76, 1}, {81, 1}, {79, 1}}), bar(F, 41, {{77, 2}, {76, 1}, {74, 1}}),
        bar(C, 48, {{76, 1}, {79, 1}, {84, 1}, {83, 1}}), bar(G, 43, {{81, 1}, {79, 1}, {74, 2}}),
        bar(Am, 45, {{76, 1}, {72, 1}, {69, 1}, {72, 1}}), bar(F, 41, {{74, 3}, {72, 1}}),
        bar(F, 41, {{72, 1}, {77, 1}, {81, 1}, {77, 1}}), bar(G, 43, {{79, 1}, {74, 1}, {71, 1}, {74, 1}}),
        bar(C, 48, {{76, 2}, {79, 2}}), bar(Am, 45, {{81, 1}, {79, 1}, {76, 1}, {72, 1}}),
        bar(F, 41, {{77, 1}, {81, 1}, {84, 1}, {81, 1}}), bar(G, 43, {{79, 2}, {83, 1}, {86, 1}}),
        bar(C, 48, {{84, 2}, {79, 1}, {76, 1}}), bar(C, 48, {{72, 4}}),
    };
    static const int arpeggio[8] = {0, 1, 2, 1, 0, 1, 2, 1};
    std::vector<Note> notes;
    for (size_t b = 0; b < bars.size(); ++b) {
        const double start = double(b) * 4 * kBeat;
        double at = start;
        for (const auto& m : bars[b].melody) {
            notes.push_back({at, m.second * kBeat, MidiHz(m.first), 5200, 0.35, 0.55 + 0.25 * m.second});
            at += m.second * kBeat;
        }
        for (int e = 0; e < 8; ++e)
            notes.push_back({start + e * kBeat / 2, kBeat / 2, MidiHz(bars[b].chord[arpeggio[e]]), 2000, -0.45, 0.25});
        for (int beat : {0, 2})
            notes.push_back({start + beat * kBeat, 2 * kBeat, MidiHz(bars[b].bass), 4200, 0.0, 0.6});
        for (int tone : bars[b].chord)  // a quiet, slowly fading chord under the bar
            notes.push_back({start, 4 * kBeat, MidiHz(tone - 12), 900, 0.0, 3.0});
    }
    return notes;
}

// The tune as 16-bit stereo samples at 44.1 kHz, kMusicSeconds long.
std::vector<int16_t> MakeMusic()
{
    const size_t frames = size_t(kMusicSeconds * kSampleRate);
    std::vector<double> left(frames), right(frames);
    for (const Note& n : Tune()) {
        const size_t first = size_t(n.start * kSampleRate);
        const double release = 0.25, end = n.start + n.length + release;
        const size_t last = std::min(frames, size_t(end * kSampleRate));
        for (size_t i = first; i < last; ++i) {
            const double t = double(i) / kSampleRate, tau = t - n.start;
            const double off = std::min(1.0, (end - t) / release);  // let go softly
            const Stereo s = Pan(n.amplitude * Bell(n.hz, tau, n.decay) * off, n.pan);
            left[i] += s.l;
            right[i] += s.r;
        }
    }
    std::vector<int16_t> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / kSampleRate;
        const double env = Envelope(t, kMusicSeconds, 0.05, 2.0);
        pcm[i * 2] = Pcm(left[i] * env);
        pcm[i * 2 + 1] = Pcm(right[i] * env);
    }
    return pcm;
}

void PutLe(std::vector<unsigned char>& out, uint32_t v, int bytes)
{
    for (int k = 0; k < bytes; ++k)
        out.push_back((unsigned char)(v >> (8 * k)));
}

// A canonical 44-byte RIFF WAVE header followed by the samples.
bool WriteWav(const std::string& path, const std::vector<int16_t>& pcm, int channels, int rate,
                     std::string* error)
{
    const uint32_t dataBytes = uint32_t(pcm.size() * 2);
    std::vector<unsigned char> bytes;
    bytes.reserve(44 + dataBytes);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    PutLe(bytes, 36 + dataBytes, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(bytes, 16, 4);                                 // format chunk size
    PutLe(bytes, 1, 2);                                  // PCM
    PutLe(bytes, uint32_t(channels), 2);
    PutLe(bytes, uint32_t(rate), 4);
    PutLe(bytes, uint32_t(rate * channels * 2), 4);      // bytes a second
    PutLe(bytes, uint32_t(channels * 2), 2);             // block alignment
    PutLe(bytes, 16, 2);                                 // bits a sample
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    PutLe(bytes, dataBytes, 4);
    for (int16_t s : pcm)
        PutLe(bytes, uint32_t(uint16_t(s)), 2);

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const int saved = errno;
    if (std::fclose(f) != 0 || !written) {
        *error = "cannot write " + path + ": " + std::strerror(written ? errno : saved);
        return false;
    }
    return true;
}

}  // namespace

bool WriteBayClip(const std::string& path, std::string* error)
{
    return WriteClip(path, kCodecMpeg2Video, 6000000, kCodecMp2, 192000, DrawBay, BaySound, error);
}

bool WriteBubbleClip(const std::string& path, std::string* error)
{
    return WriteClip(path, kCodecMpeg4, 4000000, kCodecMp3, 160000, DrawBubbles, BubbleSound, error);
}

bool WriteLandscape(const std::string& path, std::string* error)
{
    return WritePicture(DrawLandscape(), path, false, error);
}

bool WriteFlower(const std::string& path, std::string* error) { return WritePicture(DrawFlower(), path, false, error); }

bool WriteButterflyGif(const std::string& path, int* frames, std::string* error)
{
    return WriteButterflyFrames(path, frames, error);
}

bool WriteMusic(const std::string& path, std::string* error)
{
    return WriteWav(path, MakeMusic(), kChannels, kSampleRate, error);
}

}  // namespace demomaker
}  // namespace zolvex
