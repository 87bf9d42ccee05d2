#include <gtest/gtest.h>

#include <cairo.h>

#include "filter/ZolvexVideoFilter.h"

namespace {

struct Canvas {
    cairo_surface_t* surface;
    cairo_t* cr;
    explicit Canvas(int size)
    {
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
        cr = cairo_create(surface);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
    }
    ~Canvas()
    {
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    // Blue, green, red, alpha of a pixel.
    const unsigned char* At(int x, int y)
    {
        cairo_surface_flush(surface);
        return cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4;
    }
};

// Four opaque pixels, row 0 first: blue, green / red, white.
const unsigned char kPicture[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

TEST(DrawRGB32, ReadsTheBufferTopDownAndStretchesIntoTheRectangle)
{
    CfTavEffect fx;
    Canvas c(8);
    EXPECT_EQ(fx.DrawRGB32(kPicture, tagSIZE{2, 2}, tagRECT{0, 0, 8, 8}, c.cr), 1);
    EXPECT_EQ(c.At(0, 0)[0], 255);  // blue at the top left
    EXPECT_EQ(c.At(0, 0)[2], 0);
    EXPECT_EQ(c.At(7, 0)[1], 255);  // green at the top right
    EXPECT_EQ(c.At(0, 7)[2], 255);  // red at the bottom left
    EXPECT_EQ(c.At(7, 7)[0], 255);  // white at the bottom right
    EXPECT_EQ(c.At(7, 7)[1], 255);
}

TEST(DrawRGB32, DrawsOnlyInsideAnOffsetRectangleAndBlendsByAlpha)
{
    CfTavEffect fx;
    Canvas c(8);
    unsigned char half[16];
    for (int k = 0; k < 16; k += 4) {
        half[k] = 0;
        half[k + 1] = 0;
        half[k + 2] = 255;
        half[k + 3] = 128;
    }
    EXPECT_EQ(fx.DrawRGB32(half, tagSIZE{2, 2}, tagRECT{4, 4, 8, 8}, c.cr), 1);
    EXPECT_EQ(c.At(3, 3)[2], 0);
    EXPECT_NEAR(c.At(5, 5)[2], 128, 1);  // half-transparent red over black
    EXPECT_EQ(c.At(5, 5)[3], 255);
}

TEST(DrawRGB32, NothingToDrawIsReported)
{
    CfTavEffect fx;
    Canvas c(4);
    EXPECT_EQ(fx.DrawRGB32(kPicture, tagSIZE{2, 2}, tagRECT{0, 0, 4, 4}, nullptr), 0);
    EXPECT_EQ(fx.DrawRGB32(nullptr, tagSIZE{2, 2}, tagRECT{0, 0, 4, 4}, c.cr), 0);
    EXPECT_EQ(fx.DrawRGB32(kPicture, tagSIZE{0, 2}, tagRECT{0, 0, 4, 4}, c.cr), 0);
    EXPECT_EQ(fx.DrawRGB32(kPicture, tagSIZE{2, 2}, tagRECT{1, 1, 1, 3}, c.cr), 1);
    EXPECT_EQ(c.At(1, 1)[0], 0);
}

}  // namespace
