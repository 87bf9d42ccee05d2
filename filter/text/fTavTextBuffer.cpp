// The text rasteriser on Cairo and Pango. The Windows design drew with GDI into a
// bottom-up DIB section; here the text is drawn top-down into a Cairo RGB24 surface
// and the rows are turned round in place when the alpha pass runs, so the picture
// handed out is the surface's own memory.
#include "filter/text/fTavTextBuffer.h"

#include <cairo.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "filter/text/FontMapping.h"

namespace {

constexpr int kMaxSide = 32767;                    // Cairo's largest image surface
constexpr int64_t kMaxPixels = int64_t(1) << 24;   // 64 MB: a title never needs more
// Largest character height × (bytes + 1) that is laid out at all: every extent then
// stays far inside Pango's 32-bit 1/1024-pixel units.
constexpr double kMaxExtent = 1.0e6;

// The two ways of drawing: GDI's (hinted, not anti-aliased, lines centred) and
// GDI+'s (smooth, left-aligned, three quarters of lfHeight, regular style).
enum class Pen { Gdi, Gdip };

uint32_t Rgb(COLORREF c)  // 0xRRGGBB, as Cairo keeps an RGB24 pixel
{
    return (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

void SetSource(cairo_t* cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

// The em size of the GDI+ path: lfHeight × 15 / 20 pixels in integer arithmetic.
// The magnitude is taken, so the usual negative (character) height draws text too.
double GdipEmPixels(const LOGFONTA& lf)
{
    const int64_t h = lf.lfHeight == 0 ? zolvex::text::kDefaultCharHeight : std::llabs(int64_t(lf.lfHeight));
    return double(std::min<int64_t>(h * 15 / 20, zolvex::text::kMaxCharHeight));
}

class TextLayout {
public:
    TextLayout(const char* text, const LOGFONTA& lf, Pen pen)
    {
        // The text field holds bytes; they are read as UTF-8, a stray byte as U+FFFD.
        const char* s = text ? text : "";
        const size_t n = std::strlen(s);
        const double em = pen == Pen::Gdi ? zolvex::text::CharHeightPixels(lf) : GdipEmPixels(lf);
        if (em * (double(n) + 1) > kMaxExtent)
            return;
        context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
        cairo_font_options_t* options = cairo_font_options_create();
        if (pen == Pen::Gdi) {
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        } else {
            cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
            cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
            cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
            pango_context_set_round_glyph_positions(context_, FALSE);
        }
        pango_cairo_context_set_font_options(context_, options);
        cairo_font_options_destroy(options);
        layout_ = pango_layout_new(context_);
        if (pen == Pen::Gdi) {
            zolvex::text::ApplyLogFont(layout_, lf);
        } else {
            PangoFontDescription* desc = pango_font_description_new();
            pango_font_description_set_family(desc, zolvex::text::ResolveFamily(lf.lfFaceName).c_str());
            pango_font_description_set_absolute_size(desc, std::max(em, 1.0) * PANGO_SCALE);
            pango_layout_set_font_description(layout_, desc);
            pango_font_description_free(desc);
        }
        gchar* valid = g_utf8_make_valid(s, gssize(n));
        pango_layout_set_text(layout_, valid, -1);
        g_free(valid);
    }
    ~TextLayout()
    {
        if (layout_)
            g_object_unref(layout_);
        if (context_)
            g_object_unref(context_);
    }
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    PangoLayout* get() const { return layout_; }

    // The longest line and the height of all lines, in whole pixels; 0 × 0 when the
    // text was too large to lay out.
    void Measure(int& width, int& height) const
    {
        width = height = 0;
        if (!layout_)
            return;
        PangoRectangle logical;
        pango_layout_get_pixel_extents(layout_, nullptr, &logical);
        width = std::max(logical.width, 0);
        height = std::max(logical.height, 0);
    }

private:
    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
};

// Each line centred in the picture's width on its own, lines from the top (DT_CENTER);
// positions in whole pixels as GDI places them.
void ShowCentredLines(cairo_t* cr, PangoLayout* layout, int pictureWidth)
{
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        PangoRectangle logical;  // relative to the line's own origin
        pango_layout_line_get_extents(line, nullptr, &logical);
        const int lineWidth = PANGO_PIXELS_CEIL(logical.width);
        const double x = (pictureWidth - lineWidth) / 2 - double(logical.x) / PANGO_SCALE;
        const double baseline = std::floor(double(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE + 0.5);
        cairo_move_to(cr, x, baseline);
        pango_cairo_show_layout_line(cr, line);
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
}

// Turns the top-down drawing round into the bottom-up picture, in place: bytes blue,
// green, red, and the alpha that alphaOf gives the pixel's colour (0xRRGGBB).
template <class AlphaOf>
void FinishPicture(unsigned char* bits, int w, int h, AlphaOf&& alphaOf)
{
    const size_t row = size_t(w) * 4;
    std::vector<unsigned char> held(row);
    auto convert = [&](const unsigned char* from, unsigned char* to) {
        for (int x = 0; x < w; ++x, from += 4, to += 4) {
            uint32_t px;
            std::memcpy(&px, from, 4);  // Cairo's native-endian 0x??RRGGBB
            const uint32_t rgb = px & 0xFFFFFFu;
            to[0] = uint8_t(rgb);
            to[1] = uint8_t(rgb >> 8);
            to[2] = uint8_t(rgb >> 16);
            to[3] = alphaOf(rgb);
        }
    };
    for (int top = 0, bottom = h - 1; top <= bottom; ++top, --bottom) {
        unsigned char* a = bits + size_t(top) * row;
        unsigned char* b = bits + size_t(bottom) * row;
        convert(a, held.data());
        convert(b, a);
        std::memcpy(b, held.data(), row);
    }
}

}  // namespace

CfTavTextBuffer::CfTavTextBuffer() = default;

CfTavTextBuffer::~CfTavTextBuffer()
{
    FreePicture();
}

void CfTavTextBuffer::FreePicture()
{
    if (hMemDC)
        cairo_destroy(hMemDC);
    if (hDibSection)
        cairo_surface_destroy(hDibSection);
    hMemDC = nullptr;
    hDibSection = nullptr;
    pBits = nullptr;
}

int CfTavTextBuffer::GetTextWidth()
{
    int w, h;
    TextLayout(pText, lfFont, Pen::Gdi).Measure(w, h);
    return w;
}

int CfTavTextBuffer::GetTextHeight()
{
    int w, h;
    TextLayout(pText, lfFont, Pen::Gdi).Measure(w, h);
    return h;
}

int CfTavTextBuffer::InitBuf()
{
    FreePicture();
    int w = 0, h = 0;
    TextLayout(pText, lfFont, Pen::Gdi).Measure(w, h);
    nTextWidth = w;
    nTextHeight = h;
    // An oversized picture is refused before anything is allocated.
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || int64_t(w) * h > kMaxPixels)
        return 0;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || cairo_image_surface_get_stride(surface) != w * 4) {
        cairo_surface_destroy(surface);
        return 0;
    }
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        return 0;
    }
    hDibSection = surface;
    hMemDC = cr;
    pBits = cairo_image_surface_get_data(surface);
    return 1;
}

unsigned char* CfTavTextBuffer::GetTextBuffer()
{
    if (!hMemDC)
        return nullptr;
    // A background no text pixel can have: each channel the opposite extreme of the
    // text colour's.
    crBackColor = RGB(GetRValue(crColor) > 100 ? 0 : 255, GetGValue(crColor) > 100 ? 0 : 255,
                      GetBValue(crColor) > 100 ? 0 : 255);
    cairo_t* cr = hMemDC;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    SetSource(cr, crBackColor);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // Without anti-aliasing every glyph pixel has exactly the text colour, which is
    // what the alpha pass keeps. The picture's size is the one InitBuf measured;
    // anything beyond it is clipped.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SetSource(cr, crColor);
    TextLayout layout(pText, lfFont, Pen::Gdi);
    if (layout.get())
        ShowCentredLines(cr, layout.get(), nTextWidth);
    cairo_restore(cr);
    cairo_surface_flush(hDibSection);

    const uint32_t back = Rgb(crBackColor), ink = Rgb(crColor);
    FinishPicture(pBits, nTextWidth, nTextHeight,
                  [back, ink](uint32_t rgb) { return uint8_t(rgb != back && rgb == ink ? 255 : 0); });
    cairo_surface_mark_dirty(hDibSection);
    return pBits;
}

unsigned char* CfTavTextBuffer::GetTextBufferGdip()
{
    if (!hMemDC)
        return nullptr;
    // Background and shadow step the channels round; blue is bits 16–23 of the whole
    // colour plus or minus the step, so a carry out of green reaches it.
    const uint32_t c = crColor;
    crBackColor = RGB(uint8_t(GetRValue(c) + 50), uint8_t(GetGValue(c) + 100), uint8_t((c + 150u) >> 16));
    const COLORREF shadow = RGB(uint8_t(GetRValue(c) - 80), uint8_t(GetGValue(c) - 80), uint8_t((c - 80u) >> 16));

    cairo_t* cr = hMemDC;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    SetSource(cr, crBackColor);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    TextLayout layout(pText, lfFont, Pen::Gdip);
    if (layout.get()) {
        SetSource(cr, shadow);
        for (int step = 0; step < 3; ++step) {
            cairo_move_to(cr, step, step);
            pango_cairo_show_layout(cr, layout.get());
        }
        SetSource(cr, crColor);
        cairo_move_to(cr, 0, 0);
        pango_cairo_show_layout(cr, layout.get());
    }
    cairo_restore(cr);
    cairo_surface_flush(hDibSection);

    const uint32_t back = Rgb(crBackColor);
    FinishPicture(pBits, nTextWidth, nTextHeight, [back](uint32_t rgb) { return uint8_t(rgb == back ? 0 : 255); });
    cairo_surface_mark_dirty(hDibSection);
    return pBits;
}
