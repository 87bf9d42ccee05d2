#include "filter/media/SlicedScaler.h"

extern "C" {
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
    av_opt_set_int(sws, "threads", 0, 0);
    if (sws_init_context(sws, nullptr, nullptr) < 0) {
        sws_freeContext(sws);
        return nullptr;
    }
    return sws;
}

}  // namespace media
}  // namespace zolvex
