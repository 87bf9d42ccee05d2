// The maker's symbol library: the file "Actors" in the data folder. Each library
// symbol is an animation whose pictures, kept byte for byte as the files were on disk,
// are its frames in order. Layout, little-endian int32s: the symbol count; per
// symbol its byte size (the sum over its pictures of file size + 12) and picture
// count; per picture the file size s, width and height, then the s bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zolvex {
namespace studio {

class SymbolLibrary {
public:
    static constexpr const char* kFileName = "Actors";

    struct Picture {
        int32_t width = 0, height = 0;
        std::vector<uint8_t> bytes;  // the picture file as it was
    };
    typedef std::vector<Picture> Symbol;

    // `folder` is the data folder (with or without its final "/").
    explicit SymbolLibrary(const std::string& folder);

    // Reads "Actors": the symbols that are whole; a cut or damaged file keeps those
    // before the damage. False when there is no file or it is damaged.
    bool Load();
    // The chosen picture files become ONE new symbol, in their order; files that do
    // not exist (or no decoder reads) are skipped. The library is written whole
    // beside the old one and put in its place, so a failure part way leaves the old
    // file as it was. False (nothing changes) when no file could be used or the file
    // could not be written.
    bool Import(const std::vector<std::string>& paths);

    int Count() const { return int(symbols_.size()); }
    const Symbol& At(int i) const { return symbols_[size_t(i)]; }
    std::string Path() const { return folder_ + kFileName; }

    // A stored picture decoded into width × height × 4 bytes: rows from the top,
    // blue-green-red-alpha, straight alpha. False (and *out empty) when the bytes do
    // not decode.
    static bool Decode(const Picture& picture, std::vector<uint8_t>* out, int* width, int* height);

private:
    std::string folder_;
    std::vector<Symbol> symbols_;
};

}  // namespace studio
}  // namespace zolvex
