// Text titles on the composition surface with Cairo and Pango. A title is one layout
// in the title's font; each style turns the time into opacity, angle, scale and
// position, and one drawing routine puts a soft shadow and the text on the surface.
// The soft shadow is drawn at a quarter of the size and stretched back smoothly,
// which blurs it; only the part of the quarter-size bitmap the text can reach is
// made and stretched, the rest of it is transparent anyway.
#include "filter/timeline/video/TitleDrawing.h"

#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "filter/text/FontMapping.h"

namespace zolvex {
namespace {

constexpr double kTransition = 1.2;      // seconds of intro and of outro
constexpr double kTextScale = 0.003125;  // fonts are designed for a frame 320 wide
constexpr double kShadowScale = 0.25;    // the soft shadow is drawn at a quarter size
constexpr double kShadowOffset = 0.25;   // … one quarter pixel down and right there
// Largest character height × (bytes + 1) laid out at all: every extent then stays
// far inside Pango's 32-bit 1/1024-pixel units.
constexpr double kMaxExtent = 1.0e6;
// Device coordinates beyond this are out of Cairo's 24.8 fixed-point range; such a
// title could not show anything sensible.
constexpr double kMaxDevice = 4.0e6;
// Transparent quarter-size pixels kept round the shadow's ink: wider than the reach
// of the stretching filter, so the cut-out stretches like the whole bitmap (to within
// one level of rounding).
constexpr int kShadowMargin = 4;
constexpr int kMaxSide = 32767;                   // Cairo's largest image surface
constexpr int64_t kMaxPixels = int64_t(1) << 24;  // 64 MB: a shadow never needs more

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A position in whole pixels, truncated as a float-to-int conversion does.
int ToPixel(double v)
{
    if (std::isnan(v))
        return 0;
    return int(std::trunc(Clamp(v, double(INT_MIN), double(INT_MAX))));
}

// An 8-bit alpha from opacity × factor, truncated.
int AlphaOf(double v) { return std::isnan(v) ? 0 : int(Clamp(std::trunc(v), 0, 255)); }

// Axis-aligned box, in whatever space its user says.
struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return !(x1 > x0 && y1 > y0); }
};

Box FromPango(const PangoRectangle& r)
{
    return {double(r.x) / PANGO_SCALE, double(r.y) / PANGO_SCALE, double(r.x + r.width) / PANGO_SCALE,
            double(r.y + r.height) / PANGO_SCALE};
}

Box Union(const Box& a, const Box& b)
{
    if (a.Empty())
        return b;
    if (b.Empty())
        return a;
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

// The device box of a box under a matrix.
Box Transformed(const cairo_matrix_t& m, const Box& b)
{
    Box out{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    const double xs[2] = {b.x0, b.x1}, ys[2] = {b.y0, b.y1};
    for (double x : xs)
        for (double y : ys) {
            double dx = x, dy = y;
            cairo_matrix_transform_point(&m, &dx, &dy);
            out.x0 = std::min(out.x0, dx);
            out.y0 = std::min(out.y0, dy);
            out.x1 = std::max(out.x1, dx);
            out.y1 = std::max(out.y1, dy);
        }
    return out;
}

// One layout in the title's font for the whole call: the whole text, or one
// character of it at a time. Smooth, unhinted text, so a layout measures the same
// at any scale and angle it is drawn with.
class TitleLayout {
public:
    explicit TitleLayout(const LOGFONTA& lf)
    {
        context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context_, FALSE);
        layout_ = pango_layout_new(context_);
        text::ApplyLogFont(layout_, lf);
    }
    ~TitleLayout()
    {
        g_object_unref(layout_);
        g_object_unref(context_);
    }
    TitleLayout(const TitleLayout&) = delete;
    TitleLayout& operator=(const TitleLayout&) = delete;

    PangoLayout* get() const { return layout_; }

    void SetText(const char* s, size_t n) { pango_layout_set_text(layout_, s, int(n)); }

    // Width and height of the laid-out text (the longest line, all lines).
    void Measure(double& w, double& h) const
    {
        PangoRectangle logical;
        pango_layout_get_extents(layout_, nullptr, &logical);
        w = std::max(0.0, double(logical.width) / PANGO_SCALE);
        h = std::max(0.0, double(logical.height) / PANGO_SCALE);
    }

    // Everything the text may paint, relative to its top-left corner.
    Box Bounds() const
    {
        PangoRectangle ink, logical;
        pango_layout_get_extents(layout_, &ink, &logical);
        return Union(FromPango(ink), FromPango(logical));
    }

private:
    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
};

// What stays the same for every drawing of one title in one call.
struct TitlePen {
    cairo_t* cr;
    int surfaceWidth, surfaceHeight;
    int width, height;  // W × H
    int refWidth, refHeight;
    double text[3], shadow[3];  // red, green, blue in 0..1
    int opacity;
};

void SetRgb(double (&rgb)[3], COLORREF c)
{
    rgb[0] = GetRValue(c) / 255.0;
    rgb[1] = GetGValue(c) / 255.0;
    rgb[2] = GetBValue(c) / 255.0;
}

// From the reference frame to the output, in integer arithmetic; without a
// reference size the position stays as it is.
int64_t ScalePosition(int v, int out, int ref) { return ref > 0 ? int64_t(v) * out / ref : v; }

// The part of the quarter-size shadow bitmap (bw × bh) the text paints, with its
// margin, in bitmap pixels; empty when there is nothing to make.
struct PixelRect {
    int x = 0, y = 0, w = 0, h = 0;
};

PixelRect ShadowCutOut(const Box& textBounds, int bw, int bh)
{
    PixelRect r;
    if (bw <= 0 || bh <= 0 || textBounds.Empty())
        return r;
    const double x0 = std::floor(textBounds.x0 * kShadowScale + kShadowOffset) - kShadowMargin;
    const double y0 = std::floor(textBounds.y0 * kShadowScale + kShadowOffset) - kShadowMargin;
    const double x1 = std::ceil(textBounds.x1 * kShadowScale + kShadowOffset) + kShadowMargin;
    const double y1 = std::ceil(textBounds.y1 * kShadowScale + kShadowOffset) + kShadowMargin;
    const double cx0 = std::max(x0, 0.0), cy0 = std::max(y0, 0.0);
    const double cx1 = std::min(x1, double(bw)), cy1 = std::min(y1, double(bh));
    if (!(cx1 > cx0 && cy1 > cy0))
        return r;
    if (cx1 - cx0 > kMaxSide || cy1 - cy0 > kMaxSide || (cx1 - cx0) * (cy1 - cy0) > double(kMaxPixels))
        return r;
    r.x = int(cx0);
    r.y = int(cy0);
    r.w = int(cx1 - cx0);
    r.h = int(cy1 - cy0);
    return r;
}

// Draws the text in the shadow colour into the cut-out of the quarter-size bitmap
// and stretches it over the frame under the placement transform.
void DrawSoftShadow(const TitlePen& pen, PangoLayout* layout, const cairo_matrix_t& placement, const PixelRect& cut,
                    int bw, int bh, int alpha)
{
    cairo_surface_t* bitmap = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cut.w, cut.h);
    if (cairo_surface_status(bitmap) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(bitmap);
        return;
    }
    cairo_t* small = cairo_create(bitmap);
    cairo_translate(small, -cut.x, -cut.y);
    cairo_matrix_t quarter;
    cairo_matrix_init(&quarter, kShadowScale, 0, 0, kShadowScale, kShadowOffset, kShadowOffset);
    cairo_transform(small, &quarter);
    cairo_set_antialias(small, CAIRO_ANTIALIAS_GRAY);
    cairo_set_source_rgba(small, pen.shadow[0], pen.shadow[1], pen.shadow[2], alpha / 255.0);
    cairo_move_to(small, 0, 0);
    pango_cairo_show_layout(small, layout);
    const bool drawn = cairo_status(small) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(small);
    cairo_surface_flush(bitmap);

    if (drawn) {
        cairo_t* cr = pen.cr;
        cairo_set_matrix(cr, &placement);
        cairo_scale(cr, double(pen.width) / bw, double(pen.height) / bh);
        cairo_set_source_surface(cr, bitmap, cut.x, cut.y);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
        cairo_rectangle(cr, cut.x, cut.y, cut.w, cut.h);
        cairo_fill(cr);
    }
    cairo_surface_destroy(bitmap);
}

// The drawing routine: the text now in the layout, with opacity factor f, turned by
// angle degrees round its centre, scaled by sx × sy, its top-left corner at (x, y)
// of the reference frame.
void DrawLayout(const TitlePen& pen, TitleLayout& layout, double f, double angle, double sx, double sy, int x, int y)
{
    const int64_t px = ScalePosition(x, pen.width, pen.refWidth);
    const int64_t py = ScalePosition(y, pen.height, pen.refHeight);
    double tw, th;
    layout.Measure(tw, th);
    const int textAlpha = AlphaOf(pen.opacity * f);
    const int shadowAlpha = AlphaOf(f * pen.opacity * 0.8);
    if (textAlpha == 0 && shadowAlpha == 0)
        return;

    // Each step appended to the ones before: round the centre, scaled, placed.
    cairo_matrix_t m, step;
    cairo_matrix_init_translate(&m, -tw / 2, -th / 2);
    cairo_matrix_init_rotate(&step, angle * (M_PI / 180.0));
    cairo_matrix_multiply(&m, &m, &step);
    cairo_matrix_init_scale(&step, sx, sy);
    cairo_matrix_multiply(&m, &m, &step);
    cairo_matrix_init_translate(&step, tw * sx / 2 + double(px), th * sy / 2 + double(py));
    cairo_matrix_multiply(&m, &m, &step);
    // A zero scale (the first instant of a zoom) draws nothing; Cairo would take the
    // singular matrix as an error and refuse every later drawing on the surface.
    cairo_matrix_t inverse = m;
    if (!std::isfinite(m.xx + m.xy + m.yx + m.yy + m.x0 + m.y0) ||
        cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return;

    const Box bounds = layout.Bounds();
    const int bw = pen.width / 4, bh = pen.height / 4;
    const PixelRect cut = shadowAlpha > 0 ? ShadowCutOut(bounds, bw, bh) : PixelRect();
    Box reach = textAlpha > 0 ? bounds : Box();
    if (cut.w > 0) {
        const double fx = double(pen.width) / bw, fy = double(pen.height) / bh;
        reach = Union(reach, Box{cut.x * fx, cut.y * fy, (cut.x + cut.w) * fx, (cut.y + cut.h) * fy});
    }
    if (reach.Empty())
        return;
    const Box device = Transformed(m, reach);
    if (!(device.x1 > 0 && device.y1 > 0 && device.x0 < pen.surfaceWidth && device.y0 < pen.surfaceHeight))
        return;
    if (!(std::fabs(device.x0) < kMaxDevice && std::fabs(device.x1) < kMaxDevice && std::fabs(device.y0) < kMaxDevice &&
          std::fabs(device.y1) < kMaxDevice))
        return;

    cairo_t* cr = pen.cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    if (cut.w > 0)
        DrawSoftShadow(pen, layout.get(), m, cut, bw, bh, shadowAlpha);
    if (textAlpha > 0) {
        cairo_set_matrix(cr, &m);
        cairo_set_source_rgba(cr, pen.text[0], pen.text[1], pen.text[2], textAlpha / 255.0);
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout(cr, layout.get());
    }
    cairo_restore(cr);
}

// Style 7 in the intro and the outro: every character by itself, turned by angle,
// laid out along lines as the measured characters advance; shifted left by g.
void DrawLetters(const TitlePen& pen, TitleLayout& layout, const std::string& text, double s, double angle,
                 double g, int nX, int nY)
{
    // A line break moves down by one line of the font, where the whole text's next
    // line lies too.
    layout.SetText("", 0);
    double unused, lineHeight;
    layout.Measure(unused, lineHeight);
    double penX = 0, line = 0;
    for (const char* c = text.c_str(); *c; c = g_utf8_next_char(c)) {
        const size_t n = size_t(g_utf8_next_char(c) - c);
        if (*c == '\n') {
            penX = 0;
            line += lineHeight;
            continue;
        }
        if (*c == '\r')  // the first half of a Windows line break
            continue;
        layout.SetText(c, n);
        double w, h;
        layout.Measure(w, h);
        DrawLayout(pen, layout, 1, angle, s, s, ToPixel(penX * s + nX - g), ToPixel(line * s + nY));
        penX += w;
    }
}

}  // namespace

void DrawTitle(CompositionSurface& surface, const TextOp& op, double t, const TitleFrame& frame)
{
    cairo_t* cr = surface.Context();
    if (!surface.Valid() || cairo_status(cr) != CAIRO_STATUS_SUCCESS || frame.width <= 0 || frame.height <= 0)
        return;
    // The field need not be terminated; its bytes are read as UTF-8, a stray byte as
    // U+FFFD.
    const size_t bytes = strnlen(op.szText, sizeof op.szText);
    if (bytes == 0 || op.nOpacity <= 0)
        return;
    if (text::CharHeightPixels(op.lfFont) * (double(bytes) + 1) > kMaxExtent)
        return;
    const double e = t - op.dStartTime;
    const double d = op.dEndTime - op.dStartTime;
    if (!std::isfinite(e) || !std::isfinite(d))
        return;

    gchar* valid = g_utf8_make_valid(op.szText, gssize(bytes));
    const std::string text(valid);
    g_free(valid);

    TitlePen pen;
    pen.cr = cr;
    pen.surfaceWidth = surface.Width();
    pen.surfaceHeight = surface.Height();
    pen.width = frame.width;
    pen.height = frame.height;
    pen.refWidth = frame.referenceWidth;
    pen.refHeight = frame.referenceHeight;
    SetRgb(pen.text, op.crText);
    SetRgb(pen.shadow, op.crShadow);
    pen.opacity = op.nOpacity;

    const double W = frame.width, H = frame.height;
    const double rem = d - e;
    const double s = W * kTextScale;
    const bool intro = e < kTransition, outro = e > d - kTransition;
    const double pIn = e / kTransition, pOut = rem / kTransition;

    TitleLayout layout(op.lfFont);
    layout.SetText(text.data(), text.size());

    double f = 1, angle = 0, sx = s, sy = s, x = op.nX, y = op.nY;
    switch (op.nStyle) {
    case 1:  // fade
        if (intro)
            f = pIn;
        else if (outro)
            f = pOut;
        break;
    case 2:  // blink: shown in the second half of every second
        f = std::fmod(std::trunc(2 * e), 2.0) != 0 ? 1 : 0;
        break;
    case 3: {  // marquee: from the right edge to beyond the left one every 10 s
        double tw, th;
        layout.Measure(tw, th);
        x = (1 - std::fmod(std::trunc(10 * e), 100.0) / 100) * (W + tw) - tw;
        break;
    }
    case 4:  // spin zoom
        if (intro) {
            sx = sy = s * pIn;
            angle = 300 * e;
        } else if (outro) {
            sx = sy = s * pOut;
            angle = 300 * rem;
        }
        break;
    case 5:  // zoom
        if (intro)
            sx = sy = s * pIn;
        else if (outro)
            sx = sy = s * pOut;
        break;
    case 6:  // wave slide
        if (intro || outro) {
            const double r = intro ? e : rem;
            x = op.nX - (W - (r / kTransition) * W);
            y = op.nY - std::trunc(std::sin(15.707963 * e) * H / 6);
        }
        break;
    case 7:  // letters
        if (intro || outro) {
            const double r = intro ? e : rem;
            const double g = W - (intro ? pIn : pOut) * W;
            DrawLetters(pen, layout, text, s, 300 * r, g, op.nX, op.nY);
            return;
        }
        break;
    case 8:  // swing in from the right-top, out to the left-top
        if (intro) {
            angle = std::trunc(30 - 25 * e);
            x = op.nX + std::trunc(W - pIn * W);
            y = op.nY - std::trunc(H - pIn * H);
        } else if (outro) {
            angle = std::trunc(25 * rem);
            x = op.nX - std::trunc(W - pOut * W);
            y = op.nY - std::trunc(H - pOut * H);
        }
        break;
    default:
        break;
    }
    DrawLayout(pen, layout, f, angle, sx, sy, ToPixel(x), ToPixel(y));
}

}  // namespace zolvex
