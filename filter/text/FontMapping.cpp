// LOGFONTA to Pango. Fontconfig answers which installed family a face lands on; the
// face's own ascent and descent turn a GDI cell height into a character height.
#include "filter/text/FontMapping.h"

#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

namespace zolvex {
namespace text {
namespace {

// Windows faces with a metric-compatible face among our fonts. Fontconfig knows some
// of these by itself, but not the dialog faces.
const struct {
    const char* windowsFace;
    const char* standIn;
} kMetricAliases[] = {
    {"Arial", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"Arial Narrow", "Liberation Sans Narrow"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
};

std::mutex g_lock;
std::map<std::string, std::string> g_families;                 // face name → family
std::map<std::tuple<std::string, int, bool>, double> g_cells;  // cell height per em

// The face name field as valid UTF-8 (it holds bytes, up to 32 without a NUL).
std::string FaceText(const char* faceName)
{
    if (!faceName)
        return std::string();
    const size_t n = strnlen(faceName, sizeof(LOGFONTA::lfFaceName));
    gchar* valid = g_utf8_make_valid(faceName, gssize(n));
    std::string s(valid);
    g_free(valid);
    // GDI ignores spaces around the name.
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string MatchFamily(const std::string& wanted)
{
    std::string found = "Sans";
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return found;
    if (!wanted.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
        // A face with several family names (DejaVu Sans Condensed is also DejaVu Sans)
        // keeps the one asked for.
        FcChar8* name = nullptr;
        for (int k = 0; FcPatternGetString(match, FC_FAMILY, k, &name) == FcResultMatch; ++k) {
            const char* text = reinterpret_cast<const char*>(name);
            if (k == 0)
                found = text;
            if (!wanted.empty() && g_ascii_strcasecmp(text, wanted.c_str()) == 0) {
                found = text;
                break;
            }
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

int PangoWeightOf(const LOGFONTA& lf)
{
    // FW_DONTCARE (0) is normal; Pango takes the same 100–1000 scale as GDI.
    return lf.lfWeight <= 0 ? 400 : std::min(std::max(int(lf.lfWeight), 100), 1000);
}

// Ascent plus descent of the face per pixel of em, measured once at a large size.
double CellPerEm(const std::string& family, int weight, bool italic)
{
    const auto key = std::make_tuple(family, weight, italic);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const auto it = g_cells.find(key);
        if (it != g_cells.end())
            return it->second;
    }
    const int kProbe = 1024;
    double ratio = 0;
    PangoFontMap* map = pango_cairo_font_map_get_default();  // one per thread
    PangoContext* context = pango_font_map_create_context(map);
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, family.c_str());
    pango_font_description_set_weight(desc, PangoWeight(weight));
    pango_font_description_set_style(desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(desc, double(kProbe) * PANGO_SCALE);
    if (PangoFont* font = pango_font_map_load_font(map, context, desc)) {
        if (PangoFontMetrics* metrics = pango_font_get_metrics(font, nullptr)) {
            ratio = double(pango_font_metrics_get_ascent(metrics) + pango_font_metrics_get_descent(metrics)) /
                    (double(kProbe) * PANGO_SCALE);
            pango_font_metrics_unref(metrics);
        }
        g_object_unref(font);
    }
    pango_font_description_free(desc);
    g_object_unref(context);
    // A face without usable metrics counts its cell as its em.
    if (!(ratio > 0.2 && ratio < 5))
        ratio = 1.0;
    std::lock_guard<std::mutex> hold(g_lock);
    g_cells[key] = ratio;
    return ratio;
}

}  // namespace

std::string ResolveFamily(const char* faceName)
{
    std::string wanted = FaceText(faceName);
    for (const auto& alias : kMetricAliases)
        if (g_ascii_strcasecmp(wanted.c_str(), alias.windowsFace) == 0) {
            wanted = alias.standIn;
            break;
        }
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const auto it = g_families.find(wanted);
        if (it != g_families.end())
            return it->second;
    }
    const std::string family = MatchFamily(wanted);
    std::lock_guard<std::mutex> hold(g_lock);
    g_families[wanted] = family;
    return family;
}

double CharHeightPixels(const LOGFONTA& lf)
{
    if (lf.lfHeight == 0)
        return kDefaultCharHeight;
    if (lf.lfHeight < 0)
        return double(std::min<int64_t>(-int64_t(lf.lfHeight), kMaxCharHeight));
    const double cell = std::min<double>(lf.lfHeight, kMaxCharHeight);
    const double em = cell / CellPerEm(ResolveFamily(lf.lfFaceName), PangoWeightOf(lf), lf.lfItalic != 0);
    return std::max(1.0, std::min(em, double(kMaxCharHeight)));
}

PangoFontDescription* NewFontDescription(const LOGFONTA& lf)
{
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, ResolveFamily(lf.lfFaceName).c_str());
    pango_font_description_set_weight(desc, PangoWeight(PangoWeightOf(lf)));
    pango_font_description_set_style(desc, lf.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_font_description_set_absolute_size(desc, CharHeightPixels(lf) * PANGO_SCALE);
    return desc;
}

PangoAttrList* NewDecorationAttributes(const LOGFONTA& lf)
{
    if (!lf.lfUnderline && !lf.lfStrikeOut)
        return nullptr;
    PangoAttrList* list = pango_attr_list_new();
    if (lf.lfUnderline)
        pango_attr_list_insert(list, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (lf.lfStrikeOut)
        pango_attr_list_insert(list, pango_attr_strikethrough_new(TRUE));
    return list;
}

void ApplyLogFont(PangoLayout* layout, const LOGFONTA& lf)
{
    if (!layout)
        return;
    PangoFontDescription* desc = NewFontDescription(lf);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    PangoAttrList* decorations = NewDecorationAttributes(lf);
    pango_layout_set_attributes(layout, decorations);
    if (decorations)
        pango_attr_list_unref(decorations);
}

}  // namespace text
}  // namespace zolvex
