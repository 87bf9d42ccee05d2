#include "studio/maker/SymbolLibrary.h"

#include <Magick++.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "filter/media/MagickReady.h"
#include "platform/ReadFile.h"
#include "platform/ReplacingFile.h"

namespace zolvex {
namespace studio {

namespace {

// A picture file larger than this is no symbol picture.
constexpr uint64_t kMaxPictureBytes = uint64_t(256) << 20;

void PutInt(std::vector<uint8_t>& out, int32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(uint8_t(uint32_t(v) >> (8 * k)));
}

// Reads the file's words and bytes without ever passing its end.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& bytes) : b_(bytes) {}
    bool Int(int32_t& v)
    {
        if (b_.size() - pos_ < 4)
            return false;
        v = int32_t(uint32_t(b_[pos_]) | uint32_t(b_[pos_ + 1]) << 8 | uint32_t(b_[pos_ + 2]) << 16 |
                    uint32_t(b_[pos_ + 3]) << 24);
        pos_ += 4;
        return true;
    }
    bool Bytes(size_t n, std::vector<uint8_t>& to)
    {
        if (b_.size() - pos_ < n)
            return false;
        to.assign(b_.begin() + std::ptrdiff_t(pos_), b_.begin() + std::ptrdiff_t(pos_ + n));
        pos_ += n;
        return true;
    }

private:
    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
};

// The picture's size as the decoder reads it; false when it cannot.
bool PictureSize(const std::vector<uint8_t>& bytes, int32_t* width, int32_t* height)
{
    if (!magick::EnsureReady() || bytes.empty())
        return false;
    try {
        Magick::Image image;
        image.ping(Magick::Blob(bytes.data(), bytes.size()));
        *width = int32_t(image.columns());
        *height = int32_t(image.rows());
        return *width > 0 && *height > 0;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

SymbolLibrary::SymbolLibrary(const std::string& folder) : folder_(folder)
{
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
}

bool SymbolLibrary::Load()
{
    symbols_.clear();
    std::vector<uint8_t> bytes;
    if (!ReadRegularFile(Path().c_str(), uint64_t(INT32_MAX), bytes))
        return false;
    Reader in(bytes);
    int32_t count = 0;
    if (!in.Int(count) || count < 0)
        return false;
    for (int32_t i = 0; i < count; ++i) {
        int32_t size = 0, pictures = 0;
        if (!in.Int(size) || !in.Int(pictures) || pictures < 0 || size < 0)
            return false;
        Symbol symbol;
        for (int32_t k = 0; k < pictures; ++k) {
            Picture p;
            int32_t length = 0;
            if (!in.Int(length) || !in.Int(p.width) || !in.Int(p.height) || length < 0 ||
                !in.Bytes(size_t(length), p.bytes))
                return false;
            symbol.push_back(std::move(p));
        }
        symbols_.push_back(std::move(symbol));
    }
    return true;
}

bool SymbolLibrary::Import(const std::vector<std::string>& paths)
{
    // Sizes first, then the contents, of every file that is there and decodes.
    Symbol symbol;
    int64_t byteSize = 0;
    for (const std::string& path : paths) {
        Picture p;
        if (!ReadRegularFile(path.c_str(), kMaxPictureBytes, p.bytes) || !PictureSize(p.bytes, &p.width, &p.height))
            continue;
        byteSize += int64_t(p.bytes.size()) + 12;
        if (byteSize > INT32_MAX)
            return false;
        symbol.push_back(std::move(p));
    }
    if (symbol.empty())
        return false;
    // The library as it stands (only what loads whole), then the new symbol.
    Load();
    std::vector<uint8_t> out;
    PutInt(out, int32_t(symbols_.size() + 1));
    auto write = [&out](const Symbol& s) {
        int64_t size = 0;
        for (const Picture& p : s)
            size += int64_t(p.bytes.size()) + 12;
        PutInt(out, int32_t(size));
        PutInt(out, int32_t(s.size()));
        for (const Picture& p : s) {
            PutInt(out, int32_t(p.bytes.size()));
            PutInt(out, p.width);
            PutInt(out, p.height);
            out.insert(out.end(), p.bytes.begin(), p.bytes.end());
        }
    };
    for (const Symbol& s : symbols_)
        write(s);
    write(symbol);
    ReplacingFile file;
    if (!file.Open(Path()) || !file.Write(out.data(), out.size()) || !file.Commit())
        return false;
    symbols_.push_back(std::move(symbol));
    return true;
}

bool SymbolLibrary::Decode(const Picture& picture, std::vector<uint8_t>* out, int* width, int* height)
{
    out->clear();
    *width = *height = 0;
    if (!magick::EnsureReady() || picture.bytes.empty())
        return false;
    try {
        Magick::Image image;
        image.read(Magick::Blob(picture.bytes.data(), picture.bytes.size()));
        const int w = int(image.columns()), h = int(image.rows());
        if (w <= 0 || h <= 0)
            return false;
        out->resize(size_t(w) * size_t(h) * 4);
        image.write(0, 0, unsigned(w), unsigned(h), "BGRA", Magick::CharPixel, out->data());
        *width = w;
        *height = h;
        return true;
    } catch (const std::exception&) {
        out->clear();
        return false;
    }
}

}  // namespace studio
}  // namespace zolvex
