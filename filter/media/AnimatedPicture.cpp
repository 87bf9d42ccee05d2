// Animated pictures decoded with GraphicsMagick, and the GraphicsMagick set-up and
// reading steps the picture scenes share with them.
#include "filter/media/AnimatedPicture.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "filter/media/MagickSupport.h"
#include "filter/timeline/model/TimelineRecords.h"
#include "platform/ReadFile.h"

namespace zolvex {
namespace magick {

bool EnsureReady()
{
    // A function-local static is initialised exactly once even when the renderer's
    // streaming thread and the studio's thread get here together.
    // GraphicsMagick would install its own handlers for SIGINT, SIGTERM and the like,
    // which end the process before the program can remove a half-written movie: the
    // program that uses us owns its signals.
    static const bool ready = [] {
        ExceptionInfo exception;
        GetExceptionInfo(&exception);
        InitializeMagickEx(nullptr, MAGICK_OPT_NO_SIGNAL_HANDER, &exception);
        DestroyExceptionInfo(&exception);
        SetMagickResourceLimit(PixelsResource, int64_t(kMaxPixels));
        return true;
    }();
    return ready;
}

bool ReadWholeFile(const char* path, std::vector<unsigned char>& bytes, std::string* why)
{
    if (!ReadRegularFile(path, kMaxFileBytes, bytes, why))
        return false;
    if (bytes.empty()) {
        if (why)
            *why = "the file is empty";
        return false;
    }
    return true;
}

namespace {

ImageList Read(const std::vector<unsigned char>& bytes, const std::string& format, unsigned frames, bool ping)
{
    if (bytes.empty() || format.size() > 32)
        return nullptr;
    ImageInfo* info = CloneImageInfo(nullptr);
    if (!info)
        return nullptr;
    info->subimage = 0;
    info->subrange = frames;
    if (!format.empty()) {
        // "FORMAT:" with affirm set makes GraphicsMagick take the format as told
        // instead of sniffing the bytes.
        std::snprintf(info->filename, sizeof info->filename, "%s:", format.c_str());
        std::snprintf(info->magick, sizeof info->magick, "%s", format.c_str());
        info->affirm = 1;
    }
    ExceptionInfo ex;
    GetExceptionInfo(&ex);
    ImageList list(ping ? PingBlob(info, bytes.data(), bytes.size(), &ex)
                        : BlobToImage(info, bytes.data(), bytes.size(), &ex));
    if (ex.severity >= ErrorException)
        list.reset();
    DestroyExceptionInfo(&ex);
    DestroyImageInfo(info);
    return list;
}

}  // namespace

ImageList Ping(const std::vector<unsigned char>& bytes, const std::string& format, unsigned frames)
{
    return Read(bytes, format, frames, true);
}

ImageList Decode(const std::vector<unsigned char>& bytes, const std::string& format, unsigned frames)
{
    return Read(bytes, format, frames, false);
}

bool WithinLimits(const Image* list)
{
    if (!list)
        return false;
    uint64_t pixels = 0;
    unsigned count = 0;
    for (const Image* p = list; p; p = p->next) {
        if (++count > kMaxFrames || p->columns == 0 || p->rows == 0 || p->columns > kMaxPixels ||
            p->rows > kMaxPixels)
            return false;
        pixels += uint64_t(p->columns) * uint64_t(p->rows);
        if (pixels > kMaxPixels)
            return false;
    }
    return true;
}

bool IsSystemFormat(const char* magick)
{
    static const char* const kFormats[] = {"BMP", "BMP2", "BMP3", "GIF", "GIF87", "JPEG", "PNG",
                                           "TIFF", "TIFF64", "ICO", "WMF"};
    for (const char* f : kFormats)
        if (magick && std::strcmp(magick, f) == 0)
            return true;
    return false;
}

bool ExportRows(const Image* image, long y, unsigned long rows, const char* map, unsigned char* out)
{
    if (!image || !out)
        return false;
    ExceptionInfo ex;
    GetExceptionInfo(&ex);
    const bool ok = DispatchImage(image, 0, y, image->columns, rows, map, CharPixel, out, &ex) == MagickPass &&
                    ex.severity < ErrorException;
    DestroyExceptionInfo(&ex);
    return ok;
}

bool MakeRgb(Image* image)
{
    if (!image)
        return false;
    if (image->colorspace == RGBColorspace || image->colorspace == sRGBColorspace ||
        image->colorspace == GRAYColorspace)
        return true;
    return TransformColorspace(image, RGBColorspace) == MagickPass;
}

bool WidenToScreen(ImageList& list)
{
    Image* first = list.get();
    if (!first || (std::strcmp(first->magick, "GIF") != 0 && std::strcmp(first->magick, "GIF87") != 0))
        return true;
    const unsigned long w = std::max(first->page.width, first->columns);
    const unsigned long h = std::max(first->page.height, first->rows);
    if (w == first->columns && h == first->rows && first->page.x == 0 && first->page.y == 0)
        return true;
    if (uint64_t(w) * uint64_t(h) * GetImageListLength(first) > kMaxPixels)
        return false;
    ExceptionInfo ex;
    GetExceptionInfo(&ex);
    Image* screen = CloneImage(first, w, h, MagickTrue, &ex);
    DestroyExceptionInfo(&ex);
    if (!screen)
        return false;
    screen->matte = MagickTrue;
    if (SetImage(screen, TransparentOpacity) != MagickPass ||
        CompositeImage(screen, CopyCompositeOp, first, first->page.x, first->page.y) != MagickPass) {
        DestroyImage(screen);
        return false;
    }
    screen->page.x = screen->page.y = 0;
    screen->page.width = w;
    screen->page.height = h;
    Image* rest = list.release();
    DestroyImage(RemoveFirstImageFromList(&rest));
    if (rest)
        PrependImageToList(&rest, screen);
    list.reset(GetFirstImageInList(screen));
    return true;
}

}  // namespace magick

namespace {

// Decoded animated pictures live as long as the project that shows them, so what they
// hold is budgeted: each keeps its frames in at most kPictureBytes, scaled down as
// far as needed, and all of them together in at most kAllPicturesBytes.
constexpr uint64_t kPictureBytes = uint64_t(64) << 20;
constexpr uint64_t kAllPicturesBytes = uint64_t(512) << 20;
// What a load may hold while it decodes: GraphicsMagick keeps the frames as the file
// stores them (8 bytes a pixel), and the logical screen is composed at full size.
constexpr uint64_t kMaxStoredPixels = uint64_t(32) << 20;
constexpr uint64_t kMaxScreenPixels = uint64_t(4096) * 4096;

std::atomic<uint64_t> g_heldBytes{0};

// Claims `bytes` of the budget of all pictures; false when they do not fit.
bool Claim(uint64_t bytes)
{
    uint64_t held = g_heldBytes.load();
    do {
        if (held + bytes > kAllPicturesBytes)
            return false;
    } while (!g_heldBytes.compare_exchange_weak(held, held + bytes));
    return true;
}

// The largest size of the picture's aspect whose frames fit the picture's budget.
void StoredSize(int width, int height, uint64_t frames, int* w, int* h)
{
    const double bytes = double(width) * double(height) * 4.0 * double(frames);
    const double scale = bytes > double(kPictureBytes) ? std::sqrt(double(kPictureBytes) / bytes) : 1.0;
    *w = std::max(1, int(std::floor(width * scale)));
    *h = std::max(1, int(std::floor(height * scale)));
}

// A part of the screen, in screen pixels, [x0, x1) × [y0, y1).
struct Area {
    long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    void Add(const Area& o)
    {
        if (o.Empty())
            return;
        if (Empty()) {
            *this = o;
            return;
        }
        x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0), x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
    }
};

// Where a frame lies on the screen, cut to it.
Area FrameArea(const Image* frame, long sw, long sh)
{
    Area a;
    a.x0 = std::max<long>(frame->page.x, 0);
    a.y0 = std::max<long>(frame->page.y, 0);
    a.x1 = std::min<long>(frame->page.x + long(frame->columns), sw);
    a.y1 = std::min<long>(frame->page.y + long(frame->rows), sh);
    return a;
}

// The screen (sw × sh, BGRA) into a frame of w × h, over the stored pixels that
// `changed` touches: each stored pixel the mean of the screen pixels it covers,
// colours weighted by their alpha.
void Shrink(const unsigned char* screen, int sw, int sh, unsigned char* frame, int w, int h, const Area& changed)
{
    if (changed.Empty())
        return;
    if (w == sw && h == sh) {
        for (long y = changed.y0; y < changed.y1; ++y) {
            const size_t at = (size_t(y) * size_t(sw) + size_t(changed.x0)) * 4;
            std::memcpy(frame + at, screen + at, size_t(changed.x1 - changed.x0) * 4);
        }
        return;
    }
    // Stored pixel x covers screen columns [x·sw/w, (x+1)·sw/w); a margin of one
    // keeps every stored pixel whose box meets the change.
    const int fx0 = int(std::max<int64_t>(0, int64_t(changed.x0) * w / sw - 1));
    const int fx1 = int(std::min<int64_t>(w, int64_t(changed.x1) * w / sw + 2));
    const int fy0 = int(std::max<int64_t>(0, int64_t(changed.y0) * h / sh - 1));
    const int fy1 = int(std::min<int64_t>(h, int64_t(changed.y1) * h / sh + 2));
    for (int y = fy0; y < fy1; ++y) {
        const int y0 = int(int64_t(y) * sh / h), y1 = std::max(y0 + 1, int(int64_t(y + 1) * sh / h));
        for (int x = fx0; x < fx1; ++x) {
            const int x0 = int(int64_t(x) * sw / w), x1 = std::max(x0 + 1, int(int64_t(x + 1) * sw / w));
            uint64_t b = 0, g = 0, r = 0, a = 0;
            for (int yy = y0; yy < y1; ++yy) {
                const unsigned char* p = screen + (size_t(yy) * size_t(sw) + size_t(x0)) * 4;
                for (int xx = x0; xx < x1; ++xx, p += 4) {
                    b += uint64_t(p[0]) * p[3];
                    g += uint64_t(p[1]) * p[3];
                    r += uint64_t(p[2]) * p[3];
                    a += p[3];
                }
            }
            unsigned char* d = frame + (size_t(y) * size_t(w) + size_t(x)) * 4;
            const uint64_t n = uint64_t(x1 - x0) * uint64_t(y1 - y0);
            d[0] = a ? uint8_t((b + a / 2) / a) : 0;
            d[1] = a ? uint8_t((g + a / 2) / a) : 0;
            d[2] = a ? uint8_t((r + a / 2) / a) : 0;
            d[3] = uint8_t((a + n / 2) / n);
        }
    }
}

// One frame of the file laid on the screen at its page offset. A GIF frame is a
// change to the picture before it: its transparent pixels leave the screen as it was.
// A page of another format is whole and keeps its top-left part.
bool Lay(const Image* frame, bool gif, std::vector<unsigned char>& screen, int sw, int sh,
         std::vector<unsigned char>& row)
{
    using namespace magick;
    const long left = gif ? frame->page.x : 0, top = gif ? frame->page.y : 0;
    if (!gif)
        std::fill(screen.begin(), screen.end(), 0);
    row.resize(size_t(frame->columns) * 4);
    for (long y = 0; y < long(frame->rows); ++y) {
        const long sy = top + y;
        if (sy < 0 || sy >= sh)
            continue;
        if (!ExportRows(frame, y, 1, "BGRA", row.data()))
            return false;
        for (long x = 0; x < long(frame->columns); ++x) {
            const long sx = left + x;
            const unsigned char* s = row.data() + size_t(x) * 4;
            if (sx < 0 || sx >= sw || (gif && s[3] == 0))
                continue;
            std::memcpy(screen.data() + (size_t(sy) * size_t(sw) + size_t(sx)) * 4, s, 4);
        }
    }
    return true;
}

// What the frame leaves for the next one: its area cleared, or the screen as it was
// before the frame; anything else keeps it. The part of the screen that changed.
Area Dispose(const Image* frame, std::vector<unsigned char>& screen, const std::vector<unsigned char>& before,
             int sw, int sh)
{
    const Area area = FrameArea(frame, sw, sh);
    if (frame->dispose == PreviousDispose && !area.Empty()) {
        for (long y = area.y0; y < area.y1; ++y) {
            const size_t at = (size_t(y) * size_t(sw) + size_t(area.x0)) * 4;
            std::memcpy(screen.data() + at, before.data() + at, size_t(area.x1 - area.x0) * 4);
        }
        return area;
    }
    if (frame->dispose == BackgroundDispose && !area.Empty()) {
        for (long y = area.y0; y < area.y1; ++y)
            std::memset(screen.data() + (size_t(y) * size_t(sw) + size_t(area.x0)) * 4, 0,
                        size_t(area.x1 - area.x0) * 4);
        return area;
    }
    return Area();
}

}  // namespace

AnimatedPicture::~AnimatedPicture() { g_heldBytes -= pixels_.size(); }

AnimatedPicture* AnimatedPicture::Load(const char* path, std::string* why)
{
    using namespace magick;
    auto fail = [why](const std::string& reason) -> AnimatedPicture* {
        if (why)
            *why = reason;
        return nullptr;
    };
    if (!EnsureReady())
        return fail("the picture library could not start");
    try {
        std::vector<unsigned char> bytes;
        if (!ReadWholeFile(path, bytes, why))
            return nullptr;
        ImageList pinged = Ping(bytes, std::string(), kMaxFrames + 1);
        if (!pinged || !IsSystemFormat(pinged->magick))
            return fail(kNotAPicture);
        if (!WithinLimits(pinged.get()))
            return fail(kTooLarge);
        const std::string format = pinged->magick;
        const bool gif = format == "GIF" || format == "GIF87";
        // A GIF is shown on its logical screen, which its first frame need not fill;
        // the pages of other formats take the size of the first.
        const unsigned long sw = gif ? std::max(pinged->page.width, pinged->columns) : pinged->columns;
        const unsigned long sh = gif ? std::max(pinged->page.height, pinged->rows) : pinged->rows;
        const uint64_t frames = GetImageListLength(pinged.get());
        uint64_t stored = 0;
        for (const Image* p = pinged.get(); p; p = p->next)
            stored += uint64_t(p->columns) * uint64_t(p->rows);
        if (uint64_t(sw) * sh == 0 || uint64_t(sw) * sh > kMaxScreenPixels || stored > kMaxStoredPixels)
            return fail("too large to decode: the screen passes 4096 x 4096 pixels or the frames 32 million pixels "
                        "in all");
        pinged.reset();

        std::unique_ptr<AnimatedPicture> picture(new AnimatedPicture);
        picture->width_ = int(sw);
        picture->height_ = int(sh);
        StoredSize(picture->width_, picture->height_, frames, &picture->storedWidth_, &picture->storedHeight_);
        const size_t frameBytes = size_t(picture->storedWidth_) * size_t(picture->storedHeight_) * 4;
        if (!Claim(frameBytes * frames))
            return fail("the animated pictures open together would pass their memory budget of 512 MB");
        try {
            picture->pixels_.assign(frameBytes * frames, 0);
        } catch (...) {
            g_heldBytes -= frameBytes * frames;
            throw;
        }

        ImageList decoded = Decode(bytes, format, kMaxFrames + 1);
        bytes = std::vector<unsigned char>();
        if (!WithinLimits(decoded.get()) || GetImageListLength(decoded.get()) != frames)
            return fail(kDamaged);
        std::vector<unsigned char> screen(size_t(sw) * sh * 4, 0), before, row;
        picture->delays_.reserve(frames);
        const Area whole{0, 0, long(sw), long(sh)};
        // A GIF frame mostly changes a small part of the screen: a stored frame starts
        // as a copy of the one before and is made anew only where the screen changed.
        Area changed = whole;
        size_t k = 0;
        for (Image* p = decoded.get(); p; p = p->next, ++k) {
            if (!MakeRgb(p))
                return fail(kDamaged);
            if (gif && p->dispose == PreviousDispose)
                before = screen;
            if (!Lay(p, gif, screen, int(sw), int(sh), row))
                return fail(kDamaged);
            unsigned char* frame = picture->pixels_.data() + k * frameBytes;
            if (k > 0 && gif) {
                std::memcpy(frame, frame - frameBytes, frameBytes);
                changed.Add(FrameArea(p, long(sw), long(sh)));
            } else {
                changed = whole;
            }
            Shrink(screen.data(), int(sw), int(sh), frame, picture->storedWidth_, picture->storedHeight_, changed);
            changed = gif ? Dispose(p, screen, before, int(sw), int(sh)) : Area();
            picture->delays_.push_back(int32_t(std::min<unsigned long>(p->delay, INT32_MAX)));
        }
        return picture.release();
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to decode it");
    }
}

uint64_t AnimatedPicture::HeldBytes() { return g_heldBytes.load(); }

const unsigned char* AnimatedPicture::Frame(int index) const
{
    if (index < 0 || index >= FrameCount())
        return nullptr;
    return pixels_.data() + size_t(index) * size_t(storedWidth_) * size_t(storedHeight_) * 4;
}

void AnimatedPicture::SelectFrame(int index)
{
    if (index >= 0 && index < FrameCount())
        selected_ = index;
}

bool OpenStickerPicture(StickerOp& op, std::string* why)
{
    op.hImage = nullptr;
    op.pDelays = nullptr;
    op.nFrameCount = 0;
    // The path field must hold its terminator; a record without one names no file.
    if (std::memchr(op.szPath, 0, sizeof op.szPath) == nullptr || op.szPath[0] == 0) {
        if (why)
            *why = "no file name";
        return false;
    }
    AnimatedPicture* picture = AnimatedPicture::Load(op.szPath, why);
    if (!picture)
        return false;
    op.nWidth = picture->Width();
    op.nHeight = picture->Height();
    op.nAlpha = 255;
    op.nFrameCount = picture->FrameCount();
    op.pDelays = picture->Delays();
    op.hImage = picture;
    return true;
}

StickerOp ShareStickerPicture(const StickerOp& op)
{
    if (op.hImage)
        static_cast<AnimatedPicture*>(op.hImage)->Hold();
    return op;
}

void CloseStickerPicture(StickerOp& op)
{
    if (op.hImage)
        static_cast<AnimatedPicture*>(op.hImage)->LetGo();
    op.hImage = nullptr;
    op.pDelays = nullptr;
}

}  // namespace zolvex
