// Titles: rasterising a 40-character title at 36 pixels (measure, make the picture,
// draw, alpha pass), and laying it over a 720 × 576 frame of 3 bytes per pixel.
#include <cstring>

#include "bench/BenchSupport.h"
#include "filter/text/fTavTextBuffer.h"
#include "filter/text/fTavTextTransfer.h"

namespace {

const int kW = 720, kH = 576;
const char kTitle[] = "Summer holiday at the lake, August 2009!";  // 40 characters
double g_copySeconds = 0;

LOGFONTA TitleFont()
{
    LOGFONTA lf{};
    lf.lfHeight = -36;
    lf.lfWeight = 700;
    std::strcpy(lf.lfFaceName, "Arial");
    return lf;
}

void Rasterise(benchmark::State& state, bool shadow)
{
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        CfTavTextBuffer tb;
        tb.SetText(kTitle);
        tb.SetColor(RGB(255, 255, 255));
        tb.SetFont(TitleFont());
        tb.InitBuf();
        benchmark::DoNotOptimize(shadow ? tb.GetTextBufferGdip() : tb.GetTextBuffer());
    });
}

void TransferTitle(benchmark::State& state, int id, double t)
{
    CfTavTextBuffer tb;
    tb.SetText(kTitle);
    tb.SetFont(TitleFont());
    if (!tb.InitBuf()) {
        state.SkipWithError("no title picture");
        return;
    }
    const std::vector<unsigned char> text(tb.GetTextBuffer(), tb.GetTextBuffer() + size_t(tb.nTextWidth) * tb.nTextHeight * 4);
    const tagSIZE size{tb.nTextWidth, tb.nTextHeight};
    tagOPR_TEXT op{};
    op.nPosX = 60;
    op.nPosY = 400;
    op.nOpacity = 230;
    std::vector<unsigned char> frame(size_t(kW) * kH * 3, 90);
    zolvex::bench::TimedLoop(state, g_copySeconds, [&] {
        CfTavTextTransfer tt;
        tt.SetSrcVideoSize(tagSIZE{kW, kH});
        tt.InitTransfer(size, tagSIZE{kW, kH}, 3, 10.0, &op, 1.0f, 1.0f);
        tt.SetCurTransferID(id);
        tt.SetCurTransferTime(t);
        tt.Transfer(frame.data(), text.data(), size);
        benchmark::DoNotOptimize(frame.data());
    });
}

}  // namespace

int main(int argc, char** argv)
{
    g_copySeconds = zolvex::bench::FrameCopySeconds(size_t(kW) * kH * 3);
    zolvex::bench::RegisterFrameCopy("FrameCopy/720x576x3", size_t(kW) * kH * 3, g_copySeconds);
    benchmark::RegisterBenchmark("Rasterise/40 chars 36px GetTextBuffer", Rasterise, false)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Rasterise/40 chars 36px GetTextBufferGdip", Rasterise, true)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Transfer/still onto 720x576x3", TransferTitle, 0, 5.0)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("Transfer/Rotate in/out t=1 onto 720x576x3", TransferTitle, int(TEXT_ROTATE_IN), 1.0)
        ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
