// The FFmpeg core shared by both media readers: opens the first video stream of a
// file, decodes forward, seeks, and converts the picture shown at a time into a
// 24-bit frame. Internal to the library; FFmpeg types stay out of the public headers.
#pragma once

#include <cstdint>
#include <string>

#include "filter/media/FfmpegPointers.h"

namespace zolvex {
namespace media {

class VideoDecoder {
public:
    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the file, reads its stream information (with generated presentation
    // times) and picks the first video stream. Closes whatever was open first.
    bool OpenDemuxer(const char* path);
    // Opens the decoder of the chosen stream.
    bool OpenDecoder();
    void Close();
    // Why the last OpenDemuxer or OpenDecoder failed, or why the caller refused the
    // file, naming it ("…/a.mpg: no video stream"); empty after an open that worked.
    const std::string& OpenError() const { return openError_; }
    // Records a refusal of the caller's own for the file being opened.
    void SetOpenError(const std::string& reason);
    // Gives the file up: records `reason` (none: keeps the decoder's own), logs it as
    // a warning and closes. Always false.
    bool Refuse(const std::string& reason = {});

    AVFormatContext* Format() const { return fmt_.get(); }
    AVStream* Stream() const { return stream_; }
    AVCodecContext* Codec() const { return codec_.get(); }
    // Size of the file in bytes, or -1 when the byte stream cannot tell.
    int64_t FileSize() const;
    // The container's start time in microseconds, 0 when it has none.
    int64_t ContainerStartUs() const;
    double FramesPerSecond() const { return fps_; }

    // Times below are microseconds on the stream's own clock (its presentation
    // times, not counted from the container's start).

    // True when the picture for `us` lies before the one decoded last: the
    // decoder cannot go backwards, so only a seek brings it back.
    bool IsBehind(int64_t us) const;
    // Frames between what has been decoded and `us`; 0 once the file has ended.
    double FramesAhead(int64_t us) const;

    // Seeks to the key frame at or before `us` and decodes forward to the picture
    // shown at `us`.
    bool SeekTo(int64_t us);
    // Decodes forward to the picture shown at `us`: the one with the greatest
    // presentation time not after it (within a quarter frame), or the first
    // picture when `us` lies before the stream's start.
    bool DecodeTo(int64_t us);

    // Changes every time another picture becomes the shown one.
    uint64_t PictureGeneration() const { return generation_; }
    int64_t SeekCount() const { return seekCount_; }

    // Writes the shown picture as width × height pixels of 3 bytes without row
    // padding: red-green-blue top-down, or blue-green-red bottom-up.
    bool Convert(unsigned char* dst, int width, int height, bool bottomUpBgr);

private:
    // 1: a picture in `out`; 0: the stream has ended; -1: the byte stream failed.
    int DecodeNext(AVFrame* out, int64_t* pts);
    void ResetDecoding();
    // The latest presentation time, in ticks, that still counts as shown at `us`.
    int64_t LimitTicks(int64_t us) const;
    bool SetUpScaler(const AVFrame* src, int width, int height, int dstFormat);

    // Sets OpenError() to "<file>: <reason>", closes everything and returns false.
    bool Fail(const std::string& reason);

    InputFormatPtr fmt_;
    CodecContextPtr codec_;
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    PacketPtr pkt_;
    bool pktPending_ = false;  // a packet the decoder could not take yet
    bool draining_ = false;
    bool eof_ = false;

    FramePtr cur_;   // the picture shown
    FramePtr next_;  // decoded ahead of the last target, not shown yet
    FramePtr tmp_;
    bool hasCur_ = false, hasNext_ = false;
    int64_t curPts_ = 0, nextPts_ = 0, lastPts_ = 0;
    bool haveLastPts_ = false;
    bool firstFromStart_ = false;  // the next picture is the stream's first
    uint64_t generation_ = 0;

    double fps_ = 25;
    double frameTicks_ = 1;  // stream ticks per frame
    int64_t toleranceUs_ = 0;  // a quarter frame
    int64_t startTicks_ = 0; // the stream's first presentation time
    int64_t endTicks_ = INT64_MAX;
    int64_t seekCount_ = 0;
    // Demuxers that work out most timestamps by parsing the stream (MPEG-PS and -TS,
    // elementary streams) guess them wrongly after a seek until the next time stamp
    // stored in the stream; such seeks land early enough for the guesses to settle.
    int64_t seekSettleTicks_ = 0;

    SwsPtr sws_;
    int swsSrcW_ = 0, swsSrcH_ = 0, swsSrcFormat_ = -1;
    int swsDstW_ = 0, swsDstH_ = 0, swsDstFormat_ = -1;
    FramePtr dstFrame_;

    std::string path_;  // of the file being opened, for OpenError()
    std::string openError_;
};

}  // namespace media
}  // namespace zolvex
