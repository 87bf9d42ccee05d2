// Pictures that push each other across the frame.
#include "filter/transitions/TransitionKit.h"

using namespace zolvex::transition;

namespace {

// The time and duration as the Change transitions use them, held like the progress:
// time within [0, duration], and no duration counting as finished.
struct HeldTime {
    double t, d;
};

HeldTime Hold(const CfTavTransition& tr)
{
    if (!(tr.dDuration > 0))
        return {1.0, 1.0};
    const double d = tr.dDuration;
    const double t = tr.dCurTime >= 0 ? std::min(tr.dCurTime, d) : 0.0;  // NaN counts as 0
    return {t, d};
}

// trunc(w × f) held to [0, w].
int Columns(int w, double f)
{
    const double v = w * f;
    return v > 0 ? (v < w ? int(v) : w) : 0;
}

// A run of columns of one row: O columns [to, to + n) from `from` columns [s, s + n).
struct Run {
    const uchar* from;
    int to, s, n;
};

// Every row of a Change transition is two runs, the first starting at column 0 and the
// second after it. Columns that neither reaches (at the seam, for odd widths or where
// the phases round apart) show B where they are.
void DrawChange(const Pictures& p, const Run& first, const Run& second)
{
    const size_t bpp = size_t(p.bpp);
    for (int r = 0; r < p.h; ++r) {
        const size_t row = p.Offset(0, r);
        std::memcpy(p.o + row, first.from + row + size_t(first.s) * bpp, size_t(first.n) * bpp);
        std::memcpy(p.O(first.n, r), p.B(first.n, r), size_t(second.to - first.n) * bpp);
        std::memcpy(p.O(second.to, r), second.from + row + size_t(second.s) * bpp, size_t(second.n) * bpp);
        const int end = second.to + second.n;
        std::memcpy(p.O(end, r), p.B(end, r), size_t(p.w - end) * bpp);
    }
}

}  // namespace

void CfTavTransition::ChangeLeftToRight(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const int w = p.w;
    const int n = Trunc(w * float(Progress(*this)));
    const HeldTime ht = Hold(*this);
    const double half = ht.d / 2;
    // First half: B's middle strip enters at the left while A moves right; second half:
    // B slides in from the left while A's remainder slides out.
    int sB, sA;
    if (ht.t <= half) {
        sB = n;
        sA = 0;
    } else {
        sB = w - n;
        sA = Columns(w, (ht.t - half) / half);
    }
    const int nB = std::min(n, w - sB);
    const int nA = std::min(w - n, w - sA);
    DrawChange(p, Run{b, 0, sB, nB}, Run{a, nB, sA, nA});
}

void CfTavTransition::ChangeRightToLeft(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    const int w = p.w;
    const int n = Trunc(w * float(Progress(*this)));
    const HeldTime ht = Hold(*this);
    const double half = ht.d / 2;
    // The mirror image of ChangeLeftToRight.
    int sB, sA;
    if (ht.t <= half) {
        sB = w - Columns(w, ht.t / half);
        sA = n;
    } else {
        sB = 0;
        sA = w - n;
    }
    const int nB = std::min(n, w - sB);
    const int nA = std::min(w - n, w - sA);
    DrawChange(p, Run{a, 0, sA, nA}, Run{b, w - nB, sB, nB});
}

void CfTavTransition::SideTopToBottom(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    // The lower k rows show A's top; above them B's bottom rows.
    const int k = Trunc(p.h * (1.0f - float(Progress(*this))));
    std::memcpy(o, a + p.Offset(0, p.h - k), size_t(k) * p.stride);
    std::memcpy(p.O(0, k), b, size_t(p.h - k) * p.stride);
}

void CfTavTransition::SideBottomToTop(const uchar* a, const uchar* b, uchar* o)
{
    Pictures p;
    if (!Prepare(*this, a, b, o, p))
        return;
    // The lower k rows show B's top; above them A's bottom rows.
    const int k = Trunc(p.h * float(Progress(*this)));
    std::memcpy(o, b + p.Offset(0, p.h - k), size_t(k) * p.stride);
    std::memcpy(p.O(0, k), a, size_t(p.h - k) * p.stride);
}
