// Animated pictures decoded with GraphicsMagick, and the GraphicsMagick set-up and
// reading steps the picture scenes share with them.
#include "filter/media/AnimatedPicture.h"

#include <algorithm>
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

AnimatedPicture* AnimatedPicture::Load(const char* path, std::string* why)
{
    using namespace magick;
    auto fail = [why](const char* reason) -> AnimatedPicture* {
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
        // Composed frames take the size of the logical screen, which may be far
        // larger than the frames themselves.
        const uint64_t frames = GetImageListLength(pinged.get());
        const uint64_t canvas = uint64_t(std::max(pinged->page.width, pinged->columns)) *
                                uint64_t(std::max(pinged->page.height, pinged->rows));
        if (canvas == 0 || canvas > kMaxPixels || frames * canvas > kMaxPixels)
            return fail(kTooLarge);
        const std::string format = pinged->magick;
        pinged.reset();

        ImageList decoded = Decode(bytes, format, kMaxFrames + 1);
        bytes = std::vector<unsigned char>();
        if (!WithinLimits(decoded.get()) || !WidenToScreen(decoded))
            return fail(kDamaged);
        // The frames of a GIF are changes to the picture before them; pages of other
        // formats are whole. GraphicsMagick composes sequences only.
        ImageList composed;
        if (decoded->next && (format == "GIF" || format == "GIF87")) {
            ExceptionInfo ex;
            GetExceptionInfo(&ex);
            composed.reset(CoalesceImages(decoded.get(), &ex));
            if (ex.severity >= ErrorException)
                composed.reset();
            DestroyExceptionInfo(&ex);
            decoded.reset();
        } else {
            composed = std::move(decoded);
        }
        if (!WithinLimits(composed.get()))
            return fail(kDamaged);

        std::unique_ptr<AnimatedPicture> picture(new AnimatedPicture);
        picture->width_ = int(composed->columns);
        picture->height_ = int(composed->rows);
        const size_t frameBytes = size_t(picture->width_) * size_t(picture->height_) * 4;
        const size_t count = GetImageListLength(composed.get());
        picture->pixels_.assign(frameBytes * count, 0);
        picture->delays_.reserve(count);
        std::vector<unsigned char> row;
        size_t k = 0;
        for (Image* p = composed.get(); p; p = p->next, ++k) {
            if (!MakeRgb(p))
                return fail(kDamaged);
            unsigned char* frame = picture->pixels_.data() + k * frameBytes;
            if (p->columns == composed->columns && p->rows == composed->rows) {
                if (!ExportRows(p, 0, p->rows, "BGRA", frame))
                    return fail(kDamaged);
            } else {
                // A frame of another size (pages of a TIFF) keeps its top-left part.
                const size_t w = std::min<size_t>(p->columns, size_t(picture->width_));
                const long h = long(std::min<size_t>(p->rows, size_t(picture->height_)));
                row.resize(size_t(p->columns) * 4);
                for (long y = 0; y < h; ++y) {
                    if (!ExportRows(p, y, 1, "BGRA", row.data()))
                        return fail(kDamaged);
                    std::memcpy(frame + size_t(y) * size_t(picture->width_) * 4, row.data(), w * 4);
                }
            }
            picture->delays_.push_back(int32_t(std::min<unsigned long>(p->delay, INT32_MAX)));
        }
        return picture.release();
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to decode it");
    }
}

const unsigned char* AnimatedPicture::Frame(int index) const
{
    if (index < 0 || index >= FrameCount())
        return nullptr;
    return pixels_.data() + size_t(index) * size_t(width_) * size_t(height_) * 4;
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

void CloseStickerPicture(StickerOp& op)
{
    delete static_cast<AnimatedPicture*>(op.hImage);
    op.hImage = nullptr;
    op.pDelays = nullptr;
}

}  // namespace zolvex
