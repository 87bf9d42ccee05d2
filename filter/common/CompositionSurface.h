// The surface a frame is composed on: titles, animated pictures and 3D screen items
// are drawn onto it with Cairo, and effects work on its pixels. It stands in for the
// device-independent bitmap and the drawing surfaces of the platform the renderer was
// first written for. Rows run top to bottom here; frames are bottom-up.
#pragma once

#include "platform/Export.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace zolvex {

class ZVF_API CompositionSurface {
public:
    CompositionSurface();
    ~CompositionSurface();
    CompositionSurface(const CompositionSurface&) = delete;
    CompositionSurface& operator=(const CompositionSurface&) = delete;

    // Makes the surface width × height (opaque black); false when it cannot be made,
    // and then the surface is empty.
    bool Resize(int width, int height);
    bool Valid() const { return context_ != nullptr; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // For drawing: Cairo state changes are to be undone by whoever makes them
    // (cairo_save / cairo_restore).
    cairo_t* Context() const { return context_; }
    cairo_surface_t* Surface() const { return surface_; }

    // The pixels, 4 bytes each (blue, green, red, unused), rows top to bottom, Stride()
    // bytes apart. Call Flush() before reading or writing them directly and
    // MarkDirty() after writing.
    unsigned char* Pixels() const;
    int Stride() const;
    void Flush() const;
    void MarkDirty() const;

    // Copies a 3-byte bottom-up frame of the surface's size onto the surface, and
    // back. Both do nothing on an empty surface.
    void LoadFrame(const unsigned char* frame);
    void StoreFrame(unsigned char* frame) const;

private:
    int width_ = 0, height_ = 0;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* context_ = nullptr;
};

}  // namespace zolvex
