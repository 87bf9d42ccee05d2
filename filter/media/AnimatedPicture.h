// A decoded multi-frame picture (an animated GIF, say): the picture an animated
// picture object (StickerOp) carries in hImage, with its frame delays in pDelays.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Export.h"

struct StickerOp;

namespace zolvex {

class ZVF_API AnimatedPicture {
public:
    // Decodes every frame of the picture file, composed as a viewer shows them. Null,
    // with *why when given, when the file is missing, is not a picture or is too
    // large to hold.
    static AnimatedPicture* Load(const char* path, std::string* why = nullptr);

    ~AnimatedPicture();
    AnimatedPicture(const AnimatedPicture&) = delete;
    AnimatedPicture& operator=(const AnimatedPicture&) = delete;

    // The picture's own size, in which it is placed.
    int Width() const { return width_; }
    int Height() const { return height_; }
    int FrameCount() const { return int(delays_.size()); }
    // The size the frames are kept at: the picture's own, or less for a picture whose
    // frames would pass its memory budget of 64 MB (the aspect kept).
    int StoredWidth() const { return storedWidth_; }
    int StoredHeight() const { return storedHeight_; }
    // StoredWidth × StoredHeight × 4 bytes, rows top to bottom, blue-green-red-alpha
    // with straight alpha; null for an index outside 0..FrameCount() − 1.
    const unsigned char* Frame(int index) const;
    // Bytes of frames all the pictures alive hold (at most 512 MB: a picture that
    // would pass that is refused).
    static uint64_t HeldBytes();
    // One delay per frame in hundredths of a second (0 for pictures that carry none).
    int32_t* Delays() { return delays_.data(); }

    // Records that hold the picture; it is freed when the last lets go.
    void Hold() { ++holders_; }
    void LetGo()
    {
        if (--holders_ == 0)
            delete this;
    }

    // Like any decoded multi-frame picture it has one frame selected for drawing,
    // frame 0 at first; an index outside the frames is ignored.
    void SelectFrame(int index);
    int SelectedFrame() const { return selected_; }

private:
    AnimatedPicture() = default;

    int width_ = 0, height_ = 0;
    int storedWidth_ = 0, storedHeight_ = 0;
    int selected_ = 0;
    std::atomic<int> holders_{1};
    std::vector<unsigned char> pixels_;  // the frames one after another
    std::vector<int32_t> delays_;
};

// What the studio does for an animated picture object it loads: decodes the picture
// named by op.szPath and fills nFrameCount, nWidth, nHeight, nAlpha (255), pDelays
// and hImage. False when the path is empty or the file is no picture; op's picture
// fields are then left empty (hImage and pDelays null) and the object is to be
// dropped, with *why (when given) saying why. Any picture op held before is not freed.
ZVF_API bool OpenStickerPicture(StickerOp& op, std::string* why = nullptr);
// Lets go of op's picture and clears hImage and pDelays; harmless when it has none.
// The picture is freed with the last record that holds it.
ZVF_API void CloseStickerPicture(StickerOp& op);
// A copy of op (an undo step, a clipboard) that holds the same picture: both records
// may be closed, in any order.
ZVF_API StickerOp ShareStickerPicture(const StickerOp& op);

}  // namespace zolvex
