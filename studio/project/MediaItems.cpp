#include "studio/project/MediaItems.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <jpeglib.h>

#include "filter/media/TavmAudioSource.h"
#include "filter/media/TavmDetReader.h"
#include "filter/media/TavmMediaReader.h"
#include "studio/project/TavImage.h"

namespace zolvex {
namespace studio {

namespace {

constexpr int kThumbQuality = 75;

const char* const kPictureExts[] = {".JPG", ".JPEG", ".GIF", ".BMP", ".TIFF", ".TIF", ".PNG", ".TGA", ".PCX"};
const char* const kVideoExts[] = {".MPG", ".MPEG", ".VOB", ".AVI", ".WMV", ".ASF", ".MOV", ".SWF"};
const char* const kAudioExts[] = {".QT", ".WAV", ".MP3", ".WMA"};

template <size_t N>
bool InList(const std::string& ext, const char* const (&list)[N])
{
    for (const char* e : list)
        if (ext == e)
            return true;
    return false;
}

// The extension with its dot, from the file-name part only.
std::string ExtensionOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return path.substr(dot);
}

template <size_t N>
void Put(char (&field)[N], const std::string& text)
{
    const size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    field[n] = 0;
}

SYSTEMTIME ToSystemTime(const struct timespec& t)
{
    SYSTEMTIME st{};
    struct tm tm;
    const time_t seconds = t.tv_sec;
    if (!gmtime_r(&seconds, &tm))
        return st;
    st.wYear = WORD(tm.tm_year + 1900);
    st.wMonth = WORD(tm.tm_mon + 1);
    st.wDayOfWeek = WORD(tm.tm_wday);
    st.wDay = WORD(tm.tm_mday);
    st.wHour = WORD(tm.tm_hour);
    st.wMinute = WORD(tm.tm_min);
    st.wSecond = WORD(tm.tm_sec);
    st.wMilliseconds = WORD(t.tv_nsec / 1000000);
    return st;
}

// Nearest-neighbour sampling of a frame into the thumbnail: column x takes source
// column round(x × w ÷ 100), row y (from the bottom) source row round(y × h ÷ 90)
// counted from the bottom; what falls outside the frame stays black. `pixel` gives
// the blue-green-red of a source pixel by column and row from the bottom.
template <class Pixel>
std::vector<unsigned char> SampleThumbnail(int w, int h, Pixel pixel)
{
    std::vector<unsigned char> out(size_t(kThumbnailWidth) * kThumbnailHeight * 3, 0);
    for (int y = 0; y < kThumbnailHeight; ++y) {
        const long sy = std::lround(double(y) * h / kThumbnailHeight);
        if (sy >= h)
            continue;
        for (int x = 0; x < kThumbnailWidth; ++x) {
            const long sx = std::lround(double(x) * w / kThumbnailWidth);
            if (sx >= w)
                continue;
            pixel(int(sx), int(sy), &out[(size_t(y) * kThumbnailWidth + size_t(x)) * 3]);
        }
    }
    return out;
}

bool VideoThumbnail(MediaItem& item, std::vector<unsigned char>& picture)
{
    CTavmMediaReader reader(CTavmMediaReader::kStudioReader);
    if (reader.Open(item.szPath) && reader.ReadFrameAt(0.0) && reader.GetFrameData()) {
        const int w = reader.GetWidth(), h = reader.GetHeight();
        const unsigned char* rgb = reader.GetFrameData();  // top-down, red first
        picture = SampleThumbnail(w, h, [&](int x, int y, unsigned char* bgr) {
            const unsigned char* p = rgb + (size_t(h - 1 - y) * w + size_t(x)) * 3;
            bgr[0] = p[2];
            bgr[1] = p[1];
            bgr[2] = p[0];
        });
        item.nWidth = w;
        item.nHeight = h;
        item.dDuration = reader.GetDuration();
        return true;
    }
    CTavmDetReader det;
    if (det.Open(item.szPath) && det.ReadFrameAt(0.0) && det.GetFrameData()) {
        const int w = det.GetWidth(), h = det.GetHeight();
        const unsigned char* bgrRows = det.GetFrameData();  // bottom-up, blue first
        picture = SampleThumbnail(w, h, [&](int x, int y, unsigned char* bgr) {
            std::memcpy(bgr, bgrRows + (size_t(y) * w + size_t(x)) * 3, 3);
        });
        item.nWidth = w;
        item.nHeight = h;
        item.dDuration = det.GetDuration();
        return true;
    }
    return false;
}

// The picture fitted into the thumbnail with its shape kept, centred on black.
bool PictureThumbnail(MediaItem& item, std::vector<unsigned char>& picture)
{
    CTavImage image;
    if (!image.LoadPhoto(item.szPath))
        return false;
    std::vector<unsigned char> pixels;
    int w = 0, h = 0;
    if (!image.GetPixels24(pixels, w, h) || w <= 0 || h <= 0)
        return false;
    item.nWidth = w;
    item.nHeight = h;
    const double scale = std::min(double(kThumbnailWidth) / w, double(kThumbnailHeight) / h);
    const int fw = std::max(1, std::min(kThumbnailWidth, int(std::lround(w * scale))));
    const int fh = std::max(1, std::min(kThumbnailHeight, int(std::lround(h * scale))));
    image.Resample(fw, fh);
    if (!image.GetPixels24(pixels, w, h) || w != fw || h != fh)
        return false;
    picture.assign(size_t(kThumbnailWidth) * kThumbnailHeight * 3, 0);
    const int left = (kThumbnailWidth - fw) / 2, bottom = (kThumbnailHeight - fh) / 2;
    for (int y = 0; y < fh; ++y)
        std::memcpy(&picture[(size_t(bottom + y) * kThumbnailWidth + size_t(left)) * 3], &pixels[size_t(y) * fw * 3],
                    size_t(fw) * 3);
    return true;
}

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

void JpegFail(j_common_ptr cinfo)
{
    longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

}  // namespace

int MediaKindOf(const char* path)
{
    if (!path)
        return -1;
    std::string ext = ExtensionOf(path);
    for (char& c : ext)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (InList(ext, kPictureExts))
        return MEDIA_PICTURE;
    if (InList(ext, kVideoExts))
        return MEDIA_VIDEO;
    if (InList(ext, kAudioExts))
        return MEDIA_AUDIO;
    return -1;
}

bool BuildMediaItem(const char* path, MediaItem& item)
{
    if (!path || strnlen(path, sizeof item.szPath) >= sizeof item.szPath)
        return false;
    const int kind = MediaKindOf(path);
    struct statx sx;
    if (kind < 0 || statx(AT_FDCWD, path, 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0 || !S_ISREG(sx.stx_mode))
        return false;
    std::memset(&item, 0, sizeof item);
    const std::string full = path;
    const size_t slash = full.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? full : full.substr(slash + 1);
    std::string ext = ExtensionOf(full);
    file.resize(file.size() - ext.size());
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    Put(item.szPath, full);
    Put(item.szDir, dir);
    Put(item.szName, file);
    Put(item.szExt, ext);
    item.nKind = kind;
    item.nFileSize = uint32_t(sx.stx_size);
    auto ts = [](const struct statx_timestamp& t) { return timespec{time_t(t.tv_sec), long(t.tv_nsec)}; };
    // A file system that keeps no birth time gives the last status change instead.
    item.stCreation = ToSystemTime(ts((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime));
    item.stLastAccess = ToSystemTime(ts(sx.stx_atime));
    item.stLastWrite = ToSystemTime(ts(sx.stx_mtime));
    return true;
}

bool MakeThumbnail(MediaItem& item, MediaThumbnail& thumbnail)
{
    std::vector<unsigned char> picture;
    switch (item.nKind) {
    case MEDIA_VIDEO:
        if (!VideoThumbnail(item, picture))
            return false;
        break;
    case MEDIA_PICTURE:
        if (!PictureThumbnail(item, picture))
            return false;
        break;
    case MEDIA_AUDIO: {
        picture = AudioThumbnailPicture();
        // The length shows in the library and tells a music object when to loop; one
        // of zero would make it loop without end.
        CTavmAudioSource sound;
        if (sound.Decode(false, item.szPath, 0.0, 4, Pcm16(2, 44100)) && sound.DurationSeconds() > 0)
            item.dDuration = sound.DurationSeconds();
        break;
    }
    default: return false;
    }
    return EncodeJpeg(picture.data(), kThumbnailWidth, kThumbnailHeight, kThumbQuality, thumbnail);
}

bool CreateMediaItem(const char* path, MediaItem& item, MediaThumbnail& thumbnail)
{
    return BuildMediaItem(path, item) && MakeThumbnail(item, thumbnail);
}

bool EncodeJpeg(const unsigned char* bgrBottomUp, int width, int height, int quality,
                std::vector<unsigned char>& jpeg)
{
    if (!bgrBottomUp || width <= 0 || height <= 0 || width > 65500 || height > 65500)
        return false;
    jpeg_compress_struct cinfo;
    JpegError error;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<unsigned char> row(size_t(width) * 3);
    cinfo.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = JpegFail;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        // JPEG rows run top-down in red-green-blue.
        const unsigned char* src = bgrBottomUp + size_t(height - 1 - int(cinfo.next_scanline)) * width * 3;
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = src[x * 3 + 2];
            row[size_t(x) * 3 + 1] = src[x * 3 + 1];
            row[size_t(x) * 3 + 2] = src[x * 3];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg.assign(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return true;
}

const std::vector<unsigned char>& AudioThumbnailPicture()
{
    // A white eighth note with two sound arcs on a deep blue ground, drawn once.
    static const std::vector<unsigned char> picture = [] {
        const int w = kThumbnailWidth, h = kThumbnailHeight;
        std::vector<unsigned char> p(size_t(w) * h * 3);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                unsigned char* px = &p[(size_t(y) * w + size_t(x)) * 3];
                const int shade = 60 + y;  // lighter towards the top (rows run bottom-up)
                px[0] = (unsigned char)std::min(255, shade + 60);
                px[1] = (unsigned char)(shade / 2);
                px[2] = (unsigned char)(shade / 4);
                const double hx = x - 38.0, hy = y - 25.0;
                const bool head = (hx * hx) / 110.0 + (hy * hy) / 55.0 <= 1.0;  // the note's head
                const bool stem = x >= 45 && x <= 48 && y >= 25 && y <= 72;
                const bool flag = y >= 58 && y <= 72 && x > 48 && x <= 48 + (y - 56) / 2 + (72 - y);
                const double ax = x - 40.0, ay = y - 45.0, r = std::sqrt(ax * ax + ay * ay);
                const bool arc = ax > 0 && std::fabs(ay) < ax * 1.1 &&
                                 ((r > 36 && r < 39.5) || (r > 44 && r < 47.5));
                if (head || stem || flag || arc)
                    px[0] = px[1] = px[2] = 255;
            }
        }
        return p;
    }();
    return picture;
}

}  // namespace studio
}  // namespace zolvex
