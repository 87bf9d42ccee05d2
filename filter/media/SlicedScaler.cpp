#include "filter/media/SlicedScaler.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace zolvex {
namespace media {

SwsContext* NewSlicedScaler(int srcWidth, int srcHeight, int srcFormat, int dstWidth, int dstHeight, int dstFormat)
{
    SwsContext* sws = sws_alloc_context();
    if (!sws)
        return nullptr;
    av_opt_set_int(sws, "srcw", srcWidth, 0);
    av_opt_set_int(sws, "srch", srcHeight, 0);
    av_opt_set_int(sws, "src_format", srcFormat, 0);
    av_opt_set_int(sws, "dstw", dstWidth, 0);
    av_opt_set_int(sws, "dsth", dstHeight, 0);
    av_opt_set_int(sws, "dst_format", dstFormat, 0);
    av_opt_set_int(sws, "sws_flags", SWS_BICUBIC, 0);
    // On a single processor libswscale 5.1 leaks its two frames when left to pick
    // the thread count itself; one thread is what it would pick there anyway.
    av_opt_set_int(sws, "threads", av_cpu_count() > 1 ? 0 : 1, 0);
    if (sws_init_context(sws, nullptr, nullptr) < 0) {
        sws_freeContext(sws);
        return nullptr;
    }
    return sws;
}

}  // namespace media
}  // namespace zolvex
