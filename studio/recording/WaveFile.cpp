#include "studio/recording/WaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace zolvex {
namespace studio {

namespace {

// RIFF sizes are 32 bits; the RIFF size counts everything after its own 8 bytes.
constexpr uint64_t kMaxRiffSize = 0xFFFFFFFFull;

void Put16(std::vector<uint8_t>& b, uint16_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(uint8_t(v >> (8 * k)));
}

uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Bytes of the header up to the samples for a format: RIFF, "fmt " and "data".
uint64_t HeaderBytes(const WAVEFORMATEX& f) { return 12 + 8 + 18 + uint64_t(f.cbSize) + 8; }

bool Say(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

}  // namespace

WaveFile::~WaveFile()
{
    if (writing_)
        Close();
    else if (file_)
        std::fclose(file_);
}

bool WaveFile::Create(const std::string& path, const WAVEFORMATEX& format)
{
    if (file_)
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    file_ = fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        return false;
    }
    format_ = format;
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put32(h, 0);  // written at close
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(h, 18u + format.cbSize);
    Put16(h, format.wFormatTag);
    Put16(h, format.nChannels);
    Put32(h, format.nSamplesPerSec);
    Put32(h, format.nAvgBytesPerSec);
    Put16(h, format.nBlockAlign);
    Put16(h, format.wBitsPerSample);
    Put16(h, format.cbSize);
    h.insert(h.end(), format.cbSize, 0);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put32(h, 0);
    if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        std::fclose(file_);
        file_ = nullptr;
        unlink(path.c_str());
        return false;
    }
    writing_ = valid_ = true;
    dataBytes_ = 0;
    dataOffset_ = h.size();
    return true;
}

bool WaveFile::Write(const void* data, size_t bytes)
{
    if (!writing_ || !file_)
        return false;
    // The RIFF size is the header after its first 8 bytes and the samples (with a pad
    // byte for an odd count).
    const uint64_t riff = HeaderBytes(format_) - 8 + dataBytes_ + bytes + ((dataBytes_ + bytes) & 1);
    if (riff > kMaxRiffSize)
        return false;
    if (std::fwrite(data, 1, bytes, file_) != bytes || std::fflush(file_) != 0) {
        // A block is all or nothing: what did go in is taken back.
        std::clearerr(file_);
        const off_t whole = off_t(dataOffset_ + dataBytes_);
        if (ftruncate(fileno(file_), whole) == 0)
            fseeko(file_, whole, SEEK_SET);
        return false;
    }
    dataBytes_ += bytes;
    return true;
}

bool WaveFile::Close()
{
    if (!file_)
        return false;
    bool ok = true;
    if (writing_) {
        if (dataBytes_ & 1)
            ok = std::fputc(0, file_) != EOF;
        uint8_t word[4];
        const uint32_t riff = uint32_t(HeaderBytes(format_) - 8 + dataBytes_ + (dataBytes_ & 1));
        const uint32_t data = uint32_t(dataBytes_);
        for (int k = 0; k < 4; ++k)
            word[k] = uint8_t(riff >> (8 * k));
        ok = ok && fseeko(file_, 4, SEEK_SET) == 0 && std::fwrite(word, 1, 4, file_) == 4;
        for (int k = 0; k < 4; ++k)
            word[k] = uint8_t(data >> (8 * k));
        ok = ok && fseeko(file_, off_t(dataOffset_ - 4), SEEK_SET) == 0 && std::fwrite(word, 1, 4, file_) == 4;
        ok = std::fflush(file_) == 0 && ok;
    }
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    writing_ = false;
    return ok;
}

bool WaveFile::Open(const std::string& path, std::string* error)
{
    valid_ = false;
    if (file_)
        return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return Say(error, "Error descending into file");
    struct stat st;
    const uint64_t size = fstat(fileno(f), &st) == 0 ? uint64_t(st.st_size) : 0;
    uint8_t head[12];
    if (std::fread(head, 1, 12, f) != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        std::fclose(f);
        return Say(error, "Error descending into file");
    }
    // The chunks, walked by their sizes and never past the file's end.
    bool haveFormat = false;
    uint64_t at = 12;
    while (at + 8 <= size) {
        uint8_t chunk[8];
        if (fseeko(f, off_t(at), SEEK_SET) != 0 || std::fread(chunk, 1, 8, f) != 8)
            break;
        const uint64_t length = Get32(chunk + 4);
        const uint64_t body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[18] = {};
            if (length < 16 || body + length > size || std::fread(fmt, 1, size_t(std::min<uint64_t>(length, 18)), f) <
                                                            size_t(std::min<uint64_t>(length, 18))) {
                std::fclose(f);
                return Say(error, "Error ascending in File");
            }
            format_.wFormatTag = Get16(fmt);
            format_.nChannels = Get16(fmt + 2);
            format_.nSamplesPerSec = Get32(fmt + 4);
            format_.nAvgBytesPerSec = Get32(fmt + 8);
            format_.nBlockAlign = Get16(fmt + 12);
            format_.wBitsPerSample = Get16(fmt + 14);
            format_.cbSize = length >= 18 ? Get16(fmt + 16) : 0;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            std::fclose(f);
            if (!haveFormat)
                return Say(error, "Error descending in wave file");
            if (body + length > size)
                return Say(error, "error reading data chunk");
            dataOffset_ = body;
            dataBytes_ = length;
            valid_ = true;
            return true;
        }
        at = body + length + (length & 1);
    }
    std::fclose(f);
    return Say(error, haveFormat ? "error reading data chunk" : "Error descending in wave file");
}

std::string TemporaryWavePath(const std::string& folder)
{
    std::string base = folder;
    if (!base.empty() && base.back() != '/')
        base += '/';
    auto claim = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
        unlink(path.c_str());
        return true;
    };
    std::string path = base + "~temp001.wav";
    if (claim(path))
        return path;
    std::mt19937 random(std::random_device{}());
    for (int tries = 0; tries < 10000; ++tries) {
        path = base + "~temp" + std::to_string(random() % 100000) + ".wav";
        if (claim(path))
            return path;
    }
    return std::string();  // the folder takes no new file at all
}

}  // namespace studio
}  // namespace zolvex
