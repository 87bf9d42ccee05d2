// From a GDI font description (LOGFONTA) to a Pango font: the face name through
// fontconfig, the height rule of GDI, weight, italics and the two decorations. The
// text rasteriser and the frame producer's titles use the same mapping, so a title
// has one size and face wherever it is drawn.
#pragma once

#include <string>

#include "platform/Export.h"
#include "platform/wintypes.h"

typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoAttrList PangoAttrList;
typedef struct _PangoLayout PangoLayout;

namespace zolvex {
namespace text {

// Character height used for lfHeight 0, where GDI picks a default size.
constexpr int kDefaultCharHeight = 16;
// Character heights are capped here: Pango measures in 1/1024 pixel in 32-bit
// integers, and nothing larger could ever be drawn into a picture.
constexpr int kMaxCharHeight = 16384;

// The installed family a face name lands on: the Windows faces that have a metric-
// compatible stand-in ("Arial", "Microsoft Sans Serif", "Times New Roman", "Courier
// New" …) map to it, others go through fontconfig, which falls back to its sans
// face. faceName is read up to its NUL or 32 bytes (the LOGFONTA field need not be
// terminated). Answers are cached; safe from any thread.
ZVF_API std::string ResolveFamily(const char* faceName);

// The character (em) height in pixels that lf asks for: −lfHeight when negative (the
// character height), lfHeight when positive taken as the cell height (ascent plus
// descent of the resolved face, so the em is smaller), kDefaultCharHeight for 0;
// capped at kMaxCharHeight.
ZVF_API double CharHeightPixels(const LOGFONTA& lf);

// A new description of the resolved family at CharHeightPixels (absolute size), with
// lfWeight (0 = normal, otherwise clamped to 100–1000) and italics. Free it with
// pango_font_description_free.
ZVF_API PangoFontDescription* NewFontDescription(const LOGFONTA& lf);

// Underline and strike-out as a new attribute list (unref it), or null when neither.
ZVF_API PangoAttrList* NewDecorationAttributes(const LOGFONTA& lf);

// Sets the font and the decorations of lf on a layout.
ZVF_API void ApplyLogFont(PangoLayout* layout, const LOGFONTA& lf);

}  // namespace text
}  // namespace zolvex
